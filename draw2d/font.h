// Source fonts for image fonts: the abstract font and glyph, the style bits and
// the chain of font loaders (newest first, like the pixmap loaders).
#pragma once
#include <string>

#include "platform/object.h"

struct TPixmap;

enum : int { FontBold = 1, FontItalic = 2, FontSmooth = 4 };

struct TGlyph : TObject {
  virtual Ref<TObject> Pixels() = 0;  // the glyph's picture, or null for an empty glyph
  virtual float Advance() = 0;
  virtual void GetRect(int& x, int& y, int& width, int& height) = 0;
};

struct TFont : TObject {
  virtual int Style() = 0;
  virtual int Height() = 0;
  virtual int Ascend() { return 0; }  // line top to baseline, in pixels
  virtual int CountGlyphs() = 0;
  virtual int CharToGlyph(int code) = 0;        // glyph index or -1
  virtual Ref<TGlyph> LoadGlyph(int index) = 0;  // null only for an index out of range
};

// One link of the loader chain; constructing a loader puts it at the head.
struct TFontLoader {
  TFontLoader* _succ = nullptr;
  TFontLoader();
  virtual ~TFontLoader() = default;
  TFontLoader(const TFontLoader&) = delete;
  TFontLoader& operator=(const TFontLoader&) = delete;
  virtual Ref<TFont> LoadFont(const std::u16string& source, int size, int style) = 0;
};

// Asks every loader from the head; the first non-null font wins.
Ref<TFont> LoadFont(const std::u16string& source, int size, int style);
