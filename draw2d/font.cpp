// The font loader chain. The FreeType loader is the only one and is linked in by
// the first LoadFont, so a program without text never starts FreeType.
#include "draw2d/font.h"

#include "draw2d/freetype_font.h"

namespace {
TFontLoader*& LoaderHead() {
  static TFontLoader* head = nullptr;
  return head;
}
}  // namespace

TFontLoader::TFontLoader() {
  _succ = LoaderHead();
  LoaderHead() = this;
}

Ref<TFont> LoadFont(const std::u16string& source, int size, int style) {
  StartFreeTypeFontLoader();
  for (TFontLoader* loader = LoaderHead(); loader; loader = loader->_succ) {
    if (Ref<TFont> font = loader->LoadFont(source, size, style)) return font;
  }
  return nullptr;
}
