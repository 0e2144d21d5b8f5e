// Graphics where a window cannot be had: no X display at all, or an X server without
// GLX. Creation gives null, the sequence number stays, nothing becomes current and
// the front operations do nothing. Each case needs its own process (the system
// driver opens its display once), so the second runs as a re-started child.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "draw2d/glx_graphics.h"
#include "draw2d/graphics.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "tests/support/xorg_dummy.h"

namespace {

// Runs the checks for the X server (or the lack of one) in $DISPLAY.
void ExpectGraphicsUnavailable() {
  SetGraphicsSeqForTest(0);
  EXPECT_EQ(Graphics(800, 600, 0, 60, 0), nullptr);
  EXPECT_EQ(Graphics(800, 600, 32, 60, 0), nullptr);
  EXPECT_EQ(GraphicsSeq(), 0);
  EXPECT_EQ(CurrentGraphics(), nullptr);
  EXPECT_EQ(DefaultGraphics(), nullptr);
  EXPECT_EQ(GraphicsWidth(), 0);
  EXPECT_FALSE(PolledInputEnabled());
  EXPECT_FALSE(SharedContextAlive());
  EXPECT_EQ(GLCurrentRecord(), nullptr);
  EXPECT_TRUE(GraphicsModes().empty());
  {
    TSharedContextGuard guard;
    EXPECT_FALSE(guard.Ready());
  }
  // None of these may reach GL or X without a context.
  Flip(0);
  Flip(1);
  Flip(-1);
  EndGraphics();
  HideMouse();
  ShowMouse();
  MoveMouse(10, 10);
  GLGraphicsDriver()->SwapSharedContext();
  GLGraphicsDriver()->SwapSharedContext();
  EXPECT_EQ(GLGraphicsDriver()->AttachGraphics(1, 0), nullptr);
  CloseGLGraphicsDriver();
  EXPECT_EQ(GraphicsSeq(), 0);
}

TEST(GraphicsUnavailable, WithoutAnXDisplayGraphicsReturnsNull) {
  if (std::getenv("TESS_NO_GLX_CHILD")) {
    // Re-started by the next test with DISPLAY naming a server without GLX.
    ASSERT_NE(SystemDisplay(), nullptr);
    ExpectGraphicsUnavailable();
    return;
  }
  ::setenv("DISPLAY", ":4093", 1);  // nothing listens there
  ASSERT_EQ(SystemDisplay(), nullptr);
  ExpectGraphicsUnavailable();
}

TEST(GraphicsUnavailable, OnAServerWithoutGLXGraphicsReturnsNull) {
  if (std::getenv("TESS_NO_GLX_CHILD")) GTEST_SKIP() << "child run";
  TTestXServer server;
  if (!server.StartXvfb({"-screen", "0", "640x480x24", "-extension", "GLX"}))
    GTEST_SKIP() << "private Xvfb: " << server.Reason();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("DISPLAY", server.DisplayName().c_str(), 1);
    ::setenv("TESS_NO_GLX_CHILD", "1", 1);
    const char* args[] = {"glx_unavailable_child",
                          "--gtest_filter=GraphicsUnavailable.WithoutAnXDisplayGraphicsReturnsNull",
                          nullptr};
    ::execv("/proc/self/exe", const_cast<char**>(args));
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the checks failed on the server without GLX";
}

}  // namespace
