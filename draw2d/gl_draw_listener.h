// TGLDrawListener: hears what the GL Draw2D driver and its atlas send to GL, so
// that tests and benchmarks can count draws, blend changes and texture memory
// without counters in the driver. Nobody listens unless one is set.
#pragma once
#include <cstdint>

struct TGLDrawListener {
  virtual ~TGLDrawListener() = default;
  virtual void OnDraw() {}        // one glBegin ... glEnd or glDrawArrays
  virtual void OnBlendState() {}  // a blend mode change that reached GL
  // Texture memory made (positive) or given back (negative), in bytes of all levels.
  virtual void OnTextureMemory(int64_t /*bytes*/) {}
};
