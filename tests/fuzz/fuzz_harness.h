// Shared body of the picture-loader fuzzing harnesses: the input becomes a
// read-only memory stream that one loader entry decodes; the first and last rows of
// any pixmap it returns are read, so that a pixmap smaller than it claims shows up
// under AddressSanitizer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pixmap/pixel_size.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

inline int FuzzOneLoader(const uint8_t* data, size_t size, Ref<TPixmap> (*load)(const TUrl&)) {
  // Hostile headers may still ask for up to the cap; keep the harness's memory modest.
  static const bool limited = (SetPixelByteLimit(size_t(16) << 20), true);
  (void)limited;
  if (size > (1u << 24)) return 0;
  Ref<TStream> stream = TRamStream::Create(data, static_cast<int>(size), true, false);
  Ref<TPixmap> p = load(TUrl(stream));
  if (p) {
    unsigned sum = 0;
    const int row = p->width * BytesPerPixel(p->format);
    for (int y : {0, p->height - 1}) {
      const uint8_t* r = p->PixelPtr(0, y);
      for (int i = 0; i < row; ++i) sum += r[i];
    }
    // Branch on the pixels so that the optimiser keeps the reads.
    if (sum == 0xdeadbeef) p->pixels[0] ^= 1;
  }
  return 0;
}

#define TESS_FUZZ_LOADER(fn) \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzOneLoader(data, size, fn); }
