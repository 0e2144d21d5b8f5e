// Quiet frames of the GL Draw2D driver: the drawing calls of a frame are recorded,
// replayed into GL when the frame is flipped, read back or flushed, and a flip
// whose frame equals the one on screen is neither drawn nor swapped.
#include <algorithm>
#include <bit>
#include <iterator>

#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/glx_graphics.h"
#include "platform/event.h"
#include "platform/hook.h"
#include "platform/system.h"

namespace {

bool g_quiet = true;

// An exposure or a change by the window manager: the screen may no longer show the
// last frame.
Ref<TObject> WindowChangeHook(int, Ref<TObject> data, Ref<TObject>) {
  auto ev = std::dynamic_pointer_cast<TEvent>(data);
  if (ev && (ev->id == EVENT_GADGETPAINT || ev->id == EVENT_WINDOWSIZE)) GLDraw2DDriver()->ForceNextFrame();
  return data;
}

}  // namespace

void ListenForWindowChanges() {
  static bool added = false;
  if (added) return;
  added = true;
  AddHook(EmitEventHook(), &WindowChangeHook, nullptr, 0);
}

void SetQuietFrames(bool on) { g_quiet = on; }
bool QuietFrames() { return g_quiet; }

// ---- recording ------------------------------------------------------------

namespace {
uint32_t W(TFrameOp op) { return uint32_t(op); }
uint32_t W(int v) { return uint32_t(v); }
uint32_t W(unsigned v) { return v; }
uint32_t W(float v) { return std::bit_cast<uint32_t>(v); }
}  // namespace

bool TGLDraw2DDriver::Recording() {
  if (_replaying || !HasContext()) return false;
  if (_frame.Empty()) BeginRecord();
  return true;
}

// A frame starts from the state the previous one left: two frames with the same
// calls but different starting state draw differently.
void TGLDraw2DDriver::BeginRecord() {
  _frame.Put(_state, kStateWords);
  _replayed = _frame.Size();
  _drew = false;
  _clears_first = false;
}

template <class... Values>
void TGLDraw2DDriver::Put(TFrameOp op, Values... values) {
  const uint32_t words[] = {W(op), W(values)...};
  _frame.Put(words, std::size(words));
}

template <class... Values>
void TGLDraw2DDriver::PutState(TFrameOp op, int index, Values... values) {
  const uint32_t words[] = {W(op), W(values)...};
  std::copy(words + 1, std::end(words), _state + index);
  _frame.Put(words, std::size(words));
}

void TGLDraw2DDriver::SetBlend(int mode) {
  if (Recording()) PutState(TFrameOp::Blend, kStateBlend, mode);
  else GlBlend(mode);
}

void TGLDraw2DDriver::SetAlpha(float alpha) {
  if (Recording()) PutState(TFrameOp::Alpha, kStateAlpha, alpha);
  else GlAlpha(alpha);
}

void TGLDraw2DDriver::SetColor(int r, int g, int b) {
  if (Recording()) PutState(TFrameOp::Color, kStateColor, r, g, b);
  else GlColor(r, g, b);
}

void TGLDraw2DDriver::SetClsColor(int r, int g, int b) {
  if (Recording()) PutState(TFrameOp::ClsColor, kStateClsColor, r, g, b);
  else GlClsColor(r, g, b);
}

void TGLDraw2DDriver::SetViewport(int x, int y, int width, int height) {
  if (Recording()) PutState(TFrameOp::Viewport, kStateViewport, x, y, width, height);
  else GlViewport(x, y, width, height);
}

void TGLDraw2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
  if (Recording()) {
    PutState(TFrameOp::Transform, kStateTransform, ix, iy, jx, jy);
    return;
  }
  _ix = ix;
  _iy = iy;
  _jx = jx;
  _jy = jy;
}

void TGLDraw2DDriver::SetLineWidth(float width) {
  if (Recording()) PutState(TFrameOp::LineWidth, kStateLineWidth, width);
  else GlLineWidth(width);
}

void TGLDraw2DDriver::Cls() {
  if (!Recording()) return GlCls();
  Put(TFrameOp::Cls);
  if (!_drew) {
    int w = 0, h = 0, d = 0, hz = 0, f = 0;
    TDraw2DGraphics::Current()->GetSettings(w, h, d, hz, f);
    const uint32_t full[4] = {0, 0, uint32_t(w), uint32_t(h)};
    _clears_first = std::equal(full, full + 4, _state + kStateViewport);
  }
}

void TGLDraw2DDriver::Plot(float x, float y) {
  if (!Recording()) return GlPlot(x, y);
  Put(TFrameOp::Plot, x, y);
  _drew = true;
}

void TGLDraw2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!Recording()) return GlLine(x0, y0, x1, y1, tx, ty);
  Put(TFrameOp::Line, x0, y0, x1, y1, tx, ty);
  _drew = true;
}

void TGLDraw2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!Recording()) return GlRect(x0, y0, x1, y1, tx, ty);
  Put(TFrameOp::Rect, x0, y0, x1, y1, tx, ty);
  _drew = true;
}

void TGLDraw2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!Recording()) return GlOval(x0, y0, x1, y1, tx, ty);
  Put(TFrameOp::Oval, x0, y0, x1, y1, tx, ty);
  _drew = true;
}

void TGLDraw2DDriver::DrawPoly(const std::vector<float>& points, float handle_x, float handle_y,
                               float tx, float ty) {
  if (!Recording()) return GlPoly(points, handle_x, handle_y, tx, ty);
  Put(TFrameOp::Poly, handle_x, handle_y, tx, ty, int(points.size()));
  static_assert(sizeof(float) == sizeof(uint32_t));
  _frame.Put(points.data(), points.size());
  _drew = true;
}

void TGLDraw2DDriver::DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) {
  if (!Recording()) return GlPixmap(pixmap, x, y);
  const uint32_t index = _frame.Pixmap(pixmap);
  Put(TFrameOp::Pixmap, index, x, y);
  _drew = true;
}

void TGLDraw2DDriver::DrawTexturedQuad(unsigned texture, float u0, float v0, float u1, float v1,
                                       float x0, float y0, float x1, float y1, float tx,
                                       float ty) {
  if (!Recording()) return GlQuad(texture, u0, v0, u1, v1, x0, y0, x1, y1, tx, ty);
  Put(TFrameOp::Quad, texture, u0, v0, u1, v1, x0, y0, x1, y1, tx, ty);
  _drew = true;
}

// ---- replay ---------------------------------------------------------------

void TGLDraw2DDriver::ReplayOne(TFrameRecord::TReader& in) {
  auto f = [&in] { return in.Float(); };
  const TFrameOp op = in.Op();
  switch (op) {
    case TFrameOp::Blend: GlBlend(in.Int()); break;
    case TFrameOp::Alpha: GlAlpha(f()); break;
    case TFrameOp::Color: {
      const int r = in.Int(), g = in.Int(), b = in.Int();
      GlColor(r, g, b);
      break;
    }
    case TFrameOp::ClsColor: {
      const int r = in.Int(), g = in.Int(), b = in.Int();
      GlClsColor(r, g, b);
      break;
    }
    case TFrameOp::Viewport: {
      const int x = in.Int(), y = in.Int(), w = in.Int(), h = in.Int();
      GlViewport(x, y, w, h);
      break;
    }
    case TFrameOp::Transform:
      _ix = f();
      _iy = f();
      _jx = f();
      _jy = f();
      break;
    case TFrameOp::LineWidth: GlLineWidth(f()); break;
    case TFrameOp::Cls: GlCls(); break;
    case TFrameOp::Plot: {
      const float x = f(), y = f();
      GlPlot(x, y);
      break;
    }
    case TFrameOp::Line:
    case TFrameOp::Rect:
    case TFrameOp::Oval: {
      float a[6];
      for (float& v : a) v = f();
      if (op == TFrameOp::Line) GlLine(a[0], a[1], a[2], a[3], a[4], a[5]);
      else if (op == TFrameOp::Rect) GlRect(a[0], a[1], a[2], a[3], a[4], a[5]);
      else GlOval(a[0], a[1], a[2], a[3], a[4], a[5]);
      break;
    }
    case TFrameOp::Poly: {
      float a[4];
      for (float& v : a) v = f();
      std::vector<float> points(size_t(in.Int()));
      for (float& p : points) p = f();
      GlPoly(points, a[0], a[1], a[2], a[3]);
      break;
    }
    case TFrameOp::Pixmap: {
      const Ref<TPixmap>& pixmap = in.Pixmap();
      const int x = in.Int(), y = in.Int();
      GlPixmap(pixmap, x, y);
      break;
    }
    case TFrameOp::Quad: {
      const unsigned texture = unsigned(in.Int());
      float a[10];
      for (float& v : a) v = f();
      GlQuad(texture, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
      break;
    }
  }
}

void TGLDraw2DDriver::Materialise() {
  if (HasContext() && FollowView()) _force = true;
  if (!Pending()) return;
  _must_draw = true;
  _replaying = true;
  TFrameRecord::TReader in = _frame.Read(_replayed);
  while (in.More()) ReplayOne(in);
  _replayed = _frame.Size();
  _replaying = false;
}

void TGLDraw2DDriver::FlushDrawing() {
  Materialise();
  FlushBatch();
}

// ---- flip -----------------------------------------------------------------

bool TGLDraw2DDriver::MustDraw(int sync) const {
  // A swap on the retrace paces its caller, and a frame that does not clear first
  // depends on what the back buffer held: both are drawn as they come.
  if (_force || _must_draw || !_fresh.empty() || !g_quiet || sync != 0 || !HasContext()) return true;
  return !_clears_first || !_frame.RepeatsShown();
}

void TGLDraw2DDriver::Flip(int sync) {
  const bool draw = MustDraw(sync);
  const bool in_part = draw && FindPartToRedraw(sync);
  if (in_part) {
    // The whole frame is replayed, but GL draws only inside the part.
    _in_part = true;
    GlViewport(_viewport[0], _viewport[1], _viewport[2], _viewport[3]);
  }
  if (draw) {
    FlushDrawing();
    _frame.Show();
    ++_frames_drawn;
  } else {
    _frame.Restart();
    ++_frames_skipped;
  }
  _replayed = 0;
  _drew = _clears_first = false;
  _must_draw = false;
  _fresh.clear();
  _force = false;  // the pump below may set it again, for the next frame
  RunReleases();
  if (in_part) {
    _in_part = false;
    GlViewport(_viewport[0], _viewport[1], _viewport[2], _viewport[3]);
    const int h = _applied_view.window_h;
    GLGraphicsDriver()->FlipPart(_part.x0, h - _part.y1, _part.x1 - _part.x0, _part.y1 - _part.y0);
    ++_frames_in_part;
  } else if (draw) {
    GLGraphicsDriver()->Flip(sync);
  } else {
    SystemPump();
  }
}
