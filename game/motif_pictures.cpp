// Motif pictures off the main thread. Leans on the pixmap loaders over memory
// streams and on pixmap conversion, scaling and masking; the drawing layer only
// for the mask settings read on the main thread.
#include "game/motif_pictures.h"

#include "draw2d/image.h"
#include "pixmap/picture_load.h"
#include "pixmap/pixmap.h"
#include "platform/stream.h"

namespace {

// What drawing the picture in masked mode on black and grabbing its bottom rows
// gives: texels of alpha 0.5 and more are drawn opaque, the rest leave black.
Ref<TPixmap> BottomStrip(const Ref<TPixmap>& picture, int hs, const TMotifLook& look) {
  Ref<TPixmap> rgba = PixmapFormat(picture) == FormatRGBA8888 ? picture : ConvertPixmap(picture, FormatRGBA8888);
  Ref<TPixmap> strip = CreatePixmap(PixmapWidth(picture), hs, FormatRGBA8888);
  if (!rgba || !strip) return nullptr;
  const int w = PixmapWidth(picture), top = PixmapHeight(picture) - hs;
  for (int y = 0; y < hs; ++y) {
    const uint8_t* s = PixmapPixelPtr(rgba, 0, top + y);
    uint8_t* d = PixmapPixelPtr(strip, 0, y);
    for (int x = 0; x < w; ++x, s += 4, d += 4) {
      const bool drawn = s[3] >= 128;
      d[0] = drawn ? s[0] : 0;
      d[1] = drawn ? s[1] : 0;
      d[2] = drawn ? s[2] : 0;
      d[3] = 255;
    }
  }
  return look.strip_masked ? ApplyMaskColour(strip, look.mask_r, look.mask_g, look.mask_b) : strip;
}

}  // namespace

TMotifLook CurrentMotifLook() {
  TMotifLook look;
  GetMaskColor(look.mask_r, look.mask_g, look.mask_b);
  look.strip_masked = (GetAutoImageFlags() & ImageMasked) != 0;
  return look;
}

Ref<TPixmap> FitMotif(const Ref<TPixmap>& pixmap) {
  if (pixmap && (PixmapWidth(pixmap) > 512 || PixmapHeight(pixmap) > 512)) return ResamplePixmap(pixmap, 512, 512);
  return pixmap;
}

Ref<TPixmap> FadedReflection(const Ref<TPixmap>& strip, int hs) {
  Ref<TPixmap> pixmap = YFlipPixmap(ConvertPixmap(strip, FormatRGBA8888));
  if (!pixmap || hs <= 0) return nullptr;
  const int pw = PixmapWidth(pixmap), ph = PixmapHeight(pixmap);
  const float fhs = static_cast<float>(hs);
  for (int x = 0; x < pw; ++x) {
    for (int y = 0; y < ph; ++y) {
      const uint32_t p = static_cast<uint32_t>(ReadPixel(pixmap, x, y));
      const float frac = static_cast<float>(y) / fhs;
      const float fade = 1.0f - frac;
      const float scaled = 80.0f * fade;
      uint32_t a = static_cast<uint32_t>(static_cast<int>(scaled));
      if ((p >> 24) == 0) a = 0;
      WritePixel(pixmap, x, y, static_cast<int>((a << 24) | (p & 0x00FFFFFFu)));
    }
  }
  return pixmap;
}

TMotifPictures MotifPictures(const Ref<TPixmap>& decoded, const TMotifLook& look) {
  TMotifPictures out;
  Ref<TPixmap> picture = FitMotif(decoded);
  if (!picture || PixmapWidth(picture) < 1 || PixmapHeight(picture) < 1) return out;
  // As an image masks a picture without alpha when it is loaded.
  if (AlphaBitsPerPixel(PixmapFormat(picture)) == 0)
    picture = ApplyMaskColour(picture, look.mask_r, look.mask_g, look.mask_b);
  const int h = PixmapHeight(picture);
  Ref<TPixmap> reflection =
      h > 100 ? FadedReflection(BottomStrip(picture, h / 7, look), h / 7) : FadedReflection(picture, h);
  if (!picture || !reflection) return out;
  out.picture = std::move(picture);
  out.reflection = std::move(reflection);
  return out;
}

TMotifPictures DecodeMotif(const std::vector<unsigned char>& bytes, const TMotifLook& look) {
  try {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFFu) return {};
    Ref<TStream> stream =
        TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
    // A picture cut short (still being copied) shows as far as it came.
    Ref<TPixmap> decoded = stream ? LoadPixmapForSize(TUrl(stream), 0, 0).pixmap : nullptr;
    return MotifPictures(decoded, look);
  } catch (...) {
    return {};  // a failed allocation leaves this entry without pictures, nothing else
  }
}
