// TImageFrame: a driver's drawable form of one image frame (for OpenGL a texture
// and its coordinates), made lazily from the frame's pixmap.
#pragma once
#include "platform/object.h"

struct TImageFrame : TObject {
  // Draws the picture stretched over the corners (x0, y0) and (x1, y1), transformed
  // with the driver's current transform and translated by (tx, ty).
  virtual void Draw(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
};
