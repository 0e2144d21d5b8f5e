// The event queue: a ring of 256 event references behind a hook of priority -10000
// on the emit hook, with the current-event accessors.
#include "platform/event_queue.h"

#include <cstdint>

#include "platform/hook.h"
#include "platform/system.h"

namespace {

struct TEventQueue {
  Ref<TEvent> ring[EVENT_QUEUE_SIZE];
  uint32_t put = 0;
  uint32_t get = 0;
  Ref<TEvent> current;
  uint32_t count() const { return put - get; }
};

TEventQueue& Queue() {
  static TEventQueue q;
  return q;
}

const Ref<TEvent>& NullEvent() {
  static const Ref<TEvent> e = TEvent::Create(0);
  return e;
}

bool Coalesces(int id) {
  return id == EVENT_TIMERTICK || id == EVENT_GADGETACTION || id == EVENT_WINDOWMOVE ||
         id == EVENT_WINDOWSIZE;
}

Ref<TObject> QueueHook(int, Ref<TObject> data, Ref<TObject>) {
  auto event = std::dynamic_pointer_cast<TEvent>(data);
  if (!event) return nullptr;
  auto& q = Queue();
  if (Coalesces(event->id)) {
    for (uint32_t i = q.get; i != q.put; ++i) {
      TEvent& queued = *q.ring[i % EVENT_QUEUE_SIZE];
      if (queued.id == event->id && queued.source == event->source) {
        if (&queued != event.get()) {
          queued.data = event->data;
          queued.mods = event->mods;
          queued.x = event->x;
          queued.y = event->y;
          queued.extra = event->extra;
        }
        return data;
      }
    }
  }
  if (q.count() < EVENT_QUEUE_SIZE) q.ring[q.put++ % EVENT_QUEUE_SIZE] = event;
  return data;
}

int TakeOldest() {
  auto& q = Queue();
  if (q.count() == 0) {
    q.current = NullEvent();
    return 0;
  }
  auto& slot = q.ring[q.get++ % EVENT_QUEUE_SIZE];
  q.current = std::move(slot);
  slot.reset();
  return q.current->id;
}

const TEvent& Current() {
  auto& q = Queue();
  return q.current ? *q.current : *NullEvent();
}

}  // namespace

void InstallEventQueue(int emit_hook) { AddHook(emit_hook, &QueueHook, nullptr, -10000); }

int PollEvent() {
  EmitEventHook();
  if (Queue().count() == 0) PollSystem();
  return TakeOldest();
}

int WaitEvent() {
  EmitEventHook();
  while (Queue().count() == 0) {
    if (!WaitSystemOrSleep()) break;  // from a signal's handler nothing can arrive
  }
  return TakeOldest();
}

Ref<TEvent> PeekEvent() {
  EmitEventHook();
  auto& q = Queue();
  if (q.count() == 0) PollSystem();
  if (q.count() == 0) return nullptr;
  return q.ring[q.get % EVENT_QUEUE_SIZE];
}

void FlushEvents() {
  auto& q = Queue();
  while (q.count()) q.ring[q.get++ % EVENT_QUEUE_SIZE].reset();
}

int QueuedEventCount() { return static_cast<int>(Queue().count()); }

Ref<TEvent> CurrentEvent() {
  auto& q = Queue();
  return q.current ? q.current : NullEvent();
}
int EventID() { return Current().id; }
int EventData() { return Current().data; }
int EventMods() { return Current().mods; }
int EventX() { return Current().x; }
int EventY() { return Current().y; }
Ref<TObject> EventExtra() { return Current().extra; }
Ref<TObject> EventSource() { return Current().source; }
std::u16string EventText() {
  auto s = std::dynamic_pointer_cast<TStringObject>(Current().extra);
  return s ? s->value : std::u16string();
}
