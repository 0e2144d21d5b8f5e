// TPixmap storage and pixel access: creation with row alignment, windows onto other
// pixmaps, copy, paste, conversion, packed-colour reads and writes, clearing.
#include <cstdlib>
#include <cstring>

#include "pixmap/pixel_size.h"
#include "pixmap/pixmap.h"

TPixmap::~TPixmap() {
  if (capacity >= 0) std::free(pixels);
}

uint8_t* TPixmap::PixelPtr(int x, int y) const {
  return pixels + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x) * BytesPerPixel(format);
}

Ref<TPixmap> TPixmap::Create(int width, int height, int format, int align) {
  if (format < 1 || format >= FormatCount) return nullptr;
  size_t rowBytes = 0, total = 0;
  if (!PixelBufferSize(width, height, BytesPerPixel(format), align, &rowBytes, &total)) return nullptr;
  // aligned_alloc wants a multiple of the alignment; never ask for 0 bytes so an
  // empty pixmap still has a valid base pointer.
  size_t bytes = (total + 15) / 16 * 16;
  if (bytes == 0) bytes = 16;
  auto* mem = static_cast<uint8_t*>(std::aligned_alloc(16, bytes));
  if (!mem) return nullptr;
  auto p = std::make_shared<TPixmap>();
  p->pixels = mem;
  p->width = width;
  p->height = height;
  p->pitch = static_cast<int>(rowBytes);
  p->format = format;
  p->capacity = static_cast<int>(total);
  return p;
}

Ref<TPixmap> TPixmap::CreateStatic(void* pixels, int width, int height, int pitch, int format) {
  auto p = std::make_shared<TPixmap>();
  p->pixels = static_cast<uint8_t*>(pixels);
  p->width = width;
  p->height = height;
  p->pitch = pitch;
  p->format = format;
  p->capacity = -1;
  return p;
}

Ref<TPixmap> TPixmap::Window(int x, int y, int w, int h) {
  auto win = CreateStatic(PixelPtr(x, y), w, h, pitch, format);
  win->_source = weak_from_this().lock();
  return win;
}

Ref<TPixmap> TPixmap::Copy() const {
  auto p = Create(width, height, format);
  if (!p) return nullptr;
  const size_t row = static_cast<size_t>(width) * BytesPerPixel(format);
  for (int y = 0; y < height; ++y) std::memcpy(p->PixelPtr(0, y), PixelPtr(0, y), row);
  return p;
}

void TPixmap::Paste(const TPixmap& source, int x, int y) {
  for (int i = 0; i < source.height; ++i)
    ConvertPixels(source.PixelPtr(0, i), source.format, PixelPtr(x, y + i), format, source.width);
}

Ref<TPixmap> TPixmap::Convert(int newFormat) const {
  auto p = Create(width, height, newFormat);
  if (!p) return nullptr;
  for (int y = 0; y < height; ++y) ConvertPixels(PixelPtr(0, y), format, p->PixelPtr(0, y), newFormat, width);
  return p;
}

int TPixmap::ReadPixel(int x, int y) const {
  const uint8_t* p = PixelPtr(x, y);
  uint32_t c = 0;
  switch (format) {
    case FormatI8: c = 0xff000000u | p[0] * 0x010101u; break;
    case FormatA8: c = (uint32_t(p[0]) << 24) | 0x00ffffffu; break;
    case FormatBGR888: c = 0xff000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]; break;
    case FormatRGB888: c = 0xff000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; break;
    case FormatBGRA8888:
      c = (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      break;
    case FormatRGBA8888:
      c = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      break;
    default: break;
  }
  return static_cast<int>(c);
}

void TPixmap::WritePixel(int x, int y, int colour) {
  uint8_t* p = PixelPtr(x, y);
  const uint32_t c = static_cast<uint32_t>(colour);
  const uint8_t a = c >> 24, r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
  switch (format) {
    case FormatI8: p[0] = static_cast<uint8_t>((g + r + b) / 3); break;
    case FormatA8: p[0] = a; break;
    case FormatBGR888: p[0] = b, p[1] = g, p[2] = r; break;
    case FormatRGB888: p[0] = r, p[1] = g, p[2] = b; break;
    case FormatBGRA8888: p[0] = b, p[1] = g, p[2] = r, p[3] = a; break;
    case FormatRGBA8888: p[0] = r, p[1] = g, p[2] = b, p[3] = a; break;
    default: break;
  }
}

void TPixmap::ClearPixels(int colour) {
  const int bpp = BytesPerPixel(format);
  const size_t row = static_cast<size_t>(width) * bpp;
  if (width <= 0 || height <= 0 || bpp == 0) return;
  if (colour == 0 && static_cast<size_t>(pitch) == row) {
    std::memset(pixels, 0, row * height);
    return;
  }
  // One pixel in this format, then repeated along each row.
  uint8_t one[4] = {0, 0, 0, 0};
  if (colour != 0) {
    if (format <= FormatRGBA8888) {
      auto tmp = CreateStatic(one, 1, 1, 4, format);
      tmp->WritePixel(0, 0, colour);
    } else {
      const uint32_t c = static_cast<uint32_t>(colour);
      const uint8_t rgba[4] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)};
      ConvertPixels(rgba, FormatRGBA8888, one, format, 1);
    }
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* d = PixelPtr(0, y);
    if (colour == 0) {
      std::memset(d, 0, row);
    } else {
      for (int x = 0; x < width; ++x, d += bpp) std::memcpy(d, one, bpp);
    }
  }
}

Ref<TPixmap> CreatePixmap(int width, int height, int format, int align) {
  return TPixmap::Create(width, height, format, align);
}
Ref<TPixmap> CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format) {
  return TPixmap::CreateStatic(pixels, width, height, pitch, format);
}
Ref<TPixmap> CopyPixmap(const Ref<TPixmap>& pixmap) { return pixmap ? pixmap->Copy() : nullptr; }
Ref<TPixmap> ConvertPixmap(const Ref<TPixmap>& pixmap, int format) {
  return pixmap ? pixmap->Convert(format) : nullptr;
}
Ref<TPixmap> PixmapWindow(const Ref<TPixmap>& pixmap, int x, int y, int width, int height) {
  return pixmap ? pixmap->Window(x, y, width, height) : nullptr;
}
int PixmapWidth(const Ref<TPixmap>& pixmap) { return pixmap ? pixmap->width : 0; }
int PixmapHeight(const Ref<TPixmap>& pixmap) { return pixmap ? pixmap->height : 0; }
int PixmapPitch(const Ref<TPixmap>& pixmap) { return pixmap ? pixmap->pitch : 0; }
int PixmapFormat(const Ref<TPixmap>& pixmap) { return pixmap ? pixmap->format : 0; }
uint8_t* PixmapPixelPtr(const Ref<TPixmap>& pixmap, int x, int y) {
  return pixmap ? pixmap->PixelPtr(x, y) : nullptr;
}
int ReadPixel(const Ref<TPixmap>& pixmap, int x, int y) { return pixmap ? pixmap->ReadPixel(x, y) : 0; }
void WritePixel(const Ref<TPixmap>& pixmap, int x, int y, int colour) {
  if (pixmap) pixmap->WritePixel(x, y, colour);
}
void ClearPixels(const Ref<TPixmap>& pixmap, int colour) {
  if (pixmap) pixmap->ClearPixels(colour);
}
void PastePixmap(const Ref<TPixmap>& source, const Ref<TPixmap>& dest, int x, int y) {
  if (source && dest) dest->Paste(*source, x, y);
}
