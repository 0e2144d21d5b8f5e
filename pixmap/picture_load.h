// Loading a picture for a known display size, as the motif folder pass and the
// catalogue need it: a JPEG is decoded at a reduced libjpeg scale that still
// covers the size, every other format in full; the result is upright and in
// sRGB either way, and the picture's full upright size comes along so that size
// rules can be decided without a second decode. Safe to call from several
// threads at once for stream sources (each call has its own decoder state).
#pragma once
#include "pixmap/pixmap.h"

struct TUrl;

struct TSizedPicture {
  Ref<TPixmap> pixmap;         // null when the source does not decode
  int width = 0, height = 0;   // the full upright size of the picture
};

// A picture at least minWidth x minHeight large where the picture itself is (a
// smaller one comes in full). Through the loader chain for anything that is not
// a JPEG the decoder can read.
TSizedPicture LoadPixmapForSize(const TUrl& source, int minWidth, int minHeight);
