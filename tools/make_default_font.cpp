// Renders the built-in 8 x 16 fallback font once from DejaVu Sans Mono (freely
// licensed, Debian fonts-dejavu-core) and writes draw2d/default_font_data.cpp.
// The output is committed; run this only to regenerate it:
//   g++ -std=c++20 -O2 tools/make_default_font.cpp $(pkg-config --cflags --libs freetype2) \
//       -o /tmp/make_default_font && /tmp/make_default_font \
//       /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf > draw2d/default_font_data.cpp
// Layout of the table: 16 rows of 96 bytes; byte j of row r holds character 32 + j,
// bit k (least significant first) is the pixel at column k of that character's cell.
#include <cstdio>
#include <cstring>

#include <ft2build.h>
#include FT_FREETYPE_H

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, path, 0, &face)) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  // 13 px gives an advance just under 8 px and caps that fit the 16-row cell.
  if (FT_Set_Pixel_Sizes(face, 0, 13)) return 1;
  const int baseline = 12;  // row of the baseline inside the cell
  unsigned char bits[16][96];
  std::memset(bits, 0, sizeof bits);
  for (int c = 33; c < 127; ++c) {
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME)) continue;
    const FT_Bitmap& bm = face->glyph->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_MONO) continue;
    int left = face->glyph->bitmap_left;
    int top = baseline - face->glyph->bitmap_top;
    // Keep the glyph inside its cell: shift it in rather than crop it.
    if (left < 0) left = 0;
    if (left + int(bm.width) > 8) left = 8 - int(bm.width);
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (top + int(bm.rows) > 16) top = 16 - int(bm.rows);
    for (unsigned y = 0; y < bm.rows; ++y) {
      const unsigned char* row = bm.buffer + int(y) * bm.pitch;
      for (unsigned x = 0; x < bm.width; ++x) {
        if (!(row[x >> 3] & (0x80 >> (x & 7)))) continue;
        int px = left + int(x), py = top + int(y);
        if (px < 0 || px >= 8 || py < 0 || py >= 16) continue;
        bits[py][c - 32] |= (unsigned char)(1u << px);
      }
    }
  }
  std::printf("// The built-in 8 x 16 font: glyphs of DejaVu Sans Mono (Bitstream Vera\n"
              "// licence), rendered at 13 px by tools/make_default_font.cpp. Generated.\n"
              "#include \"draw2d/default_font_data.h\"\n\n"
              "const unsigned char DefaultFontBits[DefaultFontBytes] = {\n");
  for (int r = 0; r < 16; ++r) {
    std::printf("  // row %d\n", r);
    for (int j = 0; j < 96; ++j) {
      if (j % 16 == 0) std::printf("  ");
      std::printf("0x%02x,%s", bits[r][j], j % 16 == 15 ? "\n" : " ");
    }
  }
  std::printf("};\n");
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return 0;
}
