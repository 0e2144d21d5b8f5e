// Loading a picture for a known display size, as the motif folder pass and the
// catalogue need it: a JPEG is decoded at a reduced libjpeg scale that still
// covers the size, every other format in full; the result is upright and in
// sRGB either way, and the picture's full upright size comes along so that size
// rules can be decided without a second decode. Data that ends early still gives
// the part that arrived, marked as not whole. Safe to call from several threads
// at once for stream sources (each call has its own decoder state).
#pragma once
#include "pixmap/pixmap.h"

struct TUrl;

struct TSizedPicture {
  Ref<TPixmap> pixmap;         // null when the source does not decode
  int width = 0, height = 0;   // the full upright size of the picture
  // False when the data ended early or was damaged on the way (a file still being
  // copied, a download cut short): the pixmap shows what arrived, with the rest
  // filled in, fit to look at but not to store in place of the file. A decoder of
  // a new format reports it the same way.
  bool whole = true;
};

// A picture at least minWidth x minHeight large where the picture itself is (a
// smaller one comes in full). Through the loader chain for anything that is not
// a JPEG, PNG or BMP the decoders can read.
TSizedPicture LoadPixmapForSize(const TUrl& source, int minWidth, int minHeight);

// True for a JPEG of exactly width x height (as stored) whose decode turns nothing
// and converts no colour: orientation 1 (or none), no colour profile other than
// sRGB, not CMYK. Read from the markers before the pixels, without decoding them.
bool IsPlainJpegOfSize(const TUrl& source, int width, int height);
