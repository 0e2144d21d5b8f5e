// The GLX graphics driver: X windows with GLX contexts, windowed or in a switched
// full-screen video mode (XFree86-VidMode), buffer swaps with GLX_SGI_swap_control,
// and a hidden shared context whose display lists every window shares, so textures
// outlive any single window. Xlib and GLX stay inside glx_graphics.cpp, the mode
// switches inside glx_video_mode.cpp.
#pragma once
#include <vector>

#include "draw2d/glx_window_scale.h"
#include "draw2d/graphics.h"

struct __GLXcontextRec;

// The native window record. kind: 1 attached to a foreign window, 2 windowed,
// 3 full screen (a switched video mode). width and height are the drawing space;
// view says where it lies in the window's pixels.
struct TGLContextRecord {
  int kind = 0;
  int width = 0;
  int height = 0;
  TPixelView view;
  float windowed_scale = 1;  // the view's scale as the window was made
  bool full_screen = false;  // a window the window manager shows full screen
  int depth = 24;
  int hertz = 0;
  int flags = 0;
  int sync = -1;            // swap interval last set: -1 none yet, 0 off, 1 on
  unsigned long window = 0;  // X window id
  __GLXcontextRec* context = nullptr;
  // Resources freed with the window.
  unsigned long colormap = 0;
  void* visual_info = nullptr;  // XVisualInfo*
  bool open = false;  // false once closed (also by the driver at program end)
};

struct TGLGraphicsDriver;

struct TGLGraphics : TGraphics {
  ~TGLGraphics() override;
  Ref<TGraphicsDriver> Driver() override;
  void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
  // Closes the native record (window, context, video mode) and frees it; idempotent.
  void Close() override;

  TGLContextRecord* _context = nullptr;  // owned
};

struct TGLGraphicsDriver : TGraphicsDriver {
  std::vector<Ref<TGraphicsMode>> GraphicsModes() override;
  Ref<TGraphics> AttachGraphics(unsigned long widget, int flags) override;
  Ref<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
  // Takes a TGLGraphics (null does nothing).
  void SetGraphics(const Ref<TGraphics>& graphics) override;
  void Flip(int sync) override;
  // Shows a rectangle of the back buffer (window pixels from the bottom left, as
  // GL counts them) and leaves the rest of the window as it is. Only where the GL
  // implementation can (CanFlipPart); never paced by the retrace.
  bool CanFlipPart() const;
  void FlipPart(int x, int y, int width, int height);
  // Paired calls around texture work: the first makes the shared context current,
  // the second restores the context and drawable that were current before (never a
  // record closed in between). Does nothing in full screen.
  virtual void SwapSharedContext();
};

Ref<TGLGraphicsDriver> GLGraphicsDriver();

// Makes the hidden shared context current for its lifetime and then restores the
// context and drawable that were current (or none, when that context was closed
// meanwhile). In full screen the current context already shares the textures and is
// left as it is. Ready() tells whether GL calls may be made under the guard.
class TSharedContextGuard {
 public:
  TSharedContextGuard();
  ~TSharedContextGuard();
  TSharedContextGuard(const TSharedContextGuard&) = delete;
  TSharedContextGuard& operator=(const TSharedContextGuard&) = delete;
  bool Ready() const { return ready_; }

 private:
  bool ready_ = false;
  bool switched_ = false;
  void* prev_display_ = nullptr;
  unsigned long prev_drawable_ = 0;
  __GLXcontextRec* prev_context_ = nullptr;
};

// True while the hidden shared context exists (textures may be deleted in it).
bool SharedContextAlive();

// Closes the current and the shared record (run at program end; safe to call twice).
void CloseGLGraphicsDriver();

// Consulted as the last step of opening a window, after the mode switch, the grabs
// and the mapping: a false answer discards the window as an X error there would.
// Null (the default) accepts every window. Tests use it to exercise the clean-up.
using TWindowCheck = bool (*)();
void SetWindowCheck(TWindowCheck check);

// The input a shown window selects (an X event mask): keys, buttons, motion,
// exposures and the window manager's changes. ResizeRedirect comes on top while the
// window keeps a size of its own.
extern const long kWindowInputMask;

// The record made current last; null when none is.
TGLContextRecord* GLCurrentRecord();
// The current record's view (one pixel per unit over its size without one).
TPixelView CurrentPixelView();
// Follows the size the window manager gives the current window (once installed).
void ListenForWindowSize();
