#include "tests/support/env.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <filesystem>

std::string SourceDir() {
  const char* s = std::getenv("TESS_SOURCE_DIR");
  return s ? s : ".";
}

std::string TestDataDir() {
  if (const char* s = std::getenv("TESS_TESTDATA"); s && *s) return s;
  auto p = std::filesystem::path(SourceDir()) / ".." / "shared" / "testdata";
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) return std::filesystem::canonical(p, ec).string();
  return "";
}

bool DisplayAvailable() {
  static int cached = -1;
  if (cached < 0) {
    const char* d = std::getenv("DISPLAY");
    Display* dpy = (d && *d) ? XOpenDisplay(nullptr) : nullptr;
    cached = dpy != nullptr;
    if (dpy) XCloseDisplay(dpy);
  }
  return cached == 1;
}
