// The drawing state of one graphics object: TDraw2DGraphics wraps the driver's
// TGraphics and is what Graphics returns.
#pragma once
#include "draw2d/draw2d_driver.h"
#include "draw2d/graphics.h"

struct TImageFont;

struct TDraw2DGraphics : TGraphics {
  int color_red = 255, color_green = 255, color_blue = 255;
  float color_alpha = 1.0f;
  int clscolor_red = 0, clscolor_green = 0, clscolor_blue = 0;
  float line_width = 1.0f;
  float tform_rot = 0.0f;
  float tform_scale_x = 1.0f, tform_scale_y = 1.0f;
  float tform_ix = 1.0f, tform_iy = 0.0f, tform_jx = 0.0f, tform_jy = 1.0f;
  int viewport_x = 0, viewport_y = 0, viewport_w = 0, viewport_h = 0;
  float origin_x = 0.0f, origin_y = 0.0f;
  float handle_x = 0.0f, handle_y = 0.0f;  // stored negated
  Ref<TImageFont> image_font;
  int blend_mode = 1;
  Ref<TGraphics> _graphics;
  Ref<TDraw2DDriver> _driver;
  int _setup = 0;
  std::weak_ptr<TDraw2DGraphics> _self;  // set by Create, for MakeCurrent

  Ref<TGraphicsDriver> Driver() override;
  void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
  void Close() override;
  virtual void Validate();
  // Becomes current; the first call clears both buffers.
  virtual void MakeCurrent();

  static void ClearCurrent();
  // Copy it to hold it across calls that may close or switch graphics.
  static const Ref<TDraw2DGraphics>& Current();
  static Ref<TDraw2DGraphics> Create(const Ref<TGraphics>& graphics, const Ref<TDraw2DDriver>& driver);
};
