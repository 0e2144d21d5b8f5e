// The main menu screen. Leans on the frame helpers, the motif selection, the board
// shuffle, the drawing front, polled input and the timer.
#include "game/menu.h"

#include <array>

#include "draw2d/draw.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/frame.h"
#include "game/mouse.h"
#include "game/screen_util.h"
#include "game/select.h"
#include "game/state.h"
#include "platform/app.h"
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

}  // namespace

int Menu() {
  MOUSE1HIT = 0;
  ClearHeldTile();
  const std::array<TCreditRow, 8> credits = MakeCredits();
  std::array<float, 8> scroll{};
  for (int i = 0; i < 8; ++i) scroll[i] = -50.0f * static_cast<float>(i);

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
    if (IMGButton) {
      DrawImage(IMGButton, 300, 100, 0);
      DrawImage(IMGButton, 300, 400, 0);
    }
    if (MX >= 300 && MX < 500 && MY >= 100 && MY <= 200) {
      // With no motif there is nothing to start; the menu stays usable.
      if (MOUSE1HIT == 1 && CountMotives > 0) {
        Eventsystem(SFXClick);
        selectPuzzleImg();
        MixPuzzle();
        return 0;
      }
      Highlight(IMGButton, 300, 100);
    } else if (MX >= 300 && MX < 500 && MY >= 400 && MY <= 500) {
      if (MOUSE1HIT == 1) {
        Eventsystem(SFXClick);
        End();
      }
      Highlight(IMGButton, 300, 400);
    }
    SetColor(0, 0, 0);
    DrawText(u"Spiel starten", static_cast<float>(CentredX(u"Spiel starten", 400)), 130);
    DrawText(u"Raus hier", static_cast<float>(CentredX(u"Raus hier", 400)), 430);
    SetColor(255, 255, 255);
    Mouse(1);
    FPS();
    Flip(0);
    WaitTimer(Timer);
    if (KeyHit(27)) End();
    if (AppTerminate()) return 0;
  }
}
