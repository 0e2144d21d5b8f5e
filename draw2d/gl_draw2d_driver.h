// The OpenGL Draw2D driver, the graphics driver that is actually installed: it
// forwards window creation, selection and flipping to the GLX driver, wraps each
// TGLGraphics in a TDraw2DGraphics, sets the GL state every frame relies on, and
// draws: state caches, immediate-mode shapes, textured quads (batched into vertex
// arrays over shared atlas textures unless batching is switched off), pixmap
// drawing and back-buffer reads.
//
// A frame's calls are recorded and reach GL when the frame is flipped, read back
// or flushed (FlushDrawing). A frame whose record equals that of the frame on
// screen, with no texture made or window change since, is neither drawn nor
// swapped: the screen already shows exactly those pixels.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "draw2d/draw2d_graphics.h"
#include "draw2d/frame_damage.h"
#include "draw2d/frame_record.h"
#include "draw2d/gl_draw_listener.h"
#include "draw2d/glx_window_scale.h"
#include "draw2d/texture_atlas.h"

struct TGLDraw2DDriver : TDraw2DDriver {
  std::vector<Ref<TGraphicsMode>> GraphicsModes() override;
  Ref<TGraphics> AttachGraphics(unsigned long widget, int flags) override;
  Ref<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
  void SetGraphics(const Ref<TGraphics>& graphics) override;
  void Flip(int sync) override;
  Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) override;
  void SetBlend(int mode) override;
  void SetAlpha(float alpha) override;
  void SetColor(int r, int g, int b) override;
  void SetClsColor(int r, int g, int b) override;
  void SetViewport(int x, int y, int width, int height) override;
  void SetTransform(float ix, float iy, float jx, float jy) override;
  void SetLineWidth(float width) override;
  void Cls() override;
  void Plot(float x, float y) override;
  void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawPoly(const std::vector<float>& points, float handle_x, float handle_y, float tx,
                float ty) override;
  void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) override;
  Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) override;
  // Sends the frame recorded so far to GL (drawing held back in batches included).
  void FlushDrawing() override;

  // Projection of one unit per pixel with (0, 0) at the top left, model-view
  // identity, full viewport, texturing off, GL state caches forgotten.
  virtual void ResetGLContext(const Ref<TGraphics>& graphics);
  std::u16string ToString() const { return u"OpenGL"; }

  // Used by the GL image frames.
  void DrawTexturedQuad(unsigned texture, float u0, float v0, float u1, float v1, float x0,
                        float y0, float x1, float y1, float tx, float ty);
  // Deletes a frame's own texture (of `bytes`) or returns its atlas slot; waits
  // for the next flush while quads are pending (they may use it).
  void ReleaseFrame(unsigned texture, const TAtlasSlot& slot, int64_t bytes);
  // Draws the pending quads.
  void FlushBatch();
  // Switches: batching (vertex arrays) and packing small frames into atlases.
  // Changing either flushes; the atlas switch applies to frames made afterwards.
  void SetBatching(bool on);
  void SetAtlas(bool on);
  bool Batching() const { return _batching; }
  // The next flip draws and swaps whatever the frame holds (window shown again,
  // resized, its contents lost).
  void ForceNextFrame() { _force = true; }
  // Flips that swapped and flips that found the screen already right, since start.
  int64_t FramesDrawn() const { return _frames_drawn; }
  int64_t FramesSkipped() const { return _frames_skipped; }
  // Drawn flips that redrew and showed only the part of the window that changed.
  int64_t FramesDrawnInPart() const { return _frames_in_part; }
  // Null: nobody listens.
  void SetListener(TGLDrawListener* listener) {
    _listener = listener;
    _atlas.SetListener(listener);
  }
  const TTextureAtlas& Atlas() const { return _atlas; }

  // GL state caches.
  int _blend_mode = -1;  // -1: unknown, the next SetBlend reaches GL
  unsigned int _bound_texture = 0;
  bool _texture_enabled = false;
  bool _bind_known = false;  // false: the next bind reaches GL
  unsigned char _color[4] = {255, 255, 255, 255};
  float _ix = 1, _iy = 0, _jx = 0, _jy = 1;

 private:
  struct TVertex {
    float x, y, u, v;
    unsigned char rgba[4];
  };
  struct TPoint {
    float x, y;
  };
  // Top left, top right, bottom right, bottom left.
  using TQuad = std::array<TPoint, 4>;
  struct TTexCoords {
    float u[4], v[4];  // per corner, in the order of TQuad
  };
  // A shape's point (x, y) through the current transform, at the drawing position
  // (tx, ty). Every path places its vertices through it, so batched and immediate
  // drawing stay pixel-identical.
  TPoint Place(float x, float y, float tx, float ty) const;
  TQuad Corners(float x0, float y0, float x1, float y1, float tx, float ty) const;
  void BindTexture(unsigned texture);
  void DisableTex();
  void Queue(unsigned texture, const TQuad& quad, const TTexCoords& uv);
  void Drew() {
    if (_listener) _listener->OnDraw();
  }
  struct TRelease {
    unsigned texture;
    TAtlasSlot slot;
    int64_t bytes;
  };
  void ReleaseNow(const TRelease& release);
  bool HasContext() const;

  // The window's pixels: the GL viewport over the drawing space, point size and
  // line width at its scale; FollowView applies a view the window manager changed.
  void ApplyView();
  bool FollowView();
  // Black around a drawing space that does not fill the window.
  void ClearBars();
  // The part of the window this flip needs to redraw (into _part) when it is small
  // and the rest of the screen already shows the frame: the frame differs from the
  // one on screen only in where and what some calls draw. False: the whole frame.
  bool FindPartToRedraw(int sync);

  // The calls as GL sees them, also used by the replay.
  void GlBlend(int mode);
  void GlAlpha(float alpha);
  void GlColor(int r, int g, int b);
  void GlClsColor(int r, int g, int b);
  void GlViewport(int x, int y, int width, int height);
  void GlLineWidth(float width);
  void GlCls();
  void GlPlot(float x, float y);
  void GlLine(float x0, float y0, float x1, float y1, float tx, float ty);
  void GlRect(float x0, float y0, float x1, float y1, float tx, float ty);
  void GlOval(float x0, float y0, float x1, float y1, float tx, float ty);
  void GlPoly(const std::vector<float>& points, float handle_x, float handle_y, float tx, float ty);
  void GlPixmap(const Ref<TPixmap>& pixmap, int x, int y);
  void GlQuad(unsigned texture, float u0, float v0, float u1, float v1, float x0, float y0,
              float x1, float y1, float tx, float ty);

  // Recording (gl_frame_replay.cpp). Recording is true when a context is current
  // (the frame's record is then started) and false otherwise: the call then goes
  // to GL at once, as it finds it.
  bool Recording();
  void BeginRecord();
  // One op and its values (ints, unsigned, floats), as words.
  template <class... Values>
  void Put(TFrameOp op, Values... values);
  // An op that sets state: its values are also the state the next frame starts from.
  template <class... Values>
  void PutState(TFrameOp op, int index, Values... values);
  bool Pending() const { return _frame.Size() > _replayed; }
  // Replays what was recorded since the last replay.
  void Materialise();
  void ReplayOne(TFrameRecord::TReader& in);
  void RunReleases();
  // The flip's decision: true when this frame must be drawn and swapped.
  bool MustDraw(int sync) const;

  bool _batching = true;
  bool _use_atlas = true;
  std::vector<TVertex> _vertices;
  unsigned _batch_texture = 0;
  std::vector<TRelease> _releases;  // waiting for the next flush
  TTextureAtlas _atlas;
  TGLDrawListener* _listener = nullptr;

  TPixelView _applied_view;
  int _viewport[4] = {};
  float _line_width = 1;

  // Quiet frames.
  uint32_t _state[kStateWords] = {};  // as last recorded: the next frame starts from it
  TFrameRecord _frame;                    // this frame, header first, and the one on screen
  size_t _replayed = 0;                   // words of _frame that reached GL
  bool _must_draw = false;                // this frame reached GL (replayed, read back)
  std::vector<TTexelRect> _fresh;         // texels made since the last frame was drawn
  bool _force = true;
  bool _drew = false;          // this frame drew something
  bool _clears_first = false;  // its first drawing call clears the whole window
  bool _replaying = false;
  bool _in_part = false;  // the replay is scissored to _part
  TPixelRect _part;
  int64_t _frames_drawn = 0, _frames_skipped = 0, _frames_in_part = 0;
};

// Hooks the window events that make the next frame draw (once).
void ListenForWindowChanges();

// The one driver object.
const Ref<TGLDraw2DDriver>& GLDraw2DDriver();
// Installs it as the current graphics driver with GraphicsFlagBackBuffer.
void InstallGLDraw2DDriver();
