// Drawing state and primitives, checked by reading the back buffer: blend modes,
// colour clamping, GL call caching, scale, viewport, exact rectangles, pixmaps.
#include <GL/gl.h>

#include <cmath>

#include "tests/draw2d/gl_fixture.h"
#include "tests/support/gl_counters.h"

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
  TGLCallCounter gl;
  SetBlend(BlendAlpha);
  driver_->FlushDrawing();  // recorded calls reach GL
  const int64_t calls = gl.blend_states;
  glDisable(GL_BLEND);  // behind the cache's back
  SetBlend(BlendAlpha);
  driver_->FlushDrawing();
  EXPECT_EQ(gl.blend_states, calls);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  driver_->ResetGLContext(g_);
  SetBlend(BlendAlpha);
  driver_->FlushDrawing();
  EXPECT_EQ(gl.blend_states, calls + 1);
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
  driver_->FlushDrawing();  // recorded calls reach GL
  EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
  SetClsColor(255, 0, 0);
  Cls();
  EXPECT_EQ(Pixel(25, 35), (TRGBA{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(19, 35), (TRGBA{0, 0, 0, 255}));
  EXPECT_EQ(Pixel(25, 29), (TRGBA{0, 0, 0, 255}));
  EXPECT_EQ(Pixel(59, 79), (TRGBA{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(60, 80), (TRGBA{0, 0, 0, 255}));
  SetViewport(0, 0, kW, kH);
  driver_->FlushDrawing();
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

TEST_F(GLWindowTest, PointsLinesOriginHandleAndRotationPlaceShapes) {
  Fill(0, 0, 0);
  SetColor(255, 255, 255);
  Plot(3, 4);
  EXPECT_EQ(Pixel(3, 4).r, 255);
  EXPECT_EQ(Pixel(4, 4).r, 0);
  DrawLine(10, 20, 19, 20);
  EXPECT_EQ(Pixel(10, 20).r, 255);
  EXPECT_EQ(Pixel(15, 20).r, 255);
  EXPECT_EQ(Pixel(15, 21).r, 0);

  // The origin moves every shape; the handle is stored negated and scaled with it.
  Fill(0, 0, 0);
  SetColor(255, 255, 255);
  SetOrigin(50, 60);
  SetHandle(2, 3);
  float hx, hy;
  GetHandle(hx, hy);
  EXPECT_EQ(hx, 2.0f);
  EXPECT_EQ(hy, 3.0f);
  DrawRect(10, 10, 4, 4);  // covers (58, 67) .. (61, 70)
  SetScale(2, 2);
  DrawRect(40, 10, 4, 4);  // (86, 64) .. (93, 71)
  SetScale(1, 1);
  SetOrigin(0, 0);
  SetHandle(0, 0);
  EXPECT_EQ(Pixel(58, 67).r, 255);
  EXPECT_EQ(Pixel(61, 70).r, 255);
  EXPECT_EQ(Pixel(57, 67).r, 0);
  EXPECT_EQ(Pixel(62, 70).r, 0);
  EXPECT_EQ(Pixel(86, 64).r, 255);
  EXPECT_EQ(Pixel(93, 71).r, 255);
  EXPECT_EQ(Pixel(85, 64).r, 0);

  // A quarter turn maps x onto y around the drawing position.
  Fill(0, 0, 0);
  SetColor(255, 255, 255);
  SetRotation(90);
  DrawRect(100, 50, 10, 2);  // spans x 98..100, y 50..60
  SetRotation(0);
  EXPECT_EQ(Pixel(99, 55).r, 255);
  EXPECT_EQ(Pixel(101, 55).r, 0);
  EXPECT_EQ(Pixel(105, 51).r, 0);
  EXPECT_FLOAT_EQ(GetRotation(), 0.0f);
}

TEST_F(GLWindowTest, TextAtScaleMovesThePenByTheScaledAdvance) {
  Fill(0, 0, 0);
  SetBlend(BlendMask);
  SetColor(255, 255, 255);
  SetScale(2, 2);
  DrawText(u"||", 10, 10);
  SetScale(1, 1);
  // Each '|' of the built-in font is a vertical bar; at scale 2 the second one
  // starts 16 pixels after the first.
  Ref<TPixmap> back = Back();
  int first = -1, second = -1;
  for (int x = 0; x < kW; ++x) {
    if (At(back, x, 20).r == 255) {
      if (first < 0) first = x;
      else if (x > first + 4 && second < 0) second = x;
    }
  }
  ASSERT_GE(first, 10);
  EXPECT_EQ(second - first, 16);
  EXPECT_EQ(TextWidth(u"||"), 16);  // measuring ignores the scale
}

TEST_F(GLWindowTest, ASecondWindowStartsFromDefaultStateAndNothingDrawsWithoutOne) {
  SetColor(1, 2, 3);
  SetBlend(BlendLight);
  SetScale(3, 3);
  g_ = Graphics(kW, kH, 0, 0, 0);
  ASSERT_TRUE(g_);
  int r, g, b;
  GetColor(r, g, b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(GetBlend(), BlendMask);
  float sx, sy;
  GetScale(sx, sy);
  EXPECT_EQ(sx, 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EndGraphics();
  g_ = nullptr;
  // No graphics: every call is a harmless no-op.
  SetColor(9, 9, 9);
  DrawRect(0, 0, 10, 10);
  DrawText(u"abc", 0, 0);
  Cls();
  Flip(0);
  EXPECT_FALSE(GrabPixmap(0, 0, 4, 4));
  EXPECT_EQ(TextWidth(u"abc"), 24);
  Ref<TImage> img = CreateImage(4, 4, 1, 0);
  LockImage(img);
  DrawImage(img, 0, 0);
  EXPECT_FALSE(img->Frame(0));
}
