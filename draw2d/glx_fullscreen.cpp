// Full screen through the window manager (_NET_WM_STATE_FULLSCREEN, no video mode
// switch), the keys that toggle it, and following the size the window manager
// gives the window: the drawing space is fitted into it with bars around.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "draw2d/glx_graphics.h"
#include "platform/event.h"
#include "platform/hook.h"
#include "platform/system.h"

namespace {

constexpr int kKeyReturn = 13, kKeyF11 = 122, kKeyAlt = 164, kKeyAltGr = 165;

struct TFullScreenState {
  bool keys = false;
  bool alt = false;
  bool hooked = false;
};

TFullScreenState& S() {
  static TFullScreenState s;
  return s;
}

// Asks the window manager to add or remove the full-screen state of the window.
void SendState(Display* d, Window w, bool on) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = on ? 1 : 0;  // add, remove
  ev.xclient.data.l[1] = long(XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False));
  ev.xclient.data.l[3] = 1;  // from an application
  XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

// The size the window manager gave the input window: the drawing space is fitted in.
// Back in its own size after full screen, the window keeps that size again.
void FollowSize() {
  TGLContextRecord* r = GLCurrentRecord();
  if (!r || r->kind != 2) return;
  // Asked of the server rather than taken from the notice: a window manager also
  // announces a size before it gives it, and keeping the size from then on would
  // turn its resize away and leave the window at screen size.
  XWindowAttributes a{};
  if (!XGetWindowAttributes(SystemDisplay(), r->window, &a)) return;
  const int width = a.width, height = a.height;
  if (width <= 0 || height <= 0) return;
  const int scale = int(r->windowed_scale);
  if (!r->full_screen && width == r->width * scale && height == r->height * scale) {
    XSelectInput(SystemDisplay(), r->window, kWindowInputMask | ResizeRedirectMask);
  }
  if (width == r->view.window_w && height == r->view.window_h) return;
  r->view = FitPixelView(r->width, r->height, width, height);
  SetPointerView(r->view.scale, r->view.x, r->view.y);
}

Ref<TObject> WindowHook(int, Ref<TObject> data, Ref<TObject>) {
  auto ev = std::dynamic_pointer_cast<TEvent>(data);
  if (!ev) return data;
  TFullScreenState& s = S();
  switch (ev->id) {
    case EVENT_WINDOWSIZE:
      FollowSize();
      break;
    case EVENT_KEYDOWN:
    case EVENT_KEYUP:
      if (ev->data == kKeyAlt || ev->data == kKeyAltGr) s.alt = ev->id == EVENT_KEYDOWN;
      if (s.keys && ev->id == EVENT_KEYDOWN && (ev->data == kKeyF11 || (s.alt && ev->data == kKeyReturn))) {
        SetFullScreen(!FullScreen());
        return nullptr;  // not a key of the game's
      }
      break;
    default:
      break;
  }
  return data;
}

}  // namespace

void ListenForWindowSize() {
  if (S().hooked) return;
  S().hooked = true;
  AddHook(EmitEventHook(), &WindowHook, nullptr, 1);  // before the polled input
}

void FullScreenKeys(bool on) {
  ListenForWindowSize();
  S().keys = on;
}

bool FullScreen() {
  const TGLContextRecord* r = GLCurrentRecord();
  return r && r->kind == 2 && r->full_screen;
}

void SetFullScreen(bool on) {
  TGLContextRecord* r = GLCurrentRecord();
  Display* d = SystemDisplay();
  if (!r || r->kind != 2 || !r->open || !d || on == r->full_screen) return;
  ListenForWindowSize();
  r->full_screen = on;
  if (on) {
    // The window manager may now size the window; in a window it keeps its size.
    XSelectInput(d, r->window, kWindowInputMask);
    SendState(d, r->window, true);
  } else {
    // Sizes stay the window manager's to make until the window has its own again.
    SendState(d, r->window, false);
    const int scale = int(r->windowed_scale);
    XResizeWindow(d, r->window, unsigned(r->width * scale), unsigned(r->height * scale));
  }
  XFlush(d);
}
