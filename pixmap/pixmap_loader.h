// Turning streams into pixmaps: the loader chain (tried newest first: HEIF, WebP,
// JPEG, TGA, PNG, BMP), the per-format entry points, and the JPEG and PNG
// writers. Sources and destinations are stream URLs (paths, "incbin::" names, or
// streams).
#pragma once
#include "pixmap/pixmap.h"

struct TUrl;
struct TStream;

// One link of the loader chain. Constructing a loader puts it at the head. A loader
// reads from the stream's current position, returns null when the data is not
// its format or is broken, and never closes the stream.
struct TPixmapLoader : TObject {
  TPixmapLoader* _succ = nullptr;
  TPixmapLoader();
  virtual Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) = 0;
};

// Head of the chain (starting the codec modules on first use).
TPixmapLoader* PixmapLoaders();

// Every loader below gives null for a missing source or data it cannot decode.
Ref<TPixmap> LoadPixmap(const TUrl& source);     // through the chain
Ref<TPixmap> LoadPixmapPNG(const TUrl& source);
Ref<TPixmap> LoadPixmapJPeg(const TUrl& source);
Ref<TPixmap> LoadPixmapBMP(const TUrl& source);
Ref<TPixmap> LoadPixmapTGA(const TUrl& source);
// HEIF/HEIC and AVIF: the primary picture, upright (its rotation and mirroring
// applied) and in sRGB, with alpha when it has one.
Ref<TPixmap> LoadPixmapHEIF(const TUrl& source);
// WebP, still or animated (then the first frame), in sRGB, with alpha when it has one.
Ref<TPixmap> LoadPixmapWebP(const TUrl& source);

// Baseline JPEG at `quality` (1..100). Returns 1 only when the whole file was
// written and closed; 0 for an empty or too-large pixmap, an unopenable
// destination, an encoding error, a short write or a failed close.
int SavePixmapJPeg(const Ref<TPixmap>& pixmap, const TUrl& destination, int quality = 75);
// PNG (8-bit grey, RGB or RGBA by the pixmap's format); compression 0..9.
// Same result rules as SavePixmapJPeg.
int SavePixmapPNG(const Ref<TPixmap>& pixmap, const TUrl& destination, int compression = 5);
