// Internal to the codecs: complete writes to a stream, the stream behind a URL, and
// the registration of the built-in loaders (in module start order).
#pragma once
#include <cstddef>

#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

// Writes all `count` bytes; false when the stream accepts less.
bool WriteAll(TStream& stream, const void* buf, size_t count);

// Runs `decode` on the stream opened from `source` and closes that stream again
// (a stream given as the source is wrapped, so it stays open). A stream exception
// while decoding counts as undecodable data.
Ref<TPixmap> LoadFromSource(const TUrl& source, Ref<TPixmap> (*decode)(TStream&));

// The decoders behind the loaders, reading from the stream's current position.
Ref<TPixmap> DecodePNG(TStream& stream);
Ref<TPixmap> DecodeJPeg(TStream& stream);
Ref<TPixmap> DecodeBMP(TStream& stream);
Ref<TPixmap> DecodeTGA(TStream& stream);
