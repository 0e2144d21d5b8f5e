// Overflow-checked pixel-buffer sizes with the one memory cap for pictures.
#include "pixmap/pixel_size.h"

#include <atomic>

namespace {

// Read by decoders on any thread; set by tests between decodes.
std::atomic<size_t> g_limit{MaxPixelBytes};

// a * b in size_t, false on overflow or when the product passes the cap.
bool MulCapped(size_t a, size_t b, size_t* out) {
  const size_t limit = g_limit.load(std::memory_order_relaxed);
  if (a != 0 && b > limit / a) return false;
  *out = a * b;
  return *out <= limit;
}

}  // namespace

bool PixelBufferSize(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t align,
                     size_t* pitch, size_t* total) {
  if (width < 0 || height < 0 || bytesPerPixel < 0) return false;
  if (align < 1) align = 1;
  if (align > 4096) return false;
  size_t row = 0;
  if (!MulCapped(static_cast<size_t>(width), static_cast<size_t>(bytesPerPixel), &row)) return false;
  size_t a = static_cast<size_t>(align);
  size_t padded = (row + a - 1) / a * a;  // row <= 1 GiB, no overflow
  if (padded > g_limit.load(std::memory_order_relaxed)) return false;
  size_t all = 0;
  if (!MulCapped(padded, static_cast<size_t>(height), &all)) return false;
  if (pitch) *pitch = padded;
  if (total) *total = all;
  return true;
}

bool DecodedPixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel, size_t* total) {
  if (width < 1 || height < 1 || bytesPerPixel < 1) return false;
  return PixelBufferSize(width, height, bytesPerPixel, 1, nullptr, total);
}

size_t PixelByteLimit() { return g_limit.load(std::memory_order_relaxed); }
void SetPixelByteLimit(size_t bytes) { g_limit = bytes < MaxPixelBytes ? bytes : MaxPixelBytes; }
