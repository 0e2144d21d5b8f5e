// A queue of the last 256 unread events, fed by a hook of priority -10000 on
// EmitEventHook. TimerTick, GadgetAction, WindowMove and WindowSize coalesce with a
// queued event of the same id and source; a full queue drops new events.
#pragma once
#include <string>

#include "platform/event.h"

constexpr int EVENT_QUEUE_SIZE = 256;

// Oldest event becomes the current one; its id, or 0 (after one PollSystem) when empty.
int PollEvent();
// As PollEvent, but waits (WaitSystemOrSleep) until an event is queued.
int WaitEvent();
// Oldest event without removing it; null when none after one PollSystem.
Ref<TEvent> PeekEvent();
// Drops every queued event (the current one stays).
void FlushEvents();
int QueuedEventCount();

// The current event (a null event with id 0 when none) and its fields.
Ref<TEvent> CurrentEvent();
int EventID();
int EventData();
int EventMods();
int EventX();
int EventY();
Ref<TObject> EventExtra();
Ref<TObject> EventSource();
// extra as text; empty when it is not a string.
std::u16string EventText();
