// TDraw2DDriver: the drawing operations a graphics driver offers to the drawing
// front (draw.h) and to images, plus the module's current driver.
#pragma once
#include <vector>

#include "draw2d/graphics.h"
#include "platform/object.h"

struct TPixmap;
struct TImageFrame;

enum : int { BlendMask = 1, BlendSolid = 2, BlendAlpha = 3, BlendLight = 4, BlendShade = 5 };

struct TDraw2DDriver : TGraphicsDriver {
  // Null when no frame can be made (empty picture, no GL, out of memory).
  virtual Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) = 0;
  virtual void SetBlend(int mode) = 0;
  virtual void SetAlpha(float alpha) = 0;
  virtual void SetColor(int r, int g, int b) = 0;
  virtual void SetClsColor(int r, int g, int b) = 0;
  virtual void SetViewport(int x, int y, int width, int height) = 0;
  virtual void SetTransform(float ix, float iy, float jx, float jy) = 0;
  virtual void SetLineWidth(float width) = 0;
  virtual void Cls() = 0;
  virtual void Plot(float x, float y) = 0;
  virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  virtual void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  virtual void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  // points holds x, y pairs.
  virtual void DrawPoly(const std::vector<float>& points, float handle_x, float handle_y,
                        float tx, float ty) = 0;
  virtual void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) = 0;
  // New FormatRGBA8888 pixmap of the back-buffer rectangle, row 0 at the top.
  virtual Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) = 0;
  // Sends drawing the driver still holds back (batched quads) to GL.
  virtual void FlushDrawing() {}
};

// The driver of the current drawing state (null when none is selected).
TDraw2DDriver* CurrentDraw2DDriver();
void SetCurrentDraw2DDriver(TDraw2DDriver* driver);

// Quiet frames (on at start): a flip whose frame would draw exactly what the screen
// shows is neither drawn nor swapped. Off: every flip draws and swaps.
void SetQuietFrames(bool on);
bool QuietFrames();
