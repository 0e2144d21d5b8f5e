// Front operations over the current TDraw2DGraphics: state is stored as given and
// passed on to the driver, which clamps what GL needs clamped.
#include "draw2d/draw.h"

#include <cmath>

#include "draw2d/draw2d_graphics.h"
#include "draw2d/image_font.h"

namespace {

// One Ref per call: the state cannot vanish under an operation that flips.
Ref<TDraw2DGraphics> G() { return TDraw2DGraphics::Current(); }

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

void SetColor(int red, int green, int blue) {
  auto g = G();
  if (!g) return;
  g->color_red = red;
  g->color_green = green;
  g->color_blue = blue;
  if (g->_driver) g->_driver->SetColor(red, green, blue);
}

void GetColor(int& red, int& green, int& blue) {
  auto g = G();
  red = g ? g->color_red : 255;
  green = g ? g->color_green : 255;
  blue = g ? g->color_blue : 255;
}

void SetClsColor(int red, int green, int blue) {
  auto g = G();
  if (!g) return;
  g->clscolor_red = red;
  g->clscolor_green = green;
  g->clscolor_blue = blue;
  if (g->_driver) g->_driver->SetClsColor(red, green, blue);
}

void GetClsColor(int& red, int& green, int& blue) {
  auto g = G();
  red = g ? g->clscolor_red : 0;
  green = g ? g->clscolor_green : 0;
  blue = g ? g->clscolor_blue : 0;
}

void SetAlpha(float alpha) {
  auto g = G();
  if (!g) return;
  g->color_alpha = alpha;
  if (g->_driver) g->_driver->SetAlpha(alpha);
}

float GetAlpha() {
  auto g = G();
  return g ? g->color_alpha : 1.0f;
}

void SetBlend(int mode) {
  auto g = G();
  if (!g) return;
  g->blend_mode = mode;
  if (g->_driver) g->_driver->SetBlend(mode);
}

int GetBlend() {
  auto g = G();
  return g ? g->blend_mode : 1;
}

void SetLineWidth(float width) {
  auto g = G();
  if (!g) return;
  g->line_width = width;
  if (g->_driver) g->_driver->SetLineWidth(width);
}

float GetLineWidth() {
  auto g = G();
  return g ? g->line_width : 1.0f;
}

void SetScale(float scale_x, float scale_y) {
  auto g = G();
  if (!g) return;
  g->tform_scale_x = scale_x;
  g->tform_scale_y = scale_y;
  UpdateTransform(*g);
}

void GetScale(float& scale_x, float& scale_y) {
  auto g = G();
  scale_x = g ? g->tform_scale_x : 1.0f;
  scale_y = g ? g->tform_scale_y : 1.0f;
}

void SetRotation(float degrees) {
  auto g = G();
  if (!g) return;
  g->tform_rot = degrees;
  UpdateTransform(*g);
}

float GetRotation() {
  auto g = G();
  return g ? g->tform_rot : 0.0f;
}

void SetTransform(float degrees, float scale_x, float scale_y) {
  auto g = G();
  if (!g) return;
  g->tform_rot = degrees;
  g->tform_scale_x = scale_x;
  g->tform_scale_y = scale_y;
  UpdateTransform(*g);
}

void SetViewport(int x, int y, int width, int height) {
  auto g = G();
  if (!g) return;
  g->viewport_x = x;
  g->viewport_y = y;
  g->viewport_w = width;
  g->viewport_h = height;
  if (g->_driver) g->_driver->SetViewport(x, y, width, height);
}

void GetViewport(int& x, int& y, int& width, int& height) {
  auto g = G();
  x = g ? g->viewport_x : 0;
  y = g ? g->viewport_y : 0;
  width = g ? g->viewport_w : 0;
  height = g ? g->viewport_h : 0;
}

void SetOrigin(float x, float y) {
  auto g = G();
  if (!g) return;
  g->origin_x = x;
  g->origin_y = y;
}

void GetOrigin(float& x, float& y) {
  auto g = G();
  x = g ? g->origin_x : 0.0f;
  y = g ? g->origin_y : 0.0f;
}

void SetHandle(float x, float y) {
  auto g = G();
  if (!g) return;
  g->handle_x = -x;
  g->handle_y = -y;
}

void GetHandle(float& x, float& y) {
  auto g = G();
  x = g ? -g->handle_x : 0.0f;
  y = g ? -g->handle_y : 0.0f;
}

void SetImageFont(const Ref<TImageFont>& font) {
  auto g = G();
  if (!g) return;
  g->image_font = font ? font : DefaultImageFont();
}

Ref<TImageFont> GetImageFont() {
  auto g = G();
  return g && g->image_font ? g->image_font : DefaultImageFont();
}

void Cls() {
  auto g = G();
  if (g && g->_driver) g->_driver->Cls();
}

void Plot(float x, float y) {
  auto g = G();
  if (g && g->_driver) g->_driver->Plot(x + g->origin_x, y + g->origin_y);
}

void DrawRect(float x, float y, float width, float height) {
  auto g = G();
  if (!g || !g->_driver) return;
  const float hx = g->handle_x, hy = g->handle_y;
  g->_driver->DrawRect(hx, hy, hx + width, hy + height, x + g->origin_x, y + g->origin_y);
}

void DrawLine(float x0, float y0, float x1, float y1) {
  auto g = G();
  if (!g || !g->_driver) return;
  const float hx = g->handle_x, hy = g->handle_y;
  g->_driver->DrawLine(hx, hy, x1 - x0 + hx, y1 - y0 + hy, x0 + g->origin_x, y0 + g->origin_y);
}

void DrawOval(float x, float y, float width, float height) {
  auto g = G();
  if (!g || !g->_driver) return;
  const float hx = g->handle_x, hy = g->handle_y;
  g->_driver->DrawOval(hx, hy, hx + width, hy + height, x + g->origin_x, y + g->origin_y);
}

void DrawPoly(const std::vector<float>& points) {
  auto g = G();
  if (!g || !g->_driver || points.size() < 6) return;
  g->_driver->DrawPoly(points, g->handle_x, g->handle_y, g->origin_x, g->origin_y);
}

void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) {
  auto g = G();
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
