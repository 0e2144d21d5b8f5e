// X11 system driver: event translation (key codes, auto-repeat detection, buttons,
// wheel, motion, the window manager's close request), pointer hiding and warping, and
// the console operations.
#include "platform/linux_system_driver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/event.h"
#include "platform/keycodes.h"
#include "platform/ustring.h"

extern char** environ;

namespace {

void EmitX(int id, int data, int x, int y) { EmitEvent(CreateEvent(id, nullptr, data, 0, x, y)); }

int KeyCodeOf(XKeyEvent& key) { return TranslateKeySym(XLookupKeysym(&key, 0)); }

// Mouse button number of an X button: left 1, right 2, middle 3; 0 for the rest.
int ButtonNumber(unsigned int x_button) {
  switch (x_button) {
    case Button1: return 1;
    case Button2: return 3;
    case Button3: return 2;
    default: return 0;
  }
}

void WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void Print(const std::u16string& text) {
  std::fflush(stdout);
  WriteAll(STDOUT_FILENO, ToOSBytes(text));
}

// One line from standard input without its line break; reads byte by byte so that
// nothing beyond the line is consumed.
std::u16string ReadLine() {
  std::string line;
  for (;;) {
    char c;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return FromOSBytes(line);
}

int Spawn(const char* program, std::initializer_list<std::string> args) {
  std::vector<std::string> argv_s{program};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv.data(), environ) != 0) return 0;
  return 1;
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

TLinuxSystemDriver::TLinuxSystemDriver() {
  _display = XOpenDisplay(nullptr);
  if (_display) {
    _wm_protocols = XInternAtom(_display, "WM_PROTOCOLS", False);
    _wm_delete = XInternAtom(_display, "WM_DELETE_WINDOW", False);
  }
}

// The connection stays open for the life of the process: windows of the graphics
// driver live on it.
TLinuxSystemDriver::~TLinuxSystemDriver() = default;

int TLinuxSystemDriver::ConnectionFd() const { return _display ? ConnectionNumber(_display) : -1; }

int TLinuxSystemDriver::TranslatePending() {
  if (!_display) return 0;
  int n = 0;
  // Flushing reads the connection as well: one look sends what we asked for and
  // takes in what the server sent (a separate flush would read it twice).
  while (XEventsQueued(_display, QueuedAfterFlush) > 0) {
    XEvent ev;
    XNextEvent(_display, &ev);
    Translate(&ev);
    ++n;
  }
  return n;
}

void TLinuxSystemDriver::Poll() {
  if (!_display) return;
  TranslatePending();
  DispatchPendingSignal();
  RunCompletions();
}

void TLinuxSystemDriver::Wait() {
  int translated = 0;
  // Requests made since the last pump reach the server before we sleep.
  if (_display) translated = TranslatePending();
  // Input just taken in may be what the caller waits for: it looks before we sleep.
  if (translated == 0) SleepUntilSignal(1000);
  DispatchPendingSignal();
  RunCompletions();
}

void TLinuxSystemDriver::Emit(void* os_event, const Ref<TObject>&) { Translate(os_event); }

void TLinuxSystemDriver::Translate(void* xevent) {
  if (_filter && _filter(xevent)) return;
  XEvent& ev = *static_cast<XEvent*>(xevent);
  switch (ev.type) {
    case KeyPress: {
      EmitAt(EVENT_KEYDOWN, KeyCodeOf(ev.xkey), ev.xkey.x, ev.xkey.y);
      char buf[16];
      KeySym sym;
      int n = XLookupString(&ev.xkey, buf, 15, &sym, nullptr);
      for (int i = 0; i < n; ++i) EmitX(EVENT_KEYCHAR, static_cast<unsigned char>(buf[i]), 0, 0);
      break;
    }
    case KeyRelease: {
      const int code = KeyCodeOf(ev.xkey);
      // X auto-repeat sends a release and a press of the same key with (almost) the
      // same time stamp; a real quick double tap is further apart and stays two hits.
      if (_display && XEventsQueued(_display, QueuedAfterReading) > 0) {
        XEvent next;
        XPeekEvent(_display, &next);
        if (next.type == KeyPress && next.xkey.keycode == ev.xkey.keycode &&
            static_cast<uint32_t>(next.xkey.time - ev.xkey.time) <= 1) {
          XNextEvent(_display, &next);
          EmitAt(EVENT_KEYREPEAT, code, next.xkey.x, next.xkey.y);
          break;
        }
      }
      EmitAt(EVENT_KEYUP, code, ev.xkey.x, ev.xkey.y);
      break;
    }
    case ButtonPress: {
      const auto& b = ev.xbutton;
      if (b.button == Button4) {
        EmitAt(EVENT_MOUSEWHEEL, 1, b.x, b.y);
      } else if (b.button == Button5) {
        EmitAt(EVENT_MOUSEWHEEL, -1, b.x, b.y);
      } else if (int n = ButtonNumber(b.button)) {
        EmitAt(EVENT_MOUSEDOWN, n, b.x, b.y);
      }
      break;  // buttons above 5 (extra buttons, horizontal wheel): nothing
    }
    case ButtonRelease: {
      if (int n = ButtonNumber(ev.xbutton.button)) EmitAt(EVENT_MOUSEUP, n, ev.xbutton.x, ev.xbutton.y);
      break;
    }
    case MotionNotify:
      EmitAt(EVENT_MOUSEMOVE, 0, ev.xmotion.x, ev.xmotion.y);
      break;
    case Expose:  // the window's contents were lost: it wants painting
      if (ev.xexpose.count == 0) EmitX(EVENT_GADGETPAINT, 0, 0, 0);
      break;
    case ConfigureNotify:  // the window manager moved or sized it; x and y give the size
      if (ev.xconfigure.window == _window) EmitX(EVENT_WINDOWSIZE, 0, ev.xconfigure.width, ev.xconfigure.height);
      break;
    case ClientMessage:
      if (ev.xclient.message_type == _wm_protocols && ev.xclient.format == 32 &&
          static_cast<unsigned long>(ev.xclient.data.l[0]) == _wm_delete) {
        EmitX(EVENT_APPTERMINATE, 0, 0, 0);
      }
      break;
    default:
      break;
  }
}

void TLinuxSystemDriver::EmitAt(int id, int data, int x, int y) {
  const auto unit = [this](int pixel, int origin) {
    return int(std::floor(float(pixel - origin) / _view_scale));
  };
  EmitX(id, data, unit(x, _view_x), unit(y, _view_y));
}

void TLinuxSystemDriver::MoveMouse(int x, int y) {
  if (!_display || !_window) return;
  // To the middle of the unit's pixels, so that the motion it causes reads back as x, y.
  const auto pixel = [this](int unit, int origin) {
    return origin + int(std::floor((float(unit) + 0.5f) * _view_scale));
  };
  XWarpPointer(_display, None, _window, 0, 0, 0, 0, pixel(x, _view_x), pixel(y, _view_y));
  XFlush(_display);
}

void TLinuxSystemDriver::SetMouseVisible(bool visible) {
  if (!_display || !_window) return;
  if (visible) {
    XUndefineCursor(_display, _window);
  } else {
    if (!_cursor) {
      static const char zeros[8] = {};
      Pixmap bits = XCreateBitmapFromData(_display, _window, zeros, 8, 8);
      XColor black{};
      black.flags = DoRed | DoGreen | DoBlue;
      _cursor = XCreatePixmapCursor(_display, bits, bits, &black, &black, 0, 0);
      XFreePixmap(_display, bits);
    }
    XDefineCursor(_display, _window, _cursor);
  }
  XFlush(_display);
}

void TLinuxSystemDriver::Notify(const std::u16string& text, bool) { Print(text + u"\n"); }

bool TLinuxSystemDriver::Confirm(const std::u16string& text, bool) {
  Print(text + u" (Yes/No)?");
  auto line = ReadLine();
  return !line.empty() && (line[0] == u'y' || line[0] == u'Y');
}

int TLinuxSystemDriver::Proceed(const std::u16string& text, bool) {
  Print(text + u" (Yes/No/Cancel)?");
  auto line = ReadLine();
  if (!line.empty() && (line[0] == u'y' || line[0] == u'Y')) return 1;
  if (!line.empty() && (line[0] == u'n' || line[0] == u'N')) return 0;
  return -1;
}

std::u16string TLinuxSystemDriver::RequestFile(const std::u16string&, const std::u16string&, bool,
                                               const std::u16string&) {
  Print(u"Enter a filename:");
  return ReadLine();
}

std::u16string TLinuxSystemDriver::RequestDir(const std::u16string&, const std::u16string&) {
  Print(u"Enter a directory name:");
  return ReadLine();
}

// The URL goes to the opener as one argument, never through a shell, so quotes or
// semicolons in it cannot run commands.
int TLinuxSystemDriver::OpenURL(const std::u16string& url) {
  const std::string u = ToOSBytes(url);
  if (EnvSet("KDE_FULL_DESKTOP")) return Spawn("kfmclient", {"exec", u});
  if (EnvSet("GNOME_DESKTOP_SESSION_ID")) return Spawn("gnome-open", {u});
  return 0;
}
