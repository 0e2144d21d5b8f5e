// Drawing state and primitives, checked by reading the back buffer: blend modes,
// colour clamping, GL call caching, scale, viewport, exact rectangles, pixmaps.
#include <GL/gl.h>

#include <cmath>

#include "tests/draw2d/gl_fixture.h"

namespace {

void Fill(int r, int g, int b) {
  SetBlend(BlendSolid);
  SetAlpha(1);
  SetColor(r, g, b);
  DrawRect(0, 0, 200, 150);
}

}  // namespace

TEST_F(GLWindowTest, NewStateStartsFromItsInitialValues) {
  int r, g, b;
  GetColor(r, g, b);
  EXPECT_EQ(r + g + b, 3 * 255);
  EXPECT_EQ(GetAlpha(), 1.0f);
  EXPECT_EQ(GetBlend(), BlendMask);
  int x, y, w, h;
  GetViewport(x, y, w, h);
  EXPECT_EQ(w, kW);
  EXPECT_EQ(h, kH);
  // Both buffers start cleared to black.
  EXPECT_EQ(Pixel(10, 10), (TRGBA{0, 0, 0, 255}));
  Flip(0);
  EXPECT_EQ(Pixel(100, 100), (TRGBA{0, 0, 0, 255}));
}

TEST_F(GLWindowTest, ColourIsClampedForDrawingButReportedAsSet) {
  SetBlend(BlendSolid);
  SetColor(300, -5, 128);
  DrawRect(10, 10, 20, 20);
  EXPECT_EQ(Pixel(15, 15), (TRGBA{255, 0, 128, 255}));
  int r, g, b;
  GetColor(r, g, b);
  EXPECT_EQ(r, 300);
  EXPECT_EQ(g, -5);
  EXPECT_EQ(b, 128);
  SetClsColor(-1, 999, 64);
  Cls();
  EXPECT_EQ(Pixel(15, 15), (TRGBA{0, 255, 64, 255}));
}

TEST_F(GLWindowTest, BlendModesCombineWithTheBackground) {
  // Alpha: 0.4 gives a coverage of 102 / 255.
  Fill(0, 0, 0);
  SetBlend(BlendAlpha);
  SetAlpha(0.4f);
  SetColor(0, 255, 0);
  DrawRect(10, 10, 20, 20);
  EXPECT_EQ(Pixel(15, 15), (TRGBA{0, 102, 0, 255}));
  // Light adds.
  Fill(100, 50, 0);
  SetBlend(BlendLight);
  SetAlpha(0.5f);
  SetColor(100, 100, 100);
  DrawRect(10, 10, 20, 20);
  TRGBA light = Pixel(15, 15);
  EXPECT_NEAR(light.r, 150, 1);
  EXPECT_NEAR(light.g, 100, 1);
  EXPECT_NEAR(light.b, 50, 1);
  // Shade multiplies.
  Fill(200, 100, 255);
  SetBlend(BlendShade);
  SetAlpha(1);
  SetColor(128, 255, 0);
  DrawRect(10, 10, 20, 20);
  TRGBA shade = Pixel(15, 15);
  EXPECT_NEAR(shade.r, 100, 1);
  EXPECT_EQ(shade.g, 100);
  EXPECT_EQ(shade.b, 0);
  // Alpha values outside 0..1 (NaN too) are clamped.
  Fill(0, 0, 0);
  SetBlend(BlendAlpha);
  SetColor(255, 255, 255);
  SetAlpha(7.0f);
  DrawRect(0, 0, 5, 5);
  SetAlpha(std::nanf(""));
  DrawRect(5, 0, 5, 5);
  EXPECT_EQ(Pixel(2, 2), (TRGBA{255, 255, 255, 255}));
  EXPECT_EQ(Pixel(7, 2), (TRGBA{0, 0, 0, 255}));
}

TEST_F(GLWindowTest, MaskBlendDiscardsAlphaBelowHalf) {
  Fill(0, 0, 255);
  SetBlend(BlendMask);
  SetColor(255, 0, 0);
  SetAlpha(0.49f);
  DrawRect(10, 10, 10, 10);
  SetAlpha(0.6f);
  DrawRect(30, 10, 10, 10);
  EXPECT_EQ(Pixel(15, 15), (TRGBA{0, 0, 255, 255}));
  EXPECT_EQ(Pixel(35, 15), (TRGBA{255, 0, 0, 255}));  // drawn opaque
}

TEST_F(GLWindowTest, RepeatedBlendModeReachesGlOnceUntilTheContextIsReset) {
  SetBlend(BlendAlpha);
  const int64_t calls = driver_->_blend_calls;
  glDisable(GL_BLEND);  // behind the cache's back
  SetBlend(BlendAlpha);
  EXPECT_EQ(driver_->_blend_calls, calls);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  driver_->ResetGLContext(g_);
  SetBlend(BlendAlpha);
  EXPECT_EQ(driver_->_blend_calls, calls + 1);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

TEST_F(GLWindowTest, RectanglesCoverExactlyTheirPixelsAndScaleAroundThePosition) {
  Fill(0, 0, 0);
  SetColor(255, 255, 255);
  DrawRect(10, 10, 1, 1);
  Ref<TPixmap> back = Back();
  int lit = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) lit += At(back, x, y).r != 0;
  EXPECT_EQ(lit, 1);
  EXPECT_EQ(At(back, 10, 10).r, 255);

  Fill(0, 0, 0);
  SetColor(255, 255, 255);
  SetScale(2, 2);
  DrawRect(10, 10, 5, 5);
  SetScale(1, 1);
  back = Back();
  for (int y = 8; y < 23; ++y) {
    for (int x = 8; x < 23; ++x) {
      const bool inside = x >= 10 && x < 20 && y >= 10 && y < 20;
      ASSERT_EQ(At(back, x, y).r, inside ? 255 : 0) << x << "," << y;
    }
  }
}

TEST_F(GLWindowTest, ViewportScissorsAndTheFullWindowSwitchesScissoringOff) {
  Fill(0, 0, 0);
  SetViewport(20, 30, 40, 50);
  EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
  SetClsColor(255, 0, 0);
  Cls();
  EXPECT_EQ(Pixel(25, 35), (TRGBA{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(19, 35), (TRGBA{0, 0, 0, 255}));
  EXPECT_EQ(Pixel(25, 29), (TRGBA{0, 0, 0, 255}));
  EXPECT_EQ(Pixel(59, 79), (TRGBA{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(60, 80), (TRGBA{0, 0, 0, 255}));
  SetViewport(0, 0, kW, kH);
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_F(GLWindowTest, PixmapsDrawUntintedAndGrabsOutsideTheWindowReadZero) {
  Ref<TPixmap> pm = CreatePixmap(4, 3, FormatRGB888);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) pm->WritePixel(x, y, int(0xff000000u) | (x * 60) << 16 | (y * 100) << 8 | 7);
  Fill(0, 0, 0);
  // A bound texture and a tint must not touch glDrawPixels.
  Ref<TImage> img = CreateImage(8, 8, 1, 0);
  LockImage(img)->ClearPixels(int(0xff0000ffu));
  SetColor(255, 255, 255);
  DrawImage(img, 100, 100);
  SetColor(10, 20, 30);
  SetBlend(BlendAlpha);
  DrawPixmap(pm, 50, 40);
  EXPECT_EQ(GetBlend(), BlendAlpha);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(Pixel(50 + x, 40 + y), (TRGBA{x * 60, y * 100, 7, 255})) << x << "," << y;
  EXPECT_EQ(Pixel(49, 40), (TRGBA{0, 0, 0, 255}));

  Ref<TPixmap> grab = GrabPixmap(-2, -1, 4, 3);
  ASSERT_TRUE(grab);
  EXPECT_EQ(grab->format, FormatRGBA8888);
  EXPECT_EQ(At(grab, 0, 0).a, 0);  // outside: zero
  EXPECT_EQ(At(grab, 1, 2).a, 0);
  EXPECT_EQ(At(grab, 2, 1).a, 255);  // window pixel (0, 0)
  Ref<TPixmap> beyond = GrabPixmap(kW - 1, kH - 1, 3, 3);
  EXPECT_EQ(At(beyond, 0, 0).a, 255);
  EXPECT_EQ(At(beyond, 1, 1).a, 0);
}
