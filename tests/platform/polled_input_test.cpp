// Polled input as the event stream drives it: events go through EmitEvent (the same
// path the X pump takes), queries read the folded state.
#include "platform/polled_input.h"

#include <gtest/gtest.h>

#include "platform/event.h"
#include "platform/hook.h"
#include "platform/system.h"
#include "platform/timer.h"

namespace {

void Emit(int id, int data = 0, int x = 0, int y = 0, Ref<TObject> source = nullptr) {
  EmitEvent(CreateEvent(id, std::move(source), data, 0, x, y));
}

class PolledInputTest : public ::testing::Test {
 protected:
  void SetUp() override { EnablePolledInput(nullptr); }
  void TearDown() override { DisablePolledInput(); }
};

TEST_F(PolledInputTest, KeyPressAndReleaseBetweenReadsCountsOneHitAndIsUpAgain) {
  Emit(EVENT_KEYDOWN, 27);
  Emit(EVENT_KEYDOWN, 27);  // already down: no second hit
  Emit(EVENT_KEYREPEAT, 27);
  Emit(EVENT_KEYUP, 27);
  EXPECT_EQ(KeyHit(27), 1);
  EXPECT_EQ(KeyHit(27), 0);
  EXPECT_EQ(KeyDown(27), 0);

  Emit(EVENT_KEYDOWN, 65);
  EXPECT_EQ(KeyDown(65), 1);
  Emit(EVENT_KEYUP, 65);
  Emit(EVENT_KEYDOWN, 65);
  Emit(EVENT_KEYUP, 65);
  EXPECT_EQ(KeyHit(65), 2);
}

TEST_F(PolledInputTest, ClicksAccumulateAndOnlyMotionMovesThePointer) {
  Emit(EVENT_MOUSEMOVE, 0, 120, 45);
  for (int i = 0; i < 3; ++i) {
    Emit(EVENT_MOUSEDOWN, 1, 300, 300);
    Emit(EVENT_MOUSEUP, 1, 300, 300);
  }
  EXPECT_EQ(MouseHit(1), 3);
  EXPECT_EQ(MouseHit(1), 0);
  EXPECT_EQ(MouseX(), 120);
  EXPECT_EQ(MouseY(), 45);
  Emit(EVENT_MOUSEDOWN, 2);
  EXPECT_EQ(MouseDown(2), 1);
  EXPECT_EQ(MouseDown(1), 0);
}

TEST_F(PolledInputTest, WheelAccumulatesUntilFlushAndFlushKeepsThePosition) {
  Emit(EVENT_MOUSEMOVE, 0, 7, 9);
  Emit(EVENT_MOUSEWHEEL, 1);
  Emit(EVENT_MOUSEWHEEL, 1);
  Emit(EVENT_MOUSEWHEEL, 1);
  Emit(EVENT_MOUSEWHEEL, -1);
  EXPECT_EQ(MouseZ(), 2);
  EXPECT_EQ(MouseZ(), 2);
  Emit(EVENT_MOUSEDOWN, 1);
  FlushMouse();
  EXPECT_EQ(MouseZ(), 0);
  EXPECT_EQ(MouseDown(1), 0);
  EXPECT_EQ(MouseHit(1), 0);
  EXPECT_EQ(MouseX(), 7);
  EXPECT_EQ(MouseY(), 9);
}

TEST_F(PolledInputTest, OutOfRangeKeysAndButtonsAreIgnoredWherePassed) {
  for (int bad : {-1, 256, 1000, -2147483647 - 1, 2147483647}) {
    Emit(EVENT_KEYDOWN, bad);
    Emit(EVENT_KEYUP, bad);
    Emit(EVENT_MOUSEDOWN, bad);
    Emit(EVENT_MOUSEUP, bad);
    EXPECT_EQ(KeyHit(bad), 0);
    EXPECT_EQ(KeyDown(bad), 0);
    EXPECT_EQ(MouseHit(bad), 0);
    EXPECT_EQ(MouseDown(bad), 0);
  }
  Emit(EVENT_MOUSEDOWN, 4);  // an extra button beyond the table
  EXPECT_EQ(MouseHit(4), 0);
  // The neighbouring valid entries were not written through a stray index.
  for (int k = 0; k < 256; ++k) ASSERT_EQ(KeyHit(k), 0) << k;
  for (int b = 0; b < 4; ++b) ASSERT_EQ(MouseHit(b), 0) << b;
  // Key 255 and button 3 are the last valid entries.
  Emit(EVENT_KEYDOWN, 255);
  Emit(EVENT_MOUSEDOWN, 3);
  EXPECT_EQ(KeyHit(255), 1);
  EXPECT_EQ(MouseHit(3), 1);
}

TEST_F(PolledInputTest, CharacterQueueIsFirstInFirstOutAndDropsPastTwoHundredFiftySix) {
  EXPECT_EQ(GetChar(), 0);
  for (int i = 0; i < 300; ++i) Emit(EVENT_KEYCHAR, 1000 + i);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(GetChar(), 1000 + i) << i;
  EXPECT_EQ(GetChar(), 0);
  // The ring keeps working across its wrap.
  Emit(EVENT_KEYCHAR, 'x');
  Emit(EVENT_KEYCHAR, 'y');
  EXPECT_EQ(GetChar(), 'x');
  EXPECT_EQ(GetChar(), 'y');
  Emit(EVENT_KEYCHAR, 'z');
  FlushKeys();
  EXPECT_EQ(GetChar(), 0);
}

TEST_F(PolledInputTest, TerminateIsOneShotAndSuspendFlushesInput) {
  EXPECT_EQ(AppTerminate(), 0);
  Emit(EVENT_APPTERMINATE);
  EXPECT_EQ(AppTerminate(), 1);
  EXPECT_EQ(AppTerminate(), 0);

  Emit(EVENT_KEYDOWN, 32);
  Emit(EVENT_MOUSEWHEEL, 5);
  Emit(EVENT_APPSUSPEND);
  EXPECT_EQ(AppSuspended(), 1);
  EXPECT_EQ(KeyHit(32), 0);
  EXPECT_EQ(MouseZ(), 0);
  Emit(EVENT_APPRESUME);
  EXPECT_EQ(AppSuspended(), 0);
}

TEST(PolledInputSwitch, NothingCountsWhileOffAndSwitchingOnFlushes) {
  ASSERT_FALSE(PolledInputEnabled());
  Emit(EVENT_KEYDOWN, 70);
  EXPECT_EQ(KeyHit(70), 0);
  EnablePolledInput(nullptr);
  EXPECT_EQ(KeyHit(70), 0);
  EXPECT_EQ(KeyDown(70), 0);  // the press before the switch left no state
  Emit(EVENT_KEYDOWN, 70);
  EnablePolledInput(nullptr);  // already on: no flush, no second hook
  EXPECT_EQ(KeyHit(70), 1);
  Emit(EVENT_KEYUP, 70);
  Emit(EVENT_KEYDOWN, 70);
  DisablePolledInput();
  EXPECT_FALSE(PolledInputEnabled());
  EXPECT_EQ(KeyDown(70), 0);  // switching off clears
  Emit(EVENT_KEYDOWN, 71);
  EXPECT_EQ(KeyHit(71), 0);
  DisablePolledInput();  // already off: harmless
}

TEST(PolledInputSwitch, OnlyTheChosenSourceCountsAndNonEventsChangeNothing) {
  auto mine = std::make_shared<TObject>();
  auto other = std::make_shared<TObject>();
  EnablePolledInput(mine);
  Emit(EVENT_KEYDOWN, 13, 0, 0, other);
  Emit(EVENT_KEYDOWN, 13);  // null source is not the chosen one either
  EXPECT_EQ(KeyHit(13), 0);
  Emit(EVENT_KEYDOWN, 13, 0, 0, mine);
  EXPECT_EQ(KeyHit(13), 1);
  // Data that is not an event is passed on and changes nothing.
  RunHooks(EmitEventHook(), std::make_shared<TStringObject>(u"not an event"));
  RunHooks(EmitEventHook(), nullptr);
  EXPECT_EQ(KeyHit(13), 0);
  DisablePolledInput();
  EnablePolledInput(nullptr);
  Emit(EVENT_KEYDOWN, 13, 0, 0, other);
  EXPECT_EQ(KeyHit(13), 1);  // null source accepts every emitter
  DisablePolledInput();
}

// The Wait functions flush first, so only input that arrives while they wait counts:
// a timer that emits the input event on every tick stands in for the X pump.
TEST(PolledInputWait, WaitKeyWaitCharAndWaitMouseTakeInputArrivingDuringTheWait) {
  EnablePolledInput(nullptr);
  Emit(EVENT_KEYDOWN, 90);  // flushed by WaitKey before it waits
  Ref<TTimer> keys = CreateTimer(200, CreateEvent(EVENT_KEYDOWN, nullptr, 66));
  EXPECT_EQ(WaitKey(), 66);
  StopTimer(keys);

  Ref<TTimer> chars = CreateTimer(200, CreateEvent(EVENT_KEYCHAR, nullptr, 'q'));
  EXPECT_EQ(WaitChar(), 'q');
  StopTimer(chars);

  Emit(EVENT_MOUSEDOWN, 1);  // flushed by WaitMouse
  Ref<TTimer> clicks = CreateTimer(200, CreateEvent(EVENT_MOUSEDOWN, nullptr, 3));
  EXPECT_EQ(WaitMouse(), 3);
  StopTimer(clicks);
  EXPECT_EQ(MouseHit(1), 0);
  DisablePolledInput();
}

// Inside the pump (here a completion callback) WaitSystem does nothing; the wait must
// still sleep and dispatch, so input from a timer arrives instead of the loop spinning.
TEST(PolledInputWait, WaitKeyInsideThePumpStillReceivesInput) {
  EnablePolledInput(nullptr);
  Ref<TTimer> keys = CreateTimer(200, CreateEvent(EVENT_KEYDOWN, nullptr, 66));
  int got = -1;
  PostCompletion([&got] { got = WaitKey(); });
  for (int i = 0; i < 2000 && got < 0; ++i) WaitSystem();
  EXPECT_EQ(got, 66);
  StopTimer(keys);
  DisablePolledInput();
}

}  // namespace
