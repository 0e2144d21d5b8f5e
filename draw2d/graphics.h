// The graphics front: the abstract graphics object and driver, the current and the
// default graphics object with its cached settings, Graphics/EndGraphics/Flip, the
// graphics sequence number that tells images to rebuild their textures, and the
// software frame pacing of Flip(-1). Main thread only.
#pragma once
#include <vector>

#include "platform/object.h"

constexpr int GraphicsFlagBackBuffer = 2;
constexpr int GraphicsFlagAlphaBuffer = 4;
constexpr int GraphicsFlagDepthBuffer = 8;
constexpr int GraphicsFlagStencilBuffer = 16;
constexpr int GraphicsFlagAccumBuffer = 32;

struct TGraphicsDriver;

struct TGraphics : TObject {
  virtual Ref<TGraphicsDriver> Driver() = 0;
  virtual void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) = 0;
  virtual void Close() = 0;
};

struct TGraphicsMode : TObject {
  TGraphicsMode() = default;
  TGraphicsMode(int w, int h, int d, int hz) : width(w), height(h), depth(d), hertz(hz) {}
  int width = 0;
  int height = 0;
  int depth = 0;
  int hertz = 0;
};

struct TGraphicsDriver : TObject {
  virtual std::vector<Ref<TGraphicsMode>> GraphicsModes() = 0;
  // Wraps a foreign X window (an X window id); null when that is not possible.
  virtual Ref<TGraphics> AttachGraphics(unsigned long widget, int flags) = 0;
  // depth 0: a window; any other depth: full screen. Null on failure.
  virtual Ref<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) = 0;
  virtual void SetGraphics(const Ref<TGraphics>& graphics) = 0;
  virtual void Flip(int sync) = 0;
};

// Makes driver the current one; defaultFlags are added to every creation. Until a
// driver is set, the OpenGL Draw2D driver (with GraphicsFlagBackBuffer) is installed
// on first use.
void SetGraphicsDriver(Ref<TGraphicsDriver> driver, int defaultFlags);
Ref<TGraphicsDriver> GetGraphicsDriver();
int DefaultGraphicsFlags();

// Closes the default object, opens a new one through the current driver and selects
// it. Null on failure (nothing is selected then).
Ref<TGraphics> Graphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
void EndGraphics();
// 0: swap at once; 1: on the retrace; -1: the layer chooses (software pacing at the
// rate given to Graphics, retrace sync in full screen).
void Flip(int sync = -1);
// Raised at every open and close; never 0 once a graphics object was opened.
int GraphicsSeq();
std::vector<Ref<TGraphicsMode>> GraphicsModes();

// Selecting a graphics object (null deselects), and the cached settings of the current
// one (all 0 when none is selected).
void SetGraphics(const Ref<TGraphics>& graphics);
Ref<TGraphics> CurrentGraphics();
Ref<TGraphics> DefaultGraphics();
int GraphicsWidth();
int GraphicsHeight();
int GraphicsDepth();
int GraphicsHertz();
int GraphicsFlags();

// Full screen for the current window through the window manager, without a video
// mode switch: the drawing space is scaled to fit, with black bars; off restores
// the window. Windows made with a full-screen depth keep their own way.
void SetFullScreen(bool on);
bool FullScreen();
// On: F11 and Alt+Return toggle full screen (those presses never reach the game).
void FullScreenKeys(bool on);

// Hook id run with no data at the start of every Flip.
int FlipHook();

// Test seams: the sleep used by Flip(-1)'s pacing (null restores Delay), and the
// sequence number itself (to exercise its wrap).
using TPacingSleep = void (*)(int millis);
void SetPacingSleep(TPacingSleep sleep);
void SetGraphicsSeqForTest(int seq);
