// Keyboard play on the board. Leans on the board geometry, the shared keys, the
// drawing front and polled input.
#include "game/board_keys.h"

#include <algorithm>

#include "draw2d/draw.h"
#include "game/board.h"
#include "game/key_input.h"
#include "game/state.h"
#include "platform/polled_input.h"

namespace {

// Where the pointer stood when the focus appeared: once it stands elsewhere, the
// mouse has really moved.
int g_pointer_x = 0, g_pointer_y = 0;

// Focus moves read from the keys of one frame: jumps to the ends, then steps.
struct TFocusKeys {
  bool home = false, end = false, top = false, bottom = false;
  int dx = 0, dy = 0;
  bool take = false;

  bool Any() const { return home || end || top || bottom || dx != 0 || dy != 0 || take; }
};

TFocusKeys ReadFocusKeys() {
  TFocusKeys k;
  k.home = KeyHit(kKeyHome) > 0;
  k.end = KeyHit(kKeyEnd) > 0;
  k.top = KeyHit(kKeyPageUp) > 0;
  k.bottom = KeyHit(kKeyPageDown) > 0;
  k.dx = KeyHit(kKeyRight) - KeyHit(kKeyLeft);
  k.dy = KeyHit(kKeyDown) - KeyHit(kKeyUp);
  k.take = TakeKeyHit();
  return k;
}

void MoveFocus(const TFocusKeys& k, int cols, int rows) {
  if (k.home) FocusX = 0;
  if (k.end) FocusX = cols - 1;
  if (k.top) FocusY = 0;
  if (k.bottom) FocusY = rows - 1;
  FocusX += k.dx;
  FocusY += k.dy;
}

// A filled frame of the given thickness round (x, y, w, h), inside that rectangle.
void DrawFrame(float x, float y, float w, float h, float thickness) {
  DrawRect(x, y, w, thickness);
  DrawRect(x, y + h - thickness, w, thickness);
  DrawRect(x, y + thickness, thickness, h - 2 * thickness);
  DrawRect(x + w - thickness, y + thickness, thickness, h - 2 * thickness);
}

}  // namespace

void BoardKeys() {
  const TFocusKeys keys = ReadFocusKeys();
  const int cols = BoardColumns(), rows = BoardRows();
  // A real pointer move or a click hands the board back to the mouse.
  if (MOUSE1HIT != 0 || PointerX != g_pointer_x || PointerY != g_pointer_y) FocusShown = false;
  if (cols <= 0 || rows <= 0) {
    FocusShown = false;
    return;
  }
  if (keys.Any() && MOUSE1HIT == 0) {
    if (FocusShown) {
      MoveFocus(keys, cols, rows);
      if (keys.take) MOUSE1HIT = 1;
    } else {
      FocusShown = true;
      g_pointer_x = PointerX;
      g_pointer_y = PointerY;
      const int px = CellUnderX(PointerX), py = CellUnderY(PointerY);
      if (Puzzle_ID_Now.Inside(px, py)) FocusX = px, FocusY = py;
    }
  }
  // The board may have been cut anew with fewer cells.
  FocusX = std::clamp(FocusX, 0, cols - 1);
  FocusY = std::clamp(FocusY, 0, rows - 1);
  if (!FocusShown) return;
  MX = static_cast<int>(CellOriginX(FocusX)) + PuzzleTileSize / 2;
  MY = static_cast<int>(CellOriginY(FocusY)) + PuzzleTileSize / 2;
}

void DrawBoardFocus() {
  if (!FocusShown || !BoardReady()) return;
  const float x = CellOriginX(FocusX), y = CellOriginY(FocusY), t = PuzzleTileSize;
  SetColor(0, 0, 0);
  DrawFrame(x - 3, y - 3, t + 6, t + 6, 1);
  DrawFrame(x, y, t, t, 1);
  SetColor(255, 255, 255);
  DrawFrame(x - 2, y - 2, t + 4, t + 4, 2);
}

int SideButtonKey() {
  const int keys[3] = {KeyHit(kKeyL), KeyHit(kKeyN), KeyHit(kKeyQ)};
  for (int i = 0; i < 3; ++i)
    if (keys[i] > 0) return i;
  return -1;
}

void ForgetBoardKeys() {
  for (int key : {kKeyReturn, kKeySpace, kKeyPageUp, kKeyPageDown, kKeyEnd, kKeyHome, kKeyLeft, kKeyUp, kKeyRight,
                  kKeyDown, kKeyL, kKeyN, kKeyQ})
    KeyHit(key);
}
