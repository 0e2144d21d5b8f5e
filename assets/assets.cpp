// Registration table of the embedded files. The bytes come from one generated source
// per file (see assets/CMakeLists.txt), so nothing is read from the assets folder at
// run time; the names are the ones the game opens as "incbin::" + name.
#include "assets/assets.h"

#include "platform/incbin.h"

#define TESS_ASSET(sym)                  \
  extern const unsigned char sym[];      \
  extern const int sym##_size;
TESS_ASSET(tess_asset_cursor)
TESS_ASSET(tess_asset_font)
TESS_ASSET(tess_asset_button)
TESS_ASSET(tess_asset_button_l)
TESS_ASSET(tess_asset_button_r)
TESS_ASSET(tess_asset_sfx_paper_move)
TESS_ASSET(tess_asset_sfx_jingle)
TESS_ASSET(tess_asset_sfx_click)
TESS_ASSET(tess_asset_sfx_paper_mix)
TESS_ASSET(tess_asset_sfx_fanfare)
TESS_ASSET(tess_asset_icon_16)
TESS_ASSET(tess_asset_icon_32)
TESS_ASSET(tess_asset_icon_48)
TESS_ASSET(tess_asset_icon_64)
TESS_ASSET(tess_asset_icon_128)
#undef TESS_ASSET

void RegisterAssets() {
  struct Entry {
    const char16_t* name;
    const unsigned char* data;
    int size;
  };
  const Entry entries[] = {
      {u"Cursor.bmp", tess_asset_cursor, tess_asset_cursor_size},
      {u"Fonts\\DISPF___.ttf", tess_asset_font, tess_asset_font_size},
      {u"Archive\\Buttonunbeschriftet.png", tess_asset_button, tess_asset_button_size},
      {u"Archive\\ButtonL.png", tess_asset_button_l, tess_asset_button_l_size},
      {u"Archive\\ButtonR.png", tess_asset_button_r, tess_asset_button_r_size},
      {u"Sounds\\paper small movement.ogg", tess_asset_sfx_paper_move, tess_asset_sfx_paper_move_size},
      {u"Sounds\\Bell small jingle.ogg", tess_asset_sfx_jingle, tess_asset_sfx_jingle_size},
      {u"Sounds\\Mouse_click.ogg", tess_asset_sfx_click, tess_asset_sfx_click_size},
      {u"Sounds\\papper taidying.ogg", tess_asset_sfx_paper_mix, tess_asset_sfx_paper_mix_size},
      {u"Sounds\\trumpets fanfar.ogg", tess_asset_sfx_fanfare, tess_asset_sfx_fanfare_size},
      // The program icon for the window properties, after the game's ten files.
      {u"Icons\\tessolino-16.png", tess_asset_icon_16, tess_asset_icon_16_size},
      {u"Icons\\tessolino-32.png", tess_asset_icon_32, tess_asset_icon_32_size},
      {u"Icons\\tessolino-48.png", tess_asset_icon_48, tess_asset_icon_48_size},
      {u"Icons\\tessolino-64.png", tess_asset_icon_64, tess_asset_icon_64_size},
      {u"Icons\\tessolino-128.png", tess_asset_icon_128, tess_asset_icon_128_size},
  };
  for (const Entry& e : entries) IncbinAdd(e.name, e.data, e.size);
}
