// Shared set-up of the game tests: a fresh game state, a cut board of n x n tiles
// (ids only, images when a window is open), and a sound that counts its plays.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "audio/audio.h"
#include "game/board.h"
#include "game/state.h"

struct TCountingSound : TSound {
  int plays = 0;
  Ref<TChannel> Play(const Ref<TChannel>&) override {
    ++plays;
    return nullptr;
  }
};

inline Ref<TCountingSound> CountingSound() { return std::make_shared<TCountingSound>(); }

// Cuts an n x n board the way the motif selection does after a choice.
inline void CutBoard(int n) {
  MAP_X = MAP_Y = n;
  CutChosenBoard();
}

// Swaps the ids (and images) of two cells directly.
inline void SwapCells(int x1, int y1, int x2, int y2) {
  std::swap(Puzzle_ID_Now(x1, y1), Puzzle_ID_Now(x2, y2));
  std::swap(Puzzle(x1, y1), Puzzle(x2, y2));
}

// Sorted ids of an id array.
inline std::vector<int> SortedIds(const TBoardArray<int>& a) {
  std::vector<int> v = a.cells;
  std::sort(v.begin(), v.end());
  return v;
}

// Screen centre of a cell.
inline int CellCentreX(int x) { return static_cast<int>(CellOriginX(x)) + PuzzleTileSize / 2; }
inline int CellCentreY(int y) { return static_cast<int>(CellOriginY(y)) + PuzzleTileSize / 2; }

class GameStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetGameState(); }
  void TearDown() override { ResetGameState(); }
};
