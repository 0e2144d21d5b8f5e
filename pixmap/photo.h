// Internal to the codecs: what turns decoded photo pixels into the picture as its
// author saw it. The EXIF orientation (read with libexif) and the turn or mirror
// it asks for, and colour management with Little CMS: an embedded ICC profile to
// sRGB, and CMYK to RGB. None of these keeps state between calls, so decoders may
// run on several threads at once.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pixmap/pixmap.h"

// The Orientation tag (1 to 8) of an EXIF block (the APP1 payload that starts with
// "Exif\0\0"). Anything missing, malformed or out of range gives 1.
int ExifOrientation(const uint8_t* exif, size_t size);

// The upright picture for an EXIF orientation: 2 to 8 give a new pixmap, mirrored
// and/or turned (5 to 8 swap width and height); any other value returns the
// argument itself.
Ref<TPixmap> OrientPixmap(const Ref<TPixmap>& pixmap, int orientation);

// Converts the pixels in place from the colours of an ICC profile to sRGB. An
// RGB profile applies to FormatRGB888 and FormatRGBA8888 (alpha kept); a grey
// profile to grey pixels (`grey`: FormatI8, or RGB/RGBA whose channels are equal),
// which stay grey. Nothing is built or changed for a profile that is sRGB already,
// that does not fit the pixels, or that Little CMS cannot use; returns whether
// the pixels were converted.
bool ProfileToSRgb(TPixmap& pixmap, bool grey, const uint8_t* icc, size_t size);
// Whether ProfileToSRgb would convert pixels (grey ones when `grey`) with this
// profile; builds no transform.
bool ProfileChangesColours(const uint8_t* icc, size_t size, bool grey);

// Converts RGB or RGBA pixels in place to sRGB from the colours an nclx box
// (HEIF, AVIF) names by ITU-T H.273 code points: colour primaries (BT.709,
// BT.601, BT.2020, DCI-P3, Display P3, ...) and transfer characteristics (sRGB,
// whose treatment BT.709-style video curves share as viewers do, gamma 2.2 or
// 2.8, linear). Nothing is changed for sRGB itself, for unspecified values, or
// for curves without a fixed mapping to a screen (PQ, HLG); returns whether the
// pixels were converted.
bool NclxToSRgb(TPixmap& pixmap, int primaries, int transfer);

// CMYK bytes (four per pixel in a 4-byte pixmap, as libjpeg decodes them) to a new
// FormatRGB888 pixmap: through the ICC profile when it is a usable CMYK one, else
// with the plain formula R = (255 - C) x (255 - K) / 255. `inverted` is Adobe's
// convention (0 means full ink). Null only when memory is short.
Ref<TPixmap> CmykToRgb(const TPixmap& cmyk, bool inverted, const uint8_t* icc, size_t size);
