// Title, class and icon properties of the GLX driver's windows. Leans on the
// application globals for the texts and on the drawing layer's icon setting.
#include "draw2d/glx_window_name.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

#include "draw2d/app_icon.h"
#include "platform/app.h"
#include "platform/ustring.h"

namespace {

// UTF-8 for the EWMH texts. Every lone surrogate becomes U+FFFD first (the string
// conversion would turn some back into raw bytes), since a window manager may
// refuse a name that is not valid UTF-8.
std::string Utf8(std::u16string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] < 0xDC00;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] < 0xE000) {
      text[i] = 0xFFFD;
    }
  }
  return ToOSBytes(text);
}

// WM_NAME holds 8-bit text: the low byte of each code unit.
std::string LowBytes(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(static_cast<char>(c & 0xff));
  return out;
}

void StoreTitle(Display* d, Window w) {
  XStoreName(d, w, LowBytes(AppTitle).c_str());
  const std::string utf8 = Utf8(AppTitle);
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
}

// Instance name and class: the class in lower case and as it is.
void StoreClass(Display* d, Window w) {
  if (AppClass.empty()) return;
  std::string res_class = LowBytes(AppClass);
  std::string res_name = res_class;
  for (char& c : res_name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  XClassHint hint;
  hint.res_name = res_name.data();
  hint.res_class = res_class.data();
  XSetClassHint(d, w, &hint);
}

void StoreIcon(Display* d, Window w) {
  const std::vector<uint32_t>& icon = AppIconData();
  if (icon.empty()) return;
  // A request beyond what the server accepts would fail with BadLength; the
  // property header takes six of the four-byte units.
  long limit = XExtendedMaxRequestSize(d);
  if (limit == 0) limit = XMaxRequestSize(d);
  if (static_cast<long>(icon.size()) + 6 > limit) return;
  // Xlib takes 32-bit property items as longs, whatever the width of a long.
  const std::vector<long> items(icon.begin(), icon.end());
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(items.data()), static_cast<int>(items.size()));
}

}  // namespace

void NameWindow(_XDisplay* display, unsigned long window) {
  StoreTitle(display, window);
  StoreClass(display, window);
  StoreIcon(display, window);
}
