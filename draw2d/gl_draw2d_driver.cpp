// The OpenGL Draw2D driver: creation, selection and flipping go to the GLX driver;
// each TGLGraphics is wrapped in a TDraw2DGraphics; ResetGLContext sets the pixel
// projection and the GL state the drawing code relies on. Drawing goes through
// state caches; textured quads (and, over an atlas's white block, rectangles) are
// collected into one vertex array per texture and drawn at the next state change.
#include "draw2d/gl_draw2d_driver.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "draw2d/gl_image_frame.h"
#include "draw2d/glx_graphics.h"
#include "pixmap/pixmap.h"

const Ref<TGLDraw2DDriver>& GLDraw2DDriver() {
  // Never destroyed: frames released during static destruction still reach it.
  static Ref<TGLDraw2DDriver>* d = new Ref<TGLDraw2DDriver>(std::make_shared<TGLDraw2DDriver>());
  return *d;
}

void InstallGLDraw2DDriver() { SetGraphicsDriver(GLDraw2DDriver(), GraphicsFlagBackBuffer); }

std::vector<Ref<TGraphicsMode>> TGLDraw2DDriver::GraphicsModes() {
  return GLGraphicsDriver()->GraphicsModes();
}

Ref<TGraphics> TGLDraw2DDriver::AttachGraphics(unsigned long widget, int flags) {
  Ref<TGraphics> g = GLGraphicsDriver()->AttachGraphics(widget, flags);
  if (!g) return nullptr;
  return TDraw2DGraphics::Create(g, GLDraw2DDriver());
}

Ref<TGraphics> TGLDraw2DDriver::CreateGraphics(int width, int height, int depth, int hertz,
                                               int flags) {
  FlushDrawing();
  ListenForWindowChanges();
  ListenForWindowSize();
  Ref<TGraphics> g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
  if (!g) return nullptr;
  return TDraw2DGraphics::Create(g, GLDraw2DDriver());
}

void TGLDraw2DDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  FlushDrawing();
  auto g = std::dynamic_pointer_cast<TDraw2DGraphics>(graphics);
  if (!g || !g->_graphics) {
    TDraw2DGraphics::ClearCurrent();
    GLGraphicsDriver()->SetGraphics(nullptr);
    return;
  }
  GLGraphicsDriver()->SetGraphics(g->_graphics);
  ResetGLContext(g);
  g->MakeCurrent();
}

bool TGLDraw2DDriver::HasContext() const { return TDraw2DGraphics::Current() != nullptr; }

namespace {
// Size of the current window as its record reports it now (a foreign window's
// size is re-read on selection, after the front cached its settings).
void CurrentSize(int& w, int& h) {
  w = h = 0;
  int d = 0, hz = 0, f = 0;
  if (const Ref<TDraw2DGraphics>& g = TDraw2DGraphics::Current()) g->GetSettings(w, h, d, hz, f);
}

// Where the current window shows the drawing space (one pixel per unit when it
// has no record of its own).
TPixelView View() {
  TPixelView v = CurrentPixelView();
  if (v.window_w <= 0 || v.window_h <= 0) {
    int w = 0, h = 0;
    CurrentSize(w, h);
    v = FitPixelView(w, h, w, h);
  }
  return v;
}

// A rectangle of the drawing space in window pixels.
TPixelRect ToPixels(const TPixelView& v, float x, float y, float w, float h) {
  auto px = [&v](float u) { return int(std::lround(u * v.scale)); };
  return {v.x + px(x), v.y + px(y), v.x + px(x + w), v.y + px(y + h)};
}

// The whole drawing space in pixels; bars lie around it when it is not the window.
TPixelRect Space(const TPixelView& v) { return ToPixels(v, 0, 0, float(v.width), float(v.height)); }

TPixelRect Intersect(const TPixelRect& a, const TPixelRect& b) {
  return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

// Scissors GL to r, given from the top left of a window h pixels high.
void ScissorTo(const TPixelRect& r, int h) {
  glScissor(r.x0, h - r.y1, std::max(0, r.x1 - r.x0), std::max(0, r.y1 - r.y0));
}

bool HasBars(const TPixelView& v, const TPixelRect& r) {
  return r.x0 > 0 || r.y0 > 0 || r.x1 < v.window_w || r.y1 < v.window_h;
}

bool SameView(const TPixelView& a, const TPixelView& b) {
  return a.width == b.width && a.height == b.height && a.window_w == b.window_w &&
         a.window_h == b.window_h && a.scale == b.scale && a.x == b.x && a.y == b.y;
}

}  // namespace

void TGLDraw2DDriver::ApplyView() {
  const TPixelView v = View();
  const TPixelRect r = Space(v);
  glViewport(r.x0, v.window_h - r.y1, r.x1 - r.x0, r.y1 - r.y0);
  glPointSize(v.scale);
  glLineWidth(_line_width * v.scale);
  _applied_view = v;
}

bool TGLDraw2DDriver::FollowView() {
  if (SameView(View(), _applied_view)) return false;
  ApplyView();
  GlViewport(_viewport[0], _viewport[1], _viewport[2], _viewport[3]);
  return true;
}

void TGLDraw2DDriver::ClearBars() {
  const TPixelView v = View();
  const TPixelRect r = Space(v);
  if (!HasBars(v, r)) return;
  GLfloat colour[4];
  GLint box[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
  glGetIntegerv(GL_SCISSOR_BOX, box);
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
  glEnable(GL_SCISSOR_TEST);
  const int w = v.window_w, h = v.window_h;
  const TPixelRect bars[4] = {{0, 0, r.x0, h}, {r.x1, 0, w, h}, {r.x0, 0, r.x1, r.y0}, {r.x0, r.y1, r.x1, h}};
  for (TPixelRect b : bars) {
    if (_in_part) b = Intersect(b, _part);
    if (b.x1 <= b.x0 || b.y1 <= b.y0) continue;
    ScissorTo(b, h);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glScissor(box[0], box[1], box[2], box[3]);
  if (!scissor) glDisable(GL_SCISSOR_TEST);
  glClearColor(colour[0], colour[1], colour[2], colour[3]);
}

bool TGLDraw2DDriver::FindPartToRedraw(int sync) {
  if (sync != 0 || _force || _must_draw || !QuietFrames() || !_clears_first || !HasContext()) return false;
  const TPixelView v = View();
  if (!SameView(v, _applied_view) || !GLGraphicsDriver()->CanFlipPart()) return false;
  TUnitRect d;
  if (!FrameDamage(_frame.ShownWords(), _frame.ShownSize(), _frame.Words(), _frame.Size(), _fresh, d) ||
      d.Empty())
    return false;
  // Whole pixels around it, one more for rounding and smoothing at the edges.
  auto px = [&v](float u, int origin, bool up) {
    const float p = float(origin) + u * v.scale;
    return int(up ? std::ceil(p) : std::floor(p)) + (up ? 1 : -1);
  };
  const TPixelRect whole = {0, 0, v.window_w, v.window_h};
  const TPixelRect r = Intersect({px(d.x0, v.x, false), px(d.y0, v.y, false), px(d.x1, v.x, true), px(d.y1, v.y, true)}, whole);
  if (r.x1 <= r.x0 || r.y1 <= r.y0) return false;
  // A large change is shown with a swap, as any frame.
  if (int64_t(r.x1 - r.x0) * (r.y1 - r.y0) * 2 > int64_t(v.window_w) * v.window_h) return false;
  _part = r;
  return true;
}

void TGLDraw2DDriver::ResetGLContext(const Ref<TGraphics>& graphics) {
  FlushDrawing();
  _force = true;
  int w = 0, h = 0, d = 0, hz = 0, f = 0;
  graphics->GetSettings(w, h, d, hz, f);
  _blend_mode = -1;
  _bound_texture = 0;
  _bind_known = false;
  _texture_enabled = false;
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  ApplyView();
  glColor4ubv(_color);
}

// ---- state ----------------------------------------------------------------

void TGLDraw2DDriver::GlBlend(int mode) {
  if (mode == _blend_mode) return;
  FlushBatch();
  _blend_mode = mode;
  if (_listener) _listener->OnBlendState();
  switch (mode) {
    case BlendMask:
      glDisable(GL_BLEND);
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_GEQUAL, 0.5f);
      break;
    case BlendAlpha:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendLight:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendShade:
      glEnable(GL_BLEND);
      glBlendFunc(GL_DST_COLOR, GL_ZERO);
      glDisable(GL_ALPHA_TEST);
      break;
    default:  // BlendSolid and anything unknown
      glDisable(GL_BLEND);
      glDisable(GL_ALPHA_TEST);
      break;
  }
}

void TGLDraw2DDriver::GlAlpha(float alpha) {
  if (alpha > 1.0f) alpha = 1.0f;
  if (!(alpha >= 0.0f)) alpha = 0.0f;  // NaN too
  _color[3] = static_cast<unsigned char>(alpha * 255.0f);
  if (HasContext()) glColor4ubv(_color);
}

namespace {
unsigned char Clamp255(int v) { return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
}  // namespace

void TGLDraw2DDriver::GlColor(int r, int g, int b) {
  _color[0] = Clamp255(r);
  _color[1] = Clamp255(g);
  _color[2] = Clamp255(b);
  if (HasContext()) glColor4ubv(_color);
}

void TGLDraw2DDriver::GlClsColor(int r, int g, int b) {
  if (!HasContext()) return;
  glClearColor(Clamp255(r) / 255.0f, Clamp255(g) / 255.0f, Clamp255(b) / 255.0f, 1.0f);
}

void TGLDraw2DDriver::GlViewport(int x, int y, int width, int height) {
  if (!HasContext()) return;
  FlushBatch();
  _viewport[0] = x;
  _viewport[1] = y;
  _viewport[2] = width;
  _viewport[3] = height;
  int gw = 0, gh = 0;
  CurrentSize(gw, gh);
  const TPixelView v = View();
  if (x == 0 && y == 0 && width == gw && height == gh && !HasBars(v, Space(v)) && !_in_part) {
    glDisable(GL_SCISSOR_TEST);
  } else {
    // In pixels: the drawing space may be scaled and lie between bars.
    TPixelRect r = ToPixels(v, float(x), float(y), float(width), float(height));
    if (_in_part) r = Intersect(r, _part);
    glEnable(GL_SCISSOR_TEST);
    ScissorTo(r, v.window_h);
  }
}

void TGLDraw2DDriver::GlLineWidth(float width) {
  if (!HasContext()) return;
  FlushBatch();
  _line_width = width;
  glLineWidth(width * View().scale);
}

void TGLDraw2DDriver::SetBatching(bool on) {
  FlushDrawing();
  _batching = on;
}

void TGLDraw2DDriver::SetAtlas(bool on) {
  FlushDrawing();
  _use_atlas = on;
}

void TGLDraw2DDriver::BindTexture(unsigned texture) {
  if (!_texture_enabled) {
    glEnable(GL_TEXTURE_2D);
    _texture_enabled = true;
  }
  if (!_bind_known || _bound_texture != texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    _bound_texture = texture;
    _bind_known = true;
  }
}

void TGLDraw2DDriver::DisableTex() {
  if (_texture_enabled) {
    glDisable(GL_TEXTURE_2D);
    _texture_enabled = false;
  }
}

// ---- batching -------------------------------------------------------------

TGLDraw2DDriver::TPoint TGLDraw2DDriver::Place(float x, float y, float tx, float ty) const {
  return {x * _ix + y * _iy + tx, x * _jx + y * _jy + ty};
}

TGLDraw2DDriver::TQuad TGLDraw2DDriver::Corners(float x0, float y0, float x1, float y1, float tx,
                                                float ty) const {
  return {Place(x0, y0, tx, ty), Place(x1, y0, tx, ty), Place(x1, y1, tx, ty), Place(x0, y1, tx, ty)};
}

void TGLDraw2DDriver::Queue(unsigned texture, const TQuad& quad, const TTexCoords& uv) {
  if (!_vertices.empty() && texture != _batch_texture) FlushBatch();
  _batch_texture = texture;
  for (int i = 0; i < 4; ++i) {
    TVertex v;
    v.x = quad[i].x;
    v.y = quad[i].y;
    v.u = uv.u[i];
    v.v = uv.v[i];
    std::memcpy(v.rgba, _color, 4);
    _vertices.push_back(v);
  }
}

void TGLDraw2DDriver::FlushBatch() {
  if (!_vertices.empty()) {
    if (HasContext()) {
      BindTexture(_batch_texture);
      glEnableClientState(GL_VERTEX_ARRAY);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glEnableClientState(GL_COLOR_ARRAY);
      const TVertex* base = _vertices.data();
      glVertexPointer(2, GL_FLOAT, sizeof(TVertex), &base->x);
      glTexCoordPointer(2, GL_FLOAT, sizeof(TVertex), &base->u);
      glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(TVertex), base->rgba);
      glDrawArrays(GL_QUADS, 0, GLsizei(_vertices.size()));
      glDisableClientState(GL_COLOR_ARRAY);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
      glDisableClientState(GL_VERTEX_ARRAY);
      glColor4ubv(_color);  // the colour array left the current colour undefined
      Drew();
    }
    _vertices.clear();
  }
  RunReleases();
}

void TGLDraw2DDriver::RunReleases() {
  // A recorded call may still use the texture, or its place in an atlas page.
  if (_replaying || Pending() || !_vertices.empty() || _releases.empty()) return;
  std::vector<TRelease> releases;
  releases.swap(_releases);
  for (const TRelease& r : releases) ReleaseNow(r);
}

void TGLDraw2DDriver::ReleaseFrame(unsigned texture, const TAtlasSlot& slot, int64_t bytes) {
  if (_replaying || Pending() || !_vertices.empty()) {
    _releases.push_back(TRelease{texture, slot, bytes});
    return;
  }
  ReleaseNow(TRelease{texture, slot, bytes});
}

void TGLDraw2DDriver::ReleaseNow(const TRelease& release) {
  unsigned texture = release.texture;
  if (release.slot.page >= 0) {
    texture = _atlas.Free(release.slot);  // the page, when this was its last slot
  } else if (texture && _listener) {
    _listener->OnTextureMemory(-release.bytes);
  }
  if (!texture) return;
  // Names are reused by the driver: a cached binding of this name means nothing now.
  if (_bound_texture == texture) _bind_known = false;
  if (!SharedContextAlive()) return;  // program end: the textures went with the context
  TSharedContextGuard guard;
  if (!guard.Ready()) return;
  GLuint name = texture;
  glDeleteTextures(1, &name);
}

namespace {
// A new frame's texels: its atlas slot and the texels that filtering and smaller
// levels blend with it, or the whole of a texture of its own.
TTexelRect FreshTexels(const TGLImageFrame& frame) {
  if (frame.slot.page < 0) return {frame.name, -1e30f, -1e30f, 1e30f, 1e30f};
  const float k = 1.0f / float(TTextureAtlas::kPageSize), m = float(1 << TTextureAtlas::kMipLevels);
  const TAtlasSlot& s = frame.slot;
  return {frame.name, (float(s.x) - m) * k, (float(s.y) - m) * k, (float(s.x + s.w) + m) * k,
          (float(s.y + s.h) + m) * k};
}
}  // namespace

Ref<TImageFrame> TGLDraw2DDriver::CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) {
  if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return nullptr;
  FlushBatch();
  Ref<TGLImageFrame> frame;
  {
    TSharedContextGuard guard;
    if (!guard.Ready()) return nullptr;
    frame = TGLImageFrame::CreateFromPixmap(pixmap, flags, _use_atlas ? &_atlas : nullptr);
    glFlush();  // the drawing context sees finished uploads
  }
  if (frame && frame->slot.page < 0 && _listener) _listener->OnTextureMemory(frame->texture_bytes);
  // Texels that this frame's record points at may be new (a place or a name reused).
  if (frame) _fresh.push_back(FreshTexels(*frame));
  _bind_known = false;  // creation bound textures directly (in full screen, in this context)
  return frame;
}

// ---- drawing --------------------------------------------------------------

void TGLDraw2DDriver::GlQuad(unsigned texture, float u0, float v0, float u1, float v1, float x0,
                             float y0, float x1, float y1, float tx, float ty) {
  if (!HasContext()) return;
  const TQuad quad = Corners(x0, y0, x1, y1, tx, ty);
  const TTexCoords uv = {{u0, u1, u1, u0}, {v0, v0, v1, v1}};
  if (_batching) {
    Queue(texture, quad, uv);
    return;
  }
  BindTexture(texture);
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    glTexCoord2f(uv.u[i], uv.v[i]);
    glVertex2f(quad[i].x, quad[i].y);
  }
  glEnd();
  Drew();
}

void TGLDraw2DDriver::GlRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!HasContext()) return;
  const TQuad quad = Corners(x0, y0, x1, y1, tx, ty);
  if (_batching && _use_atlas) {
    // From the white block of the page in use, so the rectangle joins the batch.
    int page = _vertices.empty() ? -1 : _atlas.PageOfTexture(_batch_texture);
    if (page < 0) page = _atlas.FirstPage();
    if (page < 0) {
      FlushBatch();
      TSharedContextGuard guard;
      if (guard.Ready()) {
        page = _atlas.AnyPage();
        glFlush();
      }
      _bind_known = false;
    }
    if (page >= 0) {
      float u = 0, v = 0;
      _atlas.WhiteTexel(page, u, v);
      Queue(_atlas.PageTexture(page), quad, {{u, u, u, u}, {v, v, v, v}});
      return;
    }
  }
  FlushBatch();
  DisableTex();
  glBegin(GL_QUADS);
  for (const TPoint& p : quad) glVertex2f(p.x, p.y);
  glEnd();
  Drew();
}

void TGLDraw2DDriver::GlCls() {
  if (!HasContext()) return;
  FlushBatch();
  ClearBars();
  glClear(GL_COLOR_BUFFER_BIT);
}

void TGLDraw2DDriver::GlPlot(float x, float y) {
  if (!HasContext()) return;
  FlushBatch();
  DisableTex();
  glBegin(GL_POINTS);
  glVertex2f(x + 0.5f, y + 0.5f);
  glEnd();
  Drew();
}

void TGLDraw2DDriver::GlLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!HasContext()) return;
  FlushBatch();
  DisableTex();
  glBegin(GL_LINES);
  for (const TPoint& p : {Place(x0, y0, tx, ty), Place(x1, y1, tx, ty)}) glVertex2f(p.x + 0.5f, p.y + 0.5f);
  glEnd();
  Drew();
}

void TGLDraw2DDriver::GlOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!HasContext()) return;
  FlushBatch();
  DisableTex();
  const float rx = (x1 - x0) * 0.5f, ry = (y1 - y0) * 0.5f;
  const float cx = x0 + rx, cy = y0 + ry;
  const int segments = std::max(8, int((std::fabs(rx) + std::fabs(ry)) * 0.75f));
  glBegin(GL_POLYGON);
  for (int i = 0; i < segments; ++i) {
    const float a = float(i) * 6.28318530718f / float(segments);
    const TPoint p = Place(cx + std::cos(a) * rx, cy + std::sin(a) * ry, tx, ty);
    glVertex2f(p.x, p.y);
  }
  glEnd();
  Drew();
}

void TGLDraw2DDriver::GlPoly(const std::vector<float>& points, float handle_x, float handle_y,
                             float tx, float ty) {
  if (!HasContext() || points.size() < 6) return;
  FlushBatch();
  DisableTex();
  glBegin(GL_POLYGON);
  for (size_t i = 0; i + 1 < points.size(); i += 2) {
    const TPoint p = Place(points[i] + handle_x, points[i + 1] + handle_y, tx, ty);
    glVertex2f(p.x, p.y);
  }
  glEnd();
  Drew();
}

void TGLDraw2DDriver::GlPixmap(const Ref<TPixmap>& pixmap, int x, int y) {
  if (!HasContext() || !pixmap || pixmap->width <= 0 || pixmap->height <= 0) return;
  FlushBatch();
  Ref<TPixmap> rgba =
      pixmap->format == FormatRGBA8888 ? pixmap : ConvertPixmap(pixmap, FormatRGBA8888);
  Ref<TPixmap> flipped = YFlipPixmap(rgba);
  if (!flipped) return;
  DisableTex();  // a textured glDrawPixels would be tinted by the bound texture
  const int saved = _blend_mode;
  GlBlend(BlendSolid);
  // The raster position moves in window pixels; the pixmap's pixels take as many
  // window pixels as a unit does.
  const float s = View().scale;
  glRasterPos2i(0, 0);
  glBitmap(0, 0, 0, 0, float(x) * s, -float(y + flipped->height) * s, nullptr);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, flipped->pitch / 4);
  if (s != 1) glPixelZoom(s, s);
  glDrawPixels(flipped->width, flipped->height, GL_RGBA, GL_UNSIGNED_BYTE, flipped->pixels);
  if (s != 1) glPixelZoom(1, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  Drew();
  GlBlend(saved);
}

Ref<TPixmap> TGLDraw2DDriver::GrabPixmap(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
  const bool context = HasContext();
  if (context) FlushDrawing();
  // The rectangle at the window's resolution: scale times its size in units.
  const TPixelView v = context ? View() : TPixelView{};
  const TPixelRect want = ToPixels(v, float(x), float(y), float(width), float(height));
  Ref<TPixmap> out = CreatePixmap(want.x1 - want.x0, want.y1 - want.y0, FormatRGBA8888);
  if (!out) return nullptr;
  out->ClearPixels(0);  // whatever lies outside the window reads as transparent black
  if (!context) return out;
  const int cx0 = std::max(want.x0, 0), cy0 = std::max(want.y0, 0);
  const int cx1 = std::min(want.x1, v.window_w), cy1 = std::min(want.y1, v.window_h);
  if (cx1 <= cx0 || cy1 <= cy0) return out;
  const int cw = cx1 - cx0, ch = cy1 - cy0;
  std::vector<unsigned char> rows(size_t(cw) * size_t(ch) * 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(cx0, v.window_h - cy1, cw, ch, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  for (int r = 0; r < ch; ++r) {  // GL's first row is the bottom one
    std::memcpy(out->PixelPtr(cx0 - want.x0, cy0 - want.y0 + r), rows.data() + size_t(ch - 1 - r) * cw * 4,
                size_t(cw) * 4);
  }
  return out;
}
