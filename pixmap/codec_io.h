// Internal to the codecs: the bytes a stream has left, complete writes to a stream,
// the stream behind a URL, and the registration of the built-in loaders (in module
// start order).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixmap/picture_load.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

// Bytes between the stream's position and its end: what the rest of a file can
// hold, so a header claiming more is refused before anything is allocated. A
// stream that cannot tell (a pipe) gives SIZE_MAX; the entry points read such a
// stream into memory first, so only a loader called directly on a pipe meets it,
// and then the pixel cap alone bounds the cost.
size_t StreamBytesLeft(TStream& stream);

// The most compressed bytes a decoder takes in: a picture at the pixel cap plus
// room for its headers and metadata.
size_t CompressedByteLimit();

// Appends the rest of the stream to `bytes`, for the decoders that work on a
// buffer; false when that makes more than CompressedByteLimit() or a read comes
// up short.
bool ReadRest(TStream& stream, std::vector<uint8_t>& bytes);

// Whether `bytes` of coded data can honestly hold a picture of width x height:
// the video codecs inside HEIF, AVIF and WebP code a flat area in next to
// nothing (a flat 4000 x 3000 AVIF takes 395 bytes, some 30,000 pixels a
// byte), so this allows 65,536 pixels a byte. It keeps what a small hostile
// file can make us allocate and decode in proportion to its size.
bool ClaimFitsBytes(int64_t width, int64_t height, size_t bytes);

// Writes all `count` bytes; false when the stream accepts less.
bool WriteAll(TStream& stream, const void* buf, size_t count);

// Runs `decode` on the stream opened from `source` and closes that stream again
// (a stream given as the source is wrapped, so it stays open). Any exception while
// decoding counts as undecodable data.
Ref<TPixmap> LoadFromSource(const TUrl& source, Ref<TPixmap> (*decode)(TStream&));

// The decoders behind the loaders, reading from the stream's current position.
// DecodePNG and DecodeBMP refuse data that ends early; DecodeJPeg finishes it grey.
Ref<TPixmap> DecodePNG(TStream& stream);
Ref<TPixmap> DecodeJPeg(TStream& stream);
Ref<TPixmap> DecodeBMP(TStream& stream);
// A JPEG at the smallest libjpeg scale that keeps the upright picture at least
// minWidth x minHeight, with its full upright size; not whole when the data ended
// early or had to be stepped over. DecodeJPeg is this at full scale.
TSizedPicture DecodeJPegForSize(TStream& stream, int minWidth, int minHeight);
// With keepCut, data that ends early gives the rows that arrived (the rest grey)
// marked as not whole, instead of no picture.
TSizedPicture DecodePNGPicture(TStream& stream, bool keepCut);
TSizedPicture DecodeBMPPicture(TStream& stream, bool keepCut);
// JpegIsPlain: IsPlainJpegOfSize on a stream.
bool JpegIsPlain(TStream& stream, int width, int height);
Ref<TPixmap> DecodeTGA(TStream& stream);
// HEIF/HEIC and AVIF through libheif (the primary picture), and WebP through
// libwebp (the first frame of an animation).
Ref<TPixmap> DecodeHEIF(TStream& stream);
Ref<TPixmap> DecodeWebP(TStream& stream);
