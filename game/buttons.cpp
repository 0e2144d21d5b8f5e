// In-game buttons and the quit dialog. Leans on the frame helpers, the board
// shuffle, the menu and the selection, the drawing front and polled input.
#include "game/buttons.h"

#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/board_keys.h"
#include "game/frame.h"
#include "game/key_input.h"
#include "game/menu.h"
#include "game/mouse.h"
#include "game/resume.h"
#include "game/screen_util.h"
#include "game/select.h"
#include "game/state.h"
#include "platform/app.h"
#include "platform/polled_input.h"
#include "platform/ustring.h"

namespace {

// Side buttons: the areas lie 5 pixels right of the images and include both ends.
bool InSideButton(int top) { return MX >= 600 && MX <= 799 && MY >= top && MY <= top + 100; }

std::u16string TopLabel() {
  if (WINMODE == 0) return U16("Auflösen");
  if (WINMODE == 1 || WINMODE == 2) return u"Neu mischen";
  return u"";
}

void DrawSideButton(int top, const std::u16string& label, int label_y) {
  if (IMGButton) DrawImage(IMGButton, 595, static_cast<float>(top), 0);
  if (InSideButton(top)) Highlight(IMGButton, 595, static_cast<float>(top), 0.2f);
  SetColor(0, 0, 0);
  if (!label.empty()) DrawText(label, static_cast<float>(CentredX(label, 695)), static_cast<float>(label_y));
  SetColor(255, 255, 255);
}

bool InDialogButton(int left) { return MX >= left && MX <= left + 199 && MY >= 300 && MY <= 400; }

constexpr int kDialogLefts[3] = {100, 310, 520};

// The first dialog button under the pointer; -1 for none (the gaps belong to none).
int HoveredDialogButton() {
  for (int i = 0; i < 3; ++i)
    if (InDialogButton(kDialogLefts[i])) return i;
  return -1;
}

// The side buttons from the top; the first whose area holds the pointer.
constexpr int kSideTops[3] = {250, 360, 500};

int ClickedSideButton() {
  if (MOUSE1HIT != 1) return -1;
  for (int i = 0; i < 3; ++i)
    if (InSideButton(kSideTops[i])) return i;
  return -1;
}

}  // namespace

int QuitDialog(bool opened_by_key) {
  int choice = 0;
  // The board's keyboard focus may have aimed the game's pointer elsewhere.
  MX = PointerX;
  MY = PointerY;
  // Return takes "Nee, weiter!" until the cursor keys chose another answer.
  TKeyChoice keys(1, opened_by_key);
  for (;;) {
    Cls();
    for (int left : kDialogLefts)
      if (IMGButton) DrawImage(IMGButton, static_cast<float>(left), 300, 0);
    const int hovered = HoveredDialogButton();
    keys.Update(KeyHit(kKeyRight) + KeyHit(kKeyDown) - KeyHit(kKeyLeft) - KeyHit(kKeyUp), 3);
    int taken = -1;
    if (hovered >= 0 && MOUSE1HIT == 1) {
      MOUSE1HIT = 0;
      taken = hovered;
    }
    if (TakeKeyHit() && taken < 0) taken = keys.index();
    if (taken >= 0) {
      Eventsystem(SFXClick);
      choice = taken == 0 ? 1 : 2;
      if (taken == 2) Menu();
    }
    if (hovered >= 0) Highlight(IMGButton, static_cast<float>(kDialogLefts[hovered]), 300, 0.3f);
    if (keys.shown() && keys.index() != hovered)
      Highlight(IMGButton, static_cast<float>(kDialogLefts[keys.index()]), 300, 0.3f);
    SetColor(0, 0, 0);
    const std::u16string quit = U16("Ja, aufhören!");
    DrawText(quit, static_cast<float>(CentredX(quit, 200)), 330);
    DrawText(u"Nee, weiter!", static_cast<float>(CentredX(u"Nee, weiter!", 410)), 330);
    DrawText(u"Ab ins Menue...", static_cast<float>(CentredX(u"Ab ins Menue...", 620)), 330);
    SetColor(255, 255, 255);
    UserInput();
    FPS();
    Mouse(1);
    Flip(0);
    // Left to right, stopping at the first that decides.
    if (choice > 0) break;
    if (KeyHit(27)) break;
    if (AppTerminate()) break;
  }
  if (choice == 1) End();
  return choice;
}

int Buttons() {
  SetAlpha(1);
  DrawSideButton(250, TopLabel(), 280);
  DrawSideButton(500, u"Beenden", 530);
  DrawSideButton(360, u"Neues Motiv", 390);

  // A letter key acts as a click on its button; a click of the mouse comes first.
  const int by_key = SideButtonKey();
  const int clicked = ClickedSideButton();
  const int pressed = clicked >= 0 ? clicked : by_key;
  if (pressed == 0) {
    MOUSE1HIT = 0;
    Eventsystem(SFXClick);
    ClearHeldTile();
    if (WINMODE == 1 || WINMODE == 2) {
      WINMODE = 4;
    } else if (WINMODE == 0) {
      Eventsystem(SFXJingle);
      WINMODE = 3;
    }
  } else if (pressed == 1) {
    Eventsystem(SFXClick);
    MOUSE1HIT = 0;
    ClearHeldTile();
    selectPuzzleImg();
    ShuffleAfterSelection();
    MOUSE1HIT = 0;
    ForgetBoardKeys();
  } else if (pressed == 2) {
    ClearHeldTile();  // all four fields, as the other buttons do
    Eventsystem(SFXClick);
    MOUSE1HIT = 0;
    QuitDialog(clicked < 0);
    ForgetBoardKeys();
  }
  return 0;
}
