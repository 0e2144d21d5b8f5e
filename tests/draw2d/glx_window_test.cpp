// The graphics window on the X server of $DISPLAY (Xvfb with Mesa's software GL):
// what Graphics makes, what a second call leaves, how each window names itself,
// the close button, the shared context and foreign windows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "draw2d/app_icon.h"
#include "draw2d/draw2d_graphics.h"
#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/glx_graphics.h"
#include "draw2d/glx_video_mode.h"
#include "draw2d/graphics.h"
#include "pixmap/pixmap.h"
#include "platform/app.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "platform/ustring.h"
#include "tests/support/env.h"
#include "tests/support/gl_window.h"

// X and GL last: their macros (None, Bool, Status) clash with GoogleTest.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

std::string UniqueTitle(const char* what) {
  return std::string("tess-") + what + "-" + std::to_string(::getpid());
}

void SetTitle(const std::string& t) { AppTitle = std::u16string(t.begin(), t.end()); }

// Every pixel of the current read buffer is black.
bool BufferIsBlack(GLenum buffer, int w, int h) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4, 0xff);
  glReadBuffer(buffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  for (size_t i = 0; i < px.size(); i += 4)
    if (px[i] || px[i + 1] || px[i + 2]) return false;
  return true;
}

// The colour at window pixel (x, y), counted from the top left.
unsigned ReadPixelTopLeft(int x, int y, int height) {
  unsigned char p[4] = {};
  glReadBuffer(GL_BACK);
  glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
}

class GLXWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TESS_REQUIRE_DISPLAY(); }
  void TearDown() override { EndGraphics(); }
};

TEST(GLXDriverChoice, TheInstalledDriverIsOpenGLWithABackBuffer) {
  auto driver = std::dynamic_pointer_cast<TGLDraw2DDriver>(GetGraphicsDriver());
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->ToString(), u"OpenGL");
  EXPECT_EQ(DefaultGraphicsFlags(), GraphicsFlagBackBuffer);
}

TEST_F(GLXWindowTest, GraphicsOpensAMappedTitledDoubleBufferedWindowWithPixelProjection) {
  const std::string title = UniqueTitle("window");
  SetTitle(title);
  auto g = Graphics(800, 600, 0, 60, 0);
  ASSERT_TRUE(g);
  ASSERT_TRUE(std::dynamic_pointer_cast<TDraw2DGraphics>(g));
  TGLContextRecord* rec = GLCurrentRecord();
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->kind, 2);
  EXPECT_EQ(rec->depth, 24);
  EXPECT_EQ(rec->hertz, 60);
  EXPECT_EQ(rec->flags, GraphicsFlagBackBuffer);

  TProbeDisplay probe;
  ASSERT_TRUE(probe.Get());
  int w = 0, h = 0;
  bool viewable = false;
  ASSERT_TRUE(probe.WindowSize(rec->window, &w, &h, &viewable));
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  EXPECT_TRUE(viewable);
  EXPECT_EQ(probe.WindowName(rec->window), title);
  EXPECT_EQ(GraphicsWidth(), 800);
  EXPECT_EQ(GraphicsHeight(), 600);

  GLboolean doublebuffer = GL_FALSE;
  glGetBooleanv(GL_DOUBLEBUFFER, &doublebuffer);
  EXPECT_TRUE(doublebuffer);
  EXPECT_TRUE(BufferIsBlack(GL_BACK, 800, 600));
  EXPECT_TRUE(BufferIsBlack(GL_FRONT, 800, 600));

  GLint vp[4] = {};
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[0], 0);
  EXPECT_EQ(vp[1], 0);
  EXPECT_EQ(vp[2], 800);
  EXPECT_EQ(vp[3], 600);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  // One unit per pixel, (0, 0) at the top left, y downwards.
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glColor4ub(255, 0, 0, 255);
  glBegin(GL_QUADS);
  glVertex2f(10, 20);
  glVertex2f(14, 20);
  glVertex2f(14, 23);
  glVertex2f(10, 23);
  glEnd();
  glColor4ub(0, 255, 0, 255);
  glBegin(GL_QUADS);
  glVertex2f(790, 590);
  glVertex2f(800, 590);
  glVertex2f(800, 600);
  glVertex2f(790, 600);
  glEnd();
  glFinish();
  EXPECT_EQ(ReadPixelTopLeft(10, 20, 600), 0xff0000u);
  EXPECT_EQ(ReadPixelTopLeft(13, 22, 600), 0xff0000u);
  EXPECT_EQ(ReadPixelTopLeft(9, 20, 600), 0u);
  EXPECT_EQ(ReadPixelTopLeft(10, 19, 600), 0u);
  EXPECT_EQ(ReadPixelTopLeft(14, 20, 600), 0u);
  EXPECT_EQ(ReadPixelTopLeft(10, 23, 600), 0u);
  EXPECT_EQ(ReadPixelTopLeft(799, 599, 600), 0x00ff00u);
  EXPECT_EQ(ReadPixelTopLeft(789, 599, 600), 0u);
}

TEST_F(GLXWindowTest, TwoGraphicsCallsLeaveOneVisibleWindowOfTheSecondSize) {
  const std::string title = UniqueTitle("two");
  SetTitle(title);
  SetGraphicsSeqForTest(0);
  EXPECT_EQ(GraphicsSeq(), 0);
  ASSERT_TRUE(Graphics(480, 320, 0, 60, 0));
  EXPECT_EQ(GraphicsSeq(), 1);
  const unsigned long first = GLCurrentRecord()->window;
  ASSERT_TRUE(Graphics(800, 600, 0, 60, 0));
  EXPECT_EQ(GraphicsSeq(), 3);

  TProbeDisplay probe;
  ASSERT_TRUE(probe.Get());
  auto windows = probe.ViewableWindowsNamed(title);
  ASSERT_EQ(windows.size(), 1u);
  int w = 0, h = 0;
  ASSERT_TRUE(probe.WindowSize(windows[0], &w, &h, nullptr));
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  EXPECT_FALSE(probe.WindowSize(first, nullptr, nullptr, nullptr));  // destroyed
  EXPECT_TRUE(SharedContextAlive());  // the shared context outlives both windows

  EndGraphics();
  EXPECT_EQ(GraphicsSeq(), 4);
  XSync(SystemDisplay(), False);  // the server has carried out the destruction
  EXPECT_TRUE(probe.ViewableWindowsNamed(title).empty());
  // With no window left the pointer operations have nothing to act on.
  HideMouse();
  ShowMouse();
  MoveMouse(5, 5);
  Flip(0);
  EXPECT_EQ(GLCurrentRecord(), nullptr);
}

// Two sizes with distinct channels, so order, layout and alpha all show.
std::vector<Ref<TPixmap>> ProbeIcon() {
  Ref<TPixmap> wide = CreatePixmap(2, 1, FormatRGBA8888);
  WritePixel(wide, 0, 0, static_cast<int>(0x80112233u));
  WritePixel(wide, 1, 0, static_cast<int>(0xFF445566u));
  Ref<TPixmap> tall = CreatePixmap(1, 2, FormatRGB888);  // no alpha: opaque
  WritePixel(tall, 0, 0, 0x778899);
  WritePixel(tall, 0, 1, 0xAABBCC);
  return {wide, nullptr, tall};
}

TEST_F(GLXWindowTest, BothWindowsOfTheGameCarryClassUtf8TitleAndIcon) {
  const std::string title = UniqueTitle("named") + " Kachel \xc3\xbc \xe2\x82\xac";
  AppTitle = FromOSBytes(title);
  AppClass = u"TessProbe";
  SetAppIcon(ProbeIcon());
  const std::vector<uint32_t> icon = {2, 1, 0x80112233u, 0xFF445566u, 1, 2, 0xFF778899u, 0xFFAABBCCu};
  TProbeDisplay probe;
  ASSERT_TRUE(probe.Get());
  for (auto [w, h] : {std::pair{480, 320}, {800, 600}}) {
    ASSERT_TRUE(Graphics(w, h, 0, 60, 0));
    const unsigned long win = GLCurrentRecord()->window;
    EXPECT_EQ(probe.WindowClass(win), (std::pair<std::string, std::string>("tessprobe", "TessProbe")));
    EXPECT_EQ(probe.TextProperty(win, "_NET_WM_NAME", "UTF8_STRING"), title);
    EXPECT_EQ(probe.CardinalProperty(win, "_NET_WM_ICON"), icon);
  }
  // Lone surrogates must not make the UTF-8 name invalid.
  AppTitle = u"a\xD800" u"b\xDC80";
  ASSERT_TRUE(Graphics(64, 64, 0, 60, 0));
  EXPECT_EQ(probe.TextProperty(GLCurrentRecord()->window, "_NET_WM_NAME", "UTF8_STRING"),
            "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  SetAppIcon({});
  AppClass.clear();
  ASSERT_TRUE(Graphics(64, 64, 0, 60, 0));
  EXPECT_EQ(probe.WindowClass(GLCurrentRecord()->window).second, "");
  EXPECT_TRUE(probe.CardinalProperty(GLCurrentRecord()->window, "_NET_WM_ICON").empty());
}

TEST_F(GLXWindowTest, TheWindowsCloseRequestMakesAppTerminateReturnOneOnce) {
  SetTitle(UniqueTitle("close"));
  ASSERT_TRUE(Graphics(320, 240, 0, 60, 0));
  const unsigned long win = GLCurrentRecord()->window;
  TProbeDisplay probe;
  Display* d = probe.Get();
  ASSERT_TRUE(d);
  Atom* protocols = nullptr;
  int count = 0;
  const Atom wm_delete = XInternAtom(d, "WM_DELETE_WINDOW", False);
  ASSERT_TRUE(XGetWMProtocols(d, win, &protocols, &count));
  bool registered = false;
  for (int i = 0; i < count; ++i) registered |= protocols[i] == wm_delete;
  XFree(protocols);
  EXPECT_TRUE(registered);

  EXPECT_EQ(AppTerminate(), 0);
  XEvent ev = {};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = win;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(wm_delete);
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, win, False, NoEventMask, &ev);
  XSync(d, False);
  EXPECT_TRUE(PumpUntil([] { return AppTerminate() == 1; }));
  EXPECT_EQ(AppTerminate(), 0);
}

TEST_F(GLXWindowTest, FlipRecordsTheSwapIntervalAndPumpsEvents) {
  SetTitle(UniqueTitle("flip"));
  ASSERT_TRUE(Graphics(200, 100, 0, 0, 0));
  TGLContextRecord* rec = GLCurrentRecord();
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->sync, 0);  // the first selection flipped both buffers clear with 0
  Flip(1);
  EXPECT_EQ(rec->sync, 1);
  Flip(0);
  EXPECT_EQ(rec->sync, 0);
  Flip(-1);  // window without a rate: no retrace wait
  EXPECT_EQ(rec->sync, 0);
}

TEST_F(GLXWindowTest, TexturesMadeUnderTheSharedContextGuardServeEveryWindow) {
  SetTitle(UniqueTitle("shared"));
  ASSERT_TRUE(Graphics(64, 64, 0, 0, 0));
  GLXContext window_ctx = glXGetCurrentContext();
  GLXDrawable window_drawable = glXGetCurrentDrawable();
  ASSERT_TRUE(window_ctx);
  GLuint tex = 0;
  {
    TSharedContextGuard guard;
    ASSERT_TRUE(guard.Ready());
    EXPECT_NE(glXGetCurrentContext(), window_ctx);
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    const unsigned char px[4] = {1, 2, 3, 4};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  EXPECT_EQ(glXGetCurrentContext(), window_ctx);
  EXPECT_EQ(glXGetCurrentDrawable(), window_drawable);
  EXPECT_TRUE(glIsTexture(tex));

  // A second window shares the same lists.
  ASSERT_TRUE(Graphics(64, 64, 0, 0, 0));
  EXPECT_TRUE(glIsTexture(tex));

  // The paired driver calls behave like the guard.
  GLXContext second_ctx = glXGetCurrentContext();
  GLGraphicsDriver()->SwapSharedContext();
  EXPECT_NE(glXGetCurrentContext(), second_ctx);
  GLGraphicsDriver()->SwapSharedContext();
  EXPECT_EQ(glXGetCurrentContext(), second_ctx);

  // With no window, the guard leaves nothing current afterwards, never a closed one.
  EndGraphics();
  EXPECT_EQ(glXGetCurrentContext(), nullptr);
  {
    TSharedContextGuard guard;
    ASSERT_TRUE(guard.Ready());
    glDeleteTextures(1, &tex);
  }
  EXPECT_EQ(glXGetCurrentContext(), nullptr);
}

TEST_F(GLXWindowTest, FullScreenWithoutTheVideoModeExtensionFailsCleanly) {
  TProbeDisplay probe;
  int ev = 0, err = 0;
  if (XQueryExtension(probe.Get(), "XFree86-VidModeExtension", &ev, &err, &ev))
    GTEST_SKIP() << "this X server has XFree86-VidMode; the full-screen tests cover it";
  const std::string title = UniqueTitle("nofull");
  SetTitle(title);
  const int seq = GraphicsSeq();
  EXPECT_EQ(Graphics(800, 600, 32, 60, 0), nullptr);
  EXPECT_EQ(GraphicsSeq(), seq);
  EXPECT_EQ(CurrentGraphics(), nullptr);
  EXPECT_FALSE(VideoModeSwitched());
  EXPECT_TRUE(probe.ViewableWindowsNamed(title).empty());
  EXPECT_TRUE(GLGraphicsDriver()->GraphicsModes().empty());
}

TEST_F(GLXWindowTest, SizesNoWindowCanHaveGiveNullAndLeaveTheSequenceAlone) {
  const std::string title = UniqueTitle("badsize");
  SetTitle(title);
  SetGraphicsSeqForTest(0);
  for (auto [w, h] : {std::pair{0, 600}, {800, 0}, {-5, -5}, {70000, 10}, {10, 1 << 20}}) {
    EXPECT_EQ(Graphics(w, h, 0, 60, 0), nullptr) << w << " x " << h;
    EXPECT_EQ(GraphicsSeq(), 0);
    EXPECT_EQ(CurrentGraphics(), nullptr);
  }
  TProbeDisplay probe;
  XSync(SystemDisplay(), False);
  EXPECT_TRUE(probe.ViewableWindowsNamed(title).empty());
  EXPECT_TRUE(Graphics(32, 32, 0, 60, 0));  // and a sensible size still works
}

TEST_F(GLXWindowTest, AForeignWindowIsDrawnIntoAndLeftAliveOnClose) {
  TProbeDisplay probe;
  Display* d = probe.Get();
  ASSERT_TRUE(d);
  int attrs[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
  XVisualInfo* vi = glXChooseVisual(d, DefaultScreen(d), attrs);
  ASSERT_TRUE(vi);
  XSetWindowAttributes swa = {};
  swa.colormap = XCreateColormap(d, DefaultRootWindow(d), vi->visual, AllocNone);
  Window win = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 123, 45, 0, vi->depth, InputOutput,
                             vi->visual, CWColormap, &swa);
  XMapWindow(d, win);
  XSync(d, False);
  XFree(vi);

  auto g = GetGraphicsDriver()->AttachGraphics(win, GraphicsFlagBackBuffer);
  ASSERT_TRUE(g);
  SetGraphics(g);
  EXPECT_EQ(GraphicsWidth(), 123);
  EXPECT_EQ(GraphicsHeight(), 45);
  ASSERT_NE(GLCurrentRecord(), nullptr);
  EXPECT_EQ(GLCurrentRecord()->kind, 1);
  EXPECT_TRUE(glXGetCurrentContext());
  Flip(0);
  SetGraphics(nullptr);
  g->Close();
  EXPECT_TRUE(probe.WindowSize(win, nullptr, nullptr, nullptr));  // still there

  XDestroyWindow(d, win);
  XFreeColormap(d, swa.colormap);
  XSync(d, False);
  // A window id that does not exist is refused without an X error ending the test.
  EXPECT_EQ(GetGraphicsDriver()->AttachGraphics(win, 0), nullptr);
  EXPECT_EQ(GetGraphicsDriver()->AttachGraphics(0, 0), nullptr);
}

}  // namespace
