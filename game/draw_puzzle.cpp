// Board rendering and the board state machine. Leans on the board geometry and
// shuffling, the drawing front, the sound effects and the board save.
#include "game/draw_puzzle.h"

#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/frame.h"
#include "game/resume.h"
#include "game/state.h"
#include "platform/ustring.h"

namespace {

std::u16string TwoDigits(int n) { return (n <= 9 ? u"0" : u"") + NumText(n); }

void TargetMark(float cx, float cy, int t) {
  SetAlpha(0.4f);
  SetBlend(BlendLight);
  SetColor(0, 125, 0);
  DrawRect(cx - 2, cy - 2, static_cast<float>(t + 4), static_cast<float>(t + 4));
  SetColor(255, 255, 255);
  SetBlend(BlendAlpha);
  SetAlpha(1);
}

// The tiles' images lie all over memory in shuffled order: the one a few cells
// ahead is asked for early, so that its loads overlap the drawing of this one.
void PrefetchTileAhead(int x, int y) {
  constexpr size_t kAhead = 6;
  const size_t ahead = size_t(x) * size_t(Puzzle.dim_y) + size_t(y) + kAhead;
  if (ahead < Puzzle.cells.size()) PrefetchImage(Puzzle.cells[ahead]);
}

}  // namespace

std::u16string FormatGameTime(int e) {
  const int hours = e / 1000 / 3600;
  const int minutes = (e / 1000 / 60) % 60;
  const int seconds = (e / 1000) % 60;
  return TwoDigits(hours) + u":" + TwoDigits(minutes) + u":" + TwoDigits(seconds);
}

std::u16string HelpLabel(int helpstate) {
  switch (helpstate) {
    case 0: return u"Normal";
    case 1: return u"Leicht";
    case 2: return u"Sehr Leicht";
    case 3: return u"Schwer";
    default: return u"";
  }
}

int DrawPuzzle() {
  CorrectTiles = 0;
  const int cols = BoardColumns(), rows = BoardRows();
  const int t = PuzzleTileSize;
  const float ft = static_cast<float>(t);
  const int hover_x = CellUnderX(MX), hover_y = CellUnderY(MY);
  for (int x = 0; x < cols; ++x) {
    for (int y = 0; y < rows; ++y) {
      PrefetchTileAhead(x, y);
      const float cx = CellOriginX(x), cy = CellOriginY(y);
      SetAlpha(0.4f);
      if (Puzzle_ID_Now(x, y) == Puzzle_ID_Correct(x, y)) {
        if (Helpstate != 3) {
          SetColor(0, 255, 0);
          DrawRect(cx - 1, cy - 1, ft + 2, ft + 2);
          SetColor(255, 255, 255);
        }
        CorrectTiles = static_cast<uint16_t>(CorrectTiles + 1);
      }
      SetAlpha(1);
      if (Puzzle.Inside(x, y) && Puzzle(x, y)) DrawImage(Puzzle(x, y), cx, cy, 0);
      if (hover_x == x && hover_y == y) {
        SetAlpha(0.2f);
        SetBlend(BlendLight);
        DrawRect(cx, cy, ft, ft);
        SetBlend(BlendAlpha);
        SetAlpha(1);
        if (ChangeID == Puzzle_ID_Correct(x, y) && (Helpstate == 1 || Helpstate == 2))
          TargetMark(cx, cy, t);
      }
      if (Helpstate == 2 && ChangeID == Puzzle_ID_Correct(x, y)) TargetMark(cx, cy, t);
      if (WINMODE == 3) {
        Puzzle_ID_Now(x, y) = Puzzle_ID_Correct(x, y);
        if (Puzzle.Inside(x, y) && Puzzle_Original.Inside(x, y)) Puzzle(x, y) = Puzzle_Original(x, y);
        TileMoves = 0;
      }
    }
  }
  // A swap still in flight would exchange two tiles of the solved board; a solved
  // board is not worth a save.
  if (WINMODE == 3) {
    CancelPendingSwap();
    SaveBoard();
  }
  SetAlpha(1);
  if (WINMODE == 4) {
    MixPuzzle();
    WINMODE = 0;
  }
  SetImageFont(FArial20);
  if (WINMODE == 0) GameTime = FormatGameTime(ClockDiff(TIME, GameSecs));
  const std::u16string label = HelpLabel(Helpstate);
  DrawText(label + u" (Wechsel mit TAB)",
           static_cast<float>(400 - TextWidth(label + u"(Wechsel mit TAB)") / 2), 582);
  DrawText(GameTime, static_cast<float>(590 - TextWidth(GameTime)), 582);
  if (CorrectTiles == AllTiles) {
    if (WINMODE == 0) Eventsystem(SFXFanfare);
    if (WINMODE < 2) {
      DrawText(u"GEWONNEN", 650, 210);
      WINMODE = 1;
    }
    if (WINMODE >= 2) {
      DrawText(U16("AUFGELÖST"), 650, 210);
      WINMODE = 2;
    }
  } else {
    DrawText(u"Korrekt platzierte: " + NumText(CorrectTiles), 595, 210);
  }
  DrawText(u"Getauschte Teile: " + NumText(TileMoves), 595, 225);
  SetImageFont(FArial30);
  return 0;
}
