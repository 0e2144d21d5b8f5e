// Quiet frames: a flip whose frame equals the one on screen is neither drawn nor
// swapped, while the screen and every read-back still show what drawing every
// frame would show.
#include <GL/gl.h>

#include <vector>

#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/glx_graphics.h"
#include "platform/event.h"
#include "platform/system.h"
#include "tests/draw2d/gl_fixture.h"
#include "tests/support/private_x.h"

// Xlib last: its macros clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr TRGBA kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255};

// Clears to grey and draws a square in the colour the state holds.
void Scene() {
  SetClsColor(50, 50, 50);
  Cls();
  SetBlend(BlendSolid);
  DrawRect(20, 20, 40, 40);
}

void Scene(int r, int g, int b) {
  SetColor(r, g, b);
  Scene();
}

Ref<TImage> Square(int colour) {
  Ref<TImage> image = CreateImage(8, 8, 1, 0);
  LockImage(image)->ClearPixels(colour);
  return image;
}

// On a server of its own: another test's window over this one would expose it.
class QuietFrames : public GLWindowTest {
 protected:
  void SetUp() override {
    UsePrivateXServer();
    GLWindowTest::SetUp();
  }
  // What the window shows, as the X server has it.
  TRGBA Shown(int x, int y) {
    XImage* image = XGetImage(SystemDisplay(), GLCurrentRecord()->window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return TRGBA{-1, -1, -1, -1};
    const unsigned long p = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return TRGBA{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255), 255};
  }
  // Every pixel the window shows.
  std::vector<unsigned long> ShownWindow() {
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(SystemDisplay(), GLCurrentRecord()->window, 0, 0, kW, kH, AllPlanes, ZPixmap);
    if (!image) return pixels;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) pixels.push_back(XGetPixel(image, x, y) & 0xffffff);
    XDestroyImage(image);
    return pixels;
  }
  // Flips and tells whether that flip drew and swapped.
  bool FlipDrew() {
    const int64_t drawn = driver_->FramesDrawn();
    Flip(0);
    return driver_->FramesDrawn() != drawn;
  }
};

TEST_F(QuietFrames, OnlyFramesThatDifferFromTheScreenAreDrawn) {
  Scene(255, 0, 0);
  EXPECT_TRUE(FlipDrew());
  Scene(255, 0, 0);  // starts from the state the first one left
  EXPECT_TRUE(FlipDrew());
  Scene(255, 0, 0);
  EXPECT_FALSE(FlipDrew());
  EXPECT_EQ(Shown(30, 30), kRed);
  Scene(0, 0, 255);
  EXPECT_TRUE(FlipDrew());
  EXPECT_EQ(Shown(30, 30), kBlue);

  // The same calls from another starting state: the colour set at the end of the
  // frame before.
  for (TRGBA want : {kBlue, kGreen}) {
    Scene();
    SetColor(0, 255, 0);
    EXPECT_TRUE(FlipDrew());
    EXPECT_EQ(Shown(30, 30), want);
  }

  // A read-back of a frame the screen already shows sees that frame, not whatever
  // the back buffer held; the frame is then drawn.
  Scene(255, 0, 0);
  Flip(0);
  Scene(0, 0, 255);
  Flip(0);
  Scene(0, 0, 255);
  EXPECT_EQ(Pixel(30, 30), kBlue);
  EXPECT_TRUE(FlipDrew());

  // A frame that does not clear first draws over what the buffer held.
  DrawRect(20, 20, 40, 40);
  EXPECT_TRUE(FlipDrew());
  DrawRect(20, 20, 40, 40);
  EXPECT_TRUE(FlipDrew());
}

TEST_F(QuietFrames, ASmallChangeIsRedrawnInItsPartAndTheWindowShowsTheWholeFrame) {
  if (!GLGraphicsDriver()->CanFlipPart()) GTEST_SKIP() << "this GL shows whole frames only";
  Ref<TImage> square = Square(int(0xff00ff00u));
  auto frame = [&](float x, const std::u16string& text) {
    Scene(255, 0, 0);
    SetColor(255, 255, 255);
    DrawImage(square, x, 100);
    DrawText(text, 130, 40);
  };
  for (int i = 0; i < 2; ++i) {  // the second starts from the state the first left
    frame(100, u"12");
    Flip(0);
  }
  const int64_t parts = driver_->FramesDrawnInPart();
  frame(120, u"12");  // moved
  EXPECT_TRUE(FlipDrew());
  frame(120, u"13");  // a glyph whose texture is made on the way
  EXPECT_TRUE(FlipDrew());
  EXPECT_EQ(driver_->FramesDrawnInPart(), parts + 2);
  EXPECT_EQ(Shown(101, 101), (TRGBA{50, 50, 50, 255}));
  EXPECT_EQ(Shown(122, 102), kGreen);
  const std::vector<unsigned long> in_part = ShownWindow();
  driver_->ForceNextFrame();
  frame(120, u"13");
  Flip(0);
  EXPECT_EQ(ShownWindow(), in_part);
  // Another picture in the slot of one that is gone, drawn with the same words
  // beside a change elsewhere: its new texels are shown too.
  square = Square(int(0xff0000ffu));
  frame(120, u"12");
  EXPECT_TRUE(FlipDrew());
  EXPECT_EQ(Shown(122, 102), kBlue);

  // A state change reaches every later call: the whole frame.
  Scene(0, 0, 255);
  EXPECT_TRUE(FlipDrew());
  EXPECT_EQ(driver_->FramesDrawnInPart(), parts + 3);
  EXPECT_EQ(Shown(30, 30), kBlue);
}

TEST_F(QuietFrames, NewTexturesWindowEventsAndTheSwitchMakeTheFrameDraw) {
  SetColor(255, 255, 255);
  // A picture in the place of another one that is gone: same texture, same
  // coordinates, other texels.
  for (int colour : {int(0xffff0000u), int(0xff00ff00u)}) {
    Ref<TImage> square = Square(colour);
    Scene();
    DrawImage(square, 100, 100);
    EXPECT_TRUE(FlipDrew());
  }
  EXPECT_EQ(Shown(102, 102), kGreen);
  // Pixels written into a dynamic image.
  Ref<TImage> square = Square(int(0xffff0000u));
  for (int colour : {int(0xffff0000u), int(0xff0000ffu)}) {
    LockImage(square)->ClearPixels(colour);
    Scene();
    DrawImage(square, 100, 100);
    EXPECT_TRUE(FlipDrew());
  }
  EXPECT_EQ(Shown(102, 102), kBlue);

  Scene();
  DrawImage(square, 100, 100);
  EXPECT_FALSE(FlipDrew());
  EmitEvent(CreateEvent(EVENT_GADGETPAINT));  // exposed: the window lost its contents
  Scene();
  DrawImage(square, 100, 100);
  EXPECT_TRUE(FlipDrew());

  SetQuietFrames(false);
  for (int i = 0; i < 2; ++i) {
    Scene();
    EXPECT_TRUE(FlipDrew());
  }
  SetQuietFrames(true);
}

}  // namespace
