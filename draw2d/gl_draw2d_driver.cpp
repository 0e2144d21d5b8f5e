// The OpenGL Draw2D driver: creation, selection and flipping go to the GLX driver;
// each TGLGraphics is wrapped in a TDraw2DGraphics; ResetGLContext sets the pixel
// projection and the GL state the drawing code relies on.
#include "draw2d/gl_draw2d_driver.h"

#include <GL/gl.h>

#include "draw2d/glx_graphics.h"

Ref<TGLDraw2DDriver> GLDraw2DDriver() {
  static Ref<TGLDraw2DDriver>* d = new Ref<TGLDraw2DDriver>(std::make_shared<TGLDraw2DDriver>());
  return *d;
}

void InstallGLDraw2DDriver() { SetGraphicsDriver(GLDraw2DDriver(), GraphicsFlagBackBuffer); }

std::vector<Ref<TGraphicsMode>> TGLDraw2DDriver::GraphicsModes() {
  return GLGraphicsDriver()->GraphicsModes();
}

Ref<TGraphics> TGLDraw2DDriver::AttachGraphics(unsigned long widget, int flags) {
  Ref<TGraphics> g = GLGraphicsDriver()->AttachGraphics(widget, flags);
  if (!g) return nullptr;
  return TDraw2DGraphics::Create(g, GLDraw2DDriver());
}

Ref<TGraphics> TGLDraw2DDriver::CreateGraphics(int width, int height, int depth, int hertz,
                                               int flags) {
  Ref<TGraphics> g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
  if (!g) return nullptr;
  return TDraw2DGraphics::Create(g, GLDraw2DDriver());
}

void TGLDraw2DDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  auto g = std::dynamic_pointer_cast<TDraw2DGraphics>(graphics);
  if (!g || !g->_graphics) {
    TDraw2DGraphics::ClearCurrent();
    GLGraphicsDriver()->SetGraphics(nullptr);
    return;
  }
  GLGraphicsDriver()->SetGraphics(g->_graphics);
  ResetGLContext(g);
  g->MakeCurrent();
}

void TGLDraw2DDriver::Flip(int sync) { GLGraphicsDriver()->Flip(sync); }

void TGLDraw2DDriver::Cls() {
  if (!TDraw2DGraphics::Current()) return;
  glClear(GL_COLOR_BUFFER_BIT);
}

Ref<TImageFrame> TGLDraw2DDriver::CreateFrameFromPixmap(const Ref<TPixmap>&, int) {
  return nullptr;
}
void TGLDraw2DDriver::SetBlend(int) {}
void TGLDraw2DDriver::SetAlpha(float) {}
void TGLDraw2DDriver::SetColor(int, int, int) {}
void TGLDraw2DDriver::SetClsColor(int, int, int) {}
void TGLDraw2DDriver::SetViewport(int, int, int, int) {}
void TGLDraw2DDriver::SetTransform(float, float, float, float) {}
void TGLDraw2DDriver::SetLineWidth(float) {}
void TGLDraw2DDriver::Plot(float, float) {}
void TGLDraw2DDriver::DrawLine(float, float, float, float, float, float) {}
void TGLDraw2DDriver::DrawRect(float, float, float, float, float, float) {}
void TGLDraw2DDriver::DrawOval(float, float, float, float, float, float) {}
void TGLDraw2DDriver::DrawPoly(const std::vector<float>&, float, float, float, float) {}
void TGLDraw2DDriver::DrawPixmap(const Ref<TPixmap>&, int, int) {}
Ref<TPixmap> TGLDraw2DDriver::GrabPixmap(int, int, int, int) { return nullptr; }

void TGLDraw2DDriver::ResetGLContext(const Ref<TGraphics>& graphics) {
  int w = 0, h = 0, d = 0, hz = 0, f = 0;
  graphics->GetSettings(w, h, d, hz, f);
  _blend_mode = -1;
  _bound_texture = 0;
  _bind_known = false;
  _texture_enabled = false;
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, w, h);
}
