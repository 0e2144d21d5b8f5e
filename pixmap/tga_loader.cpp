// Minimal Targa reading: uncompressed true-colour (24 or 32 bits) and grey (8 bits)
// images without a colour map, either row order. Anything else gives null; in
// particular a second byte other than 0 (a colour map) refuses the stream, so the
// loader never takes PNG, JPEG or BMP data. Pixels the file cannot hold are refused
// before anything is allocated.
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/pixel_size.h"

Ref<TPixmap> DecodeTGA(TStream& s) {
  uint8_t h[18];
  if (s.ReadFully(h, sizeof h) != sizeof h) return nullptr;
  const int idLength = h[0], mapType = h[1], imageType = h[2];
  const int width = h[12] | (h[13] << 8), height = h[14] | (h[15] << 8);
  const int bits = h[16], descriptor = h[17];
  if (mapType != 0) return nullptr;
  // The colour-map fields must be empty when there is no map.
  for (int i = 3; i < 8; ++i)
    if (h[i] != 0) return nullptr;
  int format = 0;
  if (imageType == 2 && bits == 24) format = FormatBGR888;
  else if (imageType == 2 && bits == 32) format = FormatBGRA8888;
  else if (imageType == 3 && bits == 8) format = FormatI8;
  else return nullptr;
  if ((descriptor & 0xC0) != 0 || (descriptor & 0x10) != 0) return nullptr;  // interleaved, right-to-left
  const int alphaBits = descriptor & 0x0F;
  size_t bytes = 0;
  const int bpp = BytesPerPixel(format);
  if (!DecodedPixelBytes(width, height, bpp, &bytes)) return nullptr;
  // Every pixel must be in the file: a header cannot make us allocate more.
  if (bytes + idLength > StreamBytesLeft(s)) return nullptr;
  std::vector<uint8_t> id(idLength);
  if (s.ReadFully(id.data(), id.size()) != id.size()) return nullptr;

  auto pixmap = CreatePixmap(width, height, format);
  if (!pixmap) return nullptr;
  const bool topDown = (descriptor & 0x20) != 0;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  for (int i = 0; i < height; ++i) {
    uint8_t* d = pixmap->PixelPtr(0, topDown ? i : height - 1 - i);
    if (s.ReadFully(d, rowBytes) != rowBytes) return nullptr;
    if (format == FormatBGRA8888 && alphaBits == 0)  // no attribute bits: opaque
      for (int x = 0; x < width; ++x) d[x * 4 + 3] = 255;
  }
  return pixmap;
}
