#include "tests/support/gl_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace {

int g_errors = 0;
int CountError(Display*, XErrorEvent*) {
  ++g_errors;
  return 0;
}

}  // namespace

TProbeDisplay::TProbeDisplay(const char* name) { display_ = XOpenDisplay(name); }

TProbeDisplay::~TProbeDisplay() {
  if (display_) XCloseDisplay(display_);
}

std::string TProbeDisplay::WindowName(unsigned long window) {
  if (!display_) return {};
  char* name = nullptr;
  std::string out;
  auto old = XSetErrorHandler(CountError);
  if (XFetchName(display_, window, &name) && name) {
    out = name;
    XFree(name);
  }
  XSync(display_, False);
  XSetErrorHandler(old);
  return out;
}

bool TProbeDisplay::WindowSize(unsigned long window, int* width, int* height, bool* viewable) {
  if (!display_) return false;
  auto old = XSetErrorHandler(CountError);
  g_errors = 0;
  XWindowAttributes wa;
  Status ok = XGetWindowAttributes(display_, window, &wa);
  XSync(display_, False);
  XSetErrorHandler(old);
  if (!ok || g_errors) return false;
  if (width) *width = wa.width;
  if (height) *height = wa.height;
  if (viewable) *viewable = wa.map_state == IsViewable;
  return true;
}

std::vector<unsigned long> TProbeDisplay::ViewableWindowsNamed(const std::string& name) {
  std::vector<unsigned long> out;
  if (!display_) return out;
  XSync(display_, False);
  Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return out;
  for (unsigned int i = 0; i < count; ++i) {
    bool viewable = false;
    if (WindowSize(children[i], nullptr, nullptr, &viewable) && viewable &&
        WindowName(children[i]) == name)
      out.push_back(children[i]);
  }
  if (children) XFree(children);
  return out;
}

bool PumpUntil(const std::function<bool()>& poll, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (poll()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
