// Front operations over the current TDraw2DGraphics: state is stored as given and
// passed on to the driver, which clamps what GL needs clamped.
#include "draw2d/draw.h"

#include <cmath>

#include "draw2d/draw2d_graphics.h"
#include "draw2d/image_font.h"

namespace {

// One Ref per call: the state cannot vanish under an operation that flips.
Ref<TDraw2DGraphics> G() { return TDraw2DGraphics::Current(); }

// For operations that only hand values to the driver: none of them switches or
// closes graphics, so they take no reference (a board sets alpha twice a tile).
TDraw2DGraphics* Now() { return TDraw2DGraphics::Current().get(); }

// For getters: the current state or, with none selected, one of initial values.
Ref<TDraw2DGraphics> StateOrInitial() {
  static const auto* initial = new Ref<TDraw2DGraphics>(std::make_shared<TDraw2DGraphics>());
  Ref<TDraw2DGraphics> g = G();
  return g ? g : *initial;
}

// For setters that the driver hears of: `store` writes the current state, then
// `apply` passes the value to its driver. Nothing happens with no state selected.
template <class Store, class Apply>
void Set(Store store, Apply apply) {
  TDraw2DGraphics* g = Now();
  if (!g) return;
  store(*g);
  if (g->_driver) apply(*g->_driver);
}

// The state's two colours, drawing and clearing: their fields and the driver
// operation that applies them.
struct TColourFields {
  int TDraw2DGraphics::*red;
  int TDraw2DGraphics::*green;
  int TDraw2DGraphics::*blue;
  void (TDraw2DDriver::*apply)(int, int, int);
};
const TColourFields kDrawColour{&TDraw2DGraphics::color_red, &TDraw2DGraphics::color_green,
                                &TDraw2DGraphics::color_blue, &TDraw2DDriver::SetColor};
const TColourFields kClsColour{&TDraw2DGraphics::clscolor_red, &TDraw2DGraphics::clscolor_green,
                               &TDraw2DGraphics::clscolor_blue, &TDraw2DDriver::SetClsColor};

void SetColour(const TColourFields& c, int red, int green, int blue) {
  Set(
      [&](TDraw2DGraphics& g) {
        g.*c.red = red;
        g.*c.green = green;
        g.*c.blue = blue;
      },
      [&](TDraw2DDriver& d) { (d.*c.apply)(red, green, blue); });
}

void GetColour(const TColourFields& c, int& red, int& green, int& blue) {
  const Ref<TDraw2DGraphics> g = StateOrInitial();
  red = (*g).*c.red;
  green = (*g).*c.green;
  blue = (*g).*c.blue;
}

void UpdateTransform(TDraw2DGraphics& g) {
  const double rad = double(g.tform_rot) * 3.14159265358979323846 / 180.0;
  const float s = float(std::sin(rad)), c = float(std::cos(rad));
  g.tform_ix = c * g.tform_scale_x;
  g.tform_iy = -s * g.tform_scale_y;
  g.tform_jx = s * g.tform_scale_x;
  g.tform_jy = c * g.tform_scale_y;
  if (g._driver) g._driver->SetTransform(g.tform_ix, g.tform_iy, g.tform_jx, g.tform_jy);
}

}  // namespace

void SetColor(int red, int green, int blue) { SetColour(kDrawColour, red, green, blue); }
void GetColor(int& red, int& green, int& blue) { GetColour(kDrawColour, red, green, blue); }
void SetClsColor(int red, int green, int blue) { SetColour(kClsColour, red, green, blue); }
void GetClsColor(int& red, int& green, int& blue) { GetColour(kClsColour, red, green, blue); }

void SetAlpha(float alpha) {
  Set([&](TDraw2DGraphics& g) { g.color_alpha = alpha; },
      [&](TDraw2DDriver& d) { d.SetAlpha(alpha); });
}

float GetAlpha() { return StateOrInitial()->color_alpha; }

void SetBlend(int mode) {
  Set([&](TDraw2DGraphics& g) { g.blend_mode = mode; },
      [&](TDraw2DDriver& d) { d.SetBlend(mode); });
}

int GetBlend() { return StateOrInitial()->blend_mode; }

void SetLineWidth(float width) {
  Set([&](TDraw2DGraphics& g) { g.line_width = width; },
      [&](TDraw2DDriver& d) { d.SetLineWidth(width); });
}

float GetLineWidth() { return StateOrInitial()->line_width; }

void SetScale(float scale_x, float scale_y) {
  if (Ref<TDraw2DGraphics> g = G()) {
    g->tform_scale_x = scale_x;
    g->tform_scale_y = scale_y;
    UpdateTransform(*g);
  }
}

void GetScale(float& scale_x, float& scale_y) {
  const Ref<TDraw2DGraphics> g = StateOrInitial();
  scale_x = g->tform_scale_x;
  scale_y = g->tform_scale_y;
}

void SetRotation(float degrees) {
  if (Ref<TDraw2DGraphics> g = G()) {
    g->tform_rot = degrees;
    UpdateTransform(*g);
  }
}

float GetRotation() { return StateOrInitial()->tform_rot; }

void SetTransform(float degrees, float scale_x, float scale_y) {
  if (Ref<TDraw2DGraphics> g = G()) {
    g->tform_rot = degrees;
    g->tform_scale_x = scale_x;
    g->tform_scale_y = scale_y;
    UpdateTransform(*g);
  }
}

void SetViewport(int x, int y, int width, int height) {
  Set(
      [&](TDraw2DGraphics& g) {
        g.viewport_x = x;
        g.viewport_y = y;
        g.viewport_w = width;
        g.viewport_h = height;
      },
      [&](TDraw2DDriver& d) { d.SetViewport(x, y, width, height); });
}

void GetViewport(int& x, int& y, int& width, int& height) {
  const Ref<TDraw2DGraphics> g = StateOrInitial();
  x = g->viewport_x;
  y = g->viewport_y;
  width = g->viewport_w;
  height = g->viewport_h;
}

void SetOrigin(float x, float y) {
  if (Ref<TDraw2DGraphics> g = G()) {
    g->origin_x = x;
    g->origin_y = y;
  }
}

void GetOrigin(float& x, float& y) {
  const Ref<TDraw2DGraphics> g = StateOrInitial();
  x = g->origin_x;
  y = g->origin_y;
}

void SetHandle(float x, float y) {
  if (Ref<TDraw2DGraphics> g = G()) {
    g->handle_x = -x;
    g->handle_y = -y;
  }
}

void GetHandle(float& x, float& y) {
  const Ref<TDraw2DGraphics> g = StateOrInitial();
  x = -g->handle_x;
  y = -g->handle_y;
}

void SetImageFont(const Ref<TImageFont>& font) {
  if (Ref<TDraw2DGraphics> g = G()) g->image_font = font ? font : DefaultImageFont();
}

Ref<TImageFont> GetImageFont() {
  const Ref<TDraw2DGraphics> g = StateOrInitial();
  return g->image_font ? g->image_font : DefaultImageFont();
}

void Cls() {
  TDraw2DGraphics* g = Now();
  if (g && g->_driver) g->_driver->Cls();
}

void Plot(float x, float y) {
  TDraw2DGraphics* g = Now();
  if (g && g->_driver) g->_driver->Plot(x + g->origin_x, y + g->origin_y);
}

void DrawRect(float x, float y, float width, float height) {
  TDraw2DGraphics* g = Now();
  if (!g || !g->_driver) return;
  const float hx = g->handle_x, hy = g->handle_y;
  g->_driver->DrawRect(hx, hy, hx + width, hy + height, x + g->origin_x, y + g->origin_y);
}

void DrawLine(float x0, float y0, float x1, float y1) {
  TDraw2DGraphics* g = Now();
  if (!g || !g->_driver) return;
  const float hx = g->handle_x, hy = g->handle_y;
  g->_driver->DrawLine(hx, hy, x1 - x0 + hx, y1 - y0 + hy, x0 + g->origin_x, y0 + g->origin_y);
}

void DrawOval(float x, float y, float width, float height) {
  TDraw2DGraphics* g = Now();
  if (!g || !g->_driver) return;
  const float hx = g->handle_x, hy = g->handle_y;
  g->_driver->DrawOval(hx, hy, hx + width, hy + height, x + g->origin_x, y + g->origin_y);
}

void DrawPoly(const std::vector<float>& points) {
  TDraw2DGraphics* g = Now();
  if (!g || !g->_driver || points.size() < 6) return;
  g->_driver->DrawPoly(points, g->handle_x, g->handle_y, g->origin_x, g->origin_y);
}

void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) {
  TDraw2DGraphics* g = Now();
  if (g && g->_driver && pixmap) g->_driver->DrawPixmap(pixmap, x, y);
}

Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) {
  auto g = G();
  if (!g || !g->_driver) return nullptr;
  return g->_driver->GrabPixmap(x, y, width, height);
}

void DrawText(const std::u16string& text, float x, float y) {
  auto g = G();
  if (!g) return;
  Ref<TImageFont> font = g->image_font ? g->image_font : DefaultImageFont();
  if (!font) return;
  const float hx = g->handle_x, hy = g->handle_y;
  const float ix = g->tform_ix, iy = g->tform_iy, jx = g->tform_jx, jy = g->tform_jy;
  font->Draw(text, x + g->origin_x + hx * ix + hy * iy, y + g->origin_y + hx * jx + hy * jy, ix,
             iy, jx, jy);
}

int TextWidth(const std::u16string& text) {
  Ref<TImageFont> font = GetImageFont();
  return font ? font->TextWidth(text) : 0;
}

int TextHeight(const std::u16string&) {
  Ref<TImageFont> font = GetImageFont();
  return font ? font->Height() : 0;
}
