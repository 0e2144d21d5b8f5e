// libFuzzer harness for LoadPixmapBMP, and for the motif path that keeps what
// arrived of a bitmap cut short.
#include "pixmap/picture_load.h"
#include "tests/fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzOneLoader(data, size, LoadPixmapBMP);
  return FuzzOneLoader(data, size, [](const TUrl& u) { return LoadPixmapForSize(u, 0, 0).pixmap; });
}
