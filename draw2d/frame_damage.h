// Where two recorded frames of the same shape differ: the frames make the same GL
// state changes in the same order and differ only in where and what some drawing
// calls draw. Outside the rectangle around those calls (old and new places alike)
// both frames give the same pixels, so only that rectangle needs drawing again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A rectangle of the drawing space; empty when x1 <= x0 or y1 <= y0.
struct TUnitRect {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
};

// Texels of a texture made since the frame on screen was drawn: a call that
// samples them draws anew although its words repeat.
struct TTexelRect {
  unsigned texture = 0;
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

// False when the frames differ in anything but drawing calls' places and looks
// (a state change, the number or kind of calls, a pixmap): only a whole frame is
// right then. Both records start with the state words they were begun with.
bool FrameDamage(const uint32_t* shown, size_t shown_words, const uint32_t* next, size_t next_words,
                 const std::vector<TTexelRect>& fresh, TUnitRect& damage);
