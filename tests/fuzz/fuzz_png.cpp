// libFuzzer harness for LoadPixmapPNG, and for the motif path that keeps what
// arrived of a PNG cut short.
#include "pixmap/picture_load.h"
#include "tests/fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzOneLoader(data, size, LoadPixmapPNG);
  return FuzzOneLoader(data, size, [](const TUrl& u) { return LoadPixmapForSize(u, 0, 0).pixmap; });
}
