// The pictures of one catalogue entry made from the bytes of its file, on any
// thread: the decoded motif as its image holds it and its faded reflection, the
// same pixels the back-buffer path of mirrorImage gives on the freshly opened game
// window (cleared black, masked drawing, no tint).
#pragma once
#include <memory>
#include <vector>

#include "platform/object.h"

struct TPixmap;

using TMotifBytes = std::shared_ptr<const std::vector<unsigned char>>;

// What image creation needs to know, read on the main thread before the work goes
// out: the mask colour, and whether a new image with default flags is masked.
struct TMotifLook {
  int mask_r = 255, mask_g = 0, mask_b = 255;
  bool strip_masked = true;
};
TMotifLook CurrentMotifLook();

struct TMotifPictures {
  Ref<TPixmap> picture;     // at most 512 x 512, masked as LoadImage(..., ImageMasked) masks
  Ref<TPixmap> reflection;  // RGBA, the picture's lowest seventh flipped and faded
};

// Shrinks a picture larger than 512 in either direction to 512 x 512 with the
// rewrite's filter (a folder that could not be rewritten); others are returned as
// they are.
Ref<TPixmap> FitMotif(const Ref<TPixmap>& pixmap);
// Decodes by content and makes both pictures; empty when the bytes do not decode.
// Never throws.
TMotifPictures DecodeMotif(const std::vector<unsigned char>& bytes, const TMotifLook& look);
// Both pictures from a decoded pixmap (fitted first); the picture may be the
// decoded pixmap itself.
TMotifPictures MotifPictures(const Ref<TPixmap>& decoded, const TMotifLook& look);

// The reflection's last step, shared with mirrorImage: the strip's rows reversed,
// alpha 80 x (1 - y / hs) truncated, 0 where the strip is transparent.
Ref<TPixmap> FadedReflection(const Ref<TPixmap>& strip, int hs);
