// Counts what the GL Draw2D driver sends to GL while the counter lives: draws (one
// per glBegin or glDrawArrays) and blend mode changes. One counter at a time.
#pragma once
#include <cstdint>

#include "draw2d/gl_draw2d_driver.h"

class TGLCallCounter : public TGLDrawListener {
 public:
  TGLCallCounter() { GLDraw2DDriver()->SetListener(this); }
  ~TGLCallCounter() override { GLDraw2DDriver()->SetListener(nullptr); }
  TGLCallCounter(const TGLCallCounter&) = delete;
  TGLCallCounter& operator=(const TGLCallCounter&) = delete;

  void OnDraw() override { ++draws; }
  void OnBlendState() override { ++blend_states; }

  int64_t draws = 0;
  int64_t blend_states = 0;
};
