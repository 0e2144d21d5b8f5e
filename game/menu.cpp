// The main menu screen. Leans on the frame helpers, the motif selection, the board
// shuffle and save, the drawing front, polled input and the timer.
#include "game/menu.h"

#include <array>
#include <vector>

#include "draw2d/draw.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/frame.h"
#include "game/key_input.h"
#include "game/mouse.h"
#include "game/resume.h"
#include "game/screen_util.h"
#include "game/select.h"
#include "game/state.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/polled_input.h"
#include "platform/timer.h"
#include "platform/ustring.h"

namespace {

using TCreditRow = std::array<std::u16string, 3>;

std::array<TCreditRow, 8> MakeCredits() {
  return {{
      {u"", u"", u""},
      {u"Programmierung und Motive:", u"Tessolino-Team", u"Werkstatt"},
      {u"Grafik, Designberatung und Betatest:", u"Bildgruppe", u"Spielrunde"},
      {U16("Test und Verschönerungstipps:"), u"Testkreis", u"Feinschliff"},
      {u"Die Image-Spiegelfunktion", u"Bildlabor", u"Spiegelwerk"},
      {u"Tipps und Hinweise:", u"Spieleforum", u"#tessolino"},
      {u"Font:", u"Schriftwerkstatt", u"freie Schriften"},
      {u"Sounds:", u"Klangarchiv", u"klaenge.example.org"},
  }};
}

constexpr int kHintMs = 4000;
bool g_hint = false;
int g_hint_from = 0;

// Under the start button, above anything a third button at y 250 would take.
void DrawNoMotifHint() {
  if (!g_hint) return;
  if (MilliSecsDiff(MilliSecs(), g_hint_from) >= kHintMs) {
    g_hint = false;
    return;
  }
  const std::u16string hint = U16("Keine Bilder in Motives/ – PNG, JPEG, HEIC, WebP oder AVIF hineinlegen");
  SetImageFont(FArial20);
  SetColor(255, 220, 120);
  DrawText(hint, static_cast<float>(CentredX(hint, 400)), 212);
  SetColor(255, 255, 255);
  SetImageFont(FArial30);
}

// One button of the menu: where it lies, its label, and what a click on it does
// (true when the menu is to return).
struct TMenuButton {
  int top;
  const char16_t* label;
  bool (*press)();
};

bool StartPressed() {
  // With no motif there is nothing to start; the menu stays usable and says why.
  if (CountMotives == 0) {
    ShowNoMotifHint();
    return false;
  }
  Eventsystem(SFXClick);
  selectPuzzleImg();
  ShuffleAfterSelection();
  return true;
}

bool ResumePressed() {
  Eventsystem(SFXClick);
  return ResumeSavedBoard();
}

bool QuitPressed() {
  Eventsystem(SFXClick);
  End();
  return false;
}

// The buttons shown, from the top; the keys choose among them in this order.
// "Weiterspielen" only while a saved board can be resumed.
std::vector<TMenuButton> MenuButtons() {
  std::vector<TMenuButton> buttons{{100, u"Spiel starten", &StartPressed}};
  if (HasResumableBoard()) buttons.push_back({250, u"Weiterspielen", &ResumePressed});
  buttons.push_back({400, u"Raus hier", &QuitPressed});
  return buttons;
}

// Each button's area is 200 wide (right edge excluded) and 100 high (both edges).
int HoveredMenuButton(const std::vector<TMenuButton>& buttons) {
  for (size_t i = 0; i < buttons.size(); ++i)
    if (MX >= 300 && MX < 500 && MY >= buttons[i].top && MY <= buttons[i].top + 100) return static_cast<int>(i);
  return -1;
}

}  // namespace

void ShowNoMotifHint() {
  g_hint = true;
  g_hint_from = MilliSecs();
}

int Menu() {
  MOUSE1HIT = 0;
  ClearHeldTile();
  const std::array<TCreditRow, 8> credits = MakeCredits();
  std::array<float, 8> scroll{};
  for (int i = 0; i < 8; ++i) scroll[i] = -50.0f * static_cast<float>(i);
  const std::vector<TMenuButton> buttons = MenuButtons();
  const int count = static_cast<int>(buttons.size());
  // Space or Return press the first button until Up or Down chose another.
  TKeyChoice keys(0, false);

  for (;;) {
    Cls();
    SetImageFont(FArial20);
    for (int i = 0; i < 8; ++i) {
      const float p = scroll[i];
      const TCreditRow& row = credits[i];
      const float t1 = static_cast<float>(TextWidth(row[1]));
      const float t2 = static_cast<float>(TextWidth(row[2]));
      const float x0 = 130 - p / 4;
      const float x1 = 800 - t1 - t2 - 150 + p / 8;
      const float x2 = 800 - t2 - 120 + p / 4;
      SetAlpha(p / 1000 * 2);
      DrawText(row[0], x0, p);
      DrawText(row[1], x1, p);
      DrawText(row[2], x2, p);
      SetAlpha(p / 1000);
      SetScale(1, -1);
      DrawText(row[0], x0, 730 - p);
      DrawText(row[1], x1, 730 - p);
      DrawText(row[2], x2, 730 - p);
      SetScale(1, 1);
      scroll[i] = p + 0.7f;
      if (scroll[i] > 350) scroll[i] = -20;
    }
    SetImageFont(FArial30);
    SetAlpha(1);
    UserInput();
    if (IMGButton)
      for (const TMenuButton& b : buttons) DrawImage(IMGButton, 300, static_cast<float>(b.top), 0);
    const int hovered = HoveredMenuButton(buttons);
    keys.Update(KeyHit(kKeyDown) - KeyHit(kKeyUp), count);
    const bool key_pressed = TakeKeyHit();
    const int pressed = hovered >= 0 && MOUSE1HIT == 1 ? hovered : key_pressed ? keys.index() : -1;
    if (pressed >= 0 && buttons[pressed].press()) return 0;
    if (hovered >= 0) Highlight(IMGButton, 300, static_cast<float>(buttons[hovered].top));
    if (keys.shown() && keys.index() != hovered)
      Highlight(IMGButton, 300, static_cast<float>(buttons[keys.index()].top));
    SetColor(0, 0, 0);
    for (const TMenuButton& b : buttons)
      DrawText(b.label, static_cast<float>(CentredX(b.label, 400)), static_cast<float>(b.top + 30));
    SetColor(255, 255, 255);
    DrawNoMotifHint();
    Mouse(1);
    FPS();
    Flip(0);
    WaitTimer(Timer);
    if (KeyHit(27)) End();
    if (AppTerminate()) return 0;
  }
}
