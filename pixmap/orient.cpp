// Turning and mirroring a pixmap into its upright position for an EXIF orientation
// value. Each value names where the stored rows and columns belong on the upright
// picture; every output row walks the source with one constant step.
#include <cstring>

#include "pixmap/photo.h"

namespace {

// Source position of output pixel (x, y): (x0 + x * xx + y * yx, y0 + x * xy + y * yy).
struct Walk {
  int x0, y0, xx, xy, yx, yy;
};

Walk WalkFor(int orientation, int w, int h) {
  switch (orientation) {
    case 2: return {w - 1, 0, -1, 0, 0, 1};       // mirrored left to right
    case 3: return {w - 1, h - 1, -1, 0, 0, -1};  // turned 180 degrees
    case 4: return {0, h - 1, 1, 0, 0, -1};       // mirrored top to bottom
    case 5: return {0, 0, 0, 1, 1, 0};            // transposed
    case 6: return {0, h - 1, 0, -1, 1, 0};       // stored turned left: turn right
    case 7: return {w - 1, h - 1, 0, -1, -1, 0};  // transposed across the other diagonal
    case 8: return {w - 1, 0, 0, 1, -1, 0};       // stored turned right: turn left
    default: return {0, 0, 1, 0, 0, 1};
  }
}

}  // namespace

Ref<TPixmap> OrientPixmap(const Ref<TPixmap>& src, int orientation) {
  if (!src || orientation < 2 || orientation > 8) return src;
  const bool swap = orientation >= 5;
  const int ow = swap ? src->height : src->width;
  const int oh = swap ? src->width : src->height;
  Ref<TPixmap> dst = CreatePixmap(ow, oh, src->format);
  if (!dst) return nullptr;
  const Walk k = WalkFor(orientation, src->width, src->height);
  const int bpp = BytesPerPixel(src->format);
  const ptrdiff_t step = static_cast<ptrdiff_t>(k.xx) * bpp + static_cast<ptrdiff_t>(k.xy) * src->pitch;
  for (int y = 0; y < oh; ++y) {
    ptrdiff_t at = static_cast<ptrdiff_t>(k.y0 + y * k.yy) * src->pitch +
                   static_cast<ptrdiff_t>(k.x0 + y * k.yx) * bpp;
    uint8_t* d = dst->PixelPtr(0, y);
    if (step == bpp) {
      std::memcpy(d, src->pixels + at, static_cast<size_t>(ow) * bpp);
      continue;
    }
    for (int x = 0; x < ow; ++x, d += bpp) {
      std::memcpy(d, src->pixels + at, static_cast<size_t>(bpp));
      if (x + 1 < ow) at += step;
    }
  }
  return dst;
}
