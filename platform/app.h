// Application globals set once by the process entry, the exit-handler chain that End
// runs, and the replaceable debug-log hook. Main thread only.
#pragma once
#include <string>
#include <vector>

extern std::u16string AppFile;    // path of the running executable ("." when unknown)
extern std::u16string AppDir;     // its directory ("/" for a program in the root)
extern std::u16string LaunchDir;  // current directory at process start, "\" turned to "/"
extern std::u16string AppTitle;   // window title; the game replaces the default
// Window class (WM_CLASS) that docks and task lists group windows by; the instance
// name is its ASCII lower-case form. The process entry sets the program's file name.
extern std::u16string AppClass;
extern std::vector<std::u16string> AppArgs;  // command line, program path first

// Registers fn to run at End; handlers run in reverse order of registration.
void AddExitHandler(void (*fn)());
// Runs the exit handlers (newest first), flushes stdio and ends the process with
// status 0 without running static destructors (they could reach a closed GL context
// or a running thread).
[[noreturn]] void End();

// Passes text to the debug-log hook; the default hook does nothing.
void DebugLog(const std::u16string& text);
using TDebugLogHook = void (*)(const std::u16string& text);
// Replaces the hook (null restores the silent default); returns the previous one.
TDebugLogHook SetDebugLogHook(TDebugLogHook hook);

// The directory part of an executable path: text before the last "/", "/" when that
// is the root, the path itself when it holds no "/".
std::u16string AppDirOf(const std::u16string& file);
