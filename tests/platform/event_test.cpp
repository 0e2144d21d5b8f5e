#include "platform/event.h"

#include <gtest/gtest.h>

#include "platform/event_queue.h"
#include "platform/hook.h"
#include "platform/timer.h"
#include "platform/ustring.h"

namespace {

struct TSource : TObject {};

std::string Text(const std::u16string& s) { return ToOSBytes(s); }

TEST(Event, ToStringNamesKnownUserAndUnknownIds) {
  auto e = CreateEvent(EVENT_KEYDOWN, nullptr, 65, 0, 10, -20);
  EXPECT_EQ(Text(e->ToString()), "KeyDown: data=65, mods=0, x=10, y=-20, extra=\"\"");
  e = CreateEvent(EVENT_TIMERTICK, nullptr, 3, 0, 0, 0, std::make_shared<TStringObject>(u"hallo"));
  EXPECT_EQ(Text(e->ToString()), "TimerTick: data=3, mods=0, x=0, y=0, extra=\"hallo\"");
  e = CreateEvent(static_cast<int>(0x80000005u), nullptr, -1, 2);
  EXPECT_EQ(Text(e->ToString()), "UserEvent5: data=-1, mods=2, x=0, y=0, extra=\"\"");
  e = CreateEvent(7, nullptr, 0, 0, 0, 0, std::make_shared<TSource>());  // extra not a string
  EXPECT_EQ(Text(e->ToString()), "Unknown Event, id=7: data=0, mods=0, x=0, y=0, extra=\"\"");
  EXPECT_EQ(Text(EventName(EVENT_PROCESSEXIT)), "ProcessExit");
  EXPECT_EQ(Text(EventName(EVENT_GADGETLOSTFOCUS)), "GadgetLostFocus");
  EXPECT_EQ(Text(EventName(static_cast<int>(0x80000000u))), "UserEvent0");
}

TEST(Event, UserIdsStartAfterTheTopBitAndCountUp) {
  EXPECT_EQ(static_cast<unsigned>(TEvent::AllocUserId()), 0x80000001u);
  EXPECT_EQ(static_cast<unsigned>(TEvent::AllocUserId()), 0x80000002u);
}

// Counts events that reach a hook after the queue's.
int seen_after_queue = 0;
Ref<TObject> CountAfterQueue(int, Ref<TObject> data, Ref<TObject>) {
  ++seen_after_queue;
  return data;
}

class EventQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FlushEvents();
    while (PollEvent()) {
    }
  }
};

TEST_F(EventQueueTest, QueueKeepsOrderAndDropsThe257thUnreadEvent) {
  for (int i = 0; i < EVENT_QUEUE_SIZE + 1; ++i) EmitEvent(CreateEvent(EVENT_KEYDOWN, nullptr, i));
  EXPECT_EQ(QueuedEventCount(), EVENT_QUEUE_SIZE);
  EXPECT_EQ(PeekEvent()->data, 0);
  for (int i = 0; i < EVENT_QUEUE_SIZE; ++i) {
    ASSERT_EQ(PollEvent(), EVENT_KEYDOWN);
    ASSERT_EQ(EventData(), i);
  }
  EXPECT_EQ(PollEvent(), 0);  // the 257th is gone
  EXPECT_EQ(EventID(), 0);
  EXPECT_EQ(PeekEvent(), nullptr);
}

TEST_F(EventQueueTest, TicksOfOneSourceCoalesceEvenInAFullQueue) {
  auto timer_a = std::make_shared<TSource>();
  auto timer_b = std::make_shared<TSource>();
  EmitEvent(CreateEvent(EVENT_TIMERTICK, timer_a, 1));
  for (int i = 0; i < EVENT_QUEUE_SIZE - 1; ++i) EmitEvent(CreateEvent(EVENT_MOUSEMOVE, nullptr, 0, 0, i));
  ASSERT_EQ(QueuedEventCount(), EVENT_QUEUE_SIZE);
  auto text = std::make_shared<TStringObject>(u"x");
  EmitEvent(CreateEvent(EVENT_TIMERTICK, timer_a, 9, 1, 2, 3, text));  // updates the queued tick
  EmitEvent(CreateEvent(EVENT_TIMERTICK, timer_b, 1));                  // other source: dropped
  ASSERT_EQ(PollEvent(), EVENT_TIMERTICK);
  EXPECT_EQ(EventSource(), timer_a);
  EXPECT_EQ(EventData(), 9);
  EXPECT_EQ(EventMods(), 1);
  EXPECT_EQ(EventX(), 2);
  EXPECT_EQ(EventY(), 3);
  EXPECT_EQ(EventText(), u"x");
  for (int i = 0; i < EVENT_QUEUE_SIZE - 1; ++i) ASSERT_EQ(PollEvent(), EVENT_MOUSEMOVE);
  EXPECT_EQ(PollEvent(), 0);
}

TEST_F(EventQueueTest, OnlyTheCoalescingKindsMerge) {
  auto src = std::make_shared<TSource>();
  for (int id : {EVENT_GADGETACTION, EVENT_WINDOWMOVE, EVENT_WINDOWSIZE, EVENT_KEYDOWN}) {
    EmitEvent(CreateEvent(id, src, 1));
    EmitEvent(CreateEvent(id, src, 2));
  }
  EXPECT_EQ(QueuedEventCount(), 5);  // three merged pairs and two key presses
  EXPECT_EQ(PollEvent(), EVENT_GADGETACTION);
  EXPECT_EQ(EventData(), 2);
}

TEST_F(EventQueueTest, TheQueueHookRunsLastAndPassesEventsOn) {
  AddHook(EmitEventHook(), &CountAfterQueue, nullptr, -20000);
  seen_after_queue = 0;
  EmitEvent(CreateEvent(EVENT_KEYUP, nullptr, 27));
  EXPECT_EQ(seen_after_queue, 1);
  // Data that is not an event is swallowed by the queue's hook.
  RunHooks(EmitEventHook(), std::make_shared<TSource>());
  EXPECT_EQ(seen_after_queue, 2);  // CountAfterQueue saw the null the queue hook returned
  EXPECT_EQ(QueuedEventCount(), 1);
  RemoveHook(EmitEventHook(), &CountAfterQueue, nullptr);
}

TEST_F(EventQueueTest, CurrentEventIsTheNullEventWhenNothingWasRead) {
  EXPECT_EQ(PollEvent(), 0);
  ASSERT_NE(CurrentEvent(), nullptr);
  EXPECT_EQ(CurrentEvent()->id, 0);
  EXPECT_EQ(EventExtra(), nullptr);
  EXPECT_EQ(EventText(), u"");
}

TEST_F(EventQueueTest, WaitEventSleepsUntilATimerTicksAndEmitQueuesTheEventItself) {
  auto timer = CreateTimer(100.0f);
  EXPECT_EQ(WaitEvent(), EVENT_TIMERTICK);
  EXPECT_EQ(EventSource(), timer);
  StopTimer(timer);
  FlushEvents();
  auto e = CreateEvent(EVENT_APPRESUME, nullptr, 4);
  e->Emit();
  EXPECT_EQ(PeekEvent(), e);
}

}  // namespace
