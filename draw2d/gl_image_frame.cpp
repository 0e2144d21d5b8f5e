// Making textures from pixmaps (sizing by proxy probe, shrinking, padding,
// filtering, mipmaps, upload honouring the row length) and drawing them through
// the GL Draw2D driver, which owns the state caches, batching and deletion.
#include "draw2d/gl_image_frame.h"

#include <GL/gl.h>

#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "pixmap/pixmap.h"
#include "platform/runtime_error.h"

int TexturePow2(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

void CalcTextureSize(int& width, int& height) {
  int w = TexturePow2(width), h = TexturePow2(height);
  for (;;) {
    // The probe uses the internal format of the real allocation.
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    GLint got = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &got);
    if (got != 0) break;
    if (w == 1 && h == 1) RuntimeError("Unable to calculate tex size");
    if (w > 1) w /= 2;
    if (h > 1) h /= 2;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  width = w;
  height = h;
}

Ref<TPixmap> PadPixmap(const Ref<TPixmap>& picture, int width, int height) {
  Ref<TPixmap> src = picture->format == FormatRGBA8888 ? picture
                                                        : ConvertPixmap(picture, FormatRGBA8888);
  Ref<TPixmap> out = CreatePixmap(width, height, FormatRGBA8888);
  if (!src || !out) return nullptr;
  out->ClearPixels(0);  // mipmaps would average whatever lies here into the edges
  out->Paste(*src, 0, 0);
  const int w = src->width, h = src->height;
  if (w < width) {
    for (int y = 0; y < h; ++y) out->WritePixel(w, y, src->ReadPixel(w - 1, y));
  }
  if (h < height) {
    for (int x = 0; x < w; ++x) out->WritePixel(x, h, src->ReadPixel(x, h - 1));
  }
  if (w < width && h < height) out->WritePixel(w, h, src->ReadPixel(w - 1, h - 1));
  return out;
}

Ref<TPixmap> BorderPixmap(const Ref<TPixmap>& picture, int border) {
  Ref<TPixmap> src = picture->format == FormatRGBA8888 ? picture
                                                        : ConvertPixmap(picture, FormatRGBA8888);
  if (!src || border < 1) return nullptr;
  const int w = src->width, h = src->height;
  Ref<TPixmap> out = CreatePixmap(w + 2 * border, h + 2 * border, FormatRGBA8888);
  if (!out) return nullptr;
  out->Paste(*src, border, border);
  for (int y = -border; y < h + border; ++y) {
    const int sy = y < 0 ? 0 : (y >= h ? h - 1 : y);
    for (int k = 1; k <= border; ++k) {
      out->WritePixel(border - k, y + border, src->ReadPixel(0, sy));
      out->WritePixel(w + border + k - 1, y + border, src->ReadPixel(w - 1, sy));
    }
  }
  for (int x = 0; x < w; ++x) {
    for (int k = 1; k <= border; ++k) {
      out->WritePixel(x + border, border - k, src->ReadPixel(x, 0));
      out->WritePixel(x + border, h + border + k - 1, src->ReadPixel(x, h - 1));
    }
  }
  return out;
}

namespace {

void Upload(GLint level, int x, int y, const TPixmap& pm) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pm.pitch / BytesPerPixel(pm.format));
  glTexSubImage2D(GL_TEXTURE_2D, level, x, y, pm.width, pm.height, GL_RGBA, GL_UNSIGNED_BYTE,
                  pm.pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// The next mipmap level of a pixmap, halved as a texture of its own halves it.
Ref<TPixmap> HalvePixmap(const Ref<TPixmap>& pm) {
  int w = pm->width, h = pm->height;
  if (w > 1 && h > 1) {
    w /= 2;
    h /= 2;
  } else if (w > 1) {
    w /= 2;
  } else {
    h /= 2;
  }
  return ResizePixmap(pm, w, h);
}

// Mipmapped frames take their whole padded texture (at least kMipBorder texels a
// side) with a border of kMipBorder, so that at each level up to the page's last
// the slot holds exactly the levels a texture of its own would have, inside a
// border of at least one texel.
Ref<TGLImageFrame> CreateInAtlas(const Ref<TPixmap>& picture, int flags, int tex_w, int tex_h,
                                 TTextureAtlas& atlas) {
  const bool mipmapped = (flags & ImageMipmapped) != 0;
  Ref<TPixmap> level_pm = picture;
  int border = 1;
  if (mipmapped) {
    border = TTextureAtlas::kMipBorder;
    const int w = tex_w < border ? border : tex_w, h = tex_h < border ? border : tex_h;
    if (picture->width < w || picture->height < h) {
      level_pm = PadPixmap(picture, w, h);
    } else if (picture->format != FormatRGBA8888) {
      level_pm = ConvertPixmap(picture, FormatRGBA8888);
    }
    if (!level_pm) return nullptr;
  }
  Ref<TPixmap> bordered = BorderPixmap(level_pm, border);
  if (!bordered) return nullptr;
  TAtlasSlot slot;
  if (!atlas.Allocate((flags & ImageFiltered) != 0, mipmapped, bordered->width, bordered->height,
                      slot)) {
    return nullptr;
  }
  const unsigned name = atlas.PageTexture(slot.page);
  glBindTexture(GL_TEXTURE_2D, name);
  while (glGetError() != GL_NO_ERROR) {
  }
  Upload(0, slot.x, slot.y, *bordered);
  for (int level = 1; mipmapped && level <= TTextureAtlas::kMipLevels; ++level) {
    level_pm = HalvePixmap(level_pm);
    bordered = level_pm ? BorderPixmap(level_pm, border >> level) : nullptr;
    if (!bordered) break;  // the error check below gives no frame
    Upload(level, slot.x >> level, slot.y >> level, *bordered);
  }
  auto frame = std::make_shared<TGLImageFrame>();
  frame->slot = slot;
  frame->name = name;
  if (glGetError() != GL_NO_ERROR || (mipmapped && !bordered)) {
    frame->seq = GraphicsSeq();  // so that the destructor returns the slot
    return nullptr;
  }
  const float s = float(TTextureAtlas::kPageSize);
  frame->u0 = float(slot.x + border) / s;
  frame->v0 = float(slot.y + border) / s;
  frame->u1 = float(slot.x + border + picture->width) / s;
  frame->v1 = float(slot.y + border + picture->height) / s;
  if (!(flags & ImageFiltered)) {
    frame->nudge_u = 1.0f / (256.0f * s);
    frame->nudge_v = -1.0f / (256.0f * s);
  }
  frame->seq = GraphicsSeq();
  return frame;
}

// A texture of its own, tex_w x tex_h with the filters the flags ask for, holding
// level_pm (and with ImageMipmapped its halvings down to 1 x 1); `bytes` gets the
// memory of all its levels. 0 when GL refuses it (out of memory): no frame rather
// than a white one.
GLuint MakeOwnTexture(Ref<TPixmap> level_pm, int flags, int tex_w, int tex_h, int64_t& bytes) {
  const bool mipmapped = (flags & ImageMipmapped) != 0;
  GLuint name = 0;
  glGenTextures(1, &name);
  if (!name) return 0;
  glBindTexture(GL_TEXTURE_2D, name);  // directly: the driver's cache is told afterwards
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  if (flags & ImageFiltered) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  bool failed = false;
  bytes = 0;
  for (int level = 0, w = tex_w, h = tex_h;; ++level) {
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) {
      failed = true;
      break;
    }
    bytes += int64_t(w) * h * 4;
    if (!mipmapped || (w == 1 && h == 1)) break;
    if (w >= 2) w /= 2;
    if (h >= 2) h /= 2;
  }
  for (GLint level = 0; !failed; ++level) {
    Upload(level, 0, 0, *level_pm);
    if (glGetError() != GL_NO_ERROR) failed = true;
    if (!mipmapped || (level_pm->width == 1 && level_pm->height == 1)) break;
    level_pm = HalvePixmap(level_pm);
    if (!level_pm) failed = true;
  }
  if (!failed) return name;
  glDeleteTextures(1, &name);
  return 0;
}

}  // namespace

Ref<TGLImageFrame> TGLImageFrame::CreateFromPixmap(const Ref<TPixmap>& pixmap, int flags,
                                                   TTextureAtlas* atlas) {
  if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return nullptr;
  int tex_w = pixmap->width, tex_h = pixmap->height;
  CalcTextureSize(tex_w, tex_h);
  const int width = pixmap->width < tex_w ? pixmap->width : tex_w;
  const int height = pixmap->height < tex_h ? pixmap->height : tex_h;
  Ref<TPixmap> picture = pixmap;
  if (width != pixmap->width || height != pixmap->height) {
    picture = ResizePixmap(pixmap, width, height);
    if (!picture) return nullptr;
  }
  const bool mipmapped = (flags & ImageMipmapped) != 0;
  const int atlas_max = mipmapped ? TTextureAtlas::kMaxMipPicture : TTextureAtlas::kMaxPicture;
  if (atlas && width <= atlas_max && height <= atlas_max) {
    return CreateInAtlas(picture, flags, tex_w, tex_h, *atlas);
  }

  Ref<TPixmap> level_pm;
  if (width < tex_w || height < tex_h) {
    level_pm = PadPixmap(picture, tex_w, tex_h);
  } else {
    level_pm = picture->format == FormatRGBA8888 ? picture : ConvertPixmap(picture, FormatRGBA8888);
  }
  if (!level_pm) return nullptr;

  int64_t bytes = 0;
  const GLuint name = MakeOwnTexture(level_pm, flags, tex_w, tex_h, bytes);
  if (!name) return nullptr;
  auto frame = std::make_shared<TGLImageFrame>();
  frame->name = name;
  frame->texture_bytes = bytes;
  frame->u1 = float(width) / float(tex_w);
  frame->v1 = float(height) / float(tex_h);
  if (!(flags & ImageFiltered)) {
    frame->nudge_u = 1.0f / (256.0f * float(tex_w));
    frame->nudge_v = -1.0f / (256.0f * float(tex_h));
  }
  frame->seq = GraphicsSeq();
  return frame;
}

TGLImageFrame::~TGLImageFrame() {
  if (seq != 0) GLDraw2DDriver()->ReleaseFrame(name, slot, texture_bytes);
}

void TGLImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
  GLDraw2DDriver()->DrawTexturedQuad(name, u0 + nudge_u, v0 + nudge_v, u1 + nudge_u,
                                     v1 + nudge_v, x0, y0, x1, y1, tx, ty);
}
