// Shared window, XTest input and frame scripts for the game's window tests.
#include "game_window.h"

#include <gtest/gtest.h>

#include <memory>

#include "draw2d/graphics.h"
#include "game/game_main.h"
#include "game/state.h"
#include "platform/event.h"
#include "platform/hook.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "platform/ustring.h"
#include "tests/support/private_x.h"
#include "tests/support/env.h"
#if __has_include("assets/assets.h")
#include "assets/assets.h"
#define TESS_HAVE_ASSETS 1
#endif

// Xlib last: its macros clash with the test framework.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

std::unique_ptr<TempDir> g_motives;
bool g_open = false;
std::function<void(int)> g_script;
int g_frame = 0;
bool g_hooked = false;

Ref<TObject> OnFlip(int, Ref<TObject> data, Ref<TObject>) {
  if (g_script) {
    auto script = g_script;  // the script may replace itself
    script(g_frame++);
  }
  return data;
}

Display* D() { return SystemDisplay(); }

}  // namespace

bool OpenGameWindow(const std::function<void(const TempDir&)>& make_pictures) {
  if (g_open) return true;
  UsePrivateXServer();
  if (!DisplayAvailable()) return false;
#ifdef TESS_HAVE_ASSETS
  RegisterAssets();
#endif
  if (!Graphics(800, 600, 0, 60, 0)) return false;
  g_motives = std::make_unique<TempDir>();
  make_pictures(*g_motives);
  StartGame(FromOSBytes(g_motives->str() + "/").c_str());
  if (!g_hooked) {
    AddHook(FlipHook(), &OnFlip, nullptr, 0);
    g_hooked = true;
  }
  g_open = true;
  return true;
}

const TempDir& GameMotives() { return *g_motives; }

void XSyncInput() {
  XSync(D(), False);
  PollSystem();
}

void XMove(int x, int y) {
  MoveMouse(x, y);
  XSyncInput();
}

void XPress(int button) {
  XTestFakeButtonEvent(D(), static_cast<unsigned>(button), True, 0);
  XSyncInput();
}

void XRelease(int button) {
  XTestFakeButtonEvent(D(), static_cast<unsigned>(button), False, 0);
  XSyncInput();
}

void XClick(int x, int y, int button) {
  XMove(x, y);
  XPress(button);
  XRelease(button);
}

void XKey(const char* name) {
  const KeyCode code = XKeysymToKeycode(D(), XStringToKeysym(name));
  XTestFakeKeyEvent(D(), code, True, 0);
  XTestFakeKeyEvent(D(), code, False, 0);
  XSyncInput();
}

void SetFrameScript(std::function<void(int)> script) {
  g_frame = 0;
  g_script = std::move(script);
}

void ClearFrameScript() { g_script = nullptr; }

void RequestClose() { EmitEvent(CreateEvent(EVENT_APPTERMINATE)); }
