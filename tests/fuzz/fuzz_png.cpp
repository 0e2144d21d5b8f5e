// libFuzzer harness for LoadPixmapPNG.
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmapPNG)
