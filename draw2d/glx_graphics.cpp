// The GLX graphics driver: windows and contexts through Xlib and GLX, the hidden
// shared context and buffer swaps. Leans on the system driver for the display, the
// input window and the pump, and on the video-mode module for full screen.
#include "draw2d/glx_graphics.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "draw2d/glx_video_mode.h"
#include "draw2d/glx_window_name.h"
#include "platform/app.h"
#include "platform/system.h"

const long kWindowInputMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                              PointerMotionMask | ExposureMask | StructureNotifyMask;

namespace {

using TSwapIntervalSGI = int (*)(int);
using TCopySubBufferMESA = void (*)(Display*, GLXDrawable, int, int, int, int);

struct TGLXState {
  bool started = false;
  bool exit_handler = false;
  Display* display = nullptr;
  int screen = 0;
  bool vidmode = false;
  TSwapIntervalSGI swap_interval = nullptr;
  TCopySubBufferMESA copy_sub_buffer = nullptr;
  Atom wm_protocols = 0;
  Atom wm_delete = 0;
  // Records.
  TGLContextRecord* current = nullptr;
  TGLContextRecord* shared = nullptr;
  TGLContextRecord* last_selected = nullptr;
  unsigned long input_window = 0;
  std::set<GLXContext> live_contexts;
  TWindowCheck window_check = nullptr;
  // Pending guard of SwapSharedContext's paired calls.
  TSharedContextGuard* swap_guard = nullptr;
};

// Never destroyed: exit handlers and late texture deletions may still reach it.
TGLXState& S() {
  static TGLXState* s = new TGLXState;
  return *s;
}

// Catches X errors of the requests made during its lifetime instead of letting the
// default handler end the process (a foreign window id may be stale, a visual may
// be refused). The display is synchronised on entry and exit.
class TXErrorTrap {
 public:
  explicit TXErrorTrap(Display* d) : display_(d) {
    XSync(display_, False);
    failed_ = false;
    previous_ = XSetErrorHandler(Handler);
  }
  ~TXErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  bool Failed() {
    XSync(display_, False);
    return failed_;
  }

 private:
  static int Handler(Display*, XErrorEvent*) {
    failed_ = true;
    return 0;
  }
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*);
  static inline bool failed_ = false;
};

// Restores the mode even when the program leaves without End (a test, a return
// from main): a switched desktop must never outlive the program.
void RestoreVideoModeAtExit() { RestoreVideoMode(); }

bool Start() {
  TGLXState& s = S();
  if (s.started) return true;
  Display* d = SystemDisplay();
  if (!d) return false;
  int major = 0, minor = 0;
  if (!glXQueryVersion(d, &major, &minor)) return false;
  s.display = d;
  s.screen = DefaultScreen(d);
  s.vidmode = QueryVideoModeExtension(d);
  const char* ext = glXQueryExtensionsString(d, s.screen);
  if (ext && std::strstr(ext, "GLX_SGI_swap_control")) {
    s.swap_interval = reinterpret_cast<TSwapIntervalSGI>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalSGI")));
  }
  if (ext && std::strstr(ext, "GLX_MESA_copy_sub_buffer")) {
    s.copy_sub_buffer = reinterpret_cast<TCopySubBufferMESA>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
  }
  s.wm_protocols = XInternAtom(d, "WM_PROTOCOLS", False);
  s.wm_delete = XInternAtom(d, "WM_DELETE_WINDOW", False);
  if (!s.exit_handler) {
    s.exit_handler = true;
    AddExitHandler(CloseGLGraphicsDriver);
    std::atexit(RestoreVideoModeAtExit);
  }
  s.started = true;
  return true;
}

Bool IsMapNotifyOf(Display*, XEvent* ev, XPointer arg) {
  return ev->type == MapNotify && ev->xmap.window == reinterpret_cast<Window>(arg);
}

// Frees everything a record holds and marks it closed; the memory stays with its owner.
void ReleaseRecord(TGLContextRecord* r) {
  TGLXState& s = S();
  if (!r || !r->open) return;
  Display* d = s.display;
  r->open = false;
  if (s.swap_guard) {  // an unpaired SwapSharedContext must not outlive the record
    delete s.swap_guard;
    s.swap_guard = nullptr;
  }
  if (r == s.current || (r->context && glXGetCurrentContext() == r->context)) {
    glXMakeCurrent(d, None, nullptr);
  }
  if (r == s.current) s.current = nullptr;
  if (r == s.last_selected) s.last_selected = nullptr;
  if (r == s.shared) s.shared = nullptr;
  if (r->context) {
    s.live_contexts.erase(r->context);
    glXDestroyContext(d, r->context);
    r->context = nullptr;
  }
  if (r->window && r->window == s.input_window) {
    SetInputWindow(0);
    s.input_window = 0;
  }
  if (r->kind == 3) {
    XUngrabPointer(d, CurrentTime);
    XUngrabKeyboard(d, CurrentTime);
  }
  if (r->window && r->kind != 1) XDestroyWindow(d, r->window);
  r->window = 0;
  if (r->colormap) XFreeColormap(d, r->colormap);
  r->colormap = 0;
  if (r->visual_info) XFree(r->visual_info);
  r->visual_info = nullptr;
  if (r->kind == 3) RestoreVideoMode();
  XFlush(d);
}

// Gives up a record that could not be completed: whatever it holds is freed, and
// for full screen the grabs are released and the mode restored.
TGLContextRecord* Discard(TGLContextRecord* r) {
  ReleaseRecord(r);
  delete r;
  return nullptr;
}

GLXContext ShareList() { return S().shared ? S().shared->context : nullptr; }

TGLContextRecord* CreateRecord(int width, int height, int depth, int hertz, int flags);

bool EnsureShared() {
  TGLXState& s = S();
  if (s.shared) return true;
  s.shared = CreateRecord(0, 0, 0, 0, 0);
  return s.shared != nullptr;
}

// The visual for the graphics flags: RGBA, then the buffers the flags ask for.
XVisualInfo* ChooseVisual(int flags) {
  int attrs[16];
  int n = 0;
  attrs[n++] = GLX_RGBA;
  if (flags & 2) attrs[n++] = GLX_DOUBLEBUFFER;
  if (flags & 4) attrs[n++] = GLX_ALPHA_SIZE, attrs[n++] = 1;
  if (flags & 8) attrs[n++] = GLX_DEPTH_SIZE, attrs[n++] = 1;
  if (flags & 16) attrs[n++] = GLX_STENCIL_SIZE, attrs[n++] = 1;
  if (flags & 32) {
    for (int a : {GLX_ACCUM_RED_SIZE, GLX_ACCUM_GREEN_SIZE, GLX_ACCUM_BLUE_SIZE, GLX_ACCUM_ALPHA_SIZE})
      attrs[n++] = a, attrs[n++] = 1;
  }
  attrs[n] = None;
  return glXChooseVisual(S().display, S().screen, attrs);
}

// The record's window at (0, 0) in its size, on the root window, with a colormap
// of its own for the visual and border 0, plus the attributes `swa` and `mask` add.
bool CreateRecordWindow(TGLContextRecord* r, XSetWindowAttributes& swa, unsigned long mask) {
  TGLXState& s = S();
  const auto* vi = static_cast<XVisualInfo*>(r->visual_info);
  const Window root = RootWindow(s.display, s.screen);
  r->colormap = XCreateColormap(s.display, root, vi->visual, AllocNone);
  swa.border_pixel = 0;
  swa.colormap = r->colormap;
  r->window = XCreateWindow(s.display, root, 0, 0, static_cast<unsigned>(r->view.window_w),
                            static_cast<unsigned>(r->view.window_h), 0, vi->depth, InputOutput,
                            vi->visual, mask | CWBorderPixel | CWColormap, &swa);
  return r->window != 0;
}

// The window takes the desktop's scale: width x height units, each scale pixels wide.
bool CreateWindowed(TGLContextRecord* r, int width, int height, int scale) {
  r->kind = 2;
  r->width = width;
  r->height = height;
  if (width <= 0 || height <= 0) return false;
  r->view = FitPixelView(width, height, width * scale, height * scale);
  r->windowed_scale = float(scale);
  XSetWindowAttributes swa = {};
  swa.event_mask = StructureNotifyMask | ResizeRedirectMask;
  return CreateRecordWindow(r, swa, CWEventMask);
}

// Switches the video mode first; the window then covers the mode's size.
bool CreateFullScreen(TGLContextRecord* r, int width, int height, int hertz) {
  TGLXState& s = S();
  if (!SwitchVideoMode(s.display, s.screen, width, height, hertz, r->width, r->height)) return false;
  r->view = FitPixelView(r->width, r->height, r->width, r->height);
  r->kind = 3;  // from here on, discarding the record restores the mode
  XSetWindowAttributes swa = {};
  swa.override_redirect = True;
  swa.event_mask = StructureNotifyMask | ResizeRedirectMask | FocusChangeMask;
  return CreateRecordWindow(r, swa, CWOverrideRedirect | CWEventMask);
}

// The record's context, from its visual, sharing textures with `share` (may be null).
bool CreateContext(TGLContextRecord* r, GLXContext share, TXErrorTrap& trap) {
  TGLXState& s = S();
  r->context = glXCreateContext(s.display, static_cast<XVisualInfo*>(r->visual_info), share, True);
  if (!r->context || trap.Failed()) {
    if (r->context) glXDestroyContext(s.display, r->context);
    r->context = nullptr;
    return false;
  }
  s.live_contexts.insert(r->context);
  return true;
}

// Maps the window (full screen: grabbing pointer and keyboard), makes its context
// current, waits until it is mapped, then selects the input the system driver
// translates and makes it the input window.
void ShowWindow(TGLContextRecord* r, bool full) {
  TGLXState& s = S();
  Display* d = s.display;
  // The window's close button becomes an AppTerminate event in the system driver.
  Atom protocols[1] = {s.wm_delete};
  XSetWMProtocols(d, r->window, protocols, 1);
  XMapRaised(d, r->window);
  if (full) {
    XWarpPointer(d, None, r->window, 0, 0, 0, 0, 0, 0);
    XGrabKeyboard(d, r->window, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    XGrabPointer(d, r->window, True, ButtonPressMask, GrabModeAsync, GrabModeAsync, r->window,
                 None, CurrentTime);
  }
  glXMakeCurrent(d, r->window, r->context);
  XEvent ev;
  XIfEvent(d, &ev, IsMapNotifyOf, reinterpret_cast<XPointer>(r->window));
  // Exposures and the window manager's changes make the next frame draw even when
  // it equals the one shown before.
  XSelectInput(d, r->window, kWindowInputMask | ResizeRedirectMask);
  SetInputWindow(r->window);
  SetPointerView(r->view.scale, r->view.x, r->view.y);
  s.input_window = r->window;
}

// Width and height 0 make the hidden shared record (100 x 100, never mapped); any
// other record shares its textures. depth non-zero asks for full screen.
TGLContextRecord* CreateRecord(int width, int height, int depth, int hertz, int flags) {
  TGLXState& s = S();
  if (!Start()) return nullptr;
  const bool is_shared = width == 0 && height == 0;
  if (!is_shared && !EnsureShared()) return nullptr;
  const bool full = !is_shared && depth != 0;
  if (full && (!s.vidmode || VideoModeSwitched())) return nullptr;
  XVisualInfo* vi = ChooseVisual(flags);
  if (!vi) return nullptr;

  auto* r = new TGLContextRecord;
  r->open = true;
  r->visual_info = vi;
  r->hertz = hertz;
  r->flags = flags;
  TXErrorTrap trap(s.display);
  const int scale = is_shared ? 1 : WindowScaleFor(s.display, width, height);
  const bool made = full ? CreateFullScreen(r, width, height, hertz)
                         : CreateWindowed(r, is_shared ? 100 : width, is_shared ? 100 : height, scale);
  if (!made || trap.Failed()) return Discard(r);
  if (!CreateContext(r, is_shared ? nullptr : ShareList(), trap)) return Discard(r);
  NameWindow(s.display, r->window);
  if (!is_shared) ShowWindow(r, full);
  const bool refused = !is_shared && s.window_check && !s.window_check();
  if (trap.Failed() || refused) return Discard(r);
  SystemPump();
  return r;
}

// The size of a window, through an X geometry query; false for a window that is gone.
bool QueryWindowSize(Window window, int& width, int& height) {
  Display* d = S().display;
  TXErrorTrap trap(d);
  Window root = 0;
  int x = 0, y = 0;
  unsigned int w = 0, h = 0, border = 0, depth = 0;
  if (!XGetGeometry(d, window, &root, &x, &y, &w, &h, &border, &depth) || trap.Failed()) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

// A foreign window gets its context on first selection, from its own visual.
bool PrepareAttached(TGLContextRecord* r) {
  TGLXState& s = S();
  Display* d = s.display;
  if (!QueryWindowSize(r->window, r->width, r->height)) return false;
  r->view = FitPixelView(r->width, r->height, r->width, r->height);
  if (r->context) return true;
  if (!EnsureShared()) return false;
  TXErrorTrap trap(d);
  XWindowAttributes wa;
  if (!XGetWindowAttributes(d, r->window, &wa) || trap.Failed()) return false;
  XVisualInfo tmpl = {};
  tmpl.visualid = XVisualIDFromVisual(wa.visual);
  int count = 0;
  XVisualInfo* vi = XGetVisualInfo(d, VisualIDMask, &tmpl, &count);
  if (!vi) return false;
  r->visual_info = vi;
  if (CreateContext(r, ShareList(), trap)) return true;
  XFree(vi);
  r->visual_info = nullptr;
  return false;
}

}  // namespace

TGLGraphics::~TGLGraphics() { Close(); }

Ref<TGraphicsDriver> TGLGraphics::Driver() { return GLGraphicsDriver(); }

void TGLGraphics::GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) {
  if (!_context) {
    width = height = depth = hertz = flags = 0;
    return;
  }
  width = _context->width;
  height = _context->height;
  depth = _context->depth;
  hertz = _context->hertz;
  flags = _context->flags;
}

void TGLGraphics::Close() {
  if (!_context) return;
  ReleaseRecord(_context);
  delete _context;
  _context = nullptr;
}

std::vector<Ref<TGraphicsMode>> TGLGraphicsDriver::GraphicsModes() {
  if (!Start() || !S().vidmode) return {};
  return ListVideoModes(S().display, S().screen);
}

Ref<TGraphics> TGLGraphicsDriver::AttachGraphics(unsigned long widget, int flags) {
  if (!Start() || !widget) return nullptr;
  Display* d = S().display;
  {
    TXErrorTrap trap(d);
    XWindowAttributes wa;
    if (!XGetWindowAttributes(d, widget, &wa) || trap.Failed()) return nullptr;
  }
  auto* r = new TGLContextRecord;
  r->open = true;
  r->kind = 1;
  r->flags = flags;
  r->window = widget;
  QueryWindowSize(widget, r->width, r->height);
  r->view = FitPixelView(r->width, r->height, r->width, r->height);
  auto g = std::make_shared<TGLGraphics>();
  g->_context = r;
  return g;
}

Ref<TGraphics> TGLGraphicsDriver::CreateGraphics(int width, int height, int depth, int hertz,
                                                 int flags) {
  // X window sizes are 16-bit on the wire: larger values would be cut silently.
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
  TGLContextRecord* r = CreateRecord(width, height, depth, hertz, flags);
  if (!r) return nullptr;
  auto g = std::make_shared<TGLGraphics>();
  g->_context = r;
  return g;
}

void TGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  auto g = std::dynamic_pointer_cast<TGLGraphics>(graphics);
  if (!g || !g->_context || !g->_context->open) return;
  TGLContextRecord* r = g->_context;
  TGLXState& s = S();
  if (r->kind == 1 && !PrepareAttached(r)) return;
  if (r != s.current || glXGetCurrentContext() != r->context) {
    glXMakeCurrent(s.display, r->window, r->context);
    s.current = r;
    s.last_selected = r;
  }
}

void TGLGraphicsDriver::Flip(int sync) {
  TGLXState& s = S();
  TGLContextRecord* r = s.current;
  if (!r || !r->open) return;
  const int want = sync ? 1 : 0;
  if (want != r->sync) {
    r->sync = want;
    if (s.swap_interval) s.swap_interval(want);
  }
  glXSwapBuffers(s.display, r->window);
  SystemPump();
}

bool TGLGraphicsDriver::CanFlipPart() const {
  const TGLXState& s = S();
  return s.copy_sub_buffer && s.current && s.current->open;
}

void TGLGraphicsDriver::FlipPart(int x, int y, int width, int height) {
  TGLXState& s = S();
  TGLContextRecord* r = s.current;
  if (!r || !r->open || !s.copy_sub_buffer) return;
  s.copy_sub_buffer(s.display, r->window, x, y, width, height);
  SystemPump();
}

void TGLGraphicsDriver::SwapSharedContext() {
  TGLXState& s = S();
  if (s.swap_guard) {
    delete s.swap_guard;
    s.swap_guard = nullptr;
  } else {
    s.swap_guard = new TSharedContextGuard;
  }
}

Ref<TGLGraphicsDriver> GLGraphicsDriver() {
  static Ref<TGLGraphicsDriver>* d = new Ref<TGLGraphicsDriver>(std::make_shared<TGLGraphicsDriver>());
  return *d;
}

TSharedContextGuard::TSharedContextGuard() {
  TGLXState& s = S();
  if (!s.started) return;
  if (VideoModeSwitched()) {  // the full-screen context shares the textures already
    ready_ = glXGetCurrentContext() != nullptr;
    return;
  }
  if (!s.shared || !s.shared->open) return;
  prev_context_ = glXGetCurrentContext();
  prev_drawable_ = glXGetCurrentDrawable();
  prev_display_ = glXGetCurrentDisplay();
  if (prev_context_ != s.shared->context) {
    if (!glXMakeCurrent(s.display, s.shared->window, s.shared->context)) return;
    switched_ = true;
  }
  ready_ = true;
}

TSharedContextGuard::~TSharedContextGuard() {
  if (!switched_) return;
  TGLXState& s = S();
  if (!s.display) return;
  if (prev_context_ && s.live_contexts.count(prev_context_)) {
    Display* d = prev_display_ ? static_cast<Display*>(prev_display_) : s.display;
    glXMakeCurrent(d, prev_drawable_, prev_context_);
  } else {
    glXMakeCurrent(s.display, None, nullptr);
  }
}

bool SharedContextAlive() { return S().shared != nullptr && S().shared->open; }

void CloseGLGraphicsDriver() {
  TGLXState& s = S();
  if (!s.started) return;
  if (s.current) ReleaseRecord(s.current);  // its TGLGraphics frees the memory later
  if (s.shared) {
    TGLContextRecord* shared = s.shared;
    ReleaseRecord(shared);
    delete shared;
  }
  RestoreVideoMode();
}

void SetWindowCheck(TWindowCheck check) { S().window_check = check; }

TGLContextRecord* GLCurrentRecord() { return S().current; }

TPixelView CurrentPixelView() {
  const TGLContextRecord* r = S().current;
  return r ? r->view : TPixelView{};
}
