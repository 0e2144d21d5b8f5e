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

bool ValidKey(int key) { return key >= 0 && key < kKeys; }
bool ValidButton(int button) { return button >= 0 && button < kButtons; }

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
      if (ValidKey(d) && !s.key_states[d]) {
        s.key_states[d] = 1;
        ++s.key_hits[d];
      }
      break;
    case EVENT_KEYUP:
      if (ValidKey(d)) s.key_states[d] = 0;
      break;
    case EVENT_KEYCHAR:
      if (s.char_put - s.char_get < static_cast<uint32_t>(kCharQueue)) {
        s.char_queue[s.char_put % kCharQueue] = d;
        ++s.char_put;
      }
      break;
    case EVENT_MOUSEDOWN:
      if (ValidButton(d) && !s.button_states[d]) {
        s.button_states[d] = 1;
        ++s.button_hits[d];
      }
      break;
    case EVENT_MOUSEUP:
      if (ValidButton(d)) s.button_states[d] = 0;
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

}  // namespace

int KeyHit(int key) {
  AutoPoll();
  if (!ValidKey(key)) return 0;
  int n = S().key_hits[key];
  S().key_hits[key] = 0;
  return n;
}

int KeyDown(int key) {
  AutoPoll();
  return ValidKey(key) ? S().key_states[key] : 0;
}

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

int MouseHit(int button) {
  AutoPoll();
  if (!ValidButton(button)) return 0;
  int n = S().button_hits[button];
  S().button_hits[button] = 0;
  return n;
}

int MouseDown(int button) {
  AutoPoll();
  return ValidButton(button) ? S().button_states[button] : 0;
}

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
  for (;;) {
    AutoPoll();
    for (int k = 1; k < kKeys; ++k) {
      if (S().key_hits[k]) {
        S().key_hits[k] = 0;
        return k;
      }
    }
    if (!WaitSystemOrSleep()) return 0;  // nothing can arrive: give up, never spin
  }
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
  for (;;) {
    AutoPoll();
    for (int b = 1; b < kButtons; ++b) {
      if (S().button_hits[b]) {
        S().button_hits[b] = 0;
        return b;
      }
    }
    if (!WaitSystemOrSleep()) return 0;
  }
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
