// libFuzzer harness for the colour-profile paths: the input is an ICC profile,
// split over APP2 "ICC_PROFILE" pieces of a small JPEG that must still decode,
// and applied directly (Little CMS) to grey, RGB, RGBA and CMYK pixels.
#include <algorithm>

#include "pixmap/photo.h"
#include "tests/fuzz/fuzz_photo.h"

namespace {

void Direct(const uint8_t* icc, size_t size) {
  for (int format : {FormatI8, FormatRGB888, FormatRGBA8888}) {
    Ref<TPixmap> p = CreatePixmap(5, 3, format);
    for (int i = 0; i < p->pitch * p->height; ++i) p->pixels[i] = static_cast<uint8_t>(i * 37);
    ProfileToSRgb(*p, format == FormatI8, icc, size);
    if (format == FormatRGBA8888) ProfileToSRgb(*p, true, icc, size);
    if (format == FormatRGBA8888 && !CmykToRgb(*p, (size & 1) != 0, icc, size)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  Direct(data, size);
  // Through the JPEG loader, in pieces of up to 65519 bytes as writers cut them.
  const size_t piece = 65519;
  const size_t n = std::max<size_t>(1, (size + piece - 1) / piece);
  if (n > 255) return 0;
  std::string file = FuzzBaseJpeg();
  for (size_t i = n; i-- > 0;) {
    std::string p("ICC_PROFILE\0", 12);
    p += static_cast<char>(i + 1);
    p += static_cast<char>(n);
    p.append(reinterpret_cast<const char*>(data) + std::min(size, i * piece), std::min(piece, size - std::min(size, i * piece)));
    file = FuzzWithSegment(file, 0xE2, p);
  }
  FuzzMustDecode(file);
  return 0;
}
