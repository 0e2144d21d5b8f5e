// Board allocation, cutting and shuffling. Leans on images and the back buffer
// (drawing and grabbing), the random numbers, the sound effects and the board save
// (a shuffle starts a round that is not saved yet).
#include "game/board.h"

#include <utility>

#include "draw2d/draw.h"
#include "draw2d/image.h"
#include "game/frame.h"
#include "game/resume.h"
#include "game/state.h"
#include "platform/random.h"

int BoardColumns() { return Puzzle_ID_Now.dim_x; }
int BoardRows() { return Puzzle_ID_Now.dim_y; }

int BoardPitch() { return PuzzleTileSize + BetweenTile; }
float CellOriginX(int x) { return AutoMidX + static_cast<float>(x * BoardPitch()); }
float CellOriginY(int y) { return AutoMidY + static_cast<float>(y * BoardPitch()); }
int CellUnderX(int mx) {
  return static_cast<int>((static_cast<float>(mx) - AutoMidX) / static_cast<float>(BoardPitch()));
}
int CellUnderY(int my) {
  return static_cast<int>((static_cast<float>(my) - AutoMidY) / static_cast<float>(BoardPitch()));
}
float BoardRightBound() { return AutoMidX + 512.0f + static_cast<float>(BetweenTile * BoardColumns()); }
float BoardBottomBound() { return AutoMidY + 512.0f + static_cast<float>(BetweenTile * BoardRows()); }

void AllocateBoard(int columns, int rows) {
  CancelPendingSwap();
  Puzzle.Alloc(columns, rows);
  Puzzle_ID_Correct.Alloc(columns, rows);
  Puzzle_ID_Now.Alloc(columns, rows);
  Puzzle_Original.Alloc(columns, rows);
}

void CancelPendingSwap() { MoveReady = 0; }

void CutChosenBoard() {
  Cls();
  PuzzleTileSize = static_cast<uint16_t>(512 / MAP_X);
  if (MAP_X > 27) BetweenTile = 2;
  if (MAP_Y < 28) BetweenTile = 3;
  AllocateBoard(MAP_X, MAP_Y);
  PreparePuzzle();
  AllTiles = static_cast<uint16_t>(MAP_X * MAP_Y);
}

int PreparePuzzle() {
  TileMoves = 0;
  Selection = 0;
  CancelPendingSwap();
  const int cols = BoardColumns(), rows = BoardRows();
  AutoMidX = static_cast<float>(83 - BetweenTile * cols) / 2.0f;
  AutoMidY = static_cast<float>(78 - BetweenTile * rows) / 2.0f;
  Cls();
  if (IMGPuzzle) DrawImage(IMGPuzzle, 0, 0, 0);
  SetMaskColor(255, 0, 255);
  const int t = PuzzleTileSize;
  // Every tile image is made before any is filled, so that the images drawn each
  // frame lie together in memory rather than between their pixels: a frame visits
  // all of them, in shuffled order.
  for (auto* board : {&Puzzle, &Puzzle_Original}) {
    for (Ref<TImage>& tile : board->cells) tile = CreateImage(t, t, 1, ImageMasked | ImageDynamic);
  }
  for (int x = 0; x < cols; ++x) {
    for (int y = 0; y < rows; ++y) {
      Puzzle_ID_Correct(x, y) = ID;
      Puzzle_ID_Now(x, y) = ID;
      GrabImage(Puzzle(x, y), x * t, y * t, 0);
      GrabImage(Puzzle_Original(x, y), x * t, y * t, 0);
      ID = ClockAdd(ID, 1);  // an id counter that never overflows into UB
    }
  }
  Cls();
  return 0;
}

int MixPuzzle() {
  GameSecs = TIME;
  TileMoves = 0;
  Selection = 0;
  CorrectTiles = 0;
  WINMODE = 0;
  // The animation's cells are about to hold other tiles.
  CancelPendingSwap();
  StartUnsavedRound();
  Eventsystem(SFXpaperMix);
  const int n = Rand(2000, 9999);
  const int cols = BoardColumns(), rows = BoardRows();
  if (cols <= 0 || rows <= 0) return 0;
  for (int i = 0; i <= n; ++i) {
    // Drawn in this order, truncated straight from the double.
    int x1 = static_cast<int>(Rnd(0, cols));
    int y1 = static_cast<int>(Rnd(0, rows));
    int x2 = static_cast<int>(Rnd(0, cols));
    int y2 = static_cast<int>(Rnd(0, rows));
    if (!Puzzle_ID_Now.Inside(x1, y1) || !Puzzle_ID_Now.Inside(x2, y2)) continue;
    if (Puzzle.Inside(x1, y1) && Puzzle.Inside(x2, y2)) std::swap(Puzzle(x1, y1), Puzzle(x2, y2));
    std::swap(Puzzle_ID_Now(x1, y1), Puzzle_ID_Now(x2, y2));
  }
  return 0;
}
