// libFuzzer harness for LoadPixmapJPeg.
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmapJPeg)
