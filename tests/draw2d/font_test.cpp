// FreeType and built-in image fonts: metrics, glyph pictures, text measuring and
// the failure cases of loading. Needs no display (no glyph is drawn here).
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <fstream>
#include <iterator>
#include <vector>

#include "draw2d/freetype_font.h"
#include "draw2d/image.h"
#include "draw2d/image_font.h"
#include "pixmap/pixmap.h"
#include "platform/incbin.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/env.h"

namespace {

const char* kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

bool HaveDejaVu() { return std::ifstream(kSans).good(); }

#define REQUIRE_DEJAVU() \
  if (!HaveDejaVu()) GTEST_SKIP() << "fonts-dejavu-core is not installed"

// FreeType straight, for the figures the font must reproduce.
struct RawFace {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  explicit RawFace(int size) {
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, kSans, 0, &face);
    FT_Set_Pixel_Sizes(face, 0, size);
  }
  ~RawFace() {
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  int Advance(char16_t c) {
    FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_RENDER);
    return int(face->glyph->advance.x >> 6);
  }
};

std::vector<unsigned char> FileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(FreeTypeFont, MetricsAreWholePixelsShiftedArithmetically) {
  REQUIRE_DEJAVU();
  auto font = TFreeTypeFont::Load(FromOSBytes(kSans), 30, 0);
  ASSERT_TRUE(font);
  RawFace raw(30);
  const FT_Size_Metrics& m = raw.face->size->metrics;
  EXPECT_EQ(font->Height(), int(m.height >> 6));
  EXPECT_EQ(font->_ascend, int(m.ascender >> 6));
  // The descender is negative: an arithmetic shift rounds it down, not toward 0.
  ASSERT_LT(m.descender, 0);
  EXPECT_EQ(font->_descend, int((m.descender - 63) / 64));
  EXPECT_EQ(font->CountGlyphs(), int(raw.face->num_glyphs));
}

TEST(FreeTypeFont, GlyphsCarryFreeTypeAdvanceAndPlacement) {
  REQUIRE_DEJAVU();
  auto font = TFreeTypeFont::Load(FromOSBytes(kSans), 30, 0);
  ASSERT_TRUE(font);
  RawFace raw(30);
  const int index = font->CharToGlyph('g');
  EXPECT_EQ(index, int(FT_Get_Char_Index(raw.face, 'g')) - 1);
  auto glyph = std::dynamic_pointer_cast<TFreeTypeGlyph>(font->LoadGlyph(index));
  ASSERT_TRUE(glyph && glyph->_pixmap);
  FT_Load_Glyph(raw.face, FT_Get_Char_Index(raw.face, 'g'), FT_LOAD_RENDER);
  const FT_GlyphSlot s = raw.face->glyph;
  EXPECT_EQ(glyph->Advance(), float(s->advance.x >> 6));
  int x, y, w, h;
  glyph->GetRect(x, y, w, h);
  EXPECT_EQ(x, s->bitmap_left);
  EXPECT_EQ(y, font->_ascend - s->bitmap_top);
  EXPECT_EQ(w, int(s->bitmap.width));
  EXPECT_EQ(h, int(s->bitmap.rows));
  EXPECT_EQ(glyph->_pixmap->format, FormatA8);
  // Coverage copied row by row through the pitch.
  for (int yy = 0; yy < h; ++yy) {
    for (int xx = 0; xx < w; ++xx) {
      ASSERT_EQ(glyph->_pixmap->PixelPtr(xx, yy)[0], s->bitmap.buffer[yy * s->bitmap.pitch + xx]);
    }
  }
  EXPECT_EQ(font->LoadGlyph(index), glyph);  // rendered once
}

TEST(FreeTypeFont, SpaceHasAdvanceButNoPictureAndMissingCharactersMapToMinusOne) {
  REQUIRE_DEJAVU();
  auto font = TFreeTypeFont::Load(FromOSBytes(kSans), 20, 0);
  ASSERT_TRUE(font);
  auto space = std::dynamic_pointer_cast<TFreeTypeGlyph>(font->LoadGlyph(font->CharToGlyph(' ')));
  ASSERT_TRUE(space);
  EXPECT_FALSE(space->_pixmap);
  EXPECT_GT(space->Advance(), 0.0f);
  EXPECT_EQ(font->CharToGlyph(0xE000), -1);  // private use: not in DejaVu Sans
  EXPECT_FALSE(font->LoadGlyph(-1));
  EXPECT_FALSE(font->LoadGlyph(font->CountGlyphs()));
}

TEST(FreeTypeFont, SmoothGlyphsGetAClearOnePixelFrame) {
  REQUIRE_DEJAVU();
  auto plain = TFreeTypeFont::Load(FromOSBytes(kSans), 30, 0);
  auto smooth = TFreeTypeFont::Load(FromOSBytes(kSans), 30, FontSmooth);
  ASSERT_TRUE(plain && smooth);
  const int index = plain->CharToGlyph('A');
  auto a = std::dynamic_pointer_cast<TFreeTypeGlyph>(plain->LoadGlyph(index));
  auto b = std::dynamic_pointer_cast<TFreeTypeGlyph>(smooth->LoadGlyph(index));
  ASSERT_TRUE(a && b && a->_pixmap && b->_pixmap);
  int ax, ay, aw, ah, bx, by, bw, bh;
  a->GetRect(ax, ay, aw, ah);
  b->GetRect(bx, by, bw, bh);
  EXPECT_EQ(bx, ax - 1);
  EXPECT_EQ(by, ay - 1);
  EXPECT_EQ(bw, aw + 2);
  EXPECT_EQ(bh, ah + 2);
  ASSERT_EQ(b->_pixmap->width, aw + 2);
  ASSERT_EQ(b->_pixmap->height, ah + 2);
  int border = 0, same = 1;
  for (int y = 0; y < bh; ++y) {
    for (int x = 0; x < bw; ++x) {
      const int v = b->_pixmap->PixelPtr(x, y)[0];
      if (x == 0 || y == 0 || x == bw - 1 || y == bh - 1) {
        border |= v;
      } else if (v != a->_pixmap->PixelPtr(x - 1, y - 1)[0]) {
        same = 0;
      }
    }
  }
  EXPECT_EQ(border, 0);
  EXPECT_EQ(same, 1);
}

TEST(FreeTypeFont, LoadsFromAnEmbeddedResourceAndRefusesBadSources) {
  REQUIRE_DEJAVU();
  static std::vector<unsigned char> bytes = FileBytes(kSans);
  IncbinAdd(u"FontTest/DejaVuSans.ttf", bytes.data(), int(bytes.size()));
  static const unsigned char junk[64] = {1, 2, 3};
  IncbinAdd(u"FontTest/junk.ttf", junk, int(sizeof junk));
  IncbinAdd(u"FontTest/empty.ttf", junk, 0);

  auto mem = TFreeTypeFont::Load(u"incbin::FontTest/DejaVuSans.ttf", 30, 0);
  ASSERT_TRUE(mem);
  EXPECT_EQ(mem->_buf_size, int(bytes.size()));
  EXPECT_NE(mem->_buf.get(), bytes.data());  // the font owns a copy
  auto file = TFreeTypeFont::Load(FromOSBytes(kSans), 30, 0);
  EXPECT_EQ(mem->Height(), file->Height());

  EXPECT_FALSE(TFreeTypeFont::Load(u"incbin::FontTest/junk.ttf", 30, 0));
  EXPECT_FALSE(TFreeTypeFont::Load(u"incbin::FontTest/empty.ttf", 30, 0));
  EXPECT_FALSE(TFreeTypeFont::Load(u"/nonexistent/font.ttf", 30, 0));
  EXPECT_THROW(TFreeTypeFont::Load(u"incbin::FontTest/none.ttf", 30, 0), TStreamReadException);
  EXPECT_FALSE(LoadImageFont(u"", 30, 0));
  EXPECT_FALSE(LoadImageFont(TUrl(ReadStream(FromOSBytes(kSans))), 30, 0));  // not a string
}

TEST(ImageFont, TextWidthIsTheRunningSumOfWholePixelAdvances) {
  REQUIRE_DEJAVU();
  auto font = LoadImageFont(FromOSBytes(kSans), 30, FontSmooth);
  ASSERT_TRUE(font);
  RawFace raw(30);
  const std::u16string text = u"Spiel starten";
  int expected = 0;
  for (char16_t c : text) expected += raw.Advance(c);
  EXPECT_EQ(font->TextWidth(text), expected);
  EXPECT_EQ(font->TextWidth(u""), 0);
  // The umlaut is one code unit and one glyph.
  const std::u16string solved = u"AUFGEL\u00d6ST";
  EXPECT_EQ(solved.size(), 9u);
  int solved_width = 0;
  for (char16_t c : solved) solved_width += raw.Advance(c);
  EXPECT_EQ(font->TextWidth(solved), solved_width);
  // Characters the font lacks add nothing.
  EXPECT_EQ(font->TextWidth(u"\ue000\ue001"), 0);
  EXPECT_EQ(font->TextWidth(u"A\ue000B"), font->TextWidth(u"AB"));
  EXPECT_EQ(font->Height(), int(raw.face->size->metrics.height >> 6));
}

TEST(ImageFont, SmoothFontsMakeFilteredMipmappedGlyphImages) {
  REQUIRE_DEJAVU();
  auto smooth = LoadImageFont(FromOSBytes(kSans), 20, FontSmooth);
  auto plain = LoadImageFont(FromOSBytes(kSans), 20, 0);
  ASSERT_TRUE(smooth && plain);
  auto gs = smooth->ImageGlyph(smooth->CharToGlyph('W'));
  auto gp = plain->ImageGlyph(plain->CharToGlyph('W'));
  ASSERT_TRUE(gs && gs->_image && gp && gp->_image);
  EXPECT_EQ(gs->_image->flags, ImageFiltered | ImageMipmapped);
  EXPECT_EQ(gp->_image->flags, 0);
  EXPECT_EQ(gs->_image->width, gp->_image->width + 2);
  EXPECT_FALSE(smooth->ImageGlyph(smooth->CharToGlyph(' '))->_image);
}

TEST(ImageFont, BuiltInFontIsEightBySixteenForPrintableAscii) {
  auto font = DefaultImageFont();
  ASSERT_TRUE(font);
  EXPECT_EQ(font, DefaultImageFont());
  EXPECT_EQ(font->Height(), 16);
  EXPECT_EQ(font->Style(), 0);
  EXPECT_EQ(font->TextWidth(u"0123456789"), 80);
  EXPECT_EQ(font->TextWidth(u"ab\u00e4"), 16);  // above 127: skipped
  EXPECT_EQ(font->CharToGlyph(31), -1);
  EXPECT_EQ(font->CharToGlyph(32), 0);
  EXPECT_EQ(font->CharToGlyph(127), 95);
  EXPECT_EQ(font->CharToGlyph(128), -1);
  // Every cell is its own 8 x 16 image; 'A' has ink, the space has none.
  auto a = font->ImageGlyph(font->CharToGlyph('A'));
  auto space = font->ImageGlyph(0);
  ASSERT_TRUE(a && a->_image && space && space->_image);
  EXPECT_EQ(a->_image->width, 8);
  EXPECT_EQ(a->_image->height, 16);
  auto count_ink = [](const Ref<TImage>& img) {
    int n = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 8; ++x) n += (img->pixmaps[0]->ReadPixel(x, y) == int(0xffffffffu));
    return n;
  };
  EXPECT_GT(count_ink(a->_image), 10);
  EXPECT_EQ(count_ink(space->_image), 0);
}

namespace {
std::u16string StrikeFont() {
  return FromOSBytes(SourceDir() + "/tests/draw2d/data/strike_test.ttf");
}
}  // namespace

TEST(FreeTypeFont, BitmapOnlyFontFallsBackToTheNextSmallerStrike) {
  // Strikes at 12 and 16 pixels only.
  auto at14 = TFreeTypeFont::Load(StrikeFont(), 14, 0);
  auto at12 = TFreeTypeFont::Load(StrikeFont(), 12, 0);
  auto at20 = TFreeTypeFont::Load(StrikeFont(), 20, 0);
  auto at16 = TFreeTypeFont::Load(StrikeFont(), 16, 0);
  ASSERT_TRUE(at14 && at12 && at20 && at16);
  EXPECT_EQ(at14->Height(), at12->Height());
  EXPECT_EQ(at20->Height(), at16->Height());
  EXPECT_NE(at12->Height(), at16->Height());
  EXPECT_FALSE(TFreeTypeFont::Load(StrikeFont(), 11, 0));  // nothing at 11 or below
  EXPECT_FALSE(LoadImageFont(StrikeFont(), 11, 0));
}

TEST(FreeTypeFont, OneBitStrikesAreExpandedBitByBit) {
  // One-bit strikes report two grey levels; their rows are one byte for 8 pixels.
  auto font = TFreeTypeFont::Load(StrikeFont(), 16, 0);
  ASSERT_TRUE(font);
  auto a = std::dynamic_pointer_cast<TFreeTypeGlyph>(font->LoadGlyph(font->CharToGlyph('A')));
  ASSERT_TRUE(a && a->_pixmap);
  ASSERT_EQ(a->_pixmap->width, 8);
  ASSERT_EQ(a->_pixmap->height, 10);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool edge = y == 0 || y == 9 || x == 0 || x == 7;
      ASSERT_EQ(a->_pixmap->PixelPtr(x, y)[0], edge ? 255 : 0) << x << "," << y;
    }
  }
  auto space = std::dynamic_pointer_cast<TFreeTypeGlyph>(font->LoadGlyph(font->CharToGlyph(' ')));
  ASSERT_TRUE(space);
  EXPECT_FALSE(space->_pixmap);  // no rows: empty
  EXPECT_EQ(space->Advance(), 5.0f);
  auto image_font = LoadImageFont(StrikeFont(), 16, 0);
  ASSERT_TRUE(image_font);
  EXPECT_EQ(image_font->TextWidth(u"A A"), 14 + 5 + 14);
}
