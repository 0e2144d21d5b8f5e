// Start-up with work on the motif workers, in real windows: the first window's
// progress while a slow folder is prepared, reflections made off the main thread
// against those drawn through the back buffer, and the catalogue (the same with one
// or four workers, pictures held only near the carousel's middle).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "draw2d/draw.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "game/motif_residency.h"
#include "game/motif_workers.h"
#include "game/motives.h"
#include "game/normalise.h"
#include "game/prepare_view.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/hook.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "platform/worker_pool.h"
#include "tests/support/env.h"
#include "tests/support/motif_writers.h"
#include "tests/support/temp_dir.h"
#if __has_include("assets/assets.h")
#include "assets/assets.h"
#define TESS_HAVE_ASSETS 1
#endif

namespace fs = std::filesystem;

namespace {

Ref<TPixmap> Picture(int w, int h, int seed, int format = FormatRGB888) {
  Ref<TPixmap> p = CreatePixmap(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      WritePixel(p, x, y, static_cast<int>(0xFF000000u | ((x * 7 + seed * 40) & 255) << 16 | ((y * 5) & 255) << 8 |
                                           ((x ^ y) & 255)));
  return p;
}

std::vector<int> Pixels(const Ref<TPixmap>& p) {
  std::vector<int> v;
  for (int y = 0; y < PixmapHeight(p); ++y)
    for (int x = 0; x < PixmapWidth(p); ++x) v.push_back(ReadPixel(p, x, y));
  return v;
}

std::vector<int> Pixels(const Ref<TImage>& image) { return Pixels(LockImage(image, 0, true, false)); }

std::vector<Ref<TPixmap>> g_frames;
Ref<TObject> GrabFrame(int, Ref<TObject> data, Ref<TObject>) {
  g_frames.push_back(GrabPixmap(0, 0, GraphicsWidth(), GraphicsHeight()));
  return data;
}

class Startup : public ::testing::Test {
 protected:
  TempDir tmp;
  fs::path dir = tmp.path() / "Motives";

  void SetUp() override {
    TESS_REQUIRE_DISPLAY();
#ifdef TESS_HAVE_ASSETS
    RegisterAssets();
#endif
    ResetGameState();
    fs::create_directories(dir);
  }
  void TearDown() override {
    SetMotifWriter(nullptr);
    SetMotifWorkerCount(0);
    ResetGameState();
  }
  std::u16string Folder() const { return FromOSBytes(dir.string() + "/"); }
};

TEST_F(Startup, ProgressIsRedrawnWhenTheCountMovesAndOnlyThen) {
  ASSERT_TRUE(Graphics(480, 320, 0, 60, 0));
  for (int i = 0; i < 6; ++i)
    ASSERT_EQ(SavePixmapJPeg(Picture(200, 150, i), TUrl((dir / ("p" + std::to_string(i) + ".jpg")).string())), 1);
  Backdate(dir);
  SetMotifWorkerCount(2);
  SetMotifWriterDelay(150);
  SetMotifWriter(&SlowMotifWriter);
  g_frames.clear();
  AddHook(FlipHook(), &GrabFrame, nullptr, 0);
  EXPECT_TRUE(PrepareMotives(Folder()));
  RemoveHook(FlipHook(), &GrabFrame, nullptr);
  // The bar's fill along its middle row, frame by frame.
  std::vector<int> filled;
  for (const Ref<TPixmap>& f : g_frames) {
    ASSERT_TRUE(f);
    int n = 0;
    for (int x = 40; x < 440; ++x) n += (ReadPixel(f, x, 209) & 0xFFFFFF) == 0x7D7D7D;
    filled.push_back(n);
  }
  ASSERT_GE(filled.size(), 3u) << "the slow folder shows more than a start and an end";
  EXPECT_LE(filled.size(), 7u) << "one picture for each count from 0 to 6 at most";
  EXPECT_EQ(filled.front(), 0);
  EXPECT_EQ(filled.back(), 400);
  for (size_t i = 1; i < filled.size(); ++i) EXPECT_GT(filled[i], filled[i - 1]) << "frame " << i;
  // The line and the count are there in white.
  int white = 0;
  for (int y = 100; y < 180; ++y)
    for (int x = 0; x < 480; ++x) white += (ReadPixel(g_frames.back(), x, y) & 0xFFFFFF) == 0xFFFFFF;
  EXPECT_GT(white, 200);
}

TEST_F(Startup, ReflectionsMadeOffTheMainThreadMatchTheBackBufferOnes) {
  ASSERT_TRUE(Graphics(800, 600, 0, 60, 0));  // a fresh drawing state, as at start-up
  SetMaskColor(255, 0, 255);
  // Magenta in the bottom rows; alpha of every value, opaque magenta among it.
  Ref<TPixmap> keyed = Picture(512, 512, 1);
  for (int x = 0; x < 512; x += 3) WritePixel(keyed, x, 500 - x % 40, static_cast<int>(0xFFFF00FFu));
  Ref<TPixmap> alpha = Picture(300, 280, 2, FormatRGBA8888);
  for (int y = 200; y < 280; ++y)
    for (int x = 0; x < 300; ++x)
      WritePixel(alpha, x, y, x % 17 == 0 ? static_cast<int>(0xFFFF00FFu) : (ReadPixel(alpha, x, y) & 0xFFFFFF) | (x % 256) << 24);
  Ref<TPixmap> small = Picture(60, 90, 3);
  WritePixel(small, 5, 5, static_cast<int>(0xFFFF00FFu));
  const TMotifLook look = CurrentMotifLook();
  for (const Ref<TPixmap>& p : {keyed, alpha, small}) {
    const TMotifPictures made = MotifPictures(CopyPixmap(p), look);
    Ref<TImage> image = LoadImage(CopyPixmap(p), ImageMasked);
    ASSERT_TRUE(made.picture && made.reflection);
    EXPECT_EQ(Pixels(made.picture), Pixels(image)) << PixmapWidth(p);
    EXPECT_EQ(Pixels(made.reflection), Pixels(mirrorImage(image))) << PixmapWidth(p);
  }
}

// No window: the catalogue makes its images without one, and so this runs under
// the thread sanitizer too.
class Catalogue : public Startup {
 protected:
  void SetUp() override {
    ResetGameState();
    fs::create_directories(dir);
  }
};

TEST_F(Catalogue, IsTheSameWithOneAndFourWorkersAndHoldsPicturesOnlyNearTheMiddle) {
  SetMaskColor(255, 0, 255);
  const int n = 12;
  for (int i = 0; i < n; ++i) {
    const std::string name = (dir / ("m" + std::to_string(i))).string();
    if (i % 2)
      ASSERT_EQ(SavePixmapPNG(Picture(150 + i, 120, i), TUrl(name + ".png")), 1);
    else
      ASSERT_EQ(SavePixmapJPeg(Picture(150, 130 + i, i), TUrl(name + ".jpg")), 1);
  }
  tmp.Write("Motives/broken.png", "\x89PNG not really");
  // Every entry's pictures as the carousel shows them, walking it once round.
  auto walk = [&](std::vector<std::u16string>& names) {
    std::vector<std::vector<int>> seen(n);
    names.clear();
    for (const Ref<TMotives>& e : MotivesList) names.push_back(e->Filename);
    for (int c = 0; c < n; ++c) {
      KeepMotivesNear(c);
      MotifWorkers().WaitIdle();
      KeepMotivesNear(c);  // installs what the workers made
      int held = 0;
      for (const Ref<TMotives>& e : MotivesList) {
        const int d = std::min(std::abs(e->ID - c), n - std::abs(e->ID - c));
        EXPECT_EQ(e->Motiv != nullptr, d <= kNearMotives) << "middle " << c << ", entry " << e->ID;
        EXPECT_EQ(e->Mirror != nullptr, d <= kNearMotives) << "middle " << c << ", entry " << e->ID;
        held += e->Motiv != nullptr;
      }
      EXPECT_EQ(held, 2 * kNearMotives + 1);
      Ref<TMotives> mid = MotivesList[static_cast<size_t>(c)];
      seen[static_cast<size_t>(c)] = Pixels(mid->Motiv);
      const std::vector<int> mirror = Pixels(mid->Mirror);
      seen[static_cast<size_t>(c)].insert(seen[static_cast<size_t>(c)].end(), mirror.begin(), mirror.end());
    }
    return seen;
  };
  SetMotifWorkerCount(1);
  BuildMotiveCatalogue(Folder());
  ASSERT_EQ(CountMotives, n);
  const std::vector<int> first_at_start = Pixels(MotivesList[0]->Motiv);
  std::vector<std::u16string> names_one, names_four;
  const auto one = walk(names_one);
  EXPECT_EQ(Pixels(MotivesList[0]->Motiv), first_at_start) << "made again, the same";
  MotivesList.clear();
  SetMotifWorkerCount(4);
  BuildMotiveCatalogue(Folder());
  ASSERT_EQ(CountMotives, n);
  EXPECT_EQ(walk(names_four), one);
  EXPECT_EQ(names_four, names_one);
}

}  // namespace
