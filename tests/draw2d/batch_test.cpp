// Batched drawing over atlas textures must look exactly like one draw per quad,
// and unfiltered tiles on half-pixel positions must show every texel once.
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "draw2d/image_font.h"
#include "platform/ustring.h"
#include "tests/draw2d/gl_fixture.h"
#include "tests/support/gl_counters.h"

namespace {

constexpr int kWinW = 560, kWinH = 540;

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    g_ = Graphics(kWinW, kWinH, 0, 0, 0);
    ASSERT_TRUE(g_);
    driver_ = GLDraw2DDriver();
  }
  void TearDown() override {
    if (driver_) {
      driver_->SetBatching(true);
      driver_->SetAtlas(true);
    }
    if (g_) EndGraphics();
  }
  Ref<TGraphics> g_;
  Ref<TGLDraw2DDriver> driver_;
};

// n x n tiles cut from a 512 x 512 picture, as the board makes them.
std::vector<Ref<TImage>> Tiles(int n, const Ref<TPixmap>& picture) {
  const int t = 512 / n;
  std::vector<Ref<TImage>> tiles;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      Ref<TImage> tile = CreateImage(t, t, 1, 9);
      LockImage(tile)->Paste(*picture->Window(i * t, j * t, t, t), 0, 0);
      tiles.push_back(tile);
    }
  }
  return tiles;
}

Ref<TPixmap> Picture() {
  Ref<TPixmap> pm = CreatePixmap(512, 512, FormatRGBA8888);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x)
      pm->WritePixel(x, y, int(0xff000000u | ((x * 3 + y) & 255) << 16 | ((y * 5) & 255) << 8 | ((x ^ y) & 255)));
  return pm;
}

void DrawScene(int n, const std::vector<Ref<TImage>>& tiles, const Ref<TImage>& preview,
               const Ref<TImageFont>& font) {
  const int t = 512 / n;
  const float bx = 8.5f, by = 10.5f;
  SetClsColor(20, 30, 40);
  Cls();
  SetBlend(BlendAlpha);
  SetAlpha(1);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      SetColor(0, 255, 0);
      DrawRect(bx + float(i * t) - 1, by + float(j * t) - 1, float(t) + 2, float(t) + 2);
      SetColor(255, 255, 255);
      DrawImage(tiles[size_t(j * n + i)], bx + float(i * t), by + float(j * t));
    }
  }
  // A swap animation between two cells, growing to twice the size and back.
  for (int k = 0; k <= 4; ++k) {
    const float s = 1.0f + float(k) / 4.0f;
    SetScale(s, s);
    DrawImage(tiles[0], bx + float(k * t) * 0.37f, by + float(k * t) * 0.21f);
  }
  SetScale(1, 1);
  SetBlend(BlendLight);
  SetAlpha(0.3f);
  SetColor(255, 255, 0);
  DrawRect(bx + float(t), by + float(t), float(t), float(t));
  SetBlend(BlendAlpha);
  SetAlpha(1);
  SetScale(0.39f, 0.39f);
  DrawImage(preview, 330, 300);
  SetScale(1, 1);
  SetColor(255, 255, 255);
  DrawText(u"Zeit 12:34", 20, 500);
  if (font) {
    SetImageFont(font);
    SetColor(255, 200, 0);
    DrawText(u"AUFGEL\u00d6ST", 200, 480);
    SetImageFont(nullptr);
  }
}

}  // namespace

TEST_F(BoardTest, BatchedFramesArePixelIdenticalToOneDrawPerQuad) {
  TGLCallCounter gl;
  const char* sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  Ref<TImageFont> font;
  if (std::ifstream(sans).good()) font = LoadImageFont(FromOSBytes(sans), 30, FontSmooth);
  Ref<TPixmap> picture = Picture();
  Ref<TImage> preview = LoadImage(picture, -1);
  for (int n : {4, 5, 12, 27, 32}) {
    std::vector<Ref<TImage>> tiles = Tiles(n, picture);
    driver_->SetBatching(false);
    const int64_t d0 = gl.draws;
    DrawScene(n, tiles, preview, font);
    Ref<TPixmap> one_by_one = GrabPixmap(0, 0, kWinW, kWinH);  // the frame reaches GL here
    const int64_t unbatched_draws = gl.draws - d0;
    Flip(0);
    driver_->SetBatching(true);
    const int64_t d1 = gl.draws;
    DrawScene(n, tiles, preview, font);
    Ref<TPixmap> batched = GrabPixmap(0, 0, kWinW, kWinH);
    const int64_t batched_draws = gl.draws - d1;
    Flip(0);
    int differing = 0;
    for (int y = 0; y < kWinH; ++y)
      for (int x = 0; x < kWinW; ++x)
        differing += one_by_one->ReadPixel(x, y) != batched->ReadPixel(x, y);
    EXPECT_EQ(differing, 0) << n << " columns";
    EXPECT_LT(batched_draws * 4, unbatched_draws) << n << " columns";
  }
}

TEST_F(BoardTest, UnfilteredTilesOnHalfPixelsShowEveryTexelOnce) {
  for (bool atlas : {true, false}) {
    driver_->SetAtlas(atlas);
    for (bool batching : {true, false}) {
      driver_->SetBatching(batching);
      for (int n : {5, 12, 32}) {
        const int t = 512 / n;
        std::vector<Ref<TImage>> tiles;
        for (int k = 0; k < n * n; ++k) {
          Ref<TImage> tile = CreateImage(t, t, 1, 9);
          Ref<TPixmap> pm = LockImage(tile);
          for (int y = 0; y < t; ++y)
            for (int x = 0; x < t; ++x) pm->WritePixel(x, y, int(0xff000000u | x << 16 | y << 8 | (k & 255)));
          tiles.push_back(tile);
        }
        SetClsColor(0, 0, 0);
        Cls();
        SetBlend(BlendSolid);
        SetColor(255, 255, 255);
        const float bx = 8.5f, by = 10.5f;
        for (int k = 0; k < n * n; ++k) DrawImage(tiles[size_t(k)], bx + float(k % n * t), by + float(k / n * t));
        Ref<TPixmap> back = GrabPixmap(0, 0, kWinW, kWinH);
        Flip(0);
        // Only the first 256 tiles have distinct ids; count those.
        std::map<int, int> seen;
        for (int y = 0; y < kWinH; ++y)
          for (int x = 0; x < kWinW; ++x) {
            const int c = back->ReadPixel(x, y) & 0xffffff;
            if (c != 0) ++seen[c];
          }
        int wrong = 0;
        const int counted = std::min(n * n, 256);
        for (int k = 0; k < counted; ++k)
          for (int y = 0; y < t; ++y)
            for (int x = 0; x < t; ++x) {
              if (x == 0 && y == 0 && k == 0) continue;  // black: not counted
              auto it = seen.find(x << 16 | y << 8 | k);
              const int expect = n * n > 256 ? (n * n - 1 - k) / 256 + 1 : 1;
              wrong += it == seen.end() ? expect : std::abs(it->second - expect);
            }
        EXPECT_EQ(wrong, 0) << n << " columns, atlas " << atlas << ", batching " << batching;
      }
    }
  }
}

TEST_F(BoardTest, PendingQuadsKeepTheSlotsOfReleasedImages) {
  driver_->SetBatching(true);
  SetClsColor(0, 0, 0);
  Cls();
  SetBlend(BlendSolid);
  SetColor(255, 255, 255);
  const int slots = driver_->Atlas().SlotsInUse();
  {
    Ref<TImage> red = CreateImage(16, 16, 1, 9);
    LockImage(red)->ClearPixels(int(0xffff0000u));
    DrawImage(red, 10, 10);
  }  // released while its quad is still queued
  Ref<TImage> blue = CreateImage(16, 16, 1, 9);
  LockImage(blue)->ClearPixels(int(0xff0000ffu));
  DrawImage(blue, 40, 10);  // must not overwrite the red slot
  // Rewriting an image queues its new pixels in a fresh slot.
  LockImage(blue)->ClearPixels(int(0xff00ff00u));
  DrawImage(blue, 70, 10);
  Ref<TPixmap> back = GrabPixmap(0, 0, 100, 30);
  EXPECT_EQ(back->ReadPixel(15, 15) & 0xffffff, 0xff0000);
  EXPECT_EQ(back->ReadPixel(45, 15) & 0xffffff, 0x0000ff);
  EXPECT_EQ(back->ReadPixel(75, 15) & 0xffffff, 0x00ff00);
  EXPECT_EQ(driver_->Atlas().SlotsInUse(), slots + 1);  // only the live frame keeps one
}

// The game cuts every board anew, in another tile size each time, while a few
// small pictures (the pointer) stay: the old tiles' room must serve the new ones,
// and pages nobody uses any more must go.
TEST_F(BoardTest, TheAtlasGivesItsRoomBackOverEveryGridSize) {
  TGLCallCounter gl;
  const int pages_before = driver_->Atlas().PageCount();
  Ref<TPixmap> picture = Picture();
  SetBlend(BlendSolid);
  SetColor(255, 255, 255);
  {
    Ref<TImage> pointer = CreateImage(20, 20, 1, 9);
    LockImage(pointer)->ClearPixels(int(0xff123456u));
    DrawImage(pointer, 0, 0);
    int first_pages = 0;
    int64_t first_bytes = 0;
    for (int n = 4; n <= 32; ++n) {
      std::vector<Ref<TImage>> tiles = Tiles(n, picture);
      const int t = 512 / n;
      for (int k = 0; k < n * n; ++k) DrawImage(tiles[size_t(k)], float(k % n * t), float(k / n * t));
      Flip(0);
      if (n == 4) {
        first_pages = driver_->Atlas().PageCount();
        first_bytes = gl.texture_bytes;
      }
      EXPECT_EQ(driver_->Atlas().PageCount(), first_pages) << n << " columns";
      EXPECT_EQ(gl.texture_bytes, first_bytes) << n << " columns";
    }
    Cls();
    DrawImage(pointer, 0, 0);  // no tile was put over it
    EXPECT_EQ(GrabPixmap(10, 10, 1, 1)->ReadPixel(0, 0) & 0xffffff, 0x123456);
  }
  EXPECT_EQ(driver_->Atlas().PageCount(), pages_before);
  EXPECT_EQ(gl.texture_bytes, 0);
}

// Smooth glyphs share mipmapped atlas pages; at scale 1, on whole and half pixels,
// between tiles and frame rectangles, they must look exactly as with a texture of
// their own drawn one quad at a time, and batch with the tiles.
TEST_F(BoardTest, SmoothTextsInTheGlyphAtlasMatchOwnTexturesAndBatchWithTiles) {
  TGLCallCounter gl;
  std::vector<std::string> faces = {SourceDir() + "/assets/Fonts/DISPF___.ttf",
                                    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"};
  Ref<TPixmap> picture = Picture();
  const std::u16string texts[] = {u"Spiel starten", u"AUFGEL\u00d6ST", u"Zeit 01:23",
                                  u"Z\u00fcge: 17 .,;'|", u"abcdefghijklmnopqrstuvwxyz"};
  int faces_drawn = 0;
  for (const std::string& face : faces) {
    if (!std::ifstream(face).good()) continue;
    ++faces_drawn;
    Ref<TPixmap> shots[2];
    int64_t draws[2] = {0, 0};
    for (int pass = 0; pass < 2; ++pass) {
      const bool fast = pass == 1;
      driver_->SetAtlas(fast);
      driver_->SetBatching(fast);
      // Fresh fonts and tiles, so that every frame is made under this pass's switches.
      Ref<TImageFont> f30 = LoadImageFont(FromOSBytes(face), 30, FontSmooth);
      Ref<TImageFont> f20 = LoadImageFont(FromOSBytes(face), 20, FontSmooth);
      Ref<TImageFont> f11 = LoadImageFont(FromOSBytes(face), 11, FontSmooth);
      ASSERT_TRUE(f30 && f20 && f11) << face;
      std::vector<Ref<TImage>> tiles = Tiles(12, picture);
      // The second round is measured: the game draws the same texts every frame, and
      // making a glyph's frame on first use flushes.
      int64_t d0 = 0;
      for (int round = 0; round < 2; ++round) {
        driver_->FlushDrawing();
        d0 = gl.draws;
        SetClsColor(20, 30, 40);
        Cls();
        SetBlend(BlendAlpha);
        SetAlpha(1);
        for (int k = 0; k < 24; ++k) {
          const float x = 6.0f + float(k % 4) * 136.0f + (k & 1 ? 0.5f : 0.0f);
          const float y = 4.0f + float(k / 4) * 88.0f + (k & 2 ? 0.5f : 0.0f);
          SetColor(0, 255, 0);
          DrawRect(x - 1, y - 1, 44, 44);
          SetColor(255, 255, 255);
          DrawImage(tiles[size_t(k)], x, y);
          SetImageFont(k % 3 == 0 ? f30 : (k % 3 == 1 ? f20 : f11));
          SetColor(255, 255 - k * 8, k * 10);
          SetAlpha(k % 5 == 4 ? 0.6f : 1.0f);
          DrawText(texts[k % 5], x + 3, y + 42);
          SetAlpha(1);
        }
      }
      SetImageFont(nullptr);
      shots[pass] = GrabPixmap(0, 0, kWinW, kWinH);
      draws[pass] = gl.draws - d0;
      Flip(0);
    }
    int differing = 0;
    for (int y = 0; y < kWinH; ++y)
      for (int x = 0; x < kWinW; ++x) differing += shots[0]->ReadPixel(x, y) != shots[1]->ReadPixel(x, y);
    EXPECT_EQ(differing, 0) << face;
    // Tiles and frames share one page, glyphs another: one draw per switch.
    EXPECT_LE(draws[1], 2 * 24) << face;
    EXPECT_GT(draws[0], 24 * 10) << face;
  }
  if (!faces_drawn) GTEST_SKIP() << "no font";
}
