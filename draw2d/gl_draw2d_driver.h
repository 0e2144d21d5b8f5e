// The OpenGL Draw2D driver, the graphics driver that is actually installed: it
// forwards window creation, selection and flipping to the GLX driver, wraps each
// TGLGraphics in a TDraw2DGraphics and sets the GL state every frame relies on.
#pragma once
#include <string>

#include "draw2d/draw2d_graphics.h"

struct TGLDraw2DDriver : TDraw2DDriver {
  std::vector<Ref<TGraphicsMode>> GraphicsModes() override;
  Ref<TGraphics> AttachGraphics(unsigned long widget, int flags) override;
  Ref<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
  void SetGraphics(const Ref<TGraphics>& graphics) override;
  void Flip(int sync) override;
  // Drawing operations (filled in by the drawing layer).
  Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) override;
  void SetBlend(int mode) override;
  void SetAlpha(float alpha) override;
  void SetColor(int r, int g, int b) override;
  void SetClsColor(int r, int g, int b) override;
  void SetViewport(int x, int y, int width, int height) override;
  void SetTransform(float ix, float iy, float jx, float jy) override;
  void SetLineWidth(float width) override;
  void Cls() override;
  void Plot(float x, float y) override;
  void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawPoly(const std::vector<float>& points, float handle_x, float handle_y, float tx,
                float ty) override;
  void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) override;
  Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) override;

  // Projection of one unit per pixel with (0, 0) at the top left, model-view
  // identity, full viewport, texturing off, GL state caches forgotten.
  virtual void ResetGLContext(const Ref<TGraphics>& graphics);
  std::u16string ToString() const { return u"OpenGL"; }

  // GL state caches.
  int _blend_mode = -1;          // -1: unknown, the next SetBlend reaches GL
  unsigned int _bound_texture = 0;
  bool _texture_enabled = false;
  bool _bind_known = false;      // false: the next bind reaches GL
};

// The one driver object.
Ref<TGLDraw2DDriver> GLDraw2DDriver();
// Installs it as the current graphics driver with GraphicsFlagBackBuffer.
void InstallGLDraw2DDriver();
