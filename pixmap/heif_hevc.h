// Internal to the HEIF decoder: registers with libheif an HEVC decoder that
// starts no threads of its own. Call once, after heif_init.
#pragma once

bool RegisterHevcDecoder();

// While it lives, HEVC pictures decoded on this thread may be no larger than a
// width x height picture (turned or not), give or take the padding of coding
// blocks; a sequence header claiming more is refused before anything is
// allocated for it.
class THevcBounds {
 public:
  THevcBounds(int width, int height);
  ~THevcBounds();
  THevcBounds(const THevcBounds&) = delete;
  THevcBounds& operator=(const THevcBounds&) = delete;
};
