// Images: frames, pixmaps and graphics sequences, loading, locking, grabbing and
// drawing. Leans on the pixmap loaders, the current Draw2D driver and the drawing
// state's origin.
#include "draw2d/image.h"

#include "draw2d/draw2d_graphics.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image_frame.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

namespace {
int g_mask_r = 0, g_mask_g = 0, g_mask_b = 0;
int g_auto_flags = ImageMasked | ImageFiltered;
bool g_auto_midhandle = false;

int ResolveFlags(int flags) { return flags == -1 ? g_auto_flags : flags; }

bool ValidIndex(const TImage& image, int index) {
  return index >= 0 && size_t(index) < image.pixmaps.size();
}
}  // namespace

void SetMaskColor(int r, int g, int b) {
  g_mask_r = r;
  g_mask_g = g;
  g_mask_b = b;
}
void GetMaskColor(int& r, int& g, int& b) {
  r = g_mask_r;
  g = g_mask_g;
  b = g_mask_b;
}
void AutoImageFlags(int flags) { g_auto_flags = flags; }
int GetAutoImageFlags() { return g_auto_flags; }
void AutoMidHandle(bool enable) { g_auto_midhandle = enable; }
bool AutoMidHandleEnabled() { return g_auto_midhandle; }

Ref<TImage> TImage::Create(int width, int height, int count, int flags, int r, int g, int b) {
  if (count < 0) count = 0;
  auto image = std::make_shared<TImage>();
  image->width = width;
  image->height = height;
  image->flags = flags;
  image->mask_r = r;
  image->mask_g = g;
  image->mask_b = b;
  image->pixmaps.assign(size_t(count), nullptr);
  image->frames.assign(size_t(count), nullptr);
  image->seqs.assign(size_t(count), 0);
  if (g_auto_midhandle) {
    image->handle_x = float(width) * 0.5f;
    image->handle_y = float(height) * 0.5f;
  }
  return image;
}

Ref<TImage> TImage::Load(const Ref<TPixmap>& pixmap, int flags, int r, int g, int b) {
  if (!pixmap) return nullptr;
  Ref<TImage> image = Create(pixmap->width, pixmap->height, 1, flags, r, g, b);
  image->SetPixmap(0, pixmap);
  return image;
}

Ref<TImage> TImage::Load(const TUrl& source, int flags, int r, int g, int b) {
  return Load(LoadPixmap(source), flags, r, g, b);
}

Ref<TImage> TImage::LoadAnim(const Ref<TPixmap>& pixmap, int cell_w, int cell_h, int first,
                             int count, int flags, int r, int g, int b) {
  if (!pixmap || cell_w <= 0 || cell_h <= 0 || first < 0 || count <= 0) return nullptr;
  const int across = pixmap->width / cell_w;
  const int down = pixmap->height / cell_h;
  if (int64_t(first) + count > int64_t(across) * down) return nullptr;
  Ref<TImage> image = Create(cell_w, cell_h, count, flags, r, g, b);
  for (int i = 0; i < count; ++i) {
    const int cell = first + i;
    Ref<TPixmap> window = pixmap->Window((cell % across) * cell_w, (cell / across) * cell_h,
                                         cell_w, cell_h);
    if (!window) return nullptr;
    image->SetPixmap(i, window->Copy());
  }
  return image;
}

const Ref<TImageFrame>& TImage::Frame(int index) {
  static const Ref<TImageFrame> none;
  if (!ValidIndex(*this, index)) return none;
  const size_t i = size_t(index);
  if (seqs[i] != GraphicsSeq()) {
    // The old frame (and its atlas slot) is released only after the new one is
    // stored, so the two never share a slot.
    Ref<TImageFrame> made;
    TDraw2DDriver* driver = CurrentDraw2DDriver();
    if (driver && pixmaps[i]) made = driver->CreateFrameFromPixmap(pixmaps[i], flags);
    frames[i].swap(made);
    seqs[i] = frames[i] ? GraphicsSeq() : 0;
  }
  return frames[i];
}

Ref<TPixmap> TImage::Lock(int index, bool /*read*/, bool write) {
  if (!ValidIndex(*this, index)) return nullptr;
  const size_t i = size_t(index);
  if (write) {
    seqs[i] = 0;
    frames[i] = nullptr;
  }
  if (!pixmaps[i]) {
    pixmaps[i] = CreatePixmap(width, height, FormatRGBA8888);
    // Never show whatever the allocator left there.
    if (pixmaps[i]) pixmaps[i]->ClearPixels(0);
  }
  return pixmaps[i];
}

void TImage::SetPixmap(int index, const Ref<TPixmap>& pixmap) {
  if (!ValidIndex(*this, index)) return;
  Ref<TPixmap> stored = pixmap;
  if ((flags & ImageMasked) && stored && AlphaBitsPerPixel(stored->format) == 0) {
    stored = ApplyMaskColour(stored, mask_r, mask_g, mask_b);
  }
  const size_t i = size_t(index);
  pixmaps[i] = stored;
  seqs[i] = 0;
  frames[i] = nullptr;
}

Ref<TImage> LoadImage(const Ref<TPixmap>& pixmap, int flags) {
  return TImage::Load(pixmap, ResolveFlags(flags), g_mask_r, g_mask_g, g_mask_b);
}

Ref<TImage> LoadImage(const TUrl& source, int flags) {
  return TImage::Load(source, ResolveFlags(flags), g_mask_r, g_mask_g, g_mask_b);
}

Ref<TImage> LoadAnimImage(const TUrl& source, int cell_w, int cell_h, int first, int count,
                          int flags) {
  return TImage::LoadAnim(LoadPixmap(source), cell_w, cell_h, first, count, ResolveFlags(flags),
                          g_mask_r, g_mask_g, g_mask_b);
}

Ref<TImage> CreateImage(int width, int height, int frames, int flags) {
  return TImage::Create(width, height, frames, ResolveFlags(flags) | ImageDynamic, g_mask_r,
                        g_mask_g, g_mask_b);
}

Ref<TPixmap> LockImage(const Ref<TImage>& image, int frame, bool read, bool write) {
  return image ? image->Lock(frame, read, write) : nullptr;
}

void UnlockImage(const Ref<TImage>&, int) {}

void GrabImage(const Ref<TImage>& image, int x, int y, int frame) {
  TDraw2DDriver* driver = CurrentDraw2DDriver();
  if (!image || !driver || !ValidIndex(*image, frame)) return;
  Ref<TPixmap> pixmap = driver->GrabPixmap(x, y, image->width, image->height);
  if (!pixmap) return;
  if (image->flags & ImageMasked) pixmap = ApplyMaskColour(pixmap, g_mask_r, g_mask_g, g_mask_b);
  // The grab has alpha, so SetPixmap does not mask it again with the image's colour.
  image->SetPixmap(frame, pixmap);
}

void DrawImage(const Ref<TImage>& image, float x, float y, int frame) {
  if (!image) return;
  const float x0 = -image->handle_x, y0 = -image->handle_y;
  const float x1 = x0 + float(image->width), y1 = y0 + float(image->height);
  const Ref<TImageFrame>& f = image->Frame(frame);
  if (!f) return;
  const TDraw2DGraphics* g = TDraw2DGraphics::Current().get();
  const float ox = g ? g->origin_x : 0, oy = g ? g->origin_y : 0;
  f->Draw(x0, y0, x1, y1, x + ox, y + oy);
}

void PrefetchImage(const Ref<TImage>& image) {
  const char* p = reinterpret_cast<const char*>(image.get());
  if (!p) return;
  constexpr size_t kLine = 64;
  for (size_t at = 0; at < sizeof(TImage); at += kLine) __builtin_prefetch(p + at);
  __builtin_prefetch(p + sizeof(TImage) - 1);
}

int ImageWidth(const Ref<TImage>& image) { return image ? image->width : 0; }
int ImageHeight(const Ref<TImage>& image) { return image ? image->height : 0; }

void MidHandleImage(const Ref<TImage>& image) {
  if (!image) return;
  image->handle_x = float(image->width) * 0.5f;
  image->handle_y = float(image->height) * 0.5f;
}

void SetImageHandle(const Ref<TImage>& image, float x, float y) {
  if (!image) return;
  image->handle_x = x;
  image->handle_y = y;
}
