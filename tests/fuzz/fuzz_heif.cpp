// libFuzzer harness for LoadPixmapHEIF (HEIF/HEIC and AVIF).
#include "tests/fuzz/fuzz_harness.h"

TESS_FUZZ_LOADER(LoadPixmapHEIF)
