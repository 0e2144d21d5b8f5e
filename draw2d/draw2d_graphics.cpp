// TDraw2DGraphics: the drawing state of one graphics object around the driver's
// TGraphics, and the current object/driver of the drawing layer.
#include "draw2d/draw2d_graphics.h"

#include "draw2d/draw.h"
#include "draw2d/image_font.h"

namespace {

struct TDraw2DState {
  Ref<TDraw2DGraphics> current;
};

TDraw2DState& S() {
  static TDraw2DState* s = new TDraw2DState;
  return *s;
}

}  // namespace

Ref<TGraphicsDriver> TDraw2DGraphics::Driver() { return _driver; }

void TDraw2DGraphics::GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) {
  if (_graphics) {
    _graphics->GetSettings(width, height, depth, hertz, flags);
  } else {
    width = height = depth = hertz = flags = 0;
  }
}

void TDraw2DGraphics::Close() {
  // Queued drawing goes to this window while its context is still there.
  if (S().current.get() == this && _driver) _driver->FlushDrawing();
  if (S().current.get() == this) ClearCurrent();
  if (_graphics) _graphics->Close();
  _graphics = nullptr;
  _driver = nullptr;
}

void TDraw2DGraphics::Validate() {
  // Through the front operations, so the driver receives every value (this object
  // is current here). Copies first: each setter writes the field it reads.
  const int blend = blend_mode;
  const int r = color_red, g = color_green, b = color_blue;
  const float alpha = color_alpha;
  const int cr = clscolor_red, cg = clscolor_green, cb = clscolor_blue;
  const float lw = line_width, rot = tform_rot, sx = tform_scale_x, sy = tform_scale_y;
  const int vx = viewport_x, vy = viewport_y, vw = viewport_w, vh = viewport_h;
  const float ox = origin_x, oy = origin_y, hx = handle_x, hy = handle_y;
  const Ref<TImageFont> font = image_font;
  ::SetBlend(blend);
  ::SetColor(r, g, b);
  ::SetAlpha(alpha);
  ::SetClsColor(cr, cg, cb);
  ::SetLineWidth(lw);
  ::SetRotation(rot);
  ::SetScale(sx, sy);
  ::SetViewport(vx, vy, vw, vh);
  ::SetOrigin(ox, oy);
  ::SetHandle(-hx, -hy);
  ::SetImageFont(font);
}

void TDraw2DGraphics::MakeCurrent() {
  TDraw2DState& s = S();
  s.current = _self.lock();
  SetCurrentDraw2DDriver(_driver.get());
  if (!_setup && viewport_w == 0 && viewport_h == 0) {
    // A foreign window's size is known only once it was selected.
    int w = 0, h = 0, d = 0, hz = 0, f = 0;
    GetSettings(w, h, d, hz, f);
    viewport_w = w;
    viewport_h = h;
  }
  Validate();
  if (!_setup && _driver) {
    _driver->Cls();
    _driver->Flip(0);
    _driver->Cls();
    _driver->Flip(0);
    _setup = 1;
  }
}

void TDraw2DGraphics::ClearCurrent() {
  S().current = nullptr;
  SetCurrentDraw2DDriver(nullptr);
}

const Ref<TDraw2DGraphics>& TDraw2DGraphics::Current() { return S().current; }

Ref<TDraw2DGraphics> TDraw2DGraphics::Create(const Ref<TGraphics>& graphics,
                                             const Ref<TDraw2DDriver>& driver) {
  auto g = std::make_shared<TDraw2DGraphics>();
  int w = 0, h = 0, d = 0, hz = 0, f = 0;
  if (graphics) graphics->GetSettings(w, h, d, hz, f);
  g->viewport_w = w;
  g->viewport_h = h;
  g->_graphics = graphics;
  g->_driver = driver;
  g->_self = g;
  g->image_font = DefaultImageFont();  // made on first use, shared by all
  return g;
}
