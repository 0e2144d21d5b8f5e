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

// One button of a row chosen with keys. The first key shows where the choice
// stands; later ones move it, without wrapping. Once the mouse stands elsewhere
// than when it was shown (a real move, not a frame reading the same place again),
// it hides.
class TKeyChoice {
 public:
  TKeyChoice(int first, bool shown);
  // steps: presses of the key that moves on minus those of the key that moves back.
  void Update(int steps, int count);
  int index() const { return _index; }
  bool shown() const { return _shown; }

 private:
  void Show();

  int _index;
  bool _shown = false;
  int _pointer_x = 0, _pointer_y = 0;
};
