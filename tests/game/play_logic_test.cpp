// Tile interaction, board state machine, side buttons and keyboard play frame by
// frame without a window: the drawing calls do nothing, the game state is what is
// checked. TIME is scripted by hand, as FPS would sample it; keys arrive as the
// key events of the window would bring them.
#include "game/board_keys.h"
#include "game/buttons.h"
#include "game/draw_puzzle.h"
#include "game/mouse.h"
#include "game/key_input.h"
#include "game/state.h"
#include "game_fixture.h"
#include "platform/event.h"
#include "platform/polled_input.h"
#include "platform/random.h"

namespace {

class PlayLogic : public GameStateTest {
 protected:
  Ref<TCountingSound> move = CountingSound(), fanfare = CountingSound(), jingle = CountingSound(),
                      click = CountingSound();

  void SetUp() override {
    GameStateTest::SetUp();
    SFXPaperMove = move;
    SFXFanfare = fanfare;
    SFXJingle = jingle;
    SFXClick = click;
    TIME = 1000;
    GameSecs = 1000;
    CutBoard(4);
    // A known shuffle: (0,0)<->(1,0) and (2,2)<->(3,3); all else in place.
    SwapCells(0, 0, 1, 0);
    SwapCells(2, 2, 3, 3);
  }

  // One board frame: DrawPuzzle sees the previous TIME, Buttons and Mouse this one.
  void Frame(int now, int mx, int my, int clicks) {
    PointerX = MX = mx;
    PointerY = MY = my;
    MOUSE1HIT = static_cast<uint8_t>(clicks);
    BoardKeys();
    DrawPuzzle();
    TIME = now;
    Buttons();
    Mouse(0);
  }
  void ClickCell(int now, int x, int y) { Frame(now, CellCentreX(x), CellCentreY(y), 1); }
  void Idle(int now) { Frame(now, 700, 150, 0); }
};

TEST_F(PlayLogic, CorrectTilesCannotBePickedUpExceptAtHelpLevelThree) {
  for (int level = 0; level < 3; ++level) {
    Helpstate = static_cast<uint8_t>(level);
    ClickCell(1010, 1, 1);
    EXPECT_EQ(Selection, 0) << level;
    EXPECT_EQ(MOUSE1HIT, 0) << "the click is used up";
  }
  Helpstate = 3;
  ClickCell(1020, 1, 1);
  EXPECT_EQ(Selection, 1);
  EXPECT_EQ(ChangeID, Puzzle_ID_Correct(1, 1));
}

TEST_F(PlayLogic, DropAnimatesFor360MillisecondsThenSwapsAndCounts) {
  ClickCell(1000, 0, 0);
  ASSERT_EQ(Selection, 1);
  ClickCell(1000, 1, 0);  // drop at 1000
  EXPECT_EQ(MoveReady, 2);
  EXPECT_EQ(MoveReadyTime, 1360);
  EXPECT_EQ(move->plays, 1);
  EXPECT_EQ(SwapAnimationScale(360), 1.0f);
  Idle(1180);
  EXPECT_EQ(SwapAnimationScale(180), 2.0f);
  const float a = CellOriginX(0), c = CellOriginX(1);
  EXPECT_FLOAT_EQ(MoveX, a + (c - a) / 2);
  EXPECT_FLOAT_EQ(MoveX2, c + (a - c) / 2);
  Idle(1360);
  EXPECT_EQ(MoveReady, 2) << "still animating at the end time";
  EXPECT_EQ(TileMoves, 0);
  Idle(1361);
  EXPECT_EQ(MoveReady, 0);
  EXPECT_EQ(TileMoves, 1);
  EXPECT_EQ(Puzzle_ID_Now(0, 0), Puzzle_ID_Correct(0, 0));
  EXPECT_EQ(Puzzle_ID_Now(1, 0), Puzzle_ID_Correct(1, 0));
  EXPECT_EQ(ChangeID, -1);
  DrawPuzzle();
  EXPECT_EQ(CorrectTiles, 14);
}

TEST_F(PlayLogic, ClicksDuringTheAnimationAreIgnoredAndDropOnOwnCellCountsOne) {
  ClickCell(1000, 0, 0);
  ClickCell(1000, 0, 0);  // onto its own cell
  ASSERT_EQ(MoveReady, 2);
  ClickCell(1100, 3, 3);  // ignored while moving
  EXPECT_EQ(Selection, 0);
  Idle(1400);
  EXPECT_EQ(TileMoves, 1);
  EXPECT_EQ(Puzzle_ID_Now(0, 0), Puzzle_ID_Correct(1, 0));
}

TEST_F(PlayLogic, WinPlaysTheFanfareOnceAndLaterClicksDoNothing) {
  ClickCell(1000, 0, 0);
  ClickCell(1000, 1, 0);
  Idle(1400);
  ClickCell(1500, 2, 2);
  ClickCell(1500, 3, 3);
  Idle(1900);
  Idle(1950);
  EXPECT_EQ(WINMODE, 1);
  EXPECT_EQ(fanfare->plays, 1);
  Idle(2000);
  ClickCell(2100, 0, 0);
  EXPECT_EQ(Selection, 0);
  EXPECT_EQ(fanfare->plays, 1);
  EXPECT_EQ(GameTime, u"00:00:00");
}

TEST_F(PlayLogic, SolveShowsOneMoreCountThenSolvedWithoutFanfare) {
  MX = 700;
  MY = 300;  // the top button
  MOUSE1HIT = 1;
  DrawPuzzle();
  Buttons();
  EXPECT_EQ(WINMODE, 3);
  EXPECT_EQ(jingle->plays, 1);
  TileMoves = 5;
  MOUSE1HIT = 0;
  DrawPuzzle();  // applies the solve; counts the old board
  EXPECT_EQ(CorrectTiles, 12);
  EXPECT_EQ(WINMODE, 3);
  EXPECT_EQ(TileMoves, 0);
  DrawPuzzle();
  EXPECT_EQ(WINMODE, 2);
  EXPECT_EQ(fanfare->plays, 0);
  // "Neu mischen" reshuffles without jingle or fanfare.
  MOUSE1HIT = 1;
  Buttons();
  EXPECT_EQ(WINMODE, 4);
  DrawPuzzle();
  EXPECT_EQ(WINMODE, 0);
  EXPECT_EQ(fanfare->plays, 0);
  EXPECT_EQ(jingle->plays, 1);
}

TEST_F(PlayLogic, ClickOutsideTheBoardDuringASolveRequestIsNoWin) {
  MX = 700;
  MY = 300;
  MOUSE1HIT = 1;
  DrawPuzzle();
  Buttons();
  ASSERT_EQ(WINMODE, 3);
  Frame(1100, 592, 100, 1);  // the panel strip left of the buttons
  DrawPuzzle();
  DrawPuzzle();
  EXPECT_EQ(WINMODE, 2);
  EXPECT_EQ(fanfare->plays, 0);
}

TEST_F(PlayLogic, ClockRollsOverSecondsAndHours) {
  EXPECT_EQ(FormatGameTime(59999), u"00:00:59");
  EXPECT_EQ(FormatGameTime(60000), u"00:01:00");
  EXPECT_EQ(FormatGameTime(3 * 60000 + 7000), u"00:03:07");
  EXPECT_EQ(FormatGameTime(36000000), u"10:00:00");
  EXPECT_EQ(FormatGameTime(360000000), u"100:00:00");
  // Across the clock's wrap.
  GameSecs = 0x7FFFFFFF - 30000;
  TIME = static_cast<int>(0x80000000u + 29998u);
  DrawPuzzle();
  EXPECT_EQ(GameTime, u"00:00:59");
}

TEST_F(PlayLogic, FiveColumnStripPicksUpNothingAndClearsNothing) {
  CutBoard(5);
  SwapCells(0, 0, 4, 4);
  ClickCell(1000, 0, 0);
  ASSERT_EQ(Selection, 1);
  for (int x : {559, 560}) {
    Frame(1010, x, CellCentreY(2), 1);
    EXPECT_EQ(Selection, 1) << x;
  }
  Frame(1020, 561, CellCentreY(2), 1);
  EXPECT_EQ(Selection, 0);
  for (int x : {559, 560}) {
    Frame(1030, x, CellCentreY(2), 1);
    EXPECT_EQ(Selection, 0) << x;
  }
}

TEST_F(PlayLogic, ClickLeftOfTheBoardPicksColumnZeroOrClears) {
  CutBoard(12);  // origin 23.5
  SwapCells(0, 0, 5, 5);
  // x 5 lies left of the origin, less than a pitch: column 0, and the pick-up comes
  // before the outside test.
  Frame(1000, 5, 42, 1);
  EXPECT_EQ(Selection, 1);
  EXPECT_EQ(ChangeX_old, 0);
  EXPECT_EQ(ChangeY_old, 0);
  EXPECT_EQ(ChangeID, Puzzle_ID_Correct(5, 5));
  Frame(1010, 5, 42, 1);
  EXPECT_EQ(Selection, 0) << "with a tile held the same click clears it";
  EXPECT_EQ(ChangeID, -1);
  EXPECT_EQ(MoveReady, 0);
}

TEST_F(PlayLogic, SideButtonImageEdgeOnlyClearsTheSelection) {
  ClickCell(1000, 0, 0);
  ASSERT_EQ(Selection, 1);
  Frame(1010, 597, 300, 1);
  EXPECT_EQ(Selection, 0);
  EXPECT_EQ(ChangeID, -1);
  EXPECT_EQ(WINMODE, 0);
  EXPECT_EQ(click->plays, 0);
}

TEST_F(PlayLogic, ButtonClickWhileHoldingDropsTheTileWithoutSwap) {
  ClickCell(1000, 0, 0);
  Frame(1010, 700, 300, 1);  // "Auflösen"
  EXPECT_EQ(Selection, 0);
  EXPECT_EQ(ChangeID, -1);
  EXPECT_EQ(WINMODE, 3);
  EXPECT_EQ(TileMoves, 0);
}

// The pending swap is finished from its own record.
TEST_F(PlayLogic, PendingSwapSurvivesAClickOutsideTheBoard) {
  ClickCell(1000, 0, 0);
  ClickCell(1000, 1, 0);
  Frame(1100, 580, 590, 1);  // outside, where no button is
  Idle(1400);
  for (int id : Puzzle_ID_Now.cells) EXPECT_NE(id, -1);
  EXPECT_EQ(SortedIds(Puzzle_ID_Now), SortedIds(Puzzle_ID_Correct));
  EXPECT_EQ(Puzzle_ID_Now(0, 0), Puzzle_ID_Correct(0, 0));
  EXPECT_EQ(TileMoves, 1);
}

// A swap still animating when the board changes under it is dropped: its two cells
// would otherwise be exchanged on the changed board when its time is up. Each case
// keeps those cells inside the board, so only the cancellation stops it.
TEST_F(PlayLogic, PendingSwapIsCancelledBySolve) {
  ClickCell(1000, 0, 0);
  ClickCell(1000, 1, 0);     // ends at 1360
  Frame(1100, 700, 300, 1);  // "Auflösen" during the animation
  ASSERT_EQ(WINMODE, 3);
  Idle(1361);  // the solve is applied and, in the same frame, the swap's time is up
  EXPECT_EQ(Puzzle_ID_Now.cells, Puzzle_ID_Correct.cells);
  EXPECT_EQ(TileMoves, 0);
}

TEST_F(PlayLogic, PendingSwapIsCancelledByAShuffle) {
  ClickCell(1000, 0, 0);
  ClickCell(1000, 1, 0);
  SeedRnd(7);
  MixPuzzle();  // as "Neues Motiv" left without a choice, or "Neu mischen", does
  const std::vector<int> shuffled = Puzzle_ID_Now.cells;
  Idle(1400);
  EXPECT_EQ(Puzzle_ID_Now.cells, shuffled);
  EXPECT_EQ(TileMoves, 0);
}

TEST_F(PlayLogic, PendingSwapIsCancelledWhenANewBoardIsCut) {
  CutBoard(32);
  SwapCells(0, 0, 1, 0);
  ClickCell(1000, 0, 0);
  ClickCell(1000, 1, 0);
  ASSERT_EQ(MoveReady, 2);
  CutBoard(4);  // "Neues Motiv" chose a 4 x 4 board within the 360 ms
  // Mixed in a way that leaves the old swap's cells where they are.
  SwapCells(2, 2, 3, 3);
  const std::vector<int> mixed = Puzzle_ID_Now.cells;
  Idle(1400);
  EXPECT_EQ(Puzzle_ID_Now.cells, mixed);
  EXPECT_EQ(TileMoves, 0);
}

TEST_F(PlayLogic, HelpLevelThreeCountsWithoutFramesAndCanMoveCorrectTiles) {
  Helpstate = 3;
  DrawPuzzle();
  EXPECT_EQ(CorrectTiles, 12);
  ClickCell(1000, 1, 1);
  ClickCell(1000, 2, 1);  // correct onto correct
  Idle(1400);
  EXPECT_EQ(TileMoves, 1);
  DrawPuzzle();
  EXPECT_EQ(CorrectTiles, 10);
}

TEST_F(PlayLogic, SwapTimingHoldsAcrossTheClockWrap) {
  const int drop = 0x7FFFFFFF - 100;
  ClickCell(drop, 0, 0);
  ClickCell(drop, 1, 0);
  ASSERT_EQ(MoveReady, 2);
  EXPECT_LT(MoveReadyTime, 0) << "the end time lies past the wrap";
  Idle(ClockAdd(drop, 180));
  EXPECT_FLOAT_EQ(MoveX, CellOriginX(0) + (CellOriginX(1) - CellOriginX(0)) / 2);
  Idle(ClockAdd(drop, 360));
  EXPECT_EQ(MoveReady, 2);
  Idle(ClockAdd(drop, 361));
  EXPECT_EQ(MoveReady, 0);
  EXPECT_EQ(TileMoves, 1);
}

TEST_F(PlayLogic, MouseSeesThisFramesTimeAndDrawPuzzleThePrevious) {
  ClickCell(1000, 0, 0);
  ClickCell(1000, 1, 0);
  GameSecs = 0;
  MX = 700;
  MY = 150;
  MOUSE1HIT = 0;
  TIME = 1300;
  DrawPuzzle();
  EXPECT_EQ(GameTime, u"00:00:01");  // from 1300, the previous frame's clock
  TIME = 1400;                     // FPS of this frame
  Mouse(0);
  EXPECT_EQ(MoveReady, 0) << "the swap is applied with this frame's clock";
}

// Keyboard play: the keys of a frame are pressed before it, the mouse rests where
// the last frame left it (off the board unless a test moves it).
class KeyboardPlay : public PlayLogic {
 protected:
  void SetUp() override {
    PlayLogic::SetUp();
    EnablePolledInput();
    Idle(1000);
  }
  void TearDown() override {
    DisablePolledInput();
    PlayLogic::TearDown();
  }
  void Keys(int now, std::initializer_list<int> keys) {
    for (int key : keys) {
      EmitEvent(CreateEvent(EVENT_KEYDOWN, nullptr, key));
      EmitEvent(CreateEvent(EVENT_KEYUP, nullptr, key));
    }
    Frame(now, PointerX, PointerY, 0);
  }
  void ExpectFocus(int x, int y) {
    EXPECT_TRUE(FocusShown);
    EXPECT_EQ(FocusX, x);
    EXPECT_EQ(FocusY, y);
    EXPECT_EQ(CellUnderX(MX), x) << "the game's pointer is on the focus cell";
    EXPECT_EQ(CellUnderY(MY), y);
  }
};

TEST_F(KeyboardPlay, TheFirstKeyShowsTheFocusWhichStopsAtTheBordersAndJumpsToTheEnds) {
  Keys(1010, {kKeyRight});
  ExpectFocus(0, 0);  // shown where it was, not moved
  Keys(1020, {kKeyLeft, kKeyUp});
  ExpectFocus(0, 0);
  Keys(1030, {kKeyEnd});
  ExpectFocus(3, 0);
  Keys(1040, {kKeyRight, kKeyRight});
  ExpectFocus(3, 0);
  Keys(1050, {kKeyPageDown, kKeyDown});
  ExpectFocus(3, 3);
  Keys(1060, {kKeyHome, kKeyPageUp});
  ExpectFocus(0, 0);
  Keys(1070, {kKeyRight, kKeyRight, kKeyDown});  // presses within one frame all count
  ExpectFocus(2, 1);
  // Hidden by the mouse, it shows again on the cell under the pointer.
  Frame(1080, CellCentreX(1), CellCentreY(3), 0);
  EXPECT_FALSE(FocusShown);
  Keys(1090, {kKeyUp});
  ExpectFocus(1, 3);
  // A board cut anew with fewer cells keeps the focus on it.
  Keys(1100, {kKeyEnd, kKeyPageDown});
  CutBoard(3);
  Keys(1110, {});
  ExpectFocus(2, 2);
}

// Two presses pick up and drop as two clicks: same cells, animation, sound, count.
TEST_F(KeyboardPlay, SpaceAndReturnPickAndDropAsClicksAndWaitForTheAnimation) {
  Keys(1000, {kKeyDown});  // shows the focus on (0, 0)
  Keys(1000, {kKeyReturn});
  EXPECT_EQ(Selection, 1);
  EXPECT_EQ(ChangeID, Puzzle_ID_Now(0, 0));
  Keys(1000, {kKeySpace});  // onto its own cell
  EXPECT_EQ(MoveReady, 2);
  EXPECT_EQ(move->plays, 1);
  Keys(1100, {kKeyRight, kKeyReturn});  // moves the focus; the press is ignored
  ExpectFocus(1, 0);
  EXPECT_EQ(Selection, 0);
  Keys(1361, {});
  EXPECT_EQ(TileMoves, 1);
  EXPECT_EQ(Puzzle_ID_Now(0, 0), Puzzle_ID_Correct(1, 0)) << "the board did not change";
  // The same two presses that clicks would make finish the first swap.
  Keys(1400, {kKeyReturn});
  Keys(1400, {kKeyLeft, kKeyReturn});
  Keys(1800, {});
  EXPECT_EQ(TileMoves, 2);
  EXPECT_EQ(move->plays, 2);
  EXPECT_EQ(Puzzle_ID_Now(0, 0), Puzzle_ID_Correct(0, 0));
  EXPECT_EQ(Puzzle_ID_Now(1, 0), Puzzle_ID_Correct(1, 0));
}

TEST_F(KeyboardPlay, ARealPointerMoveOrClickHandsTheBoardBackToTheMouse) {
  Keys(1000, {kKeyDown});
  Keys(1000, {kKeyReturn});  // holds (0, 0)
  for (int now : {1010, 1020}) {  // frames reading the pointer where it rests
    Frame(now, PointerX, PointerY, 0);
    ExpectFocus(0, 0);
  }
  Frame(1030, PointerX + 1, PointerY, 0);
  EXPECT_FALSE(FocusShown);
  EXPECT_EQ(MX, PointerX) << "the game's pointer is the mouse's again";
  EXPECT_EQ(Selection, 1);
  // With the focus shown again, a click without a move acts where the mouse is.
  Keys(1040, {kKeyRight});
  Frame(1050, CellCentreX(3), CellCentreY(3), 1);
  EXPECT_FALSE(FocusShown);
  EXPECT_EQ(MoveReady, 2);
  EXPECT_EQ(NewX, 3);
  EXPECT_EQ(NewY, 3);
}

TEST_F(KeyboardPlay, LettersPressTheSideButtons) {
  Keys(1000, {kKeyDown});
  Keys(1000, {kKeyReturn});
  Keys(1010, {kKeyL});  // "Auflösen", with a tile held
  EXPECT_EQ(Selection, 0);
  EXPECT_EQ(WINMODE, 3);
  EXPECT_EQ(click->plays, 1);
  EXPECT_EQ(jingle->plays, 1);
}

}  // namespace
