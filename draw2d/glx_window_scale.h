// How many window pixels a unit of the drawing space takes: the desktop's scaling
// (Xft.dpi in the X resource database over 96, whole numbers only) or
// TESSOLINO_SCALE, and the fit of a drawing space into a window of another size.
#pragma once

struct _XDisplay;

// Factor for a window of width x height drawing units on the default screen: the
// variable TESSOLINO_SCALE (1 to 4) when set, else Xft.dpi / 96 rounded down, at
// least 1 and lowered until the window fits on the screen. Read once per process.
int WindowScaleFor(_XDisplay* display, int width, int height);

// A rectangle of window pixels, from the top left.
struct TPixelRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Where a width x height drawing space lies in a window of window_w x window_h
// pixels: as large as fits with its aspect kept, centred (bars beside or above).
struct TPixelView {
  int width = 0, height = 0;       // the drawing space in units
  int window_w = 0, window_h = 0;  // the window in pixels
  float scale = 1;                 // pixels per drawing unit
  int x = 0, y = 0;                // the drawing space's top left in the window
};
TPixelView FitPixelView(int width, int height, int window_w, int window_h);
