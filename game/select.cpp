// The motif selection screen. Leans on the catalogue and which of its entries hold
// pictures, the board set-up, the frame helpers, the drawing front, polled input
// and the timer.
#include "game/select.h"

#include "draw2d/draw.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/frame.h"
#include "game/menu.h"
#include "game/motif_residency.h"
#include "game/motives.h"
#include "game/mouse.h"
#include "game/screen_util.h"
#include "game/state.h"
#include "platform/polled_input.h"
#include "platform/timer.h"

namespace {

void DrawFaint(const Ref<TImage>& image, float x, float y) {
  if (!image) return;
  SetAlpha(0.4f);
  SetScale(0.8f, 0.8f);
  DrawImage(image, x, y, 0);
  SetScale(1, 1);
  SetAlpha(1);
}

}  // namespace

int selectPuzzleImg() {
  int current = 0;
  uint8_t chosen = 0;
  uint8_t left = 0, right = 0;
  // "Already passed", wrap-safe: the first step may come at once.
  int next_step = ClockAdd(TIME, -1);
  Ref<TImage> shown_reflection = CreateImage(512, 512, 8, -1);
  const int count = CountMotives;  // signed: count - 1 is -1 for an empty catalogue

  for (;;) {
    UserInput();
    if (MX > 10 && MX < 130 && MY > 450 && MY < 497) {
      left = 2;
      if (MOUSE1HIT == 1) {
        left = 1;
        MOUSE1HIT = 0;
      }
    } else {
      left = 0;
    }
    if (MX > 670 && MX < 790 && MY > 450 && MY < 497) {
      right = 2;
      if (MOUSE1HIT == 1) {
        right = 1;
        MOUSE1HIT = 0;
      }
    } else {
      right = 0;
    }
    if (KeyHit(13)) {
      Eventsystem(SFXClick);
      if (count > 0) chosen = 1;
    }
    if (KeyHit(37)) left = 1;
    if (KeyHit(39)) right = 1;
    if (MOUSESCROLL > 0) left = 1;
    if (MOUSESCROLL < 0) right = 1;
    if (current > count - 1) current = 0;
    if (current < 0) current = count - 1;
    KeepMotivesNear(current);

    bool found = false;
    for (const Ref<TMotives>& e : MotivesList) {
      const int id = e->ID;
      if (current > 0 && id == current - 1) DrawFaint(e->Motiv, 460.4f, -12);
      if (current < count - 1 && id == current + 1) DrawFaint(e->Motiv, -70, -12);
      if (current == 0) {
        if (id == 0) {
          IMGPuzzle = e->Motiv;
          shown_reflection = e->Mirror;
          found = true;
        } else if (id == count - 1) {
          DrawFaint(e->Motiv, 460.4f, -12);
        }
      }
      if (current == count - 1 && id == 0) DrawFaint(e->Motiv, -70, -12);
      if (id == current && current > 0) {
        IMGPuzzle = e->Motiv;
        shown_reflection = e->Mirror;
        found = true;
      }
    }
    if (!found && count == 0) IMGPuzzle.reset();  // nothing to show or cut

    if (left == 1 && ClockBefore(next_step, TIME)) {
      Eventsystem(SFXClick);
      current += 1;
      left = 0;
      MOUSESCROLL = 0;
      next_step = ClockAdd(TIME, 400);
    }
    if (right == 1 && ClockBefore(next_step, TIME)) {
      Eventsystem(SFXClick);
      current -= 1;
      right = 0;
      MOUSESCROLL = 0;
      next_step = ClockAdd(TIME, 400);
    }

    if (shown_reflection) DrawImage(shown_reflection, 144, 525, 0);
    if (IMGPuzzle) DrawImage(IMGPuzzle, 144, 13, 0);
    if (ButtonRMirror) DrawImage(ButtonRMirror, 670, 550, 0);
    if (ButtonLMirror) DrawImage(ButtonLMirror, 10, 550, 0);

    const std::u16string numbers = NumText(current + 1) + u"/" + NumText(count);
    const int cx = 400 - TextWidth(u"Auswahl" + numbers) / 2;
    const std::u16string counter = u"Auswahl: " + numbers;
    SetScale(1, -0.8f);
    SetAlpha(0.2f);
    SetImageFont(FArial30);
    DrawText(counter, static_cast<float>(cx), 580);
    SetScale(1, 1);
    SetAlpha(1);
    DrawText(counter, static_cast<float>(cx), 535);

    SetImageFont(FArial20);
    if (ButtonR) DrawImage(ButtonR, 670, 450, 0);
    if (ButtonL) DrawImage(ButtonL, 10, 450, 0);

    const int k = 144 + ((MAP_X / 2) * 512) / 20;
    SetColor(25, 25, 25);
    SetAlpha(0.5f);
    DrawRect(149, 487, 502, 19);
    SetAlpha(1);
    SetColor(125, 125, 125);
    DrawRect(static_cast<float>(k - 5), 487, 60, 19);
    SetColor(255, 255, 255);
    SetScale(0.5f, 0.5f);
    if (ButtonR) DrawImage(ButtonR, static_cast<float>(k + 45), 485, 0);
    if (ButtonL) DrawImage(ButtonL, static_cast<float>(k - 55), 485, 0);
    SetScale(1, 1);
    const std::u16string tiles = NumText(static_cast<long long>(MAP_X) * MAP_Y);
    DrawText(tiles, static_cast<float>(k + 25) - static_cast<float>(TextWidth(tiles)) / 2.0f, 485);
    SetImageFont(FArial30);

    if (right == 2) Highlight(ButtonR, 670, 450);
    if (left == 2) Highlight(ButtonL, 10, 450);

    if (MX > 144 && MX < 656 && MY > 13 && MY < 475 && IMGPuzzle) {
      Highlight(IMGPuzzle, 144, 13);
      if (MOUSE1HIT == 1) {
        chosen = 1;
        Eventsystem(SFXClick);
        MOUSE1HIT = 0;
      }
    }

    if (MouseDown(1) && MX > 144 && MX < 656 && MY > 475 && MY < 525) {
      MAP_X = (MX - 144) / 15;
      if (MAP_X < 4) MAP_X = 4;
      if (MAP_X > 32) MAP_X = 32;
      MAP_Y = MAP_X;
    }

    if (KeyHit(32)) break;

    Mouse(1);
    FPS();
    Flip(0);
    WaitTimer(Timer);
    Cls();
    if (KeyHit(27)) break;
    if (AppTerminate()) break;
    if (chosen == 1) break;
  }

  SetScale(1, 1);
  // The next selection starts at motif 0: its pictures are made meanwhile.
  KeepMotivesNear(0, false);
  if (chosen == 0 || !IMGPuzzle) {
    Menu();
    return 0;
  }
  Cls();
  PuzzleTileSize = static_cast<uint16_t>(512 / MAP_X);
  if (MAP_X > 27) BetweenTile = 2;
  if (MAP_Y < 28) BetweenTile = 3;
  AllocateBoard(MAP_X, MAP_Y);
  PreparePuzzle();
  AllTiles = static_cast<uint16_t>(MAP_X * MAP_Y);
  return 0;
}
