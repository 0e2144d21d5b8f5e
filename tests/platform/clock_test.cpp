#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "platform/event.h"
#include "platform/event_queue.h"
#include "platform/hook.h"
#include "platform/system.h"
#include "platform/timer.h"

namespace {

std::atomic<uint64_t> fake_now{0};
uint64_t FakeClock() { return fake_now.load(); }

// Puts a settable clock in place for one test.
class FakeClockTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClockSource(&FakeClock); }
  void TearDown() override { SetClockSource(nullptr); }
};

TEST_F(FakeClockTest, DifferencesAreRightAcrossBothWrapPoints) {
  for (uint64_t edge : {0x7FFFFFFFull, 0xFFFFFFFFull}) {
    fake_now = edge - 5;
    const int before = MilliSecs();
    fake_now = edge + 11;
    const int after = MilliSecs();
    EXPECT_EQ(MilliSecsDiff(after, before), 16) << std::hex << edge;
    EXPECT_EQ(MilliSecsDiff(before, after), -16) << std::hex << edge;
  }
  fake_now = 0x100000000ull + 42;  // 32-bit wrap of the 64-bit count
  EXPECT_EQ(MilliSecs(), 42);
  fake_now = 0x80000000ull;
  EXPECT_EQ(MilliSecs(), INT32_MIN);
}

// Drives the timers as the alarm dispatch would, one call per millisecond.
void RunMillis(int millis) {
  for (int i = 0; i < millis; ++i) {
    ++fake_now;
    TimerSignalHandler(0);
  }
}

TEST_F(FakeClockTest, A65HertzTimerKeepsItsRateAcrossBothWrapPoints) {
  for (uint64_t edge : {0x7FFFFFFFull, 0xFFFFFFFFull}) {
    fake_now = edge - 1000;
    auto timer = CreateTimer(65.0f);
    ASSERT_NE(timer, nullptr);
    RunMillis(2000);  // one second each side of the edge
    EXPECT_EQ(TimerTicks(timer), 130) << std::hex << edge;
    StopTimer(timer);
  }
}

TEST_F(FakeClockTest, PeriodsWithoutADispatchMergeIntoOneTick) {
  fake_now = 5000;
  auto timer = CreateTimer(65.0f);
  fake_now += 47;  // three periods of 15.4 ms
  TimerSignalHandler(0);
  EXPECT_EQ(TimerTicks(timer), 1);
  // WaitTimer sees exactly that one tick after its first WaitSystem.
  EXPECT_EQ(WaitTimer(timer), 1);
  RunMillis(16);
  EXPECT_EQ(TimerTicks(timer), 2);
  StopTimer(timer);
}

TEST_F(FakeClockTest, RatesAboveTheAlarmTickOncePerMillisecond) {
  fake_now = 1000;
  for (float hz : {1000.0f, 5000.0f, 3.0e38f}) {
    auto timer = CreateTimer(hz);
    ASSERT_NE(timer, nullptr);
    RunMillis(10);
    EXPECT_EQ(TimerTicks(timer), 10) << hz;
    StopTimer(timer);
  }
}

TEST(Clock, CountsMillisecondsSinceBoot) {
  double uptime = 0;
  FILE* f = std::fopen("/proc/uptime", "r");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fscanf(f, "%lf", &uptime), 1);
  std::fclose(f);
  const uint32_t expected = static_cast<uint32_t>(static_cast<uint64_t>(uptime * 1000.0));
  const int diff = MilliSecsDiff(MilliSecs(), static_cast<int>(expected));
  EXPECT_LT(std::abs(diff), 1000);
}

TEST(Clock, DelayWaitsAtLeastItsTimeDespiteTheAlarm) {
  StartClock();  // the 1 ms alarm interrupts every sleep
  const uint64_t t0 = MilliSecs64();
  Delay(0);
  Delay(-5);
  EXPECT_LT(MilliSecs64() - t0, 50u);
  const uint64_t t1 = MilliSecs64();
  Delay(30);
  const uint64_t took = MilliSecs64() - t1;
  EXPECT_GE(took, 30u);
  EXPECT_LT(took, 1000u);
  EXPECT_TRUE(OnMainThread());
}

TEST(Timer, RefusesRatesThatAreNotFiniteAndPositive) {
  for (float hz : {0.0f, -1.0f, NAN, INFINITY, -INFINITY}) EXPECT_EQ(CreateTimer(hz), nullptr) << hz;
  EXPECT_EQ(WaitTimer(nullptr), 0);
  EXPECT_EQ(TimerTicks(nullptr), 0);
  StopTimer(nullptr);
}

TEST(Timer, A65HertzWaitLoopReturnsOneTickPerFrame) {
  auto timer = CreateTimer(65.0f);
  ASSERT_NE(timer, nullptr);
  const uint64_t t0 = MilliSecs64();
  int total = 0;
  for (int frame = 0; frame < 20; ++frame) total += WaitTimer(timer);
  const uint64_t took = MilliSecs64() - t0;
  EXPECT_EQ(total, 20);
  // 20 periods of 15.4 ms; a wait that slept whole seconds would take far longer.
  EXPECT_GT(took, 280u);
  EXPECT_LT(took, 1500u);
  StopTimer(timer);
  EXPECT_EQ(WaitTimer(timer), 0);  // stopped: returns at once
}

TEST(Timer, TicksAreEmittedAsTimerTickEventsFromTheTimer) {
  struct TCapture : TObject {
    Ref<TObject> source;
    int data = 0;
  };
  static Ref<TCapture> cap;
  cap = std::make_shared<TCapture>();
  auto hook = [](int, Ref<TObject> d, Ref<TObject>) -> Ref<TObject> {
    auto e = std::static_pointer_cast<TEvent>(d);
    if (e && e->id == EVENT_TIMERTICK) {
      cap->source = e->source;
      cap->data = e->data;
    }
    return d;
  };
  AddHook(EmitEventHook(), hook, nullptr, 0);
  auto timer = CreateTimer(200.0f);
  WaitTimer(timer);
  WaitTimer(timer);
  EXPECT_EQ(cap->source, timer);
  EXPECT_EQ(cap->data, TimerTicks(timer));
  EXPECT_GE(cap->data, 2);
  RemoveHook(EmitEventHook(), hook, nullptr);
  StopTimer(timer);
  cap.reset();
}

TEST(Timer, DroppingTheCallersReferenceDoesNotStopIt) {
  std::weak_ptr<TTimer> weak;
  {
    auto timer = CreateTimer(100.0f);
    weak = timer;
  }
  auto timer = weak.lock();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(WaitTimer(timer), 1);
  StopTimer(timer);
  timer.reset();
  FlushEvents();  // queued ticks name the timer as their source
  EXPECT_TRUE(weak.expired());  // Stop released the self reference
}

// A hook that stops the timer that is being waited for.
Ref<TTimer> stop_target;
Ref<TObject> StopOnTick(int, Ref<TObject> data, Ref<TObject>) {
  auto e = std::static_pointer_cast<TEvent>(data);
  if (e && e->id == EVENT_TIMERTICK && stop_target) {
    auto t = stop_target;
    stop_target.reset();
    StopTimer(t);
    StopTimer(t);  // twice is harmless
  }
  return data;
}

TEST(Timer, WaitEndsWhenAHookStopsTheTimer) {
  auto slow = CreateTimer(1.0f);  // would not tick for a second
  auto fast = CreateTimer(100.0f);
  stop_target = slow;
  // The fast timer's first tick stops the slow one; its wait must end then.
  AddHook(EmitEventHook(), &StopOnTick, nullptr, 0);
  const uint64_t t0 = MilliSecs64();
  EXPECT_EQ(WaitTimer(slow), 0);
  EXPECT_LT(MilliSecs64() - t0, 900u);
  RemoveHook(EmitEventHook(), &StopOnTick, nullptr);
  StopTimer(fast);
}

// A hook that waits for a timer: inside the pump, where WaitSystem does nothing.
Ref<TTimer> inner_timer;
int inner_result = -1;
Ref<TObject> WaitInHook(int, Ref<TObject> data, Ref<TObject>) {
  auto e = std::static_pointer_cast<TEvent>(data);
  if (e && e->id == EVENT_KEYDOWN && inner_timer) inner_result = WaitTimer(inner_timer);
  return data;
}

TEST(Timer, WaitInsideAHookNeitherSpinsNorHangs) {
  inner_timer = CreateTimer(100.0f);
  AddHook(EmitEventHook(), &WaitInHook, nullptr, 0);
  // Emitted from within a WaitSystem, as the X pump would.
  auto outer = CreateTimer(50.0f, CreateEvent(EVENT_KEYDOWN, nullptr, 1));
  const uint64_t t0 = MilliSecs64();
  WaitTimer(outer);
  EXPECT_LT(MilliSecs64() - t0, 900u);
  // The inner wait returned: from a tick's own hook it cannot wait (0), or it got its
  // tick (1).
  EXPECT_GE(inner_result, 0);
  RemoveHook(EmitEventHook(), &WaitInHook, nullptr);
  StopTimer(outer);
  StopTimer(inner_timer);
  inner_timer.reset();
}

TEST(Timer, WaitInATickHookReachedFromTheUnguardedPumpDoesNotHang) {
  if (!SystemDisplay()) GTEST_SKIP() << "the pump runs only with a display";
  inner_timer = CreateTimer(1.0f);  // no tick of its own for a second
  inner_result = -1;
  AddHook(EmitEventHook(), &WaitInHook, nullptr, 0);
  auto outer = CreateTimer(50.0f, CreateEvent(EVENT_KEYDOWN, nullptr, 1));
  const uint64_t t0 = MilliSecs64();
  while (inner_result < 0 && MilliSecs64() - t0 < 900) {
    SystemPump();  // as the graphics driver after a buffer swap: no re-entry guard
    Delay(1);
  }
  EXPECT_EQ(inner_result, 0);  // no tick can arrive inside a tick's own hook
  RemoveHook(EmitEventHook(), &WaitInHook, nullptr);
  StopTimer(outer);
  StopTimer(inner_timer);
  inner_timer.reset();
}

TEST(Timer, WaitFromWorkRunByThePumpStillGetsItsTick) {
  // Completions run inside WaitSystem, where a nested WaitSystem does nothing.
  inner_timer = CreateTimer(100.0f);
  inner_result = -1;
  PostCompletion([] { inner_result = WaitTimer(inner_timer); });
  const uint64_t t0 = MilliSecs64();
  WaitSystem();
  EXPECT_GE(inner_result, 1);
  EXPECT_LT(MilliSecs64() - t0, 900u);
  StopTimer(inner_timer);
  inner_timer.reset();
}

}  // namespace
