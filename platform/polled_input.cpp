// Polled input: the EmitEventHook hook (priority 0) that folds events into key,
// button, character, pointer and wheel state, and the queries that pump first.
#include "platform/polled_input.h"

#include <cstdint>

#include "platform/event.h"
#include "platform/hook.h"
#include "platform/system.h"

namespace {

constexpr int kKeys = 256;
constexpr int kButtons = 4;
constexpr int kCharQueue = 256;

struct TPolledState {
  bool enabled = false;
  Ref<TObject> source;
  bool auto_poll = true;
  int key_states[kKeys] = {};
  int key_hits[kKeys] = {};
  int char_queue[kCharQueue] = {};
  uint32_t char_put = 0;
  uint32_t char_get = 0;
  int button_states[kButtons] = {};
  int button_hits[kButtons] = {};
  int pointer[3] = {};
  bool suspended = false;
  bool terminate = false;
};

// Never destroyed: queries may run from exit handlers after static destruction began.
TPolledState& S() {
  static TPolledState* s = new TPolledState;
  return *s;
}

// An up-to-down transition counts one hit; a press of a key already down changes
// nothing. Codes outside the table are never stored.
void Press(int* states, int* hits, int n, int i) {
  if (i < 0 || i >= n || states[i]) return;
  states[i] = 1;
  ++hits[i];
}

void Release(int* states, int n, int i) {
  if (i >= 0 && i < n) states[i] = 0;
}

void AutoPoll() {
  if (S().auto_poll) PollSystem();
}

void ClearKeys() {
  TPolledState& s = S();
  for (int i = 0; i < kKeys; ++i) s.key_states[i] = s.key_hits[i] = 0;
  s.char_put = s.char_get = 0;
}

void ClearMouse() {
  TPolledState& s = S();
  for (int i = 0; i < kButtons; ++i) s.button_states[i] = s.button_hits[i] = 0;
  s.pointer[2] = 0;
}

Ref<TObject> PolledInputHook(int, Ref<TObject> data, Ref<TObject>) {
  auto ev = std::dynamic_pointer_cast<TEvent>(data);
  if (!ev) return data;
  TPolledState& s = S();
  if (s.source && ev->source != s.source) return data;
  const int d = ev->data;
  switch (ev->id) {
    case EVENT_APPSUSPEND:
      FlushKeys();
      FlushMouse();
      s.suspended = true;
      break;
    case EVENT_APPRESUME:
      FlushKeys();
      FlushMouse();
      s.suspended = false;
      break;
    case EVENT_APPTERMINATE:
      s.terminate = true;
      break;
    case EVENT_KEYDOWN:
      Press(s.key_states, s.key_hits, kKeys, d);
      break;
    case EVENT_KEYUP:
      Release(s.key_states, kKeys, d);
      break;
    case EVENT_KEYCHAR:
      if (s.char_put - s.char_get < static_cast<uint32_t>(kCharQueue)) {
        s.char_queue[s.char_put % kCharQueue] = d;
        ++s.char_put;
      }
      break;
    case EVENT_MOUSEDOWN:
      Press(s.button_states, s.button_hits, kButtons, d);
      break;
    case EVENT_MOUSEUP:
      Release(s.button_states, kButtons, d);
      break;
    case EVENT_MOUSEMOVE:
      s.pointer[0] = ev->x;
      s.pointer[1] = ev->y;
      break;
    case EVENT_MOUSEWHEEL:
      // Wrapping add: a hostile stream of wheel steps must not overflow signed int.
      s.pointer[2] = static_cast<int>(static_cast<uint32_t>(s.pointer[2]) + static_cast<uint32_t>(d));
      break;
    default:
      break;
  }
  return data;
}

// The hit count of entry i (0 when i is out of range), reset by reading.
int TakeHit(int* hits, int n, int i) {
  AutoPoll();
  if (i < 0 || i >= n) return 0;
  const int count = hits[i];
  hits[i] = 0;
  return count;
}

int StateOf(const int* states, int n, int i) {
  AutoPoll();
  return i >= 0 && i < n ? states[i] : 0;
}

// Waits until an entry 1..n-1 has a hit and returns the lowest (consuming its hit);
// 0 when nothing can arrive (a wait in a signal's own handler), never spinning.
int WaitForHit(int* hits, int n) {
  for (;;) {
    AutoPoll();
    for (int i = 1; i < n; ++i) {
      if (hits[i]) {
        hits[i] = 0;
        return i;
      }
    }
    if (!WaitSystemOrSleep()) return 0;
  }
}

}  // namespace

int KeyHit(int key) { return TakeHit(S().key_hits, kKeys, key); }
int KeyDown(int key) { return StateOf(S().key_states, kKeys, key); }

int GetChar() {
  AutoPoll();
  TPolledState& s = S();
  if (s.char_put == s.char_get) return 0;
  int c = s.char_queue[s.char_get % kCharQueue];
  ++s.char_get;
  return c;
}

void FlushKeys() {
  PollSystem();
  ClearKeys();
}

int MouseHit(int button) { return TakeHit(S().button_hits, kButtons, button); }
int MouseDown(int button) { return StateOf(S().button_states, kButtons, button); }

int MouseX() {
  AutoPoll();
  return S().pointer[0];
}

int MouseY() {
  AutoPoll();
  return S().pointer[1];
}

int MouseZ() {
  AutoPoll();
  return S().pointer[2];
}

void FlushMouse() {
  PollSystem();
  ClearMouse();
}

int AppTerminate() {
  AutoPoll();
  int t = S().terminate ? 1 : 0;
  S().terminate = false;
  return t;
}

int AppSuspended() {
  AutoPoll();
  return S().suspended ? 1 : 0;
}

int WaitKey() {
  FlushKeys();
  return WaitForHit(S().key_hits, kKeys);
}

int WaitChar() {
  FlushKeys();
  for (;;) {
    int c = GetChar();
    if (c) return c;
    if (!WaitSystemOrSleep()) return 0;
  }
}

int WaitMouse() {
  FlushMouse();
  return WaitForHit(S().button_hits, kButtons);
}

void EnablePolledInput(Ref<TObject> source) {
  TPolledState& s = S();
  if (s.enabled) return;
  s.source = std::move(source);
  FlushKeys();
  FlushMouse();
  AddHook(EmitEventHook(), PolledInputHook, nullptr, 0);
  s.enabled = true;
}

void DisablePolledInput() {
  TPolledState& s = S();
  if (!s.enabled) return;
  RemoveHook(EmitEventHook(), PolledInputHook, nullptr);
  FlushKeys();
  FlushMouse();
  s.source = nullptr;
  s.enabled = false;
}

bool PolledInputEnabled() { return S().enabled; }
