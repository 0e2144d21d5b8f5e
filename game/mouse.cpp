// Tile selection, swapping and the move animation. Leans on the board geometry,
// images and the drawing front, the shared screen idioms, the sound effects, and
// the board save that every swap updates.
#include "game/mouse.h"

#include <cmath>
#include <utility>

#include "draw2d/draw.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/frame.h"
#include "game/resume.h"
#include "game/screen_util.h"
#include "game/state.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool AllCorrect() { return CorrectTiles == AllTiles; }

// Exchanges the image and id pairs the two cells hold now.
void ApplyPendingSwap() {
  const int sx = SwapFromX, sy = SwapFromY, tx = NewX, ty = NewY;
  MoveReady = 0;
  if (!Puzzle_ID_Now.Inside(sx, sy) || !Puzzle_ID_Now.Inside(tx, ty)) return;
  std::swap(Puzzle_ID_Now(sx, sy), Puzzle_ID_Now(tx, ty));
  if (Puzzle.Inside(sx, sy) && Puzzle.Inside(tx, ty)) std::swap(Puzzle(sx, sy), Puzzle(tx, ty));
  ClearHeldTile();
  TileMoves = static_cast<uint16_t>(TileMoves + 1);
  SaveBoardAfterSwap();
}

}  // namespace

float SwapAnimationScale(int remaining_ms) {
  return static_cast<float>(1.0 + std::sin(static_cast<double>(remaining_ms / 2) * kPi / 180.0));
}

int Mouse(uint8_t pointerOnly) {
  const int t = PuzzleTileSize;
  if (Selection == 0 || AllCorrect()) {
    // Where the mouse is, also while the keyboard plays on the board.
    if (IMGCursor) DrawImage(IMGCursor, static_cast<float>(PointerX), static_cast<float>(PointerY), 0);
  } else if (PXMCursor) {
    DrawImage(PXMCursor, static_cast<float>(MX - t / 2), static_cast<float>(MY - t / 2), 0);
  }
  if (pointerOnly != 0 || AllCorrect() || !BoardReady()) return 0;

  const float fmx = static_cast<float>(MX), fmy = static_cast<float>(MY);
  const float right = BoardRightBound(), bottom = BoardBottomBound();
  const int cols = BoardColumns(), rows = BoardRows();

  // Pick-up.
  if (MOUSE1HIT == 1 && fmx < right && fmy < bottom && Selection == 0 && MoveReady == 0) {
    ChangeX_old = CellUnderX(MX);
    ChangeY_old = CellUnderY(MY);
    if (Puzzle_ID_Now.Inside(ChangeX_old, ChangeY_old) &&
        (Helpstate == 3 ||
         Puzzle_ID_Now(ChangeX_old, ChangeY_old) != Puzzle_ID_Correct(ChangeX_old, ChangeY_old))) {
      PXMCursor = Puzzle(ChangeX_old, ChangeY_old);
      ChangeID = Puzzle_ID_Now(ChangeX_old, ChangeY_old);
      Selection = 1;
    }
    MOUSE1HIT = 0;
  }

  // Click outside the board: drops the selection. The board state is left alone,
  // so a click here in the frame of a solve request cannot turn it into a win.
  if (MOUSE1HIT == 1 && (fmx >= right || fmy >= bottom || fmy < AutoMidY || fmx < AutoMidX)) {
    ClearHeldTile();
    MOUSE1HIT = 0;
  }

  // Drop.
  if (Selection == 1 && MOUSE1HIT == 1 && fmx < right && fmy < bottom) {
    // Through a 32-bit integer: a negative cell wraps to a large number.
    NewX = static_cast<uint16_t>(CellUnderX(MX));
    NewY = static_cast<uint16_t>(CellUnderY(MY));
    if (NewX < cols && NewY < rows) {
      if (MoveReady == 0 && (Helpstate == 3 || Puzzle_ID_Now(NewX, NewY) != Puzzle_ID_Correct(NewX, NewY))) {
        Eventsystem(SFXPaperMove);
        Selection = 0;
        MoveReadyTime = ClockAdd(TIME, 360);
        MoveReady = 2;
        SwapFromX = ChangeX_old;
        SwapFromY = ChangeY_old;
      }
      MOUSE1HIT = 0;
    }
  }

  // End of the animation.
  if (MoveReady == 2 && ClockBefore(MoveReadyTime, TIME)) MoveReady = 1;

  // Animation frame.
  if (MoveReady == 2 && Puzzle.Inside(SwapFromX, SwapFromY) && Puzzle.Inside(NewX, NewY)) {
    const int r = ClockDiff(MoveReadyTime, TIME);
    const int tt = 360 - r;
    const float s = SwapAnimationScale(r);
    const float a = CellOriginX(SwapFromX), b = CellOriginY(SwapFromY);
    const float c = CellOriginX(NewX), d = CellOriginY(NewY);
    const float ft = static_cast<float>(tt);
    MoveX = a + (c - a) * ft / 360.0f;
    MoveY = b + (d - b) * ft / 360.0f;
    MoveX2 = c + (a - c) * ft / 360.0f;
    MoveY2 = d + (b - d) * ft / 360.0f;
    SetColor(50, 50, 50);
    DrawRect(a, b, static_cast<float>(t), static_cast<float>(t));
    DrawRect(c, d, static_cast<float>(t), static_cast<float>(t));
    SetColor(255, 255, 255);
    SetScale(s, s);
    if (Puzzle(SwapFromX, SwapFromY)) DrawImage(Puzzle(SwapFromX, SwapFromY), MoveX, MoveY, 0);
    if (Puzzle(NewX, NewY)) DrawImage(Puzzle(NewX, NewY), MoveX2, MoveY2, 0);
    SetScale(1, 1);
  }

  // Apply the swap.
  if (MoveReady == 1) ApplyPendingSwap();
  return 0;
}
