// Shared by the drawing tests: a window with the OpenGL Draw2D driver, read-back of
// the back buffer, and pixel helpers.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "draw2d/draw.h"
#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "pixmap/pixmap.h"
#include "tests/support/env.h"

struct TRGBA {
  int r, g, b, a;
  bool operator==(const TRGBA& o) const { return r == o.r && g == o.g && b == o.b; }
};

inline std::ostream& operator<<(std::ostream& os, const TRGBA& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

class GLWindowTest : public ::testing::Test {
 protected:
  static constexpr int kW = 200, kH = 150;
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    g_ = Graphics(kW, kH, 0, 0, 0);
    ASSERT_TRUE(g_) << "no GLX window";
    driver_ = GLDraw2DDriver();
    driver_->SetBatching(batching_);
    driver_->SetAtlas(true);
  }
  void TearDown() override {
    if (driver_) {
      driver_->SetBatching(true);
      driver_->SetAtlas(true);
    }
    if (g_) EndGraphics();
  }
  // The back buffer as a pixmap (row 0 at the top).
  Ref<TPixmap> Back() { return GrabPixmap(0, 0, kW, kH); }
  static TRGBA At(const Ref<TPixmap>& pm, int x, int y) {
    const uint8_t* p = pm->PixelPtr(x, y);
    return TRGBA{p[0], p[1], p[2], p[3]};
  }
  TRGBA Pixel(int x, int y) { return At(GrabPixmap(x, y, 1, 1), 0, 0); }

  bool batching_ = true;
  Ref<TGraphics> g_;
  Ref<TGLDraw2DDriver> driver_;
};
