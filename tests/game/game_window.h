// The window tests' shared world: one 800 x 600 game window per test program, the
// game started on a temporary motif folder, real X input through XTest, and a
// per-frame script that runs at the start of every Flip while a screen loop runs.
#pragma once
#include <functional>
#include <string>

#include "tests/support/temp_dir.h"

// Opens the window and starts the game once (assets, catalogue of `pictures`
// written by the caller's make function). False when there is no display.
bool OpenGameWindow(const std::function<void(const TempDir& motives)>& make_pictures);
const TempDir& GameMotives();

// Real input, delivered to the game window.
void XMove(int x, int y);
void XClick(int x, int y, int button = 1);
void XPress(int button);
void XRelease(int button);
void XKey(const char* keysym_name);
void XSyncInput();

// frame counts the Flips since the script was set; the script stays until cleared.
void SetFrameScript(std::function<void(int frame)> script);
void ClearFrameScript();
// Emits a close request, as the window manager's close button does.
void RequestClose();
