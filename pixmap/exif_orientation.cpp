// The EXIF Orientation tag, read with libexif from the first image directory
// (IFD0; the thumbnail's own directory does not count). libexif objects are made
// and freed per call, so this is safe on any thread.
#include <libexif/exif-data.h>

#include "pixmap/photo.h"

namespace {

struct ExifDataRef {
  ExifData* data;
  ~ExifDataRef() {
    if (data) exif_data_unref(data);
  }
};

}  // namespace

int ExifOrientation(const uint8_t* exif, size_t size) {
  // libexif takes an unsigned int size; no real EXIF block is near that anyway.
  if (!exif || size < 6 || size > 0xFFFFFFu) return 1;
  ExifDataRef ed{exif_data_new()};
  if (!ed.data) return 1;
  // Read only: no fixing up or adding of entries.
  exif_data_unset_option(ed.data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(ed.data, exif, static_cast<unsigned int>(size));
  ExifEntry* e = exif_content_get_entry(ed.data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!e || e->format != EXIF_FORMAT_SHORT || e->components < 1 || !e->data || e->size < 2) return 1;
  const int value = exif_get_short(e->data, exif_data_get_byte_order(ed.data));
  return value >= 1 && value <= 8 ? value : 1;
}
