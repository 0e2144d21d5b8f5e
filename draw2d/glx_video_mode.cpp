// Video-mode lists, switches and their restoration through the XFree86 video-mode
// extension. The mode in force before a switch is kept until it is restored, so
// that a switched desktop never outlives the window that asked for it.
#include "draw2d/glx_video_mode.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

namespace {

struct TVideoModeState {
  Display* display = nullptr;  // of the switched mode
  int screen = 0;
  XF86VidModeModeInfo saved = {};  // the mode in force before the switch
  XF86VidModeModeInfo** modes = nullptr;  // the list the switched mode belongs to
  bool switched = false;
};

// Never destroyed: the restore at process exit may still reach it.
TVideoModeState& V() {
  static TVideoModeState* v = new TVideoModeState;
  return *v;
}

bool HasTimings(const XF86VidModeModeInfo& m) { return static_cast<long long>(m.htotal) * m.vtotal != 0; }

int RefreshRate(const XF86VidModeModeInfo& m) {
  const long long total = static_cast<long long>(m.htotal) * m.vtotal;
  if (total == 0) return 0;
  int rate = static_cast<int>(static_cast<double>(m.dotclock) * 1000.0 / static_cast<double>(total) + 0.5);
  if (m.flags & 0x10) rate *= 2;   // interlaced
  if (m.flags & 0x20) rate >>= 1;  // double scan
  return rate;
}

// The first mode of this size at this rate, else the first of this size; -1 for none.
int ChooseMode(XF86VidModeModeInfo** modes, int count, int width, int height, int hertz) {
  int by_size = -1;
  for (int i = 0; i < count; ++i) {
    const XF86VidModeModeInfo& m = *modes[i];
    if (m.hdisplay != width || m.vdisplay != height || !HasTimings(m)) continue;
    if (RefreshRate(m) == hertz) return i;
    if (by_size < 0) by_size = i;
  }
  return by_size;
}

// A mode line as the mode info that switching back takes; its private data moves along.
XF86VidModeModeInfo ModeInfo(int dotclock, const XF86VidModeModeLine& line) {
  XF86VidModeModeInfo m = {};
  m.dotclock = static_cast<unsigned int>(dotclock);
  m.hdisplay = line.hdisplay;
  m.hsyncstart = line.hsyncstart;
  m.hsyncend = line.hsyncend;
  m.htotal = line.htotal;
  m.hskew = line.hskew;
  m.vdisplay = line.vdisplay;
  m.vsyncstart = line.vsyncstart;
  m.vsyncend = line.vsyncend;
  m.vtotal = line.vtotal;
  m.flags = line.flags;
  m.privsize = line.privsize;
  m.c_private = line.c_private;
  return m;
}

void FreePrivate(const XF86VidModeModeInfo& m) {
  if (m.privsize > 0 && m.c_private) XFree(m.c_private);
}

}  // namespace

bool QueryVideoModeExtension(_XDisplay* display) {
  int event_base = 0, error_base = 0;
  if (!XF86VidModeQueryExtension(display, &event_base, &error_base)) return false;
  int major = 0, minor = 0;
  return XF86VidModeQueryVersion(display, &major, &minor) != 0;
}

std::vector<Ref<TGraphicsMode>> ListVideoModes(_XDisplay* display, int screen) {
  std::vector<Ref<TGraphicsMode>> out;
  XF86VidModeModeInfo** modes = nullptr;
  int count = 0;
  if (!XF86VidModeGetAllModeLines(display, screen, &count, &modes) || !modes) return out;
  for (int i = 0; i < count && out.size() < 1024; ++i) {
    const XF86VidModeModeInfo& m = *modes[i];
    if (!HasTimings(m)) continue;
    out.push_back(std::make_shared<TGraphicsMode>(m.hdisplay, m.vdisplay, 24, RefreshRate(m)));
  }
  XFree(modes);
  return out;
}

bool SwitchVideoMode(_XDisplay* display, int screen, int width, int height, int hertz,
                     int& mode_width, int& mode_height) {
  TVideoModeState& v = V();
  if (v.switched) return false;
  XF86VidModeModeLine line = {};
  int dotclock = 0;
  if (!XF86VidModeGetModeLine(display, screen, &dotclock, &line)) return false;
  const XF86VidModeModeInfo saved = ModeInfo(dotclock, line);
  XF86VidModeModeInfo** modes = nullptr;
  int count = 0;
  const bool listed = XF86VidModeGetAllModeLines(display, screen, &count, &modes) && modes;
  const int chosen = listed ? ChooseMode(modes, count, width, height, hertz) : -1;
  if (chosen < 0) {  // nothing was switched
    FreePrivate(saved);
    if (modes) XFree(modes);
    return false;
  }
  v.display = display;
  v.screen = screen;
  v.saved = saved;
  v.modes = modes;
  v.switched = true;
  XF86VidModeModeInfo* mode = modes[chosen];
  XF86VidModeSwitchToMode(display, screen, mode);
  XF86VidModeSetViewPort(display, screen, 0, 0);
  mode_width = mode->hdisplay;
  mode_height = mode->vdisplay;
  return true;
}

void RestoreVideoMode() {
  TVideoModeState& v = V();
  if (!v.switched) return;
  XF86VidModeSwitchToMode(v.display, v.screen, &v.saved);
  XF86VidModeSetViewPort(v.display, v.screen, 0, 0);
  // Waits until the server has carried the switch out: a program that ends right
  // after may otherwise be dropped by the server with the requests still unread.
  XSync(v.display, False);
  FreePrivate(v.saved);
  v.saved = {};
  if (v.modes) XFree(v.modes);
  v.modes = nullptr;
  v.switched = false;
}

bool VideoModeSwitched() { return V().switched; }
