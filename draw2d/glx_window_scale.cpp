// The window scale from the X resource database or the environment, and fitting
// the drawing space into a window.
#include "draw2d/glx_window_scale.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The factor the desktop asks for, before fitting; 0 when nothing says.
int DesktopFactor(Display* d) {
  if (const char* env = std::getenv("TESSOLINO_SCALE")) {
    const int n = std::atoi(env);
    if (n >= 1 && n <= 4) return -n;  // negative: given, not fitted
  }
  const char* resources = XResourceManagerString(d);
  if (!resources) return 0;
  XrmInitialize();
  XrmDatabase db = XrmGetStringDatabase(resources);
  if (!db) return 0;
  char* type = nullptr;
  XrmValue value{};
  int n = 0;
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
    n = int(std::strtod(value.addr, nullptr) / 96.0);
  }
  XrmDestroyDatabase(db);
  return n;
}

}  // namespace

int WindowScaleFor(Display* d, int width, int height) {
  static const int desktop = d ? DesktopFactor(d) : 0;
  if (desktop < 0) return -desktop;
  int n = std::clamp(desktop, 1, 4);
  if (!d || width <= 0 || height <= 0) return n;
  const int sw = DisplayWidth(d, DefaultScreen(d)), sh = DisplayHeight(d, DefaultScreen(d));
  while (n > 1 && (width * n > sw || height * n > sh)) --n;
  return n;
}

TPixelView FitPixelView(int width, int height, int window_w, int window_h) {
  TPixelView v;
  v.width = width;
  v.height = height;
  v.window_w = window_w;
  v.window_h = window_h;
  if (width <= 0 || height <= 0 || window_w <= 0 || window_h <= 0) return v;
  v.scale = std::min(float(window_w) / float(width), float(window_h) / float(height));
  v.x = int((float(window_w) - float(width) * v.scale) / 2.0f);
  v.y = int((float(window_h) - float(height) * v.scale) / 2.0f);
  return v;
}
