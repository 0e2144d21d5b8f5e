// What the screens share for playing from the keyboard: the codes of the keys the
// game reads, the key that takes a choice, and a button chosen with keys.
#pragma once

// Key codes of the key events (letters are their upper-case codes).
enum TKeyCode : int {
  kKeyReturn = 13,
  kKeySpace = 32,
  kKeyPageUp = 33,
  kKeyPageDown = 34,
  kKeyEnd = 35,
  kKeyHome = 36,
  kKeyLeft = 37,
  kKeyUp = 38,
  kKeyRight = 39,
  kKeyDown = 40,
  kKeyL = 76,
  kKeyN = 78,
  kKeyQ = 81,
  kKeyLeftAlt = 164,
  kKeyRightAlt = 165,
};

// Return presses; none while Alt is held, since Alt+Return belongs to the window
// (that press is left unread for it).
int ReturnHit();
// True when Return or Space was pressed; reads both.
bool TakeKeyHit();

// True when the pointer sampled into MX, MY stands elsewhere than at the last call:
// a real move, not a frame reading the same place again.
class TPointerWatch {
 public:
  TPointerWatch();
  bool Moved();

 private:
  int _x, _y;
};

// One button of a row chosen with keys. The first key shows where the choice
// stands; later ones move it, without wrapping; a real pointer move hides it again.
struct TKeyChoice {
  int index = 0;
  bool shown = false;
  TPointerWatch pointer;

  // steps: presses of the key that moves on minus those of the key that moves back.
  void Update(int steps, int count);
};
