// TPixmap: a rectangle of pixels in main memory in one of a few byte layouts, with
// row conversion through the canonical R, G, B, A byte layout, copying, pasting,
// flipping, bilinear and Lanczos scaling and colour-key masking. Leans on pixel_size.h only.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/object.h"

// Pixel formats. 1..6 are the layouts loaders and the game use; 7..12 are
// single-byte layouts the converter also knows.
enum : int {
  FormatI8 = 1,        // intensity
  FormatA8 = 2,        // alpha
  FormatBGR888 = 3,    // B, G, R
  FormatRGB888 = 4,    // R, G, B
  FormatBGRA8888 = 5,  // B, G, R, A
  FormatRGBA8888 = 6,  // R, G, B, A
  FormatR8 = 7,        // red only
  FormatG8 = 8,        // green only
  FormatB8 = 9,        // blue only
  FormatRGB332 = 10,   // rrrgggbb
  FormatBGR233 = 11,   // bbgggrrr
  FormatRGBA2222 = 12, // rrggbbaa
};
inline constexpr int FormatCount = 13;  // valid values are 1 .. FormatCount - 1

// Per-format table; unknown formats (0 included) give 0 everywhere.
int BytesPerPixel(int format);
int RedBitsPerPixel(int format);
int GreenBitsPerPixel(int format);
int BlueBitsPerPixel(int format);
int AlphaBitsPerPixel(int format);

struct TPixmap : TObject, std::enable_shared_from_this<TPixmap> {
  uint8_t* pixels = nullptr;  // row 0 is the top row
  int width = 0;
  int height = 0;
  int pitch = 0;              // bytes from one row to the next
  int format = 0;
  int capacity = 0;           // bytes owned; -1 when the memory belongs to someone else
  Ref<TObject> _source;       // the parent of a window, kept alive with it

  TPixmap() = default;
  TPixmap(const TPixmap&) = delete;
  TPixmap& operator=(const TPixmap&) = delete;
  ~TPixmap() override;

  // No pixel operation checks coordinates: callers stay inside the pixmap.
  uint8_t* PixelPtr(int x, int y) const;
  Ref<TPixmap> Window(int x, int y, int w, int h);
  Ref<TPixmap> Copy() const;
  void Paste(const TPixmap& source, int x, int y);
  Ref<TPixmap> Convert(int newFormat) const;  // always a new pixmap
  // Packed colour: alpha in bits 24..31, red 16..23, green 8..15, blue 0..7.
  int ReadPixel(int x, int y) const;
  void WritePixel(int x, int y, int colour);
  void ClearPixels(int colour);

  // Uninitialised pixels, pitch rounded up to `align`; null when the size is
  // negative, too large, the format unknown, or memory is short.
  static Ref<TPixmap> Create(int width, int height, int format, int align = 4);
  // Wraps memory owned by someone else (capacity -1).
  static Ref<TPixmap> CreateStatic(void* pixels, int width, int height, int pitch, int format);
};

// Converts `count` pixels of one layout into another (through RGBA when neither is
// RGBA8888). Source and destination must not overlap unless the formats match.
void ConvertPixels(const uint8_t* src, int srcFormat, uint8_t* dst, int dstFormat, int count);

// Free-function forms. A null pixmap gives null / 0 and writes nothing.
Ref<TPixmap> CreatePixmap(int width, int height, int format, int align = 4);
Ref<TPixmap> CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format);
Ref<TPixmap> CopyPixmap(const Ref<TPixmap>& pixmap);
Ref<TPixmap> ConvertPixmap(const Ref<TPixmap>& pixmap, int format);
Ref<TPixmap> PixmapWindow(const Ref<TPixmap>& pixmap, int x, int y, int width, int height);
int PixmapWidth(const Ref<TPixmap>& pixmap);
int PixmapHeight(const Ref<TPixmap>& pixmap);
int PixmapPitch(const Ref<TPixmap>& pixmap);
int PixmapFormat(const Ref<TPixmap>& pixmap);
uint8_t* PixmapPixelPtr(const Ref<TPixmap>& pixmap, int x = 0, int y = 0);
int ReadPixel(const Ref<TPixmap>& pixmap, int x, int y);
void WritePixel(const Ref<TPixmap>& pixmap, int x, int y, int colour);
void ClearPixels(const Ref<TPixmap>& pixmap, int colour);
void PastePixmap(const Ref<TPixmap>& source, const Ref<TPixmap>& dest, int x, int y);

// New pixmaps in the source's format: rows reversed / columns reversed.
Ref<TPixmap> YFlipPixmap(const Ref<TPixmap>& pixmap);
Ref<TPixmap> XFlipPixmap(const Ref<TPixmap>& pixmap);
// Bilinear two-by-two sampling in single precision; result in the source's format.
// Null for a null source or a zero-sized source or target.
Ref<TPixmap> ResizePixmap(const Ref<TPixmap>& pixmap, int width, int height);
// Lanczos-3 with the kernel widened by the reduction, for photos scaled down (or
// up) for good: every source pixel contributes, so fine texture averages out
// instead of aliasing. Result in the source's format; null as for ResizePixmap.
// Safe to call from any thread.
Ref<TPixmap> ResamplePixmap(const Ref<TPixmap>& pixmap, int width, int height);
// New RGBA8888 pixmap: pixels of colour (r, g, b) become transparent and take the
// average colour of their unmasked 3 x 3 neighbours; all others become opaque.
Ref<TPixmap> ApplyMaskColour(const Ref<TPixmap>& pixmap, int r, int g, int b);
// The picture as it looks over white (what image editors do when they store a
// picture with transparency in a format without it): a new RGB888 pixmap for a
// format with alpha, the argument itself for one without.
Ref<TPixmap> FlattenOnWhite(const Ref<TPixmap>& pixmap);
