// Board set-up without a window: geometry, cell lookup, the exact shuffle, and the
// id invariants. (The cut pictures themselves are checked in the window tests.)
#include <algorithm>
#include <climits>
#include <map>
#include <set>

#include "draw2d/image.h"

#include "game/board.h"
#include "game/frame.h"
#include "game/mouse.h"
#include "game/state.h"
#include "game_fixture.h"
#include "platform/clock.h"
#include "platform/random.h"

using BoardLogic = GameStateTest;

TEST_F(BoardLogic, OriginsHalveInFloatingPointAndTilesDivideWhole) {
  struct Case { int n; int tile; int gap; float mid_x; float mid_y; };
  for (const Case c : {Case{4, 128, 3, 35.5f, 33.0f}, Case{12, 42, 3, 23.5f, 21.0f},
                       Case{27, 18, 3, 1.0f, -1.5f}, Case{28, 18, 2, 13.5f, 11.0f},
                       Case{32, 16, 2, 9.5f, 7.0f}}) {
    CutBoard(c.n);
    EXPECT_EQ(PuzzleTileSize, c.tile) << c.n;
    EXPECT_EQ(BetweenTile, c.gap) << c.n;
    EXPECT_EQ(AutoMidX, c.mid_x) << c.n;
    EXPECT_EQ(AutoMidY, c.mid_y) << c.n;
  }
  CutBoard(12);
  EXPECT_EQ(PuzzleTileSize / 2, 21);  // the held tile is centred by whole-number halving
}

TEST_F(BoardLogic, CellLookupTruncatesTowardZero) {
  CutBoard(12);  // origin 23.5, pitch 45
  EXPECT_EQ(CellUnderX(68), 0);
  EXPECT_EQ(CellUnderX(69), 1);
  EXPECT_EQ(CellUnderX(5), 0);  // left of the board by less than a pitch
  EXPECT_EQ(CellUnderY(42), 0);
  EXPECT_EQ(CellUnderX(-21), 0);  // (-21 - 23.5) / 45 = -0.99
  EXPECT_EQ(CellUnderX(-22), -1);
}

TEST_F(BoardLogic, FiveColumnsLeaveAStripPastTheLastColumn) {
  CutBoard(5);  // tile 102, gap 3, origin 34
  EXPECT_EQ(AutoMidX, 34.0f);
  EXPECT_EQ(CellOriginX(4) + 105, 559.0f);
  EXPECT_EQ(BoardRightBound(), 561.0f);
}

TEST_F(BoardLogic, IdsOfASecondBoardContinueFromTheCounter) {
  CutBoard(4);
  const int first = Puzzle_ID_Correct(0, 0);
  EXPECT_EQ(Puzzle_ID_Correct(3, 3), first + 15);
  EXPECT_EQ(Puzzle_ID_Correct(1, 0), first + 4);  // columns outside, rows inside
  CutBoard(4);
  EXPECT_EQ(Puzzle_ID_Correct(0, 0), first + 16);
  EXPECT_EQ(Puzzle_ID_Now.cells, Puzzle_ID_Correct.cells);
}

TEST_F(BoardLogic, SeededShuffleIsExact) {
  CutBoard(4);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 4; ++y) Puzzle_ID_Now(x, y) = Puzzle_ID_Correct(x, y) = 4 * x + y;
  SeedRnd(4660);
  EXPECT_EQ(Rand(2000, 9999), 5351);
  SeedRnd(4660);
  MixPuzzle();
  const int rows[4][4] = {{0, 2, 4, 8}, {15, 1, 6, 13}, {11, 12, 7, 9}, {5, 10, 3, 14}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Puzzle_ID_Now(x, y), rows[y][x]) << x << "," << y;
}

TEST_F(BoardLogic, ShuffleMakesNPlusOneSwapsOfAPermutation) {
  for (int seed : {1, 77, 4242, 99999}) {
    CutBoard(6);
    const int id_before = ID;
    std::map<TImage*, int> id_of;
    for (int x = 0; x < 6; ++x)
      for (int y = 0; y < 6; ++y) id_of[Puzzle(x, y).get()] = Puzzle_ID_Now(x, y);
    // The same draws replayed: n, then four coordinates per swap.
    SeedRnd(seed);
    const int n = Rand(2000, 9999);
    EXPECT_GE(n + 1, 2001);
    EXPECT_LE(n + 1, 10000);
    for (int i = 0; i < 4 * (n + 1); ++i) Rnd(0, 6);
    const int expected_state = QueryRndState();
    SeedRnd(seed);
    MixPuzzle();
    EXPECT_EQ(QueryRndState(), expected_state) << "seed " << seed;
    EXPECT_EQ(SortedIds(Puzzle_ID_Now), SortedIds(Puzzle_ID_Correct));
    EXPECT_EQ(ID, id_before);  // the shuffle swaps through a local, not the id counter
    for (int x = 0; x < 6; ++x)  // images travel with their ids
      for (int y = 0; y < 6; ++y) EXPECT_EQ(id_of[Puzzle(x, y).get()], Puzzle_ID_Now(x, y));
  }
}

TEST_F(BoardLogic, ShuffleStartsAFreshRound) {
  CutBoard(4);
  auto mix = CountingSound();
  SFXpaperMix = mix;
  TIME = 123456;
  TileMoves = 9;
  WINMODE = 2;
  CorrectTiles = 16;
  Selection = 1;
  MixPuzzle();
  EXPECT_EQ(GameSecs, 123456);
  EXPECT_EQ(TileMoves, 0);
  EXPECT_EQ(WINMODE, 0);
  EXPECT_EQ(CorrectTiles, 0);
  EXPECT_EQ(Selection, 0);
  EXPECT_EQ(mix->plays, 1);
}

TEST_F(BoardLogic, CountersWrapAsTheirTypes) {
  // The swap counter is 16 bits: the swap after 65535 reads 0.
  CutBoard(4);
  SwapCells(0, 0, 1, 0);
  TileMoves = 65535;
  TIME = 1000;
  for (int x : {0, 1}) {  // pick up, then drop on the other cell
    MX = CellCentreX(x);
    MY = CellCentreY(0);
    MOUSE1HIT = 1;
    Mouse(0);
  }
  TIME = 1400;
  Mouse(0);
  EXPECT_EQ(Puzzle_ID_Now(0, 0), Puzzle_ID_Correct(0, 0)) << "the swap was made";
  EXPECT_EQ(TileMoves, 0);
  // The tile ids carry on past the largest int into the negative numbers.
  ID = INT_MAX - 5;
  CutBoard(4);
  EXPECT_EQ(Puzzle_ID_Correct(0, 0), INT_MAX - 5);
  EXPECT_EQ(Puzzle_ID_Correct(3, 3), INT_MIN + 9);
  EXPECT_EQ(std::set<int>(Puzzle_ID_Correct.cells.begin(), Puzzle_ID_Correct.cells.end()).size(), 16u);
  // The frame counter is 16 bits too.
  FPSTime = ClockAdd(MilliSecs(), 100000);
  FPSCounter = 65535;
  FPS();
  EXPECT_EQ(FPSCounter, 0);
  static_assert(std::is_same_v<decltype(TileMoves), uint16_t>);
  static_assert(std::is_same_v<decltype(MOUSE1HIT), uint8_t>);
  static_assert(std::is_same_v<decltype(NewX), uint16_t>);
  static_assert(std::is_same_v<decltype(PuzzleTileSize), uint16_t>);
  static_assert(std::is_same_v<decltype(BetweenTile), uint8_t>);
  static_assert(std::is_same_v<decltype(AutoMidX), float>);
}
