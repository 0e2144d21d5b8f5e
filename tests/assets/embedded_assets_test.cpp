// The embedded files (the game's ten and the program icon): registered under their
// exact names, served as "incbin::" streams over the same bytes as the committed
// files, and decoded by the program's own loaders to the sizes, layouts, channel
// counts and levels the game relies on.
// Needs no display (fonts are only measured, pictures only decoded).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "audio/sample_loader.h"
#include "draw2d/image.h"
#include "draw2d/image_font.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/incbin.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/env.h"

namespace {

struct Asset {
  const char16_t* name;  // resource name as the game opens it
  const char* file;      // below assets/ in the source tree
};

// In registration order.
const Asset kAssets[] = {
    {u"Cursor.bmp", "Cursor.bmp"},
    {u"Fonts\\DISPF___.ttf", "Fonts/DISPF___.ttf"},
    {u"Archive\\Buttonunbeschriftet.png", "Archive/Buttonunbeschriftet.png"},
    {u"Archive\\ButtonL.png", "Archive/ButtonL.png"},
    {u"Archive\\ButtonR.png", "Archive/ButtonR.png"},
    {u"Sounds\\paper small movement.ogg", "Sounds/paper small movement.ogg"},
    {u"Sounds\\Bell small jingle.ogg", "Sounds/Bell small jingle.ogg"},
    {u"Sounds\\Mouse_click.ogg", "Sounds/Mouse_click.ogg"},
    {u"Sounds\\papper taidying.ogg", "Sounds/papper taidying.ogg"},
    {u"Sounds\\trumpets fanfar.ogg", "Sounds/trumpets fanfar.ogg"},
    // After the game's ten: the program icon for the windows.
    {u"Icons\\tessolino-16.png", "Icons/tessolino-16.png"},
    {u"Icons\\tessolino-32.png", "Icons/tessolino-32.png"},
    {u"Icons\\tessolino-48.png", "Icons/tessolino-48.png"},
    {u"Icons\\tessolino-64.png", "Icons/tessolino-64.png"},
    {u"Icons\\tessolino-128.png", "Icons/tessolino-128.png"},
};

std::u16string Url(const char16_t* name) { return std::u16string(u"incbin::") + name; }

std::vector<unsigned char> SourceFile(const char* rel) {
  std::ifstream in(SourceDir() + "/assets/" + rel, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

int Alpha(const Ref<TPixmap>& p, int x, int y) { return (uint32_t(p->ReadPixel(x, y)) >> 24) & 255; }
int Rgb(const Ref<TPixmap>& p, int x, int y) { return p->ReadPixel(x, y) & 0xFFFFFF; }
double Luma(int rgb) { return 0.299 * ((rgb >> 16) & 255) + 0.587 * ((rgb >> 8) & 255) + 0.114 * (rgb & 255); }

class EmbeddedAssets : public testing::Test {
 protected:
  void SetUp() override { RegisterAssets(); }
};

}  // namespace

TEST_F(EmbeddedAssets, EveryNameServesTheBytesOfItsCommittedFile) {
  for (const Asset& a : kAssets) {
    SCOPED_TRACE(a.file);
    const std::vector<unsigned char> want = SourceFile(a.file);
    ASSERT_FALSE(want.empty()) << "source file missing";
    ASSERT_NE(IncbinPtr(a.name), nullptr);
    ASSERT_EQ(IncbinLen(a.name), int(want.size()));
    EXPECT_EQ(std::memcmp(IncbinPtr(a.name), want.data(), want.size()), 0);
    Ref<TStream> s = ReadStream(Url(a.name));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), int(want.size()));
    std::vector<unsigned char> got(want.size());
    EXPECT_EQ(s->Read(got.data(), int(got.size())), int(got.size()));
    EXPECT_EQ(got, want);
  }
  // The names are exact: another separator or case finds nothing.
  EXPECT_FALSE(ReadStream(u"incbin::Fonts/DISPF___.ttf"));
  EXPECT_FALSE(ReadStream(u"incbin::cursor.bmp"));
}

TEST_F(EmbeddedAssets, RegisteringAgainKeepsTheFirstEntries) {
  const void* font = IncbinPtr(kAssets[1].name);
  RegisterAssets();
  EXPECT_EQ(IncbinPtr(kAssets[1].name), font);
  EXPECT_EQ(IncbinAdd(kAssets[7].name, "x", 1), 0);
  EXPECT_GT(IncbinLen(kAssets[7].name), 1);
}

TEST_F(EmbeddedAssets, CursorIsAnUncompressed24BitArrowOnMagenta) {
  const auto* b = static_cast<const unsigned char*>(IncbinPtr(u"Cursor.bmp"));
  ASSERT_TRUE(b);
  ASSERT_EQ(IncbinLen(u"Cursor.bmp"), 1254);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le32(b + 2), 1254u);   // file size
  EXPECT_EQ(Le32(b + 10), 54u);    // pixel data offset
  EXPECT_EQ(Le32(b + 14), 40u);    // info header size
  EXPECT_EQ(Le32(b + 18), 20u);    // width
  EXPECT_EQ(Le32(b + 22), 20u);    // height, positive: rows bottom-up
  EXPECT_EQ(Le16(b + 26), 1u);     // planes
  EXPECT_EQ(Le16(b + 28), 24u);    // bits per pixel
  EXPECT_EQ(Le32(b + 30), 0u);     // no compression

  Ref<TPixmap> p = LoadPixmap(Url(u"Cursor.bmp"));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 20);
  EXPECT_EQ(p->height, 20);
  EXPECT_EQ(p->format, FormatBGR888);
  const int magenta = 0xFF00FF;
  EXPECT_EQ(Rgb(p, 0, 0), 0x000000) << "the tip is the top-left pixel";
  EXPECT_EQ(Rgb(p, 19, 0), magenta);
  EXPECT_EQ(Rgb(p, 19, 19), magenta);
  int black = 0, white = 0, back = 0, other = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const int c = Rgb(p, x, y);
      if (c == magenta) {
        ++back;
      } else if (c == 0) {
        ++black;
      } else if (c == 0xFFFFFF) {
        ++white;
        // The fill is enclosed by the outline: masking magenta leaves no bare white edge.
        const int nx[] = {x - 1, x + 1, x, x}, ny[] = {y, y, y - 1, y + 1};
        for (int k = 0; k < 4; ++k) {
          if (nx[k] < 0 || ny[k] < 0 || nx[k] > 19 || ny[k] > 19) continue;
          EXPECT_NE(Rgb(p, nx[k], ny[k]), magenta) << "white at " << x << "," << y;
        }
      } else {
        ++other;
      }
    }
  }
  EXPECT_EQ(other, 0) << "only three colours, so the mask colour is exact";
  EXPECT_GT(white, 40);
  EXPECT_GT(black, 30);
  EXPECT_GT(back, 200);
  // An arrow: wide near the top, a narrow tail lower down.
  auto row_width = [&](int y) {
    int w = 0;
    for (int x = 0; x < 20; ++x) w += Rgb(p, x, y) != magenta;
    return w;
  };
  EXPECT_EQ(row_width(0), 1);
  EXPECT_GT(row_width(11), row_width(4));
  EXPECT_LT(row_width(18), row_width(11));
}

TEST_F(EmbeddedAssets, ButtonIsAnOpaqueLightFaceWithSoftTransparentEdges) {
  Ref<TPixmap> p = LoadPixmapPNG(Url(u"Archive\\Buttonunbeschriftet.png"));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 200);
  EXPECT_EQ(p->height, 100);
  EXPECT_EQ(p->format, FormatRGBA8888);
  for (int x : {0, 199})
    for (int y : {0, 99}) EXPECT_EQ(Alpha(p, x, y), 0) << x << "," << y;
  // Where a label goes the face is opaque and light, so black text stands out
  // (contrast of black on it above 7:1 means a luma of at least about 140).
  for (int y = 30; y < 70; y += 3) {
    for (int x = 30; x < 170; x += 5) {
      ASSERT_EQ(Alpha(p, x, y), 255) << x << "," << y;
      ASSERT_GT(Luma(Rgb(p, x, y)), 140.0) << x << "," << y;
    }
  }
  // The edge fades out over several steps instead of cutting off.
  std::vector<int> ramp;
  for (int x = 0; x < 30; ++x) {
    const int a = Alpha(p, x, 50);
    if (a > 0 && a < 255) ramp.push_back(a);
  }
  EXPECT_GE(ramp.size(), 3u);
  for (size_t i = 1; i < ramp.size(); ++i) EXPECT_GE(ramp[i], ramp[i - 1] - 2);
}

TEST_F(EmbeddedAssets, ArrowButtonsPointLeftAndRightAndMirrorEachOther) {
  Ref<TPixmap> l = LoadPixmapPNG(Url(u"Archive\\ButtonL.png"));
  Ref<TPixmap> r = LoadPixmapPNG(Url(u"Archive\\ButtonR.png"));
  ASSERT_TRUE(l && r);
  for (const Ref<TPixmap>& p : {l, r}) {
    EXPECT_EQ(p->width, 120);
    EXPECT_EQ(p->height, 50);
    EXPECT_EQ(p->format, FormatRGBA8888);
  }
  auto opaque_rows = [](const Ref<TPixmap>& p, int x) {
    int n = 0;
    for (int y = 0; y < p->height; ++y) n += Alpha(p, x, y) > 128;
    return n;
  };
  // Left arrow: a pointed tip at the left, the wide head, then a narrower shaft.
  const int tip = opaque_rows(l, 12), head = opaque_rows(l, 48), shaft = opaque_rows(l, 100);
  EXPECT_GT(tip, 0);
  EXPECT_LT(tip, shaft);
  EXPECT_GT(head, shaft + 10);
  EXPECT_GT(Alpha(l, 12, 25), 128) << "the tip sits on the middle row";
  EXPECT_EQ(Alpha(l, 12, 5), 0);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(l->ReadPixel(x, y), r->ReadPixel(119 - x, y)) << x << "," << y;
}

TEST_F(EmbeddedAssets, IconIsSquareInEverySizeWithTransparentCornersAndAnOpaqueBoard) {
  for (int size : kEmbeddedIconSizes) {
    SCOPED_TRACE(size);
    const std::string n = std::to_string(size);
    Ref<TPixmap> icon = LoadPixmapPNG(Url((u"Icons\\tessolino-" + U16(n) + u".png").c_str()));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, size);
    EXPECT_EQ(icon->height, size);
    EXPECT_EQ(icon->format, FormatRGBA8888);
    EXPECT_EQ(Alpha(icon, 0, size - 1), 0);
    EXPECT_EQ(Alpha(icon, size / 2, size / 2), 255);
  }
}

TEST_F(EmbeddedAssets, SoundsDecodeWithTheirChannelsRateLengthAndLevel) {
  struct Want {
    const char16_t* name;
    int channels;
    double seconds;
  };
  const Want wants[] = {
      {u"Sounds\\paper small movement.ogg", 1, 0.5}, {u"Sounds\\Bell small jingle.ogg", 2, 0.9},
      {u"Sounds\\Mouse_click.ogg", 1, 0.2},          {u"Sounds\\papper taidying.ogg", 2, 0.8},
      {u"Sounds\\trumpets fanfar.ogg", 2, 2.4},
  };
  for (const Want& w : wants) {
    SCOPED_TRACE(ToOSBytes(w.name));
    Ref<TAudioSample> s = LoadAudioSample(Url(w.name));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->hertz, 44100);
    EXPECT_EQ(SampleFrameChannels(s->format), w.channels);
    ASSERT_TRUE(s->format == SF_MONO16LE || s->format == SF_STEREO16LE);
    EXPECT_NEAR(double(s->length) / s->hertz, w.seconds, 0.03);
    // Peak about -3 dBFS (the encoder moves it a little), never clipped, never silent.
    const auto* v = reinterpret_cast<const int16_t*>(s->samples);
    const size_t n = size_t(s->length) * size_t(w.channels);
    int peak = 0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const int a = std::abs(int(v[i]));
      if (a > peak) peak = a;
      sum += double(v[i]) * v[i];
    }
    const double peak_db = 20 * std::log10(peak / 32768.0);
    const double rms_db = 10 * std::log10(sum / double(n) / (32768.0 * 32768.0));
    EXPECT_GT(peak_db, -5.0);
    EXPECT_LT(peak_db, -1.5);
    EXPECT_GT(rms_db, -35.0);
    // Each channel carries sound: a stereo file is not one channel and silence.
    if (w.channels == 2) {
      double left = 0, right = 0;
      for (size_t i = 0; i + 1 < n; i += 2) {
        left += std::abs(v[i]);
        right += std::abs(v[i + 1]);
      }
      EXPECT_GT(left, 0.2 * right);
      EXPECT_GT(right, 0.2 * left);
    }
  }
}

TEST_F(EmbeddedAssets, FontLoadsAtBothSizesWithEveryCharacterTheGameWrites) {
  const std::u16string texts[] = {
      u"AUFGEL\u00d6ST",          u"Aufl\u00f6sen", u"Ja, aufh\u00f6ren!",
      u"Test und Versch\u00f6nerungstipps:", u"Korrekt platzierte: 144/144", u"Getauschte Teile: 0",
      u"M\u00fcde? Sp\u00e4ter! \u00c4 \u00dc \u00df", u"Neues Motiv (Wechsel mit TAB)",
      u"Keine Bilder in Motives/ \u2013 PNG, JPEG, HEIC, WebP oder AVIF hineinlegen",
  };
  for (int size : {30, 20}) {
    SCOPED_TRACE(size);
    Ref<TImageFont> font = LoadImageFont(Url(u"Fonts\\DISPF___.ttf"), size, FontSmooth);
    ASSERT_TRUE(font);
    EXPECT_GE(font->Height(), size);
    EXPECT_LT(font->Height(), 2 * size);
    // Every printable Latin-1 character has a glyph.
    for (int c = 0x20; c <= 0xFF; ++c) {
      if (c >= 0x7F && c < 0xA0) continue;
      EXPECT_GE(font->CharToGlyph(c), 0) << "U+" << std::hex << c;
    }
    for (const std::u16string& t : texts)
      for (char16_t c : t) EXPECT_GE(font->CharToGlyph(c), 0) << "U+" << std::hex << int(c);
    // The umlauts have ink and width of their own.
    for (char16_t c : {u'\u00d6', u'\u00f6', u'\u00fc', u'\u00e4'}) {
      Ref<TImageGlyph> g = font->ImageGlyph(font->CharToGlyph(c));
      ASSERT_TRUE(g);
      EXPECT_TRUE(g->_image);
      EXPECT_GT(g->_advance, size / 3.0f);
    }
    EXPECT_GT(font->TextWidth(u"AUFGEL\u00d6ST"), font->TextWidth(u"AUFGELST"));
  }
}
