// Polled input fed by real X events: XTest presses keys, moves and clicks the pointer
// on a private Xvfb (so parallel tests cannot move this pointer), and the queries see
// what the system driver translated.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "draw2d/glx_graphics.h"
#include "draw2d/graphics.h"
#include "platform/app.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "tests/support/gl_window.h"
#include "tests/support/xorg_dummy.h"

// X last: its macros clash with GoogleTest.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

namespace {

TTestXServer* g_server = nullptr;

class PrivateXvfb : public ::testing::Environment {
 public:
  void SetUp() override {
    g_server = new TTestXServer;
    if (g_server->StartXvfb({"-screen", "0", "1024x768x24", "+extension", "GLX"}))
      ::setenv("DISPLAY", g_server->DisplayName().c_str(), 1);
  }
  void TearDown() override {
    EndGraphics();
    delete g_server;
    g_server = nullptr;
  }
};
::testing::Environment* const kEnv = ::testing::AddGlobalTestEnvironment(new PrivateXvfb);

void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

class GLXInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_server->DisplayName().empty()) GTEST_SKIP() << "private Xvfb: " << g_server->Reason();
    AppTitle = u"tess-input";
    ASSERT_TRUE(Graphics(400, 300, 0, 60, 0));
    window = GLCurrentRecord()->window;
    probe = std::make_unique<TProbeDisplay>(g_server->DisplayName().c_str());
    d = probe->Get();
    ASSERT_TRUE(d);
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &ev, &err, &major, &minor)) GTEST_SKIP() << "no XTEST extension";
    // Keys go to the window under the pointer (no window manager, focus PointerRoot).
    XTestFakeMotionEvent(d, DefaultScreen(d), 200, 150, CurrentTime);
    XSync(d, False);
    Settle();
    FlushKeys();
    FlushMouse();
  }
  void TearDown() override {
    probe.reset();
    EndGraphics();
  }
  void Key(KeySym sym, bool down) {
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down, CurrentTime);
    XSync(d, False);
  }
  void Button(unsigned b) {
    XTestFakeButtonEvent(d, b, True, CurrentTime);
    XTestFakeButtonEvent(d, b, False, CurrentTime);
    XSync(d, False);
  }
  unsigned long window = 0;
  std::unique_ptr<TProbeDisplay> probe;
  Display* d = nullptr;
};

TEST_F(GLXInputTest, KeyHitCountsOnePressAndReleaseOfEscape) {
  Key(XK_Escape, true);
  Key(XK_Escape, false);
  int hits = 0;
  EXPECT_TRUE(PumpUntil([&] {
    hits += KeyHit(27);
    return hits >= 1 && KeyDown(27) == 0;
  }));
  Settle();
  EXPECT_EQ(hits + KeyHit(27), 1);
  EXPECT_EQ(KeyHit(27), 0);

  Key(XK_space, true);
  EXPECT_TRUE(PumpUntil([] { return KeyDown(32) == 1; }));
  Key(XK_space, false);
  EXPECT_TRUE(PumpUntil([] { return KeyDown(32) == 0; }));
  EXPECT_EQ(KeyHit(32), 1);
}

TEST_F(GLXInputTest, PointerClicksAndWheelFollowTheServer) {
  XTestFakeMotionEvent(d, DefaultScreen(d), 120, 45, CurrentTime);
  XSync(d, False);
  EXPECT_TRUE(PumpUntil([] { return MouseX() == 120 && MouseY() == 45; }));

  for (int i = 0; i < 3; ++i) Button(1);
  int hits = 0;
  EXPECT_TRUE(PumpUntil([&] {
    hits += MouseHit(1);
    return hits >= 3;
  }));
  Settle();
  EXPECT_EQ(hits + MouseHit(1), 3);
  EXPECT_EQ(MouseX(), 120);  // clicks do not move the pointer position
  EXPECT_EQ(MouseY(), 45);

  Button(3);  // X's right button is button 2 here
  EXPECT_TRUE(PumpUntil([] { return MouseHit(2) == 1; }));
  Button(2);  // and X's middle one is 3
  EXPECT_TRUE(PumpUntil([] { return MouseHit(3) == 1; }));

  Button(4);
  Button(4);
  Button(4);
  Button(5);
  EXPECT_TRUE(PumpUntil([] { return MouseZ() == 2; }));
  Settle();
  EXPECT_EQ(MouseZ(), 2);
  EXPECT_EQ(MouseZ(), 2);
  EXPECT_EQ(MouseHit(1), 0);  // wheel notches are no clicks
  FlushMouse();
  EXPECT_EQ(MouseZ(), 0);
}

TEST_F(GLXInputTest, SwitchingPolledInputOnFlushesPressesThatWerePending) {
  DisablePolledInput();
  Key(XK_a, true);
  Key(XK_a, false);
  Button(1);
  Settle();  // the events wait unread on the program's connection
  EnablePolledInput(nullptr);
  Settle();
  EXPECT_EQ(KeyHit(65), 0);
  EXPECT_EQ(MouseHit(1), 0);
  EXPECT_EQ(GetChar(), 0);

  Key(XK_a, true);
  Key(XK_a, false);
  EXPECT_TRUE(PumpUntil([] { return KeyHit(65) == 1; }));
  EXPECT_EQ(GetChar(), 'a');
}

TEST_F(GLXInputTest, HideMouseDefinesAnInvisibleCursorOnTheWindow) {
  int ev_base = 0, err_base = 0;
  if (!XFixesQueryExtension(d, &ev_base, &err_base)) GTEST_SKIP() << "the X server has no XFIXES";
  auto visible_pixels = [this]() {
    XSync(SystemDisplay(), False);
    XFixesCursorImage* img = XFixesGetCursorImage(d);
    if (!img) return -1;
    int n = 0;
    for (int i = 0; i < img->width * img->height; ++i)
      if ((img->pixels[i] >> 24) & 0xff) ++n;
    XFree(img);
    return n;
  };
  HideMouse();
  EXPECT_EQ(visible_pixels(), 0);
  ShowMouse();
  EXPECT_GT(visible_pixels(), 0);  // the parent's cursor again
  HideMouse();
  EndGraphics();  // the window goes; the pointer over the root is visible
  EXPECT_GT(visible_pixels(), 0);
}

}  // namespace
