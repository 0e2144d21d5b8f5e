// The default motifs: six 512 x 512 JPEG pictures whose 16 x 16 tiles (a 32 x 32
// board) all differ from each other, and the build step that puts them into a
// missing Motives folder but never touches an existing one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

fs::path MotivesDir() { return fs::path(SourceDir()) / "assets" / "motives"; }

std::vector<fs::path> DefaultMotives() {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(MotivesDir())) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A tile's look: the mean colour of each of its 4 x 4 blocks (48 values).
constexpr int kBoard = 32, kTile = 512 / kBoard, kBlocks = 4;
// Mean difference per colour value (0..255) below which two tiles count as alike.
constexpr float kMinTileDifference = 0.6f;
using Signature = std::array<float, kBlocks * kBlocks * 3>;

Signature TileSignature(const Ref<TPixmap>& p, int tx, int ty) {
  Signature s{};
  const int b = kTile / kBlocks;
  for (int y = 0; y < kTile; ++y) {
    for (int x = 0; x < kTile; ++x) {
      const int c = p->ReadPixel(tx * kTile + x, ty * kTile + y);
      const int k = ((y / b) * kBlocks + x / b) * 3;
      s[k] += float((c >> 16) & 255);
      s[k + 1] += float((c >> 8) & 255);
      s[k + 2] += float(c & 255);
    }
  }
  for (float& v : s) v /= float(b * b);
  return s;
}

int RunInstall(const fs::path& dst) {
  const std::string cmd = std::string("'") + TESS_CMAKE_COMMAND + "' -DSRC='" + MotivesDir().string() +
                          "' -DDST='" + dst.string() + "' -P '" + SourceDir() +
                          "/assets/install_motives.cmake'";
  return std::system(cmd.c_str());
}

}  // namespace

TEST(DefaultMotives, SixSquareJpegPicturesNamedPuzzle) {
  const auto files = DefaultMotives();
  ASSERT_EQ(files.size(), 6u);
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.filename().string());
    EXPECT_EQ(f.filename().string().rfind("Puzzle", 0), 0u);
    EXPECT_EQ(f.extension(), ".jpg");
    Ref<TPixmap> p = LoadPixmapJPeg(FromOSBytes(f.string()));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 512);
    EXPECT_EQ(p->height, 512);
  }
}

// A flat patch of colour makes tiles that only their position could tell apart;
// every pair of tiles must differ by a visible amount on average.
TEST(DefaultMotives, EveryTileOfTheLargestBoardLooksDifferent) {
  for (const fs::path& f : DefaultMotives()) {
    SCOPED_TRACE(f.filename().string());
    Ref<TPixmap> p = LoadPixmapJPeg(FromOSBytes(f.string()));
    ASSERT_TRUE(p);
    std::vector<Signature> tiles;
    for (int ty = 0; ty < kBoard; ++ty)
      for (int tx = 0; tx < kBoard; ++tx) tiles.push_back(TileSignature(p, tx, ty));
    float closest = 1e9f;
    size_t a_best = 0, b_best = 0;
    for (size_t a = 0; a < tiles.size(); ++a) {
      for (size_t b = a + 1; b < tiles.size(); ++b) {
        float d = 0;
        for (size_t k = 0; k < tiles[a].size(); ++k) d += std::fabs(tiles[a][k] - tiles[b][k]);
        d /= float(tiles[a].size());
        if (d < closest) closest = d, a_best = a, b_best = b;
      }
    }
    EXPECT_GT(closest, kMinTileDifference) << "tiles " << a_best % kBoard << "," << a_best / kBoard << " and "
                                           << b_best % kBoard << "," << b_best / kBoard;
  }
}

TEST(DefaultMotives, CopiedOnlyIntoAMissingFolderAndNeverOverAPlayersFiles) {
  TempDir tmp;
  const fs::path dst = tmp.path() / "Motives";
  ASSERT_EQ(RunInstall(dst), 0);
  const auto files = DefaultMotives();
  for (const fs::path& f : files) EXPECT_EQ(Bytes(dst / f.filename()), Bytes(f)) << f.filename();

  // The player changes the folder; the next build leaves it exactly so.
  tmp.Write("Motives/Urlaub.jpg", "mine");
  tmp.Write("Motives/" + files[0].filename().string(), "edited");
  fs::remove(dst / files[1].filename());
  ASSERT_EQ(RunInstall(dst), 0);
  EXPECT_EQ(Bytes(dst / "Urlaub.jpg"), "mine");
  EXPECT_EQ(Bytes(dst / files[0].filename()), "edited");
  EXPECT_FALSE(fs::exists(dst / files[1].filename()));

  // An empty folder is the player's choice too.
  const fs::path empty = tmp.path() / "Empty";
  fs::create_directory(empty);
  ASSERT_EQ(RunInstall(empty), 0);
  EXPECT_TRUE(fs::is_empty(empty));
}
