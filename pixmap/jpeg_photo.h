// Internal to the JPEG decoder: what a JPEG's markers say about its pixels beyond
// the frame header (EXIF orientation, an ICC profile split over APP2 markers,
// Adobe's CMYK inversion), the reduced scale to decode at, and turning decoded
// rows into the upright sRGB picture. Include after <jpeglib.h>.
#pragma once
#include <cstdint>
#include <vector>

#include "pixmap/pixmap.h"

struct TJpegPhoto {
  int orientation = 1;        // EXIF value, 1 when absent or unreadable
  std::vector<uint8_t> icc;   // the reassembled profile; empty when absent or broken
  bool inverted = false;      // Adobe APP14 seen: CMYK values count paper, not ink
};

// Before jpeg_read_header: keep the APP1 and APP2 markers for ReadJpegPhoto.
void KeepJpegPhotoMarkers(j_decompress_ptr cinfo);
// After jpeg_read_header; reads only what the library saved, never raises a
// libjpeg error (so it may run inside a recovery frame).
void ReadJpegPhoto(j_decompress_ptr cinfo, TJpegPhoto* photo);

// The numerator over 8 of the smallest libjpeg scale of 1/2, 1/4 or 1/8 that keeps
// the upright picture at least minWidth x minHeight (8 when none does, or when no
// size is asked for). width and height are the stored size.
unsigned JpegScaleNum(unsigned width, unsigned height, int orientation, int minWidth, int minHeight);

// The decoded pixels (grey, RGB, or CMYK in a 4-byte pixmap) as the upright sRGB
// picture: CMYK to RGB, the profile to sRGB, then the orientation. Null when
// memory is short.
Ref<TPixmap> FinishJpegPhoto(Ref<TPixmap> decoded, const TJpegPhoto& photo);
