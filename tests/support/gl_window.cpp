#include "tests/support/gl_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstring>
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

std::pair<std::string, std::string> TProbeDisplay::WindowClass(unsigned long window) {
  std::pair<std::string, std::string> out;
  if (!display_) return out;
  XClassHint hint = {};
  auto old = XSetErrorHandler(CountError);
  if (XGetClassHint(display_, window, &hint)) {
    if (hint.res_name) out.first = hint.res_name;
    if (hint.res_class) out.second = hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  XSync(display_, False);
  XSetErrorHandler(old);
  return out;
}

namespace {

// The whole property if it has this type and format; Xlib hands 32-bit items over as longs.
std::vector<unsigned char> RawProperty(Display* d, Window w, const char* name, Atom type, int format,
                                       unsigned long* items) {
  std::vector<unsigned char> out;
  Atom actual = 0;
  int actual_format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  auto old = XSetErrorHandler(CountError);
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 24, False, type, &actual, &actual_format,
                         &count, &after, &data) == Success &&
      data && actual == type && actual_format == format) {
    const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
    out.assign(data, data + count * unit);
    *items = count;
  }
  if (data) XFree(data);
  XSync(d, False);
  XSetErrorHandler(old);
  return out;
}

}  // namespace

std::string TProbeDisplay::TextProperty(unsigned long window, const char* name, const char* type) {
  if (!display_) return {};
  unsigned long n = 0;
  auto raw = RawProperty(display_, window, name, XInternAtom(display_, type, False), 8, &n);
  return std::string(raw.begin(), raw.end());
}

std::vector<uint32_t> TProbeDisplay::CardinalProperty(unsigned long window, const char* name) {
  if (!display_) return {};
  unsigned long n = 0;
  auto raw = RawProperty(display_, window, name, XA_CARDINAL, 32, &n);
  std::vector<uint32_t> out(n);
  for (unsigned long i = 0; i < n; ++i) {
    long item = 0;
    std::memcpy(&item, raw.data() + i * sizeof item, sizeof item);
    out[i] = static_cast<uint32_t>(item);
  }
  return out;
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
