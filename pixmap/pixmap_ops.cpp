// Whole-pixmap operations that make new pixmaps: row and column flips, bilinear
// scaling with exact single-precision sampling, and colour-key masking.
#include <cmath>
#include <cstring>
#include <vector>

#include "pixmap/pixel_size.h"
#include "pixmap/pixmap.h"

Ref<TPixmap> YFlipPixmap(const Ref<TPixmap>& src) {
  if (!src) return nullptr;
  auto dst = CreatePixmap(src->width, src->height, src->format);
  if (!dst) return nullptr;
  const size_t row = static_cast<size_t>(src->width) * BytesPerPixel(src->format);
  for (int y = 0; y < src->height; ++y)
    std::memcpy(dst->PixelPtr(0, y), src->PixelPtr(0, src->height - 1 - y), row);
  return dst;
}

Ref<TPixmap> XFlipPixmap(const Ref<TPixmap>& src) {
  if (!src) return nullptr;
  auto dst = CreatePixmap(src->width, src->height, src->format);
  if (!dst) return nullptr;
  const int bpp = BytesPerPixel(src->format);
  for (int y = 0; y < src->height; ++y) {
    const uint8_t* s = src->PixelPtr(src->width - 1, y);
    uint8_t* d = dst->PixelPtr(0, y);
    for (int x = 0; x < src->width; ++x, s -= bpp, d += bpp) std::memcpy(d, s, bpp);
  }
  return dst;
}

namespace {

// One sampling position along an axis: the first source index, the fraction
// towards the next one, and the next index (equal to the first when there is no
// neighbour, so the fraction has no effect).
struct Tap {
  int i0, i1;
  float f;
};

std::vector<Tap> Taps(int srcLen, int dstLen) {
  std::vector<Tap> taps(dstLen);
  const float scale = static_cast<float>(srcLen) / static_cast<float>(dstLen);
  for (int j = 0; j < dstLen; ++j) {
    const float pos = (static_cast<float>(j) + 0.5f) * scale - 0.5f;
    const float fl = std::floor(pos);
    if (fl < 0.0f) {
      taps[j] = {0, 0, 0.0f};
    } else if (fl >= static_cast<float>(srcLen - 1)) {
      taps[j] = {srcLen - 1, srcLen - 1, 0.0f};
    } else {
      const int i0 = static_cast<int>(fl);
      taps[j] = {i0, i0 + 1, pos - fl};
    }
  }
  return taps;
}

// Source rows in RGBA, converted on demand; each destination row needs at most two,
// and consecutive destination rows mostly share them, so a two-slot cache suffices.
class RgbaRows {
 public:
  explicit RgbaRows(const TPixmap& src)
      : src_(src), direct_(src.format == FormatRGBA8888) {
    if (!direct_) {
      for (auto& s : slots_) s.buf.resize(static_cast<size_t>(src.width) * 4);
    }
  }
  // Row y in RGBA; never evicts row `keep`, so two rows can be held at once.
  const uint8_t* Row(int y, int keep) {
    if (direct_) return src_.PixelPtr(0, y);
    for (auto& s : slots_)
      if (s.y == y) return s.buf.data();
    Slot& s = slots_[0].y == keep ? slots_[1] : slots_[0];
    ConvertPixels(src_.PixelPtr(0, y), src_.format, s.buf.data(), FormatRGBA8888, src_.width);
    s.y = y;
    return s.buf.data();
  }

 private:
  struct Slot {
    int y = -1;
    std::vector<uint8_t> buf;
  };
  const TPixmap& src_;
  bool direct_;
  Slot slots_[2];
};

}  // namespace

Ref<TPixmap> ResizePixmap(const Ref<TPixmap>& src, int width, int height) {
  if (!src || src->width <= 0 || src->height <= 0 || width <= 0 || height <= 0) return nullptr;
  if (src->format < 1 || src->format >= FormatCount) return nullptr;
  auto dst = CreatePixmap(width, height, src->format);
  if (!dst) return nullptr;
  const std::vector<Tap> xs = Taps(src->width, width);
  const std::vector<Tap> ys = Taps(src->height, height);
  std::vector<uint8_t> out(static_cast<size_t>(width) * 4);
  RgbaRows rows(*src);
  for (int i = 0; i < height; ++i) {
    const Tap& ty = ys[i];
    const uint8_t* r0 = rows.Row(ty.i0, ty.i1);
    const uint8_t* r1 = rows.Row(ty.i1, ty.i0);
    const float fy = ty.f;
    uint8_t* o = out.data();
    for (int j = 0; j < width; ++j, o += 4) {
      const Tap& tx = xs[j];
      const uint8_t* p00 = r0 + tx.i0 * 4;
      const uint8_t* p10 = r0 + tx.i1 * 4;
      const uint8_t* p01 = r1 + tx.i0 * 4;
      const uint8_t* p11 = r1 + tx.i1 * 4;
      const float fx = tx.f;
      for (int c = 0; c < 4; ++c) {
        const float top = static_cast<float>(p00[c]) + static_cast<float>(p10[c] - p00[c]) * fx;
        const float bottom = static_cast<float>(p01[c]) + fx * static_cast<float>(p11[c] - p01[c]);
        const float v = top + (bottom - top) * fy;
        o[c] = static_cast<uint8_t>(static_cast<int>(v));
      }
    }
    ConvertPixels(out.data(), FormatRGBA8888, dst->PixelPtr(0, i), dst->format, width);
  }
  return dst;
}

Ref<TPixmap> ApplyMaskColour(const Ref<TPixmap>& src, int r, int g, int b) {
  if (!src) return nullptr;
  const Ref<TPixmap> rgba = src->format == FormatRGBA8888 ? src : src->Convert(FormatRGBA8888);
  if (!rgba) return nullptr;
  auto dst = CreatePixmap(src->width, src->height, FormatRGBA8888);
  if (!dst) return nullptr;
  const int w = src->width, h = src->height;
  auto masked = [&](const uint8_t* p) { return p[0] == r && p[1] == g && p[2] == b; };
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = rgba->PixelPtr(0, y);
    uint8_t* d = dst->PixelPtr(0, y);
    for (int x = 0; x < w; ++x, s += 4, d += 4) {
      if (!masked(s)) {
        d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
        continue;
      }
      // A keyed pixel takes the average colour of its unkeyed neighbours, so that
      // filtered textures do not bleed the key colour into the picture's edges.
      int sum[3] = {0, 0, 0}, n = 0;
      for (int ny = y - 1; ny <= y + 1; ++ny) {
        if (ny < 0 || ny >= h) continue;
        for (int nx = x - 1; nx <= x + 1; ++nx) {
          if (nx < 0 || nx >= w) continue;
          const uint8_t* q = rgba->PixelPtr(nx, ny);
          if (masked(q)) continue;
          sum[0] += q[0], sum[1] += q[1], sum[2] += q[2], ++n;
        }
      }
      if (n) {
        d[0] = static_cast<uint8_t>(sum[0] / n), d[1] = static_cast<uint8_t>(sum[1] / n),
        d[2] = static_cast<uint8_t>(sum[2] / n);
      } else {
        d[0] = d[1] = d[2] = 0;
      }
      d[3] = 0;
    }
  }
  return dst;
}

Ref<TPixmap> FlattenOnWhite(const Ref<TPixmap>& src) {
  if (!src || AlphaBitsPerPixel(src->format) == 0) return src;
  const Ref<TPixmap> rgba = src->format == FormatRGBA8888 ? src : src->Convert(FormatRGBA8888);
  auto dst = rgba ? CreatePixmap(src->width, src->height, FormatRGB888) : nullptr;
  if (!dst) return nullptr;
  for (int y = 0; y < src->height; ++y) {
    const uint8_t* s = rgba->PixelPtr(0, y);
    uint8_t* d = dst->PixelPtr(0, y);
    for (int x = 0; x < src->width; ++x, s += 4, d += 3) {
      const int a = s[3];
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[c] * a + 255 * (255 - a) + 127) / 255);
    }
  }
  return dst;
}
