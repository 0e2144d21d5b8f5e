// TFreeTypeFont: a TrueType (or any FreeType-readable) face at one pixel size,
// opened from a path or from a stream URL read into memory, whose glyphs are
// rendered once into alpha-only pixmaps. FreeType types stay in the .cpp file.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "draw2d/font.h"

struct TPixmap;
struct FT_FaceRec_;

struct TFreeTypeGlyph : TGlyph {
  Ref<TPixmap> _pixmap;  // FormatA8; null for an empty glyph
  float _advance = 0;
  int _x = 0, _y = 0, _w = 0, _h = 0;

  Ref<TObject> Pixels() override;
  float Advance() override { return _advance; }
  void GetRect(int& x, int& y, int& width, int& height) override;
};

struct TFreeTypeFont : TFont {
  FT_FaceRec_* _ft_face = nullptr;  // owned; done before _buf is freed
  int _style = 0;
  int _height = 0, _ascend = 0, _descend = 0;  // size metrics in whole pixels
  std::vector<Ref<TFreeTypeGlyph>> _glyphs;    // slot i is FreeType glyph i + 1
  std::unique_ptr<unsigned char[]> _buf;       // font file bytes for memory faces
  int _buf_size = 0;

  TFreeTypeFont() = default;
  TFreeTypeFont(const TFreeTypeFont&) = delete;
  TFreeTypeFont& operator=(const TFreeTypeFont&) = delete;
  ~TFreeTypeFont() override;

  int Style() override { return _style; }
  int Height() override { return _height; }
  int Ascend() override { return _ascend; }
  int CountGlyphs() override { return int(_glyphs.size()); }
  int CharToGlyph(int code) override;
  Ref<TGlyph> LoadGlyph(int index) override;

  // A source containing "::" is a stream URL read whole into memory (a URL that
  // cannot be opened raises TStreamReadException); anything else is a file path.
  // Null when the face cannot be opened or no size from `size` down to 1 is accepted.
  static Ref<TFreeTypeFont> Load(const std::u16string& source, int size, int style);
};

// Registers the FreeType loader in the font loader chain (once).
void StartFreeTypeFontLoader();
