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

TKeyChoice::TKeyChoice(int first, bool shown) : _index(first) {
  if (shown) Show();
}

void TKeyChoice::Show() {
  _shown = true;
  _pointer_x = PointerX;
  _pointer_y = PointerY;
}

void TKeyChoice::Update(int steps, int count) {
  if (PointerX != _pointer_x || PointerY != _pointer_y) _shown = false;
  if (count <= 0) return;
  if (steps != 0) {
    if (_shown) _index += steps;
    Show();
  }
  _index = std::clamp(_index, 0, count - 1);
}
