// The board save's bytes: what the writer makes reads back the same, and every
// damaged or foreign file is refused without reading past its end (random bytes:
// the fuzz harness).
#include "game/board_save.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TBoardSave Sample(int grid = 5) {
  TBoardSave s;
  s.motif = {"Puzzle mit Umlaut \xc3\xa4.png", 262144, 1700000000, 123456789};
  s.grid = grid;
  s.help = 2;
  s.swaps = 77;
  s.elapsed_ms = 3723000;
  const int n = grid * grid;
  for (int i = 0; i < n; ++i) s.tiles.push_back(static_cast<uint16_t>(i));
  std::swap(s.tiles[0], s.tiles[n - 1]);
  std::swap(s.tiles[1], s.tiles[2]);
  s.correct = static_cast<uint16_t>(n - 4);
  return s;
}

bool Decodes(const std::vector<unsigned char>& b) {
  TBoardSave out;
  return DecodeBoardSave(b.data(), b.size(), out);
}

// Offsets of the fixed fields behind the name.
size_t GridAt(const TBoardSave& s) { return 4 + 2 + s.motif.name.size() + 8 + 8 + 4; }

TEST(BoardSave, ReadsBackWhatItWrote) {
  for (int grid : {4, 12, 32}) {
    const TBoardSave s = Sample(grid);
    const std::vector<unsigned char> b = EncodeBoardSave(s);
    ASSERT_EQ(b.size(), GridAt(s) + 1 + 1 + 2 + 2 + 4 + 2u * grid * grid);
    EXPECT_EQ(b[0], kBoardSaveFormat) << "the format number comes first";
    TBoardSave got;
    ASSERT_TRUE(DecodeBoardSave(b.data(), b.size(), got));
    EXPECT_EQ(got.motif, s.motif);
    EXPECT_EQ(got.grid, grid);
    EXPECT_EQ(got.help, 2);
    EXPECT_EQ(got.correct, s.correct);
    EXPECT_EQ(got.swaps, 77);
    EXPECT_EQ(got.elapsed_ms, 3723000u);
    EXPECT_EQ(got.tiles, s.tiles);
  }
}

TEST(BoardSave, RefusesDamagedAndForeignFiles) {
  const TBoardSave s = Sample();
  const std::vector<unsigned char> good = EncodeBoardSave(s);
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(Decodes(std::vector<unsigned char>(good.begin(), good.begin() + n))) << "cut to " << n;
  std::vector<unsigned char> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(Decodes(longer)) << "a byte too many";
  TBoardSave out;
  EXPECT_FALSE(DecodeBoardSave(nullptr, 0, out));

  const size_t grid_at = GridAt(s), tiles_at = grid_at + 10;
  const std::function<void(std::vector<unsigned char>&)> damage[] = {
      [](auto& b) { b[0] = 2; },                               // another format
      [](auto& b) { b[4] = 0; },                               // no name
      [](auto& b) { b[4] = 0xff; },                            // a name longer than the file
      [&](auto& b) { b[6] = '/'; },                            // a path, not a file name
      [&](auto& b) { b[grid_at - 1] = 0x40; },                 // nanoseconds past a second
      [&](auto& b) { b[grid_at] = 3; },                        // grid too small ...
      [&](auto& b) { b[grid_at] = 33; },                       // ... or too large
      [&](auto& b) { b[grid_at + 1] = 4; },                    // no such help level
      [&](auto& b) { b[grid_at + 2] ^= 1; },                   // a correct count that does not fit
      [&](auto& b) { b[grid_at + 9] = 0x80; },                 // elapsed time of 2^31 ms
      [&](auto& b) { b[tiles_at] = b[tiles_at + 2]; },         // a tile twice ...
      [&](auto& b) { b[tiles_at + 1] = 1; },                   // ... or one past the board
  };
  for (size_t i = 0; i < std::size(damage); ++i) {
    std::vector<unsigned char> b = good;
    damage[i](b);
    EXPECT_FALSE(Decodes(b)) << "damage " << i;
  }
}

}  // namespace
