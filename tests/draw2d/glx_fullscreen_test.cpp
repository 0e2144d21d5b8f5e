// Full screen on a real X server with video modes: Xorg with the dummy video driver,
// started here with the project's own config (1024x768 at 60 Hz first, then the
// server's own list, which has 800x600 at 60 and 72 Hz among others). Without root
// or the dummy driver the tests skip and say why.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "draw2d/glx_graphics.h"
#include "draw2d/glx_video_mode.h"
#include "draw2d/graphics.h"
#include "platform/app.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "tests/support/gl_window.h"
#include "tests/support/xorg_dummy.h"

// X last: its macros clash with GoogleTest.
#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

namespace {

TTestXServer* g_server = nullptr;
bool IsChild() { return std::getenv("TESS_FULLSCREEN_CHILD") != nullptr; }

class PrivateXorg : public ::testing::Environment {
 public:
  void SetUp() override {
    if (IsChild()) {
      // The child of EndRestoresTheModeAtProgramEnd, on its parent's server: full
      // screen, then End without closing anything.
      if (!Graphics(800, 600, 32, 60, 0)) std::_Exit(3);
      XSync(SystemDisplay(), False);
      End();
    }
    g_server = new TTestXServer;
    if (g_server->StartXorgDummy()) ::setenv("DISPLAY", g_server->DisplayName().c_str(), 1);
  }
  void TearDown() override {
    if (IsChild()) return;
    EndGraphics();
    delete g_server;
    g_server = nullptr;
  }
};
::testing::Environment* const kEnv = ::testing::AddGlobalTestEnvironment(new PrivateXorg);

struct TMode {
  int width = 0, height = 0, dotclock = 0, hertz = 0;
};

TMode CurrentMode(Display* d) {
  TMode m;
  XF86VidModeModeLine line = {};
  int dotclock = 0;
  if (XF86VidModeGetModeLine(d, DefaultScreen(d), &dotclock, &line)) {
    m = {line.hdisplay, line.vdisplay, dotclock, 0};
    if (line.htotal && line.vtotal)
      m.hertz = static_cast<int>(dotclock * 1000.0 / (line.htotal * line.vtotal) + 0.5);
    if (line.privsize > 0 && line.c_private) XFree(line.c_private);
  }
  return m;
}

class GLXFullScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_server || g_server->DisplayName().empty())
      GTEST_SKIP() << "Xorg with the dummy driver could not start: " << g_server->Reason();
    probe = std::make_unique<TProbeDisplay>(g_server->DisplayName().c_str());
    d = probe->Get();
    ASSERT_TRUE(d);
    AppTitle = u"tess-fullscreen";
    const TMode m = CurrentMode(d);
    ASSERT_EQ(m.width, 1024);
    ASSERT_EQ(m.height, 768);
  }
  void TearDown() override {
    EndGraphics();
    probe.reset();
  }
  void SyncProgram() { XSync(SystemDisplay(), False); }
  std::unique_ptr<TProbeDisplay> probe;
  Display* d = nullptr;
};

TEST_F(GLXFullScreenTest, FullScreenSwitchesTheModeCentresThePointerAndClosingRestores) {
  auto g = Graphics(800, 600, 32, 60, 0);
  ASSERT_TRUE(g);
  EXPECT_TRUE(VideoModeSwitched());
  TGLContextRecord* rec = GLCurrentRecord();
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->kind, 3);
  EXPECT_EQ(rec->width, 800);
  EXPECT_EQ(rec->height, 600);
  EXPECT_EQ(rec->depth, 24);
  SyncProgram();
  const TMode m = CurrentMode(d);
  EXPECT_EQ(m.width, 800);
  EXPECT_EQ(m.height, 600);
  EXPECT_EQ(m.hertz, 60);  // the mode line of the requested rate

  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  ASSERT_TRUE(XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask));
  EXPECT_EQ(rx, 400);
  EXPECT_EQ(ry, 300);
  // The program holds the pointer and keyboard grabs.
  EXPECT_EQ(XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync,
                         GrabModeAsync, None, None, CurrentTime),
            AlreadyGrabbed);

  Flip(-1);
  Flip(0);
  EndGraphics();
  SyncProgram();
  EXPECT_FALSE(VideoModeSwitched());
  const TMode back = CurrentMode(d);
  EXPECT_EQ(back.width, 1024);
  EXPECT_EQ(back.height, 768);
  EXPECT_EQ(XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync,
                         GrabModeAsync, None, None, CurrentTime),
            GrabSuccess);
  XUngrabPointer(d, CurrentTime);
  XSync(d, False);
}

TEST_F(GLXFullScreenTest, TheRateChoosesAmongModesOfTheSizeAndFallsBackToTheFirst) {
  auto modes = GraphicsModes();
  ASSERT_FALSE(modes.empty());
  int first_800 = -1;
  bool has_72 = false;
  for (auto& mode : modes) {
    EXPECT_EQ(mode->depth, 24);
    EXPECT_GT(mode->hertz, 0);
    if (mode->width == 800 && mode->height == 600) {
      if (first_800 < 0) first_800 = mode->hertz;
      has_72 |= mode->hertz == 72;
    }
  }
  ASSERT_GT(first_800, 0);
  ASSERT_TRUE(has_72);
  ASSERT_NE(first_800, 97);

  ASSERT_TRUE(Graphics(800, 600, 32, 72, 0));
  SyncProgram();
  EXPECT_EQ(CurrentMode(d).width, 800);
  EXPECT_EQ(CurrentMode(d).hertz, 72);
  ASSERT_TRUE(Graphics(800, 600, 32, 97, 0));  // no such rate: the first line of the size
  SyncProgram();
  EXPECT_EQ(CurrentMode(d).width, 800);
  EXPECT_EQ(CurrentMode(d).hertz, first_800);
  EndGraphics();
  SyncProgram();
  EXPECT_EQ(CurrentMode(d).width, 1024);
}

TEST_F(GLXFullScreenTest, ASizeWithoutAModeFailsAndLeavesTheModeAlone) {
  SetGraphicsSeqForTest(0);
  EXPECT_EQ(Graphics(700, 500, 32, 60, 0), nullptr);
  EXPECT_EQ(GraphicsSeq(), 0);
  EXPECT_FALSE(VideoModeSwitched());
  EXPECT_EQ(CurrentGraphics(), nullptr);
  SyncProgram();
  EXPECT_EQ(CurrentMode(d).width, 1024);
  // A window still opens afterwards.
  EXPECT_TRUE(Graphics(700, 500, 0, 60, 0));
}

TEST_F(GLXFullScreenTest, AFailureAfterTheModeSwitchRestoresUngrabsAndDestroys) {
  AppTitle = u"tess-fullscreen-fail";
  SetWindowCheck([] { return false; });
  EXPECT_EQ(Graphics(800, 600, 32, 60, 0), nullptr);
  SetWindowCheck(nullptr);
  EXPECT_FALSE(VideoModeSwitched());
  SyncProgram();
  EXPECT_EQ(CurrentMode(d).width, 1024);
  EXPECT_TRUE(probe->ViewableWindowsNamed("tess-fullscreen-fail").empty());
  EXPECT_EQ(XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync,
                         GrabModeAsync, None, None, CurrentTime),
            GrabSuccess);
  XUngrabPointer(d, CurrentTime);
  EXPECT_EQ(XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime),
            GrabSuccess);
  XUngrabKeyboard(d, CurrentTime);
  XSync(d, False);
  HideMouse();  // the input window was taken back: no X error from a dead window
  EXPECT_TRUE(Graphics(800, 600, 32, 60, 0));  // the next attempt works
}

TEST_F(GLXFullScreenTest, EndRestoresTheModeAtProgramEnd) {
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("TESS_FULLSCREEN_CHILD", "1", 1);
    const char* args[] = {"glx_fullscreen_child", "--gtest_filter=GLXFullScreenTest.ASizeWithoutAModeFailsAndLeavesTheModeAlone", nullptr};
    ::execv("/proc/self/exe", const_cast<char**>(args));
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(CurrentMode(d).width, 1024);
  EXPECT_EQ(CurrentMode(d).height, 768);
}

}  // namespace
