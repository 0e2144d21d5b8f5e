// Keys shared by the screens. Leans on the polled input and the sampled pointer.
#include "game/key_input.h"

#include <algorithm>

#include "game/state.h"
#include "platform/polled_input.h"

int ReturnHit() {
  if (KeyDown(kKeyLeftAlt) || KeyDown(kKeyRightAlt)) return 0;
  return KeyHit(kKeyReturn);
}

bool TakeKeyHit() {
  const int returns = ReturnHit();
  const int spaces = KeyHit(kKeySpace);
  return returns + spaces > 0;
}

TPointerWatch::TPointerWatch() : _x(PointerX), _y(PointerY) {}

bool TPointerWatch::Moved() {
  const bool moved = PointerX != _x || PointerY != _y;
  _x = PointerX;
  _y = PointerY;
  return moved;
}

void TKeyChoice::Update(int steps, int count) {
  if (pointer.Moved()) shown = false;
  if (count <= 0) return;
  if (steps != 0) {
    if (shown) index += steps;
    shown = true;
  }
  index = std::clamp(index, 0, count - 1);
}
