// The one place where pixel-buffer sizes are computed. Every allocation of pixel
// memory (pixmap creation, conversion, scaling, every loader) goes through here, so
// a hostile header cannot overflow an int or ask for absurd amounts of memory.
#pragma once
#include <cstddef>
#include <cstdint>

// Pixel memory of one picture never exceeds this many bytes.
inline constexpr size_t MaxPixelBytes = size_t(1) << 30;

// The cap in force: MaxPixelBytes unless lowered (fuzzing harnesses lower it so
// that hostile headers cannot make them touch a gigabyte). Values above
// MaxPixelBytes are clamped to it.
size_t PixelByteLimit();
void SetPixelByteLimit(size_t bytes);

// Row pitch of `width` pixels of `bytesPerPixel` bytes, rounded up to `align`
// (values below 1 count as 1), and pitch x height in size_t. Returns false when a
// value is negative, a product overflows, or the total exceeds PixelByteLimit().
bool PixelBufferSize(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t align,
                     size_t* pitch, size_t* total);

// width x height x bytesPerPixel (no row padding) with the same checks; width and
// height must be at least 1 (loaders refuse empty pictures).
bool DecodedPixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel, size_t* total);
