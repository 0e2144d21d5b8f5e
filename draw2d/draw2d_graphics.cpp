// TDraw2DGraphics: the drawing state of one graphics object around the driver's
// TGraphics, and the current object/driver of the drawing layer.
#include "draw2d/draw2d_graphics.h"

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
  if (S().current.get() == this) ClearCurrent();
  if (_graphics) _graphics->Close();
  _graphics = nullptr;
  _driver = nullptr;
}

void TDraw2DGraphics::Validate() {}

void TDraw2DGraphics::MakeCurrent() {
  TDraw2DState& s = S();
  s.current = _self.lock();
  SetCurrentDraw2DDriver(_driver.get());
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

Ref<TDraw2DGraphics> TDraw2DGraphics::Current() { return S().current; }

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
  return g;
}
