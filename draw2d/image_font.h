// TImageFont: a source font whose glyphs become images on first use, drawn like
// any image (tinted by the colour, blended by the blend mode); and the built-in
// 8 x 16 font used before any font is set.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "draw2d/font.h"

struct TImage;
#include "platform/stream.h"  // TUrl converts from strings at every call

struct TImageGlyph : TGlyph {
  Ref<TImage> _image;
  float _advance = 0;
  int _x = 0, _y = 0, _w = 0, _h = 0;
  // Where the image is drawn, in units: the rectangle above, or for a glyph
  // rendered at the window's resolution its own rectangle scaled down.
  float _draw_x = 0, _draw_y = 0, _draw_w = 0, _draw_h = 0;

  Ref<TObject> Pixels() override;
  float Advance() override { return _advance; }
  void GetRect(int& x, int& y, int& width, int& height) override;
};

struct TImageFont : TFont {
  Ref<TFont> _src_font;  // null for the built-in font
  // In a window of more than one pixel per unit: the source at that many times its
  // size, whose glyphs are drawn at the positions and advances of _src_font's.
  Ref<TFont> _sharp_font;
  int _sharp_scale = 1;
  std::vector<Ref<TImageGlyph>> _glyphs;
  int _imageFlags = 0;
  // Glyph indices of the first 256 codes as looked up (-2: not yet): text is drawn
  // again every frame.
  std::array<int, 256> _latin_glyphs = [] {
    std::array<int, 256> a;
    a.fill(-2);
    return a;
  }();

  int Style() override;
  int Height() override;
  int CountGlyphs() override { return int(_glyphs.size()); }
  int CharToGlyph(int code) override;
  Ref<TGlyph> LoadGlyph(int index) override;
  // Null for an index out of range.
  const Ref<TImageGlyph>& ImageGlyph(int index);

  // Draws each code unit's glyph with the pen at (x, y), moved by the advance
  // along (ix, jx); (iy, jy) is the transform's second column.
  void Draw(const std::u16string& text, float x, float y, float ix, float iy, float jx, float jy);
  // Sum of advances, truncated after each step; characters without glyph add nothing.
  int TextWidth(const std::u16string& text);

  static Ref<TImageFont> Load(const std::u16string& source, int size, int style);
  static Ref<TImageFont> CreateDefault();
};

// Null for a non-string or empty source, or a font that cannot be opened or sized.
Ref<TImageFont> LoadImageFont(const TUrl& source, int size, int style = FontSmooth);
// The built-in font, made once and shared.
Ref<TImageFont> DefaultImageFont();
