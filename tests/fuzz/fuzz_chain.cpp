// libFuzzer harness for LoadPixmap.
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmap)
