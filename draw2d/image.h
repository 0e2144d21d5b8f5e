// TImage: a drawable picture of one or more frames. Each frame keeps its pixels
// as a pixmap and, made on first draw under the current graphics sequence, a driver
// frame (texture). Leans on pixmap/ for pictures and on the current Draw2D driver.
#pragma once
#include "draw2d/per_frame.h"
#include "pixmap/pixmap.h"
#include "platform/object.h"

#include "platform/stream.h"  // TUrl converts from strings at every call
struct TImageFrame;

enum : int { ImageMasked = 1, ImageFiltered = 2, ImageMipmapped = 4, ImageDynamic = 8 };

struct TImage : TObject {
  int width = 0, height = 0;
  int flags = 0;
  int mask_r = 0, mask_g = 0, mask_b = 0;
  float handle_x = 0, handle_y = 0;
  TPerFrame<Ref<TPixmap>> pixmaps;
  TPerFrame<Ref<TImageFrame>> frames;
  TPerFrame<int> seqs;  // GraphicsSeq a driver frame was made under; 0 = none

  // The driver frame of frame index, made again when the graphics sequence changed;
  // null when there is no pixmap, no driver, or the driver could not make it.
  const Ref<TImageFrame>& Frame(int index);
  // The frame's pixmap (a fresh, cleared RGBA one if it had none). write drops the
  // driver frame so the next draw uploads the pixels again.
  Ref<TPixmap> Lock(int index, bool read, bool write);
  // Masks a pixmap without alpha when ImageMasked is set, stores it, drops the frame.
  void SetPixmap(int index, const Ref<TPixmap>& pixmap);

  static Ref<TImage> Create(int width, int height, int count, int flags, int r, int g, int b);
  static Ref<TImage> Load(const Ref<TPixmap>& pixmap, int flags, int r, int g, int b);
  static Ref<TImage> Load(const TUrl& source, int flags, int r, int g, int b);
  // Cuts count cells of cell_w x cell_h, row by row from cell first, from one picture.
  static Ref<TImage> LoadAnim(const Ref<TPixmap>& pixmap, int cell_w, int cell_h, int first,
                              int count, int flags, int r, int g, int b);
};

// Module settings used by image creation.
void SetMaskColor(int r, int g, int b);
void GetMaskColor(int& r, int& g, int& b);
void AutoImageFlags(int flags);  // the default for flags -1 (initially 3)
int GetAutoImageFlags();
void AutoMidHandle(bool enable);  // new images get a centred handle (off)
bool AutoMidHandleEnabled();

// flags -1 means the module default. Null when no pixmap could be made.
Ref<TImage> LoadImage(const Ref<TPixmap>& pixmap, int flags = -1);
Ref<TImage> LoadImage(const TUrl& source, int flags = -1);
Ref<TImage> LoadAnimImage(const TUrl& source, int cell_w, int cell_h, int first, int count,
                          int flags = -1);
// ImageDynamic is always added; every pixmap starts null.
Ref<TImage> CreateImage(int width, int height, int frames = 1, int flags = -1);
Ref<TPixmap> LockImage(const Ref<TImage>& image, int frame = 0, bool read = true, bool write = true);
void UnlockImage(const Ref<TImage>& image, int frame = 0);
// Copies the back-buffer rectangle (x, y, image size) into frame; a masked image is
// masked with the mask colour current now.
void GrabImage(const Ref<TImage>& image, int x, int y, int frame = 0);
void DrawImage(const Ref<TImage>& image, float x, float y, int frame = 0);
// Asks the processor to load what DrawImage reads of this image, ahead of the
// call: a caller drawing many images that lie apart in memory (a shuffled board)
// lets their loads overlap instead of waiting for each in turn. Draws nothing.
void PrefetchImage(const Ref<TImage>& image);
int ImageWidth(const Ref<TImage>& image);
int ImageHeight(const Ref<TImage>& image);
void MidHandleImage(const Ref<TImage>& image);
void SetImageHandle(const Ref<TImage>& image, float x, float y);
