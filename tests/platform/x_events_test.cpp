// Event translation against a real X server: real input through XTest, and exact
// event sequences pushed back onto the driver's connection.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/hook.h"
#include "platform/keycodes.h"
#include "platform/linux_system_driver.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "platform/timer.h"
#include "tests/support/env.h"

// Xlib last: its macros (None, Bool, Status) clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

struct TSeen {
  int id, data, x, y;
  bool operator==(const TSeen& o) const { return id == o.id && data == o.data && x == o.x && y == o.y; }
};

std::ostream& operator<<(std::ostream& os, const TSeen& s) {
  return os << "{" << s.id << "," << s.data << "," << s.x << "," << s.y << "}";
}

std::vector<TSeen> seen;

Ref<TObject> Collect(int, Ref<TObject> data, Ref<TObject>) {
  auto e = std::static_pointer_cast<TEvent>(data);
  if (e && e->id != EVENT_TIMERTICK) seen.push_back({e->id, e->data, e->x, e->y});
  return data;
}

// Ids only, for sequences where coordinates do not matter.
std::vector<int> Ids() {
  std::vector<int> ids;
  for (auto& s : seen) ids.push_back(s.id);
  return ids;
}

class XEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TESS_REQUIRE_DISPLAY();
    dpy = SystemDisplay();
    ASSERT_NE(dpy, nullptr);
    XSetWindowAttributes attrs{};
    attrs.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | StructureNotifyMask;
    attrs.override_redirect = True;
    win = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, 200, 150, 0, CopyFromParent, InputOutput,
                        CopyFromParent, CWEventMask | CWOverrideRedirect, &attrs);
    XMapRaised(dpy, win);
    XEvent ev;
    XWindowEvent(dpy, win, StructureNotifyMask, &ev);
    while (ev.type != MapNotify) XWindowEvent(dpy, win, StructureNotifyMask, &ev);
    XSetInputFocus(dpy, win, RevertToParent, CurrentTime);
    XSync(dpy, False);
    PollSystem();  // whatever mapping produced
    AddHook(EmitEventHook(), &Collect, nullptr, 0);
    seen.clear();
  }
  void TearDown() override {
    if (!dpy) return;
    RemoveHook(EmitEventHook(), &Collect, nullptr);
    SetInputWindow(0);
    XDestroyWindow(dpy, win);
    XSync(dpy, False);
    PollSystem();
  }

  // Pumps until n events arrived or five seconds passed: a sanitizer build on a
  // loaded machine can take more than a second to deliver them.
  void PumpFor(size_t n) {
    XSync(dpy, False);
    const uint64_t t0 = MilliSecs64();
    while (seen.size() < n && MilliSecs64() - t0 < 5000) {
      PollSystem();
      Delay(2);
    }
    PollSystem();
  }

  XKeyEvent Key(int type, KeySym sym, Time t, unsigned state = 0) {
    XKeyEvent k{};
    k.type = type;
    k.display = dpy;
    k.window = win;
    k.root = DefaultRootWindow(dpy);
    k.time = t;
    k.x = 5;
    k.y = 6;
    k.state = state;
    k.keycode = XKeysymToKeycode(dpy, sym);
    k.same_screen = True;
    return k;
  }
  XButtonEvent Button(int type, unsigned button) {
    XButtonEvent b{};
    b.type = type;
    b.display = dpy;
    b.window = win;
    b.x = 7;
    b.y = 8;
    b.button = button;
    b.same_screen = True;
    return b;
  }
  // Queues the events so that the first comes out first, then pumps once.
  void PutBack(std::vector<XEvent> events) {
    for (auto it = events.rbegin(); it != events.rend(); ++it) XPutBackEvent(dpy, &*it);
    PollSystem();
  }
  static XEvent E(XKeyEvent k) {
    XEvent e{};
    e.xkey = k;
    return e;
  }
  static XEvent E(XButtonEvent b) {
    XEvent e{};
    e.xbutton = b;
    return e;
  }

  void FakeKey(KeySym sym, bool down) {
    XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, sym), down, CurrentTime);
  }

  Display* dpy = nullptr;
  Window win = 0;
};

TEST_F(XEventsTest, RealKeysGiveCodesFromTheUnshiftedSymbolAndCharactersFromTheLookup) {
  FakeKey(XK_a, true);
  FakeKey(XK_a, false);
  PumpFor(3);
  EXPECT_EQ(Ids(), (std::vector<int>{EVENT_KEYDOWN, EVENT_KEYCHAR, EVENT_KEYUP}));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].data, 65);
  EXPECT_EQ(seen[1], (TSeen{EVENT_KEYCHAR, 97, 0, 0}));
  EXPECT_EQ(seen[2].data, 65);

  seen.clear();
  FakeKey(XK_Shift_L, true);
  FakeKey(XK_a, true);
  FakeKey(XK_a, false);
  FakeKey(XK_Shift_L, false);
  PumpFor(5);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].id, EVENT_KEYDOWN);
  EXPECT_EQ(seen[0].data, 160);
  EXPECT_EQ(seen[1].id, EVENT_KEYDOWN);
  EXPECT_EQ(seen[1].data, 65);
  EXPECT_EQ(seen[2], (TSeen{EVENT_KEYCHAR, 65, 0, 0}));
  EXPECT_EQ(seen[3].id, EVENT_KEYUP);
  EXPECT_EQ(seen[4].data, 160);
}

TEST_F(XEventsTest, RealDoubleTapInOnePumpGivesTwoPresses) {
  FakeKey(XK_space, true);
  FakeKey(XK_space, false);
  XSync(dpy, False);
  Delay(20);  // a quick human double tap is still tens of milliseconds apart
  FakeKey(XK_space, true);
  FakeKey(XK_space, false);
  XSync(dpy, False);
  Delay(20);
  PumpFor(6);
  EXPECT_EQ(Ids(), (std::vector<int>{EVENT_KEYDOWN, EVENT_KEYCHAR, EVENT_KEYUP, EVENT_KEYDOWN,
                                     EVENT_KEYCHAR, EVENT_KEYUP}));
}

TEST_F(XEventsTest, RealPointerMotionButtonsAndWheel) {
  XTestFakeMotionEvent(dpy, DefaultScreen(dpy), 30, 40, CurrentTime);
  PumpFor(1);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), (TSeen{EVENT_MOUSEMOVE, 0, 30, 40}));

  seen.clear();
  for (unsigned b : {1u, 3u, 2u, 4u, 5u, 6u, 7u}) {
    XTestFakeButtonEvent(dpy, b, True, CurrentTime);
    XTestFakeButtonEvent(dpy, b, False, CurrentTime);
  }
  PumpFor(8);
  EXPECT_EQ(seen, (std::vector<TSeen>{{EVENT_MOUSEDOWN, 1, 30, 40},
                                      {EVENT_MOUSEUP, 1, 30, 40},
                                      {EVENT_MOUSEDOWN, 2, 30, 40},
                                      {EVENT_MOUSEUP, 2, 30, 40},
                                      {EVENT_MOUSEDOWN, 3, 30, 40},
                                      {EVENT_MOUSEUP, 3, 30, 40},
                                      {EVENT_MOUSEWHEEL, 1, 30, 40},
                                      {EVENT_MOUSEWHEEL, -1, 30, 40}}));
}

TEST_F(XEventsTest, ReleaseAndPressOfOneKeyAtOneInstantIsAutoRepeat) {
  PutBack({E(Key(KeyPress, XK_Left, 1000)), E(Key(KeyRelease, XK_Left, 1500)),
           E(Key(KeyPress, XK_Left, 1500)), E(Key(KeyRelease, XK_Left, 1533)),
           E(Key(KeyPress, XK_Left, 1534)), E(Key(KeyRelease, XK_Left, 1600))});
  EXPECT_EQ(seen, (std::vector<TSeen>{{EVENT_KEYDOWN, 37, 5, 6},
                                      {EVENT_KEYREPEAT, 37, 5, 6},
                                      {EVENT_KEYREPEAT, 37, 5, 6},
                                      {EVENT_KEYUP, 37, 5, 6}}));
}

TEST_F(XEventsTest, ReleaseFollowedByAnotherKeyOrALaterPressIsNotRepeat) {
  PutBack({E(Key(KeyRelease, XK_a, 2000)), E(Key(KeyPress, XK_b, 2000))});
  EXPECT_EQ(Ids(), (std::vector<int>{EVENT_KEYUP, EVENT_KEYDOWN, EVENT_KEYCHAR}));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].data, 65);
  EXPECT_EQ(seen[1].data, 66);
  EXPECT_EQ(seen[2].data, 98);

  seen.clear();  // a double tap: same key, 40 ms apart
  PutBack({E(Key(KeyRelease, XK_Escape, 3000)), E(Key(KeyPress, XK_Escape, 3040))});
  EXPECT_EQ(Ids(), (std::vector<int>{EVENT_KEYUP, EVENT_KEYDOWN, EVENT_KEYCHAR}));
  EXPECT_EQ(seen[0].data, 27);
  EXPECT_EQ(seen[2].data, 27);

  seen.clear();  // the X time stamp wraps between release and repeat press
  PutBack({E(Key(KeyRelease, XK_Tab, 0xFFFFFFFFul)), E(Key(KeyPress, XK_Tab, 0))});
  EXPECT_EQ(seen, (std::vector<TSeen>{{EVENT_KEYREPEAT, 9, 5, 6}}));
}

TEST_F(XEventsTest, ButtonsMapToLeftRightMiddleAndWheelAndExtraButtonsAreSilent) {
  std::vector<XEvent> evs;
  for (unsigned b : {2u, 3u, 4u, 5u, 8u}) {
    evs.push_back(E(Button(ButtonPress, b)));
    evs.push_back(E(Button(ButtonRelease, b)));
  }
  PutBack(evs);
  EXPECT_EQ(seen, (std::vector<TSeen>{{EVENT_MOUSEDOWN, 3, 7, 8},
                                      {EVENT_MOUSEUP, 3, 7, 8},
                                      {EVENT_MOUSEDOWN, 2, 7, 8},
                                      {EVENT_MOUSEUP, 2, 7, 8},
                                      {EVENT_MOUSEWHEEL, 1, 7, 8},
                                      {EVENT_MOUSEWHEEL, -1, 7, 8}}));
}

TEST_F(XEventsTest, WindowManagerCloseRequestBecomesAppTerminate) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.display = dpy;
  e.xclient.window = win;
  e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  XEvent other = e;
  other.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_TAKE_FOCUS", False));
  PutBack({other, e});
  EXPECT_EQ(seen, (std::vector<TSeen>{{EVENT_APPTERMINATE, 0, 0, 0}}));
}

int filtered = 0;
int ConsumeKeys(void* xevent) {
  if (static_cast<XEvent*>(xevent)->type != KeyPress) return 0;
  ++filtered;
  return 1;
}

TEST_F(XEventsTest, RawFilterSeesEventsFirstAndCanConsumeThem) {
  SetRawEventFilter(&ConsumeKeys);
  PutBack({E(Key(KeyPress, XK_a, 10)), E(Button(ButtonPress, 1))});
  SetRawEventFilter(nullptr);
  EXPECT_EQ(filtered, 1);
  EXPECT_EQ(seen, (std::vector<TSeen>{{EVENT_MOUSEDOWN, 1, 7, 8}}));
}

TEST_F(XEventsTest, PointerHidesOnlyWithAWindowAndWarpsInsideIt) {
  SetInputWindow(0);
  HideMouse();
  EXPECT_FALSE(LinuxSystemDriver()->HasInvisibleCursor());
  MoveMouse(10, 10);  // no window: nothing
  SetInputWindow(win);
  HideMouse();
  EXPECT_TRUE(LinuxSystemDriver()->HasInvisibleCursor());
  ShowMouse();
  HideMouse();
  MoveMouse(55, 66);
  PumpFor(1);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), (TSeen{EVENT_MOUSEMOVE, 0, 55, 66}));
}

// Pointer motion from a client of our own, after delay_ms: X bytes that reach us
// while a wait is under way (the parent reaps it).
void MoveLaterFromAnotherClient(int delay_ms) {
  if (::fork() != 0) return;
  Display* other = XOpenDisplay(nullptr);
  if (other) {
    ::usleep(static_cast<useconds_t>(delay_ms) * 1000);
    XTestFakeMotionEvent(other, DefaultScreen(other), 25, 35, CurrentTime);
    XSync(other, False);
  }
  ::_exit(0);
}

int key_waited = -1;
Ref<TObject> WaitKeyOnClick(int, Ref<TObject> data, Ref<TObject>) {
  auto e = std::static_pointer_cast<TEvent>(data);
  if (e && e->id == EVENT_MOUSEDOWN && key_waited < 0) key_waited = WaitKey();
  return data;
}

double ThreadCpuMillis() {
  rusage ru{};
  getrusage(RUSAGE_THREAD, &ru);
  return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

// A wait inside a hook still takes X input, and X bytes that arrive while it waits
// end no sleep for nothing. A 2 Hz timer is the way out of a wait that sees no key.
TEST_F(XEventsTest, AWaitInsideAHookTakesXInputAndSleeps) {
  EnablePolledInput(nullptr);
  AddHook(EmitEventHook(), &WaitKeyOnClick, nullptr, 1);
  Ref<TTimer> way_out = CreateTimer(2.0f, CreateEvent(EVENT_KEYDOWN, nullptr, 27));
  struct TPhase {
    bool key;
    int expect;
  };
  for (TPhase phase : {TPhase{true, 65}, TPhase{false, 27}}) {
    key_waited = -1;
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), 20, 30, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);  // X bytes beyond the click
    if (phase.key) {
      FakeKey(XK_a, true);
      FakeKey(XK_a, false);
    }
    XSync(dpy, False);
    if (!phase.key) MoveLaterFromAnotherClient(50);
    const uint64_t t0 = MilliSecs64();
    const double cpu0 = ThreadCpuMillis();
    while (key_waited < 0 && MilliSecs64() - t0 < 2000) WaitSystem();
    const double wall = static_cast<double>(MilliSecs64() - t0), cpu = ThreadCpuMillis() - cpu0;
    EXPECT_EQ(key_waited, phase.expect);
    if (phase.key) {
      EXPECT_LT(wall, 200.0);  // the key, not the way out
    }
    // Sleeping costs well under a millisecond here; a spin, even on a loaded machine,
    // tens of milliseconds.
    EXPECT_LT(cpu, 30.0) << "over " << wall << " ms";
  }
  StopTimer(way_out);
  while (::waitpid(-1, nullptr, 0) > 0) {
  }
  RemoveHook(EmitEventHook(), &WaitKeyOnClick, nullptr);
  DisablePolledInput();
}

TEST(KeyCodes, TableCoversLettersCursorFunctionModifierKeypadAndPunctuation) {
  const std::pair<KeySym, int> cases[] = {
      {XK_a, 65},        {XK_z, 90},         {XK_A, 65},          {XK_Left, 37},       {XK_Down, 40},
      {XK_F1, 112},      {XK_F12, 123},      {XK_Shift_L, 160},   {XK_Shift_R, 161},   {XK_Control_L, 162},
      {XK_Control_R, 163}, {XK_Alt_L, 164},  {XK_Alt_R, 165},     {XK_Super_L, 91},    {XK_Super_R, 92},
      {XK_Num_Lock, 144}, {XK_Scroll_Lock, 145}, {XK_KP_Insert, 96}, {XK_KP_End, 97}, {XK_KP_Down, 98},
      {XK_KP_Next, 99},  {XK_KP_Left, 100},  {XK_KP_Begin, 101},  {XK_KP_Right, 102},  {XK_KP_Home, 103},
      {XK_KP_Up, 104},   {XK_KP_Prior, 105}, {XK_KP_Delete, 110}, {XK_KP_Enter, 13},   {XK_KP_Multiply, 106},
      {XK_KP_Add, 107},  {XK_KP_Subtract, 109}, {XK_KP_Divide, 111}, {XK_Home, 36},    {XK_End, 35},
      {XK_Prior, 33},    {XK_Next, 34},      {XK_Delete, 46},     {XK_grave, 192},     {XK_minus, 189},
      {XK_equal, 187},   {XK_bracketleft, 219}, {XK_bracketright, 221}, {XK_backslash, 226},
      {XK_semicolon, 186}, {XK_apostrophe, 222}, {XK_comma, 188}, {XK_period, 190},  {XK_slash, 191},
      {XK_BackSpace, 8}, {XK_Tab, 9},        {XK_Return, 13},     {XK_Escape, 27},     {XK_space, 32},
      {XK_0, 48},        {XK_9, 57},         {XK_Insert, 67},  // shares its low byte with c
  };
  for (auto [sym, code] : cases) EXPECT_EQ(TranslateKeySym(sym), code) << std::hex << sym;
}

}  // namespace
