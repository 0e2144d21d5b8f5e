// TGLImageFrame: an image frame as an OpenGL texture (of its own, padded to a
// power of two, or a slot of a shared atlas page) with the texture coordinates of
// the picture's corners; and the sizing and padding steps of making one.
#pragma once
#include <cstdint>

#include "draw2d/image_frame.h"
#include "draw2d/texture_atlas.h"

struct TPixmap;
class TTextureAtlas;

struct TGLImageFrame : TImageFrame {
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
  unsigned name = 0;  // GL texture (an atlas page's for atlas frames)
  int seq = 0;        // GraphicsSeq at creation
  TAtlasSlot slot;    // page -1: the texture is the frame's own
  int64_t texture_bytes = 0;  // of its own texture, all levels
  // Unfiltered frames sample a small fraction of a texel off the texel edges, so
  // that pixel centres lying exactly on texel boundaries pick one texel reliably.
  float nudge_u = 0, nudge_v = 0;

  ~TGLImageFrame() override;
  void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;

  // Needs a current context in which textures are shared (the caller holds it).
  // atlas null: always a texture of its own. Null for an empty picture or when GL
  // refuses the texture.
  static Ref<TGLImageFrame> CreateFromPixmap(const Ref<TPixmap>& pixmap, int flags,
                                             TTextureAtlas* atlas);
};

// Smallest power of two >= n (1 for n <= 1).
int TexturePow2(int n);
// Power-of-two texture size for a picture, halved while the GL proxy refuses it;
// raises "Unable to calculate tex size" when even 1 x 1 is refused.
void CalcTextureSize(int& width, int& height);
// The picture (RGBA) on a cleared width x height canvas, its last column and row
// copied once beyond it for filtering.
Ref<TPixmap> PadPixmap(const Ref<TPixmap>& picture, int width, int height);
// The picture (RGBA) with a border of that many pixels replicating its edges and corners.
Ref<TPixmap> BorderPixmap(const Ref<TPixmap>& picture, int border = 1);
