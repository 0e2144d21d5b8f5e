// Start-up with work on the motif workers, in real windows: the first window's
// progress while a slow folder is prepared.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "draw2d/draw.h"
#include "draw2d/graphics.h"
#include "game/motif_workers.h"
#include "game/normalise.h"
#include "game/prepare_view.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/hook.h"
#include "platform/stream.h"
#include "platform/ustring.h"
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

}  // namespace
