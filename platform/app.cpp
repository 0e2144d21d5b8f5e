// Application globals, the exit-handler chain and End, and the debug-log hook.
#include "platform/app.h"

#include <unistd.h>

#include <cstdio>
#include <exception>

#include "platform/ustring.h"

std::u16string AppFile;
std::u16string AppDir;
std::u16string LaunchDir;
std::u16string AppTitle = u"Application";
std::u16string AppClass;
std::vector<std::u16string> AppArgs;

namespace {

std::vector<void (*)()>& ExitHandlers() {
  static std::vector<void (*)()> handlers;
  return handlers;
}

void SilentLog(const std::u16string&) {}
TDebugLogHook debug_log_hook = &SilentLog;

}  // namespace

void AddExitHandler(void (*fn)()) {
  if (fn) ExitHandlers().push_back(fn);
}

void End() {
  // Each handler is taken off before it runs, so an End called from a handler
  // carries on with the remaining ones instead of running any twice.
  auto& handlers = ExitHandlers();
  while (!handlers.empty()) {
    auto fn = handlers.back();
    handlers.pop_back();
    try {
      fn();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Error in exit handler: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "Error in exit handler\n");
    }
  }
  std::fflush(nullptr);
  _exit(0);
}

void DebugLog(const std::u16string& text) { debug_log_hook(text); }

TDebugLogHook SetDebugLogHook(TDebugLogHook hook) {
  TDebugLogHook old = debug_log_hook;
  debug_log_hook = hook ? hook : &SilentLog;
  return old;
}

std::u16string AppDirOf(const std::u16string& file) {
  const auto slash = file.rfind(u'/');
  if (slash == std::u16string::npos) return file;
  if (slash == 0) return u"/";
  return file.substr(0, slash);
}
