// The game in a real 800 x 600 window under X: catalogue and reflections, cutting,
// input sampling with XTest, and the screens' nested loops driven frame by frame
// through the real functions with real clicks and keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "draw2d/draw.h"
#include "draw2d/image.h"
#include "game/board.h"
#include "game/buttons.h"
#include "game/draw_puzzle.h"
#include "game/frame.h"
#include "game/game_main.h"
#include "game/menu.h"
#include "game/motives.h"
#include "game/normalise.h"
#include "game/resume.h"
#include "game/select.h"
#include "game/state.h"
#include "game_fixture.h"
#include "game_window.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/filesystem.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/env.h"

namespace {

// Every pixel distinct enough to find its place: red = x, green = y, blue = block.
int PatternPixel(int x, int y) {
  return static_cast<int>(0xFF000000u | (x & 255) << 16 | (y & 255) << 8 | ((x >> 7) * 40 + (y >> 7) * 10 + 5));
}

Ref<TPixmap> Pattern(int w, int h) {
  Ref<TPixmap> p = CreatePixmap(w, h, FormatRGBA8888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) WritePixel(p, x, y, PatternPixel(x, y));
  return p;
}

void MakePictures(const TempDir& t) {
  std::filesystem::create_directories(t.path());
  SavePixmapPNG(Pattern(512, 512), TUrl(t.str() + "/a.png"));
  SavePixmapJPeg(Pattern(512, 512), TUrl(t.str() + "/b.jpg"));
  SavePixmapJPeg(Pattern(512, 512), TUrl(t.str() + "/c.jpeg"));
  t.Write("readme.txt", "not a motif");
}

Ref<TMotives> Entry(const char16_t* name) {
  for (auto& e : MotivesList)
    if (e->Filename == name) return e;
  return nullptr;
}

class Screens : public ::testing::Test {
 protected:
  Ref<TCountingSound> click = CountingSound(), mix = CountingSound(), fanfare = CountingSound();
  Ref<TSound> saved_click, saved_mix, saved_fanfare;

  void SetUp() override {
    if (!OpenGameWindow(&MakePictures)) GTEST_SKIP() << "no X display with OpenGL";
    saved_click = SFXClick;
    saved_mix = SFXpaperMix;
    saved_fanfare = SFXFanfare;
    SFXClick = click;
    SFXpaperMix = mix;
    SFXFanfare = fanfare;
    MOUSE1HIT = 0;
    WINMODE = 0;
    Helpstate = 0;
    FocusShown = false;
    XMove(700, 150);
    FlushKeysAndMouse();
  }
  void TearDown() override {
    ClearFrameScript();
    if (saved_click) SFXClick = saved_click;
    if (saved_mix) SFXpaperMix = saved_mix;
    if (saved_fanfare) SFXFanfare = saved_fanfare;
  }
  static void FlushKeysAndMouse() {
    PollSystem();
    FlushKeys();
    FlushMouse();
    UserInput();  // the wheel's last position
  }
  void CutFirstMotif(int n) {
    IMGPuzzle = Entry(u"a.png")->Motiv;
    CutBoard(n);
  }
};


TEST_F(Screens, CatalogueFollowsTheFolderOrderAndSkipsOtherFiles) {
  std::vector<std::u16string> expected;
  for (auto& n : LoadDir(FromOSBytes(GameMotives().str()), true))
    if (IsMotifName(n)) expected.push_back(n);
  ASSERT_EQ(CountMotives, 3);
  ASSERT_EQ(MotivesList.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(MotivesList[i]->ID, i);
    EXPECT_EQ(MotivesList[i]->Filename, expected[i]);
    EXPECT_EQ(MotivesList[i]->Motivwidth, 512.0f);
    EXPECT_EQ(MotivesList[i]->widthfaktor, 1.0f);
  }
}

TEST_F(Screens, MotifReflectionIsTheLowestSeventhFadingFrom80) {
  Ref<TImage> mirror = Entry(u"a.png")->Mirror;
  ASSERT_TRUE(mirror);
  EXPECT_EQ(ImageWidth(mirror), 512);
  EXPECT_EQ(ImageHeight(mirror), 73);
  Ref<TPixmap> p = LockImage(mirror, 0, true, false);
  const int expect[3][2] = {{0, 80}, {36, 40}, {72, 1}};
  for (auto [row, alpha] : expect) {
    const uint32_t px = static_cast<uint32_t>(ReadPixel(p, 200, row));
    EXPECT_EQ(px >> 24, static_cast<uint32_t>(alpha)) << row;
    // Row 0 of the reflection is the picture's bottom row.
    const uint32_t src = static_cast<uint32_t>(PatternPixel(200, 511 - row));
    EXPECT_EQ(px & 0xFFFFFF, src & 0xFFFFFF) << row;
  }
}

TEST_F(Screens, ShortImagesAreMirroredWholeAndKeepTheirTransparency) {
  Ref<TPixmap> src = Pattern(120, 50);
  for (int y = 0; y < 50; ++y) WritePixel(src, 7, y, 0x00123456);  // a transparent column
  Ref<TImage> image = LoadImage(src, -1);
  std::vector<int> before;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 120; ++x) before.push_back(ReadPixel(LockImage(image, 0, true, false), x, y));
  Ref<TImage> mirror = mirrorImage(image);
  ASSERT_TRUE(mirror);
  EXPECT_EQ(ImageWidth(mirror), 120);
  EXPECT_EQ(ImageHeight(mirror), 50);
  Ref<TPixmap> m = LockImage(mirror, 0, true, false);
  EXPECT_EQ(static_cast<uint32_t>(ReadPixel(m, 30, 0)) >> 24, 80u);
  EXPECT_EQ(static_cast<uint32_t>(ReadPixel(m, 30, 25)) >> 24, 40u);
  EXPECT_EQ(static_cast<uint32_t>(ReadPixel(m, 30, 49)) >> 24, 1u);
  EXPECT_EQ(static_cast<uint32_t>(ReadPixel(m, 7, 0)) >> 24, 0u);
  std::vector<int> after;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 120; ++x) after.push_back(ReadPixel(LockImage(image, 0, true, false), x, y));
  EXPECT_EQ(before, after) << "the argument is not changed";
  // Exactly 100 rows is still short; 101 takes the strip of 101 / 7 rows.
  EXPECT_EQ(ImageHeight(mirrorImage(LoadImage(Pattern(40, 100), -1))), 100);
  EXPECT_EQ(ImageHeight(mirrorImage(LoadImage(Pattern(40, 101), -1))), 14);
  if (ButtonLMirror) {
    EXPECT_EQ(ImageWidth(ButtonLMirror), 120);
    EXPECT_EQ(ImageHeight(ButtonLMirror), 50);
  }
}

TEST_F(Screens, CuttingGrabsEachTileFromItsSquareOfTheMotif) {
  CutFirstMotif(4);
  EXPECT_EQ(AutoMidX, 35.5f);
  EXPECT_EQ(AutoMidY, 33.0f);
  for (auto [x, y] : {std::pair{0, 0}, {1, 2}, {3, 3}}) {
    for (auto* board : {&Puzzle, &Puzzle_Original}) {
      Ref<TPixmap> tile = LockImage((*board)(x, y), 0, true, false);
      ASSERT_TRUE(tile);
      EXPECT_EQ(PixmapWidth(tile), 128);
      for (auto [tx, ty] : {std::pair{0, 0}, {127, 5}, {64, 127}}) {
        const uint32_t got = static_cast<uint32_t>(ReadPixel(tile, tx, ty)) & 0xFFFFFF;
        const uint32_t want = static_cast<uint32_t>(PatternPixel(x * 128 + tx, y * 128 + ty)) & 0xFFFFFF;
        EXPECT_EQ(got, want) << x << "," << y << " at " << tx << "," << ty;
      }
    }
  }
}

TEST_F(Screens, InputIsSampledOncePerFrame) {
  XClick(300, 300);
  XClick(300, 300);
  UserInput();
  EXPECT_EQ(MOUSE1HIT, 2);
  EXPECT_EQ(MX, 300);
  EXPECT_EQ(MY, 300);
  UserInput();
  EXPECT_EQ(MOUSE1HIT, 0);
  for (int i = 0; i < 3; ++i) XClick(300, 300, 4);  // wheel up
  UserInput();
  EXPECT_EQ(MOUSESCROLL, 3);
  UserInput();
  EXPECT_EQ(MOUSESCROLL, 0);
  XClick(300, 300, 5);
  UserInput();
  EXPECT_EQ(MOUSESCROLL, -1);
  // Hundreds of presses saturate instead of wrapping to a single click.
  for (int i = 0; i < 257; ++i) {
    EmitEvent(CreateEvent(EVENT_MOUSEDOWN, nullptr, 1));
    EmitEvent(CreateEvent(EVENT_MOUSEUP, nullptr, 1));
  }
  UserInput();
  EXPECT_EQ(MOUSE1HIT, 255);
}

TEST_F(Screens, TabCyclesTheHelpLevelOnlyWhilePlaying) {
  CutFirstMotif(4);
  MixPuzzle();
  for (int expect : {1, 2, 3, 0}) {
    XKey("Tab");
    BoardScreenPass();
    EXPECT_EQ(Helpstate, expect);
  }
  XKey("Tab");
  XKey("Tab");
  BoardScreenPass();
  EXPECT_EQ(Helpstate, 1) << "two presses in one frame step once";
  WINMODE = 1;
  XKey("Tab");
  BoardScreenPass();
  EXPECT_EQ(Helpstate, 1);
  MixPuzzle();
  BoardScreenPass();
  EXPECT_EQ(Helpstate, 2) << "the kept press acts after the next shuffle";
}

TEST_F(Screens, EscapeOrACloseRequestEndsTheBoardScreen) {
  CutFirstMotif(4);
  MixPuzzle();
  EXPECT_FALSE(BoardScreenPass());
  Selection = 1;  // a tile held
  ChangeID = Puzzle_ID_Now(0, 0);
  XKey("Escape");
  EXPECT_FALSE(BoardScreenPass()) << "Escape puts a held tile back";
  EXPECT_EQ(Selection, 0);
  EXPECT_EQ(ChangeID, -1);
  XKey("Escape");
  EXPECT_TRUE(BoardScreenPass());
  RequestClose();
  EXPECT_TRUE(BoardScreenPass());
  EXPECT_FALSE(BoardScreenPass());
}

TEST_F(Screens, MenuStartButtonEdgesAndStartingAGame) {
  int plays_after_edge = -1;
  SetFrameScript([&](int f) {
    if (f == 0) XClick(500, 150);  // x must be below 500
    if (f == 4) plays_after_edge = click->plays;
    if (f == 5) XClick(300, 200);  // both edges included
    if (f == 9) XKey("Return");
    if (f > 200) RequestClose();   // a way out if something is wrong
  });
  Menu();
  EXPECT_EQ(plays_after_edge, 0);
  EXPECT_EQ(click->plays, 2);  // start and Return
  EXPECT_TRUE(BoardReady());
  EXPECT_EQ(mix->plays, 1);
}

TEST_F(Screens, MenuOffersASavedBoardAndResumesItUnshuffledWithAClick) {
  TempDir state;
  StartBoardSaves(state.str(), FromOSBytes(GameMotives().str() + "/"));
  IMGPuzzle = Entry(u"a.png")->Motiv;
  CutBoard(4);
  NoteBoardMotif(*Entry(u"a.png"));
  MixPuzzle();
  SaveBoardAfterSwap();
  const std::vector<int> saved = Puzzle_ID_Now.cells;
  const int first_id = Puzzle_ID_Correct.cells[0];
  CutBoard(6);
  mix->plays = 0;
  int plays_after_edge = -1;
  bool lit = false;
  SetFrameScript([&](int f) {
    if (f == 0) XMove(450, 250);  // both edges included
    if (f == 3) {
      Ref<TPixmap> hovered = GrabPixmap(300, 250, 200, 100);
      XMove(500, 300);  // x must be below 500
      lit = ReadPixel(hovered, 100, 80) != ReadPixel(GrabPixmap(300, 100, 200, 100), 100, 80);
      XClick(500, 300);
    }
    if (f == 6) plays_after_edge = click->plays;
    if (f == 7) XClick(300, 350);
    if (f > 200) RequestClose();  // a way out if something is wrong
  });
  Menu();
  StopBoardSaves();
  EXPECT_TRUE(lit) << "the hovered button lights up";
  EXPECT_EQ(plays_after_edge, 0);
  EXPECT_EQ(click->plays, 1);
  EXPECT_EQ(mix->plays, 0) << "no shuffle";
  EXPECT_EQ(BoardColumns(), 4);
  std::vector<int> now;
  for (int id : Puzzle_ID_Now.cells) now.push_back(id - Puzzle_ID_Correct.cells[0] + first_id);
  EXPECT_EQ(now, saved);
}

// Drawn pixels (not the clear colour) between the buttons, where the hint goes and
// nothing else is drawn while the credits' first rows are still above it.
struct THintPixels {
  int count = 0, left = 800, right = -1;
};
THintPixels HintPixels(const Ref<TPixmap>& shot) {
  THintPixels h;
  for (int y = 205; y < 245; ++y)
    for (int x = 0; x < PixmapWidth(shot); ++x) {
      if ((static_cast<uint32_t>(ReadPixel(shot, x, y)) & 0xFFFFFF) == 0x323232) continue;
      ++h.count;
      h.left = std::min(h.left, x);
      h.right = std::max(h.right, x);
    }
  return h;
}

TEST_F(Screens, AStartWithoutMotifsSaysWhereToPutPicturesForFourSeconds) {
  const uint16_t motifs = CountMotives;
  CountMotives = 0;
  Ref<TPixmap> before, during, after, keyed;
  int clicked = 0, gone = 0;
  SetFrameScript([&](int f) {
    if (f == 2) before = GrabPixmap(0, 0, 800, 600);
    if (f == 3) {
      XClick(400, 150);  // "Spiel starten"
      clicked = MilliSecs();
    }
    if (f == 6) during = GrabPixmap(0, 0, 800, 600);
    if (f > 6 && !after && MilliSecsDiff(MilliSecs(), clicked) > 4100) {
      after = GrabPixmap(0, 0, 800, 600);
      gone = f;
      XKey("Return");  // the start from the keyboard says the same
    }
    if (gone && f == gone + 3) keyed = GrabPixmap(0, 0, 800, 600);
    if (keyed || f > 2000) RequestClose();
  });
  Menu();
  CountMotives = motifs;
  ASSERT_TRUE(before && during && after && keyed);
  EXPECT_EQ(HintPixels(before).count, 0);
  const THintPixels shown = HintPixels(during);
  EXPECT_GT(shown.count, 1000) << "the hint under the start button";
  EXPECT_GT(shown.left, 0) << "within the window";
  EXPECT_LT(shown.right, 799);
  EXPECT_EQ(HintPixels(after).count, 0) << "gone after four seconds";
  EXPECT_EQ(HintPixels(keyed).count, shown.count);
  EXPECT_EQ(click->plays, 0) << "nothing started";
}

TEST_F(Screens, SliderSetsTheGridWhileHeldAndALeftSelectionKeepsTheBoard) {
  CutFirstMotif(6);
  std::vector<int> seen;
  SetFrameScript([&](int f) {
    if (f == 0) {
      XMove(200, 500);
      XPress(1);
    }
    if (f == 3) {
      seen.push_back(MAP_X);
      XMove(324, 500);
    }
    if (f == 6) {
      seen.push_back(MAP_X);
      XMove(650, 500);
    }
    if (f == 9) {
      seen.push_back(MAP_X);
      XRelease(1);
      RequestClose();  // leaves the selection without a choice, into a new menu
    }
    if (f >= 12) RequestClose();  // and out of that menu
  });
  selectPuzzleImg();
  EXPECT_EQ(seen, (std::vector<int>{4, 12, 32}));
  EXPECT_EQ(BoardColumns(), 6);
  EXPECT_EQ(BoardRows(), 6);
  DrawPuzzle();
  EXPECT_LE(CorrectTiles, 36);
  MAP_X = MAP_Y = 12;
}

// Return and Space are the board's now; presses of the board's keys that the
// selection opened with N left unread do not act on the board after it.
TEST_F(Screens, BoardKeysLeftInTheSelectionDoNotActOnTheBoardAfterIt) {
  CutFirstMotif(4);
  MixPuzzle();
  XKey("Return");
  BoardScreenPass();
  EXPECT_TRUE(FocusShown);
  ASSERT_EQ(FocusX + FocusY, 0);
  mix->plays = 0;
  int frames = 0;
  XKey("n");  // "Neues Motiv"
  SetFrameScript([&](int f) {
    if (f == 1) {
      for (const char* key : {"l", "q", "n", "End", "Next"}) XKey(key);
      XKey("Return");
    }
    if (f > 100) RequestClose();
  });
  BoardScreenPass();
  EXPECT_EQ(mix->plays, 1);
  SetFrameScript([&](int f) {
    frames = f + 1;
    if (f > 100) RequestClose();  // out of a quit dialog
  });
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(BoardScreenPass());
  EXPECT_EQ(frames, 3) << "no Q";
  EXPECT_EQ(WINMODE, 0) << "no L";
  EXPECT_EQ(mix->plays, 1) << "no N";
  EXPECT_EQ(FocusX + FocusY, 0) << "no End, no Page Down";
}

TEST_F(Screens, WheelStepsAtMostOncePer400Milliseconds) {
  // Clicks in several frames, all well within 400 ms even when a loaded machine
  // draws its frames slowly.
  int first = 0;
  SetFrameScript([&](int f) {
    if (f == 0) first = MilliSecs();
    if (f < 8 && MilliSecs() - first < 250) XClick(400, 560, 4);
    if (f == 10) XKey("Return");
    if (f > 200) RequestClose();
  });
  selectPuzzleImg();
  EXPECT_EQ(IMGPuzzle, MotivesList[1]->Motiv);
}

TEST_F(Screens, ACloseRequestInTheQuitDialogReturnsToTheUnchangedGame) {
  CutFirstMotif(4);
  MixPuzzle();
  const std::vector<int> ids = Puzzle_ID_Now.cells;
  SetFrameScript([&](int f) {
    if (f == 1) RequestClose();
  });
  EXPECT_EQ(QuitDialog(), 0);
  EXPECT_EQ(Puzzle_ID_Now.cells, ids);
  EXPECT_FALSE(BoardScreenPass()) << "the dialog consumed the request";
}

TEST_F(Screens, ACloseRequestInTheSelectionLeadsToAFreshMenu) {
  int returned_after = -1, frame = 0;
  SetFrameScript([&](int f) {
    frame = f;
    if (f == 1 || f == 4) RequestClose();
  });
  selectPuzzleImg();
  returned_after = frame;
  EXPECT_EQ(returned_after, 4) << "the first request left the selection, the second the menu";
}

TEST_F(Screens, NewMotifEscapeStartChooseShufflesTwice) {
  CutFirstMotif(4);
  MixPuzzle();
  mix->plays = 0;
  MX = 700;
  MY = 400;
  MOUSE1HIT = 1;
  SetFrameScript([&](int f) {
    if (f == 1) XKey("Escape");
    if (f == 3) XClick(400, 150);
    if (f == 6) XKey("Return");
    if (f > 200) RequestClose();
  });
  Buttons();
  EXPECT_EQ(mix->plays, 2);
  EXPECT_EQ(MOUSE1HIT, 0);
  EXPECT_EQ(WINMODE, 0);
}

TEST_F(Screens, ASelectionLeftWithoutAChoiceLeavesTheBoardsMotifInThePreview) {
  IMGPuzzle = MotivesList[1]->Motiv;
  CutBoard(4);
  MixPuzzle();
  const Ref<TImage> cut_from = IMGPuzzle;
  Ref<TImage> stepped_to;
  MX = 700;
  MY = 400;
  MOUSE1HIT = 1;  // "Neues Motiv"
  SetFrameScript([&](int f) {
    if (f == 1) XKey("Right");  // to the last motif
    if (f == 5) stepped_to = IMGPuzzle;
    if (f >= 6) RequestClose();  // out of the selection, then out of the menu it opens
  });
  Buttons();
  EXPECT_EQ(stepped_to, MotivesList[2]->Motiv);
  EXPECT_EQ(IMGPuzzle, cut_from);
}

TEST_F(Screens, QuitDialogMenuAndNewGameReturnToTheBoard) {
  CutFirstMotif(4);
  MixPuzzle();
  const int first_id = Puzzle_ID_Correct(0, 0);
  mix->plays = 0;
  Selection = 1;
  ChangeID = 5;
  ChangeX_old = 2;
  ChangeY_old = 1;
  MX = 700;
  MY = 550;
  MOUSE1HIT = 1;
  int last_frame = 0;
  bool gave_up = false;
  SetFrameScript([&](int f) {
    last_frame = f;
    if (f == 0) {
      EXPECT_EQ(ChangeID, -1);
      EXPECT_EQ(ChangeX_old, 0);
      EXPECT_EQ(ChangeY_old, 0);
    }
    if (f == 1) XClick(620, 350);  // "Ab ins Menue..."
    if (f == 4) XClick(400, 150);  // "Spiel starten"
    if (f == 7) XKey("Return");
    if (f > 300) {
      gave_up = true;
      RequestClose();
    }
  });
  Buttons();
  EXPECT_FALSE(gave_up) << "the dialog stayed open";
  EXPECT_LE(last_frame, 9) << "the dialog's one frame after the new game, no more";
  EXPECT_NE(Puzzle_ID_Correct(0, 0), first_id) << "a new board was cut";
  EXPECT_EQ(mix->plays, 1);
  EXPECT_TRUE(BoardReady());
  EXPECT_EQ(WINMODE, 0);
}

TEST_F(Screens, AWholeGameIsWonThroughRealClicks) {
  CutFirstMotif(4);
  MixPuzzle();
  int phase = 0, tx = 0, ty = 0;
  SetFrameScript([&](int) {
    if (phase == 0 && MoveReady == 0 && Selection == 0) {
      for (int x = 0; x < 4 && phase == 0; ++x)
        for (int y = 0; y < 4 && phase == 0; ++y) {
          if (Puzzle_ID_Now(x, y) == Puzzle_ID_Correct(x, y)) continue;
          for (int u = 0; u < 4; ++u)
            for (int v = 0; v < 4; ++v)
              if (Puzzle_ID_Correct(u, v) == Puzzle_ID_Now(x, y)) tx = u, ty = v;
          XClick(CellCentreX(x), CellCentreY(y));
          phase = 1;
        }
    } else if (phase == 1 && Selection == 1) {
      XClick(CellCentreX(tx), CellCentreY(ty));
      phase = 2;
    } else if (phase == 2 && Selection == 0 && MoveReady == 0) {
      phase = 0;
    }
  });
  int passes = 0;
  while (WINMODE != 1 && passes < 2000) {
    ASSERT_FALSE(BoardScreenPass());
    ++passes;
  }
  ClearFrameScript();
  EXPECT_EQ(WINMODE, 1);
  EXPECT_EQ(fanfare->plays, 1);
  EXPECT_GE(TileMoves, 1);
  for (int i = 0; i < 5; ++i) BoardScreenPass();
  EXPECT_EQ(fanfare->plays, 1);
}

// Before any key nothing lights up; Down shows the first button's highlight, the
// next Down moves it; Space or Return press the chosen button.
TEST_F(Screens, MenuKeysChooseAButtonThatLightsUpAndPressIt) {
  uint32_t start_unlit = 0, quit_unlit = 0, start_after = 0, quit_after = 0;
  auto pixel = [](int x, int y) { return static_cast<uint32_t>(ReadPixel(GrabPixmap(x, y, 1, 1), 0, 0)) & 0xFFFFFF; };
  SetFrameScript([&](int f) {
    if (f == 0) {
      start_unlit = pixel(400, 185);
      quit_unlit = pixel(400, 485);
      XKey("Down");
    }
    if (f == 2) XKey("Down");
    if (f == 4) {
      start_after = pixel(400, 185);
      quit_after = pixel(400, 485);
      XKey("Up");
    }
    if (f == 6) XKey("space");     // "Spiel starten"
    if (f == 9) XKey("Return");    // the first motif in the selection
    if (f > 200) RequestClose();
  });
  Menu();
  EXPECT_EQ(start_after, start_unlit);
  EXPECT_NE(quit_after, quit_unlit) << "\"Raus hier\" lights up";
  EXPECT_EQ(click->plays, 2);
  EXPECT_TRUE(BoardReady());
  EXPECT_EQ(mix->plays, 1);
}

// Q opens the quit dialog as a click does; Return takes "Nee, weiter!" unless the
// cursor keys chose another answer. Down in the selection makes the board smaller.
TEST_F(Screens, QuitDialogAnswersByKeys) {
  CutFirstMotif(4);
  MixPuzzle();
  const std::vector<int> ids = Puzzle_ID_Now.cells;
  const int first_id = Puzzle_ID_Correct(0, 0);
  mix->plays = 0;
  XKey("q");
  SetFrameScript([&](int f) {
    if (f == 1) XKey("Return");
    if (f > 100) RequestClose();
  });
  Buttons();
  EXPECT_EQ(Puzzle_ID_Now.cells, ids) << "back to the same game";
  EXPECT_EQ(click->plays, 2);

  MAP_X = MAP_Y = 5;
  XKey("q");
  SetFrameScript([&](int f) {
    if (f == 1) XKey("Right");   // "Ab ins Menue..."
    if (f == 3) XKey("Return");
    if (f == 6) XKey("Return");  // "Spiel starten" in the menu
    if (f == 9) XKey("Down");    // 4 x 4 in the selection
    if (f == 10) XKey("Down");   // no smaller
    if (f == 12) XKey("Return");
    if (f > 200) RequestClose();
  });
  Buttons();
  ClearFrameScript();
  EXPECT_EQ(click->plays, 6);
  EXPECT_EQ(mix->plays, 1);
  EXPECT_EQ(BoardColumns(), 4);
  EXPECT_NE(Puzzle_ID_Correct(0, 0), first_id) << "a new board";
}

}  // namespace
