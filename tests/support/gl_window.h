// Helpers for tests of the graphics window: a second X connection of the test's own
// to inspect what the program made (windows, names, class, icon, protocols, cursor,
// video mode) and to send it input, and a pump loop that waits for a condition.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;

class TProbeDisplay {
 public:
  // Opens $DISPLAY (or name); Get() is null when that fails.
  explicit TProbeDisplay(const char* name = nullptr);
  ~TProbeDisplay();
  TProbeDisplay(const TProbeDisplay&) = delete;
  TProbeDisplay& operator=(const TProbeDisplay&) = delete;
  _XDisplay* Get() const { return display_; }

  // Top-level windows that are mapped and viewable and carry this name.
  std::vector<unsigned long> ViewableWindowsNamed(const std::string& name);
  std::string WindowName(unsigned long window);
  // False when the window no longer exists.
  bool WindowSize(unsigned long window, int* width, int* height, bool* viewable);
  // WM_CLASS as instance name and class; both empty when the window has none.
  std::pair<std::string, std::string> WindowClass(unsigned long window);
  // The bytes of an 8-bit property of this type ("UTF8_STRING", "STRING"); empty when unset.
  std::string TextProperty(unsigned long window, const char* name, const char* type);
  // The items of a 32-bit CARDINAL property; empty when unset.
  std::vector<uint32_t> CardinalProperty(unsigned long window, const char* name);

 private:
  _XDisplay* display_ = nullptr;
};

// Calls poll (which should pump, e.g. through a polled-input query) until it returns
// true or timeout_ms passes; returns the last result.
bool PumpUntil(const std::function<bool()>& poll, int timeout_ms = 2000);
