// libFuzzer harness for LoadPixmapWebP.
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmapWebP)
