// Loading a picture for a display size: the JPEG decoder at a reduced scale when
// the data starts like a JPEG, otherwise (or when that fails) the loader chain.
#include "pixmap/picture_load.h"

#include "pixmap/codec_io.h"

TSizedPicture LoadPixmapForSize(const TUrl& source, int minWidth, int minHeight) {
  TSizedPicture out;
  Ref<TStream> stream = ReadStream(source);
  if (!stream) return out;
  const int start = stream->Pos();
  if (start < 0) {
    stream->Close();
    return out;
  }
  unsigned char soi[2] = {};
  try {
    if (stream->ReadFully(soi, 2) == 2 && soi[0] == 0xFF && soi[1] == 0xD8) {
      stream->Seek(start);
      out.pixmap = DecodeJPegForSize(*stream, minWidth, minHeight, &out.width, &out.height);
    }
  } catch (...) {
    out.pixmap = nullptr;  // as in every loader: whatever a file causes is a refusal
  }
  if (!out.pixmap) {
    stream->Seek(start);
    out.pixmap = LoadPixmap(TUrl(stream));
    out.width = PixmapWidth(out.pixmap);
    out.height = PixmapHeight(out.pixmap);
  }
  stream->Close();
  return out;
}
