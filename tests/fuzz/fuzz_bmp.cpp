// libFuzzer harness for LoadPixmapBMP.
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmapBMP)
