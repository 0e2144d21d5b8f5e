// Image fonts: glyph images made lazily from a source font (FreeType) or cut from
// the built-in bitmap, text drawing through image frames and text measuring.
#include "draw2d/image_font.h"

#include <cmath>

#include "draw2d/default_font_data.h"
#include "draw2d/glx_graphics.h"
#include "draw2d/image.h"
#include "draw2d/image_frame.h"
#include "pixmap/pixmap.h"
#include "platform/stream.h"

Ref<TObject> TImageGlyph::Pixels() { return _image; }

void TImageGlyph::GetRect(int& x, int& y, int& width, int& height) {
  x = _x;
  y = _y;
  width = _w;
  height = _h;
}

int TImageFont::Style() { return _src_font ? _src_font->Style() : 0; }
int TImageFont::Height() { return _src_font ? _src_font->Height() : 16; }

int TImageFont::CharToGlyph(int code) {
  if (!_src_font) return code >= 32 && code <= 127 ? code - 32 : -1;
  if (code < 0 || code >= int(_latin_glyphs.size())) return _src_font->CharToGlyph(code);
  int& glyph = _latin_glyphs[size_t(code)];
  if (glyph == -2) glyph = _src_font->CharToGlyph(code);
  return glyph;
}

const Ref<TImageGlyph>& TImageFont::ImageGlyph(int index) {
  static const Ref<TImageGlyph> kNone;
  if (index < 0 || size_t(index) >= _glyphs.size()) return kNone;
  Ref<TImageGlyph>& slot = _glyphs[size_t(index)];
  if (slot || !_src_font) return slot;
  auto glyph = std::make_shared<TImageGlyph>();
  if (Ref<TGlyph> src = _src_font->LoadGlyph(index)) {
    glyph->_advance = src->Advance();
    src->GetRect(glyph->_x, glyph->_y, glyph->_w, glyph->_h);
    glyph->_draw_x = float(glyph->_x);
    glyph->_draw_y = float(glyph->_y);
    glyph->_draw_w = float(glyph->_w);
    glyph->_draw_h = float(glyph->_h);
    Ref<TGlyph> sharp = _sharp_font ? _sharp_font->LoadGlyph(index) : nullptr;
    if (sharp && sharp->Pixels()) {
      // The same baseline: the sharp glyph hangs from it as far as it does in its own font.
      int x = 0, y = 0, w = 0, h = 0;
      sharp->GetRect(x, y, w, h);
      const float k = float(_sharp_scale);
      glyph->_draw_x = float(x) / k;
      glyph->_draw_y = float(_src_font->Ascend()) - float(_sharp_font->Ascend() - y) / k;
      glyph->_draw_w = float(w) / k;
      glyph->_draw_h = float(h) / k;
      src = sharp;
    }
    if (auto pixmap = std::dynamic_pointer_cast<TPixmap>(src->Pixels())) {
      glyph->_image = TImage::Load(pixmap, _imageFlags, 0, 0, 0);
    }
  }
  slot = glyph;
  return slot;
}

Ref<TGlyph> TImageFont::LoadGlyph(int index) { return ImageGlyph(index); }

void TImageFont::Draw(const std::u16string& text, float x, float y, float ix, float iy,
                      float jx, float jy) {
  for (char16_t c : text) {
    const int g = CharToGlyph(int(c));
    if (g < 0) continue;
    const Ref<TImageGlyph>& glyph = ImageGlyph(g);
    if (!glyph) continue;
    if (glyph->_image) {
      if (const Ref<TImageFrame>& frame = glyph->_image->Frame(0)) {
        const float gx = glyph->_draw_x, gy = glyph->_draw_y;
        frame->Draw(0, 0, glyph->_draw_w, glyph->_draw_h, x + gx * ix + gy * iy, y + gx * jx + gy * jy);
      }
    }
    x += ix * glyph->_advance;
    y += jx * glyph->_advance;
  }
}

int TImageFont::TextWidth(const std::u16string& text) {
  float w = 0;
  for (char16_t c : text) {
    const int g = CharToGlyph(int(c));
    if (g < 0) continue;
    if (const Ref<TImageGlyph>& glyph = ImageGlyph(g)) w = float(int(w + glyph->_advance));
  }
  return int(w);
}

Ref<TImageFont> TImageFont::Load(const std::u16string& source, int size, int style) {
  Ref<TFont> src = LoadFont(source, size, style);
  if (!src) return nullptr;
  auto font = std::make_shared<TImageFont>();
  font->_src_font = src;
  font->_glyphs.resize(size_t(src->CountGlyphs() > 0 ? src->CountGlyphs() : 0));
  font->_imageFlags = (style & FontSmooth) ? (ImageFiltered | ImageMipmapped) : 0;
  // Glyphs as sharp as the window's pixels; metrics stay those of the asked size.
  const int k = int(std::ceil(CurrentPixelView().scale));
  if (k > 1 && (font->_sharp_font = LoadFont(source, size * k, style))) font->_sharp_scale = k;
  return font;
}

Ref<TImageFont> TImageFont::CreateDefault() {
  Ref<TPixmap> sheet = CreatePixmap(768, 16, FormatRGBA8888);
  if (!sheet) return nullptr;
  for (int r = 0; r < 16; ++r) {
    for (int j = 0; j < 96; ++j) {
      const unsigned bits = DefaultFontBits[r * 96 + j];
      for (int k = 0; k < 8; ++k) {
        sheet->WritePixel(8 * j + k, r, (bits >> k) & 1 ? int(0xffffffffu) : 0);
      }
    }
  }
  auto font = std::make_shared<TImageFont>();
  font->_glyphs.resize(96);
  for (int j = 0; j < 96; ++j) {
    auto glyph = std::make_shared<TImageGlyph>();
    glyph->_advance = 8;
    glyph->_w = glyph->_draw_w = 8;
    glyph->_h = glyph->_draw_h = 16;
    // Each cell is a window onto the sheet; uploads honour its pitch.
    glyph->_image = TImage::Load(sheet->Window(8 * j, 0, 8, 16), 0, 0, 0, 0);
    font->_glyphs[size_t(j)] = glyph;
  }
  return font;
}

Ref<TImageFont> LoadImageFont(const TUrl& source, int size, int style) {
  if (source.stream || source.text.empty()) return nullptr;
  return TImageFont::Load(source.text, size, style);
}

Ref<TImageFont> DefaultImageFont() {
  static Ref<TImageFont> font = TImageFont::CreateDefault();
  return font;
}
