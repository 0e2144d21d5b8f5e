#include "draw2d/frame_damage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "draw2d/frame_record.h"

namespace {

float F(const uint32_t* w, size_t i) { return std::bit_cast<float>(w[i]); }

// Words after the op word, or 0 for an unknown op (the walk then gives up).
size_t ArgWords(TFrameOp op, const uint32_t* args, size_t left) {
  switch (op) {
    case TFrameOp::Blend: case TFrameOp::Alpha: case TFrameOp::LineWidth: return 1;
    case TFrameOp::Color: case TFrameOp::ClsColor: return 3;
    case TFrameOp::Viewport: case TFrameOp::Transform: return 4;
    case TFrameOp::Cls: return 0;
    case TFrameOp::Plot: return 2;
    case TFrameOp::Line: case TFrameOp::Rect: case TFrameOp::Oval: return 6;
    case TFrameOp::Poly: return left < 5 ? 0 : 5 + size_t(args[4]);
    case TFrameOp::Pixmap: return 3;
    case TFrameOp::Quad: return 11;
  }
  return 0;
}

bool Draws(TFrameOp op) {
  return op == TFrameOp::Plot || op == TFrameOp::Line || op == TFrameOp::Rect ||
         op == TFrameOp::Oval || op == TFrameOp::Poly || op == TFrameOp::Quad;
}

struct TBounds {
  float transform[4];  // ix, iy, jx, jy
  float pad;           // beyond the shape: line width, a point's size, rounding
  TUnitRect rect{1, 1, 0, 0};
  bool finite = true;

  void Add(float x, float y, float tx, float ty) {
    const float* t = transform;
    AddPixel(x * t[0] + y * t[1] + tx, x * t[2] + y * t[3] + ty);
  }
  void AddPixel(float px, float py) {
    if (!std::isfinite(px) || !std::isfinite(py)) {
      finite = false;
      return;
    }
    if (rect.Empty()) rect = {px, py, px, py};
    rect = {std::min(rect.x0, px - pad), std::min(rect.y0, py - pad), std::max(rect.x1, px + pad),
            std::max(rect.y1, py + pad)};
  }
  // A call's args (after its op word), as the GL driver places them.
  void AddCall(TFrameOp op, const uint32_t* a) {
    if (op == TFrameOp::Plot) return AddPixel(F(a, 0), F(a, 1));  // points skip the transform
    if (op == TFrameOp::Poly) {
      for (size_t i = 0; i + 1 < a[4]; i += 2) Add(F(a, 5 + i) + F(a, 0), F(a, 6 + i) + F(a, 1), F(a, 2), F(a, 3));
      return;
    }
    const size_t at = op == TFrameOp::Quad ? 5 : 0;  // a quad's texture and coordinates come first
    const float x0 = F(a, at), y0 = F(a, at + 1), x1 = F(a, at + 2), y1 = F(a, at + 3);
    const float tx = F(a, at + 4), ty = F(a, at + 5);
    for (float x : {x0, x1})
      for (float y : {y0, y1}) Add(x, y, tx, ty);
  }
};

// A quad's args: texture, u0, v0, u1, v1, then its place.
bool SamplesFresh(const uint32_t* a, const std::vector<TTexelRect>& fresh) {
  const float u0 = std::min(F(a, 1), F(a, 3)), u1 = std::max(F(a, 1), F(a, 3));
  const float v0 = std::min(F(a, 2), F(a, 4)), v1 = std::max(F(a, 2), F(a, 4));
  for (const TTexelRect& t : fresh)
    if (t.texture == a[0] && !(u1 < t.u0 || t.u1 < u0 || v1 < t.v0 || t.v1 < v0)) return true;
  return false;
}

}  // namespace

bool FrameDamage(const uint32_t* shown, size_t shown_words, const uint32_t* next, size_t next_words,
                 const std::vector<TTexelRect>& fresh, TUnitRect& damage) {
  if (!shown || !next || shown_words != next_words || shown_words < kStateWords) return false;
  if (std::memcmp(shown, next, kStateWords * sizeof(uint32_t)) != 0) return false;
  TBounds bounds;
  for (int i = 0; i < 4; ++i) bounds.transform[i] = F(shown, kStateTransform + i);
  float line_width = F(shown, kStateLineWidth);
  for (size_t at = kStateWords; at < shown_words;) {
    const TFrameOp op = TFrameOp(shown[at]);
    if (next[at] != shown[at] || op == TFrameOp::Pixmap) return false;
    const size_t n = ArgWords(op, shown + at + 1, shown_words - at - 1);
    if (at + 1 + n > shown_words || (op == TFrameOp::Poly && next[at + 5] != shown[at + 5])) return false;
    const uint32_t* a = shown + at + 1;
    const uint32_t* b = next + at + 1;
    const bool same = std::memcmp(a, b, n * sizeof(uint32_t)) == 0 &&
                      !(op == TFrameOp::Quad && SamplesFresh(a, fresh));
    if (!Draws(op)) {
      if (!same) return false;  // a state change reaches every later call
      if (op == TFrameOp::Transform)
        for (int i = 0; i < 4; ++i) bounds.transform[i] = F(a, size_t(i));
      if (op == TFrameOp::LineWidth) line_width = F(a, 0);
    } else if (!same) {
      bounds.pad = 2 + (std::isfinite(line_width) ? std::fabs(line_width) : 0);
      bounds.AddCall(op, a);
      bounds.AddCall(op, b);
      if (!bounds.finite) return false;
    }
    at += 1 + n;
  }
  damage = bounds.rect;
  return true;
}
