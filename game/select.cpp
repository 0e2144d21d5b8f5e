// The motif selection screen. Leans on the catalogue and which of its entries hold
// pictures, the board set-up and save, the frame helpers, the drawing front, polled
// input and the timer.
#include "game/select.h"

#include "draw2d/draw.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/frame.h"
#include "game/key_input.h"
#include "game/menu.h"
#include "game/motif_residency.h"
#include "game/motives.h"
#include "game/mouse.h"
#include "game/resume.h"
#include "game/screen_util.h"
#include "game/state.h"
#include "platform/polled_input.h"
#include "platform/timer.h"

namespace {

// One selection's state.
struct TCarousel {
  int current = 0;  // ID of the motif in the middle
  uint8_t chosen = 0;
  uint8_t left = 0, right = 0;  // 0 idle, 2 pointer over the arrow, 1 step requested
  int next_step = 0;            // earliest TIME of the next step
  Ref<TImage> shown_reflection;
  Ref<TMotives> shown;  // the entry in the middle
  int count = 0;  // signed: count - 1 is -1 for an empty catalogue
};

void DrawFaint(const Ref<TImage>& image, float x, float y) {
  if (!image) return;
  SetAlpha(0.4f);
  SetScale(0.8f, 0.8f);
  DrawImage(image, x, y, 0);
  SetScale(1, 1);
  SetAlpha(1);
}

// 2 with the pointer over the arrow between x0 and x1, 1 when it was clicked there
// (the click is used up), 0 elsewhere.
uint8_t ArrowState(int x0, int x1) {
  if (!(MX > x0 && MX < x1 && MY > 450 && MY < 497)) return 0;
  if (MOUSE1HIT != 1) return 2;
  MOUSE1HIT = 0;
  return 1;
}

// Arrows, Return, cursor keys and wheel; then the middle wraps round the ends.
void ReadCarouselInput(TCarousel& c) {
  UserInput();
  c.left = ArrowState(10, 130);
  c.right = ArrowState(670, 790);
  if (KeyHit(13)) {
    Eventsystem(SFXClick);
    if (c.count > 0) c.chosen = 1;
  }
  if (KeyHit(37)) c.left = 1;
  if (KeyHit(39)) c.right = 1;
  if (MOUSESCROLL > 0) c.left = 1;
  if (MOUSESCROLL < 0) c.right = 1;
  if (c.current > c.count - 1) c.current = 0;
  if (c.current < 0) c.current = c.count - 1;
}

void ShowInMiddle(TCarousel& c, const Ref<TMotives>& e) {
  IMGPuzzle = e->Motiv;
  c.shown_reflection = e->Mirror;
  c.shown = e;
}

// The following motif lies faint on the left, the preceding one on the right; the
// middle one becomes IMGPuzzle with its reflection.
void WalkCarousel(TCarousel& c) {
  const int current = c.current, count = c.count;
  bool found = false;
  for (const Ref<TMotives>& e : MotivesList) {
    const int id = e->ID;
    if (current > 0 && id == current - 1) DrawFaint(e->Motiv, 460.4f, -12);
    if (current < count - 1 && id == current + 1) DrawFaint(e->Motiv, -70, -12);
    if (current == 0) {
      if (id == 0) {
        ShowInMiddle(c, e);
        found = true;
      } else if (id == count - 1) {
        DrawFaint(e->Motiv, 460.4f, -12);
      }
    }
    if (current == count - 1 && id == 0) DrawFaint(e->Motiv, -70, -12);
    if (id == current && current > 0) {
      ShowInMiddle(c, e);
      found = true;
    }
  }
  if (!found && count == 0) IMGPuzzle.reset();  // nothing to show or cut
}

// At most one step a frame, and one every 400 ms.
void StepCarousel(TCarousel& c) {
  if (c.left == 1 && ClockBefore(c.next_step, TIME)) {
    Eventsystem(SFXClick);
    c.current += 1;
    c.left = 0;
    MOUSESCROLL = 0;
    c.next_step = ClockAdd(TIME, 400);
  }
  if (c.right == 1 && ClockBefore(c.next_step, TIME)) {
    Eventsystem(SFXClick);
    c.current -= 1;
    c.right = 0;
    MOUSESCROLL = 0;
    c.next_step = ClockAdd(TIME, 400);
  }
}

// Reflection, picture, the arrows' reflections, the counter and the arrows.
void DrawCarousel(const TCarousel& c) {
  if (c.shown_reflection) DrawImage(c.shown_reflection, 144, 525, 0);
  if (IMGPuzzle) DrawImage(IMGPuzzle, 144, 13, 0);
  if (ButtonRMirror) DrawImage(ButtonRMirror, 670, 550, 0);
  if (ButtonLMirror) DrawImage(ButtonLMirror, 10, 550, 0);

  const std::u16string numbers = NumText(c.current + 1) + u"/" + NumText(c.count);
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
}

// The grid-size slider: track, knob with its small arrows, and the tile count.
void DrawSlider() {
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
}

// Hovered arrows and picture light up; a click on the big picture chooses it.
void HighlightAndChoose(TCarousel& c) {
  if (c.right == 2) Highlight(ButtonR, 670, 450);
  if (c.left == 2) Highlight(ButtonL, 10, 450);
  if (MX > 144 && MX < 656 && MY > 13 && MY < 475 && IMGPuzzle) {
    Highlight(IMGPuzzle, 144, 13);
    if (MOUSE1HIT == 1) {
      c.chosen = 1;
      Eventsystem(SFXClick);
      MOUSE1HIT = 0;
    }
  }
}

// While the button is held over the slider (so dragging works), or a column more
// or fewer for each press of Up or Down: 4 to 32 columns.
void ReadSlider() {
  const int steps = KeyHit(kKeyUp) - KeyHit(kKeyDown);
  if (MouseDown(1) && MX > 144 && MX < 656 && MY > 475 && MY < 525) {
    MAP_X = (MX - 144) / 15;
  } else if (steps != 0) {
    MAP_X += steps;
  } else {
    return;
  }
  if (MAP_X < 4) MAP_X = 4;
  if (MAP_X > 32) MAP_X = 32;
  MAP_Y = MAP_X;
}

}  // namespace

int selectPuzzleImg() {
  TCarousel c;
  // "Already passed", wrap-safe: the first step may come at once.
  c.next_step = ClockAdd(TIME, -1);
  c.shown_reflection = CreateImage(512, 512, 8, -1);
  c.count = CountMotives;
  // Stepping through the carousel changes IMGPuzzle; without a choice the board
  // keeps the motif it was cut from.
  const Ref<TImage> board_motif = IMGPuzzle;

  for (;;) {
    ReadCarouselInput(c);
    KeepMotivesNear(c.current);
    WalkCarousel(c);
    StepCarousel(c);
    DrawCarousel(c);
    DrawSlider();
    HighlightAndChoose(c);
    ReadSlider();
    if (KeyHit(32)) break;
    Mouse(1);
    FPS();
    Flip(0);
    WaitTimer(Timer);
    Cls();
    if (KeyHit(27) || AppTerminate() || c.chosen == 1) break;
  }

  SetScale(1, 1);
  // The next selection starts at motif 0: its pictures are made meanwhile.
  KeepMotivesNear(0, false);
  if (c.chosen == 0 || !IMGPuzzle) {
    IMGPuzzle = board_motif;
    Menu();
    return 0;
  }
  CutChosenBoard();
  if (c.shown) NoteBoardMotif(*c.shown);
  return 0;
}
