// FreeType faces and their glyphs. Leans on FreeType 2 for opening and rendering,
// on platform/stream.h for URL sources and on pixmap/pixmap.h for glyph pixels.
#include "draw2d/freetype_font.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include "pixmap/pixmap.h"
#include "platform/stream.h"
#include "platform/ustring.h"

namespace {

FT_Library g_library = nullptr;  // initialised on first use, kept for the run

bool StartLibrary() {
  if (g_library) return true;
  if (FT_Init_FreeType(&g_library) != 0) {
    g_library = nullptr;  // retried on the next load
    return false;
  }
  return true;
}

// Reads a stream URL to its end: the buffer starts at 1024 bytes and grows by half.
bool ReadWhole(const std::u16string& source, std::vector<unsigned char>& out) {
  Ref<TStream> stream = ReadStream(TUrl(source));
  if (!stream) throw TStreamReadException();
  out.assign(1024, 0);
  size_t used = 0;
  for (;;) {
    if (used == out.size()) {
      size_t grown = out.size() + out.size() / 2;
      if (grown > size_t(1) << 30) break;  // no font is a gigabyte; keep what we have
      out.resize(grown);
    }
    int want = int(std::min<size_t>(out.size() - used, size_t(1) << 30));
    int got = stream->Read(out.data() + used, want);
    if (got <= 0) break;
    used += size_t(got);
  }
  stream->Close();
  out.resize(used);
  return true;
}

// Top row first whatever the bitmap's flow: a negative pitch means the rows are
// stored bottom-up.
const unsigned char* BitmapRow(const FT_Bitmap& bm, unsigned y) {
  if (bm.pitch >= 0) return bm.buffer + size_t(y) * size_t(bm.pitch);
  return bm.buffer + size_t(bm.rows - 1 - y) * size_t(-bm.pitch);
}

// The glyph's coverage as FormatA8, chosen by pixel mode; null for modes that
// carry no usable coverage.
Ref<TPixmap> CoverageFromBitmap(const FT_Bitmap& bm) {
  const int w = int(bm.width), h = int(bm.rows);
  if (w <= 0 || h <= 0 || !bm.buffer) return nullptr;
  switch (bm.pixel_mode) {
    case FT_PIXEL_MODE_GRAY: {
      Ref<TPixmap> pm = CreatePixmap(w, h, FormatA8);
      if (!pm) return nullptr;
      const int levels = bm.num_grays > 1 ? bm.num_grays : 256;
      for (int y = 0; y < h; ++y) {
        const unsigned char* src = BitmapRow(bm, unsigned(y));
        unsigned char* dst = pm->PixelPtr(0, y);
        if (levels == 256) {
          std::memcpy(dst, src, size_t(w));
        } else {
          for (int x = 0; x < w; ++x) dst[x] = (unsigned char)(src[x] * 255 / (levels - 1));
        }
      }
      return pm;
    }
    case FT_PIXEL_MODE_MONO: {
      Ref<TPixmap> pm = CreatePixmap(w, h, FormatA8);
      if (!pm) return nullptr;
      for (int y = 0; y < h; ++y) {
        const unsigned char* src = BitmapRow(bm, unsigned(y));
        unsigned char* dst = pm->PixelPtr(0, y);
        for (int x = 0; x < w; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      }
      return pm;
    }
    case FT_PIXEL_MODE_GRAY2:
    case FT_PIXEL_MODE_GRAY4: {
      FT_Bitmap conv;
      FT_Bitmap_Init(&conv);
      Ref<TPixmap> pm;
      if (FT_Bitmap_Convert(g_library, &bm, &conv, 1) == 0 && int(conv.width) == w &&
          int(conv.rows) == h && conv.pixel_mode == FT_PIXEL_MODE_GRAY) {
        pm = CreatePixmap(w, h, FormatA8);
        const int levels = bm.pixel_mode == FT_PIXEL_MODE_GRAY2 ? 4 : 16;
        for (int y = 0; pm && y < h; ++y) {
          const unsigned char* src = BitmapRow(conv, unsigned(y));
          unsigned char* dst = pm->PixelPtr(0, y);
          for (int x = 0; x < w; ++x) {
            int v = src[x] < levels ? src[x] : levels - 1;
            dst[x] = (unsigned char)(v * 255 / (levels - 1));
          }
        }
      }
      FT_Bitmap_Done(g_library, &conv);
      return pm;
    }
    case FT_PIXEL_MODE_BGRA: {  // colour strikes: keep their alpha
      Ref<TPixmap> pm = CreatePixmap(w, h, FormatA8);
      if (!pm) return nullptr;
      for (int y = 0; y < h; ++y) {
        const unsigned char* src = BitmapRow(bm, unsigned(y));
        unsigned char* dst = pm->PixelPtr(0, y);
        for (int x = 0; x < w; ++x) dst[x] = src[4 * x + 3];
      }
      return pm;
    }
    default:
      return nullptr;
  }
}

struct TFreeTypeFontLoader : TFontLoader {
  Ref<TFont> LoadFont(const std::u16string& source, int size, int style) override {
    if (source.empty()) return nullptr;
    return TFreeTypeFont::Load(source, size, style);
  }
};

}  // namespace

void StartFreeTypeFontLoader() { static TFreeTypeFontLoader loader; }

Ref<TObject> TFreeTypeGlyph::Pixels() { return _pixmap; }

void TFreeTypeGlyph::GetRect(int& x, int& y, int& width, int& height) {
  x = _x;
  y = _y;
  width = _w;
  height = _h;
}

TFreeTypeFont::~TFreeTypeFont() {
  if (_ft_face) FT_Done_Face(_ft_face);
  _ft_face = nullptr;
  _buf.reset();  // only after the face that reads from it
}

Ref<TFreeTypeFont> TFreeTypeFont::Load(const std::u16string& source, int size, int style) {
  if (!StartLibrary()) return nullptr;
  auto font = std::make_shared<TFreeTypeFont>();
  FT_Face face = nullptr;
  if (source.find(u"::") != std::u16string::npos) {
    std::vector<unsigned char> bytes;
    ReadWhole(source, bytes);
    if (bytes.empty()) return nullptr;
    if (bytes.size() > size_t(INT32_MAX)) return nullptr;
    font->_buf_size = int(bytes.size());
    font->_buf.reset(new (std::nothrow) unsigned char[bytes.size()]);
    if (!font->_buf) return nullptr;
    std::memcpy(font->_buf.get(), bytes.data(), bytes.size());
    if (FT_New_Memory_Face(g_library, font->_buf.get(), FT_Long(font->_buf_size), 0, &face) != 0) {
      return nullptr;  // the font (and its buffer) goes with the last reference
    }
  } else {
    std::string path = ToOSBytes(source);
    if (FT_New_Face(g_library, path.c_str(), 0, &face) != 0) return nullptr;
  }
  font->_ft_face = face;
  font->_style = style;
  bool sized = false;
  for (int n = size; n >= 1; --n) {
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(n)) == 0) {
      sized = true;
      break;
    }
  }
  if (!sized) return nullptr;  // the destructor does FT_Done_Face, then frees the buffer
  // 26.6 fixed point to whole pixels; the shift is arithmetic, so -480 gives -8.
  const FT_Size_Metrics& m = face->size->metrics;
  font->_height = int(m.height >> 6);
  font->_ascend = int(m.ascender >> 6);
  font->_descend = int(m.descender >> 6);
  if (face->num_glyphs > 0) font->_glyphs.resize(size_t(face->num_glyphs));
  return font;
}

int TFreeTypeFont::CharToGlyph(int code) {
  if (!_ft_face || code < 0) return -1;
  return int(FT_Get_Char_Index(_ft_face, FT_ULong(code))) - 1;
}

Ref<TGlyph> TFreeTypeFont::LoadGlyph(int index) {
  if (index < 0 || size_t(index) >= _glyphs.size()) return nullptr;
  if (_glyphs[size_t(index)]) return _glyphs[size_t(index)];
  auto glyph = std::make_shared<TFreeTypeGlyph>();
  _glyphs[size_t(index)] = glyph;
  if (FT_Load_Glyph(_ft_face, FT_UInt(index + 1), FT_LOAD_RENDER) != 0) return glyph;
  FT_GlyphSlot slot = _ft_face->glyph;
  glyph->_advance = float(slot->advance.x >> 6);
  glyph->_x = slot->bitmap_left;
  glyph->_y = _ascend - slot->bitmap_top;
  glyph->_w = int(slot->bitmap.width);
  glyph->_h = int(slot->bitmap.rows);
  if (glyph->_w <= 0 || glyph->_h <= 0) {  // a space keeps only its advance
    glyph->_w = glyph->_h = 0;
    return glyph;
  }
  Ref<TPixmap> pm = CoverageFromBitmap(slot->bitmap);
  if (pm && (_style & FontSmooth)) {
    // A clear one-pixel frame so that filtered drawing fades out at the edges.
    Ref<TPixmap> big = CreatePixmap(pm->width + 2, pm->height + 2, FormatA8);
    if (big) {
      big->ClearPixels(0);
      big->Paste(*pm, 1, 1);
      glyph->_x -= 1;
      glyph->_y -= 1;
      glyph->_w += 2;
      glyph->_h += 2;
    }
    pm = big;
  }
  glyph->_pixmap = pm;
  return glyph;
}
