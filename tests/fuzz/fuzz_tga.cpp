// libFuzzer harness for LoadPixmapTGA.
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmapTGA)
