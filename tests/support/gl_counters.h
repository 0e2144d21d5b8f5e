// Counts what the GL Draw2D driver sends to GL while the counter lives: draws (one
// per glBegin or glDrawArrays), blend mode changes and the texture memory made
// meanwhile (less what was given back). One counter at a time.
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
  void OnTextureMemory(int64_t bytes) override { texture_bytes += bytes; }

  int64_t draws = 0;
  int64_t blend_states = 0;
  int64_t texture_bytes = 0;
};
