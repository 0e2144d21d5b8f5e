// JPEG markers for photos: EXIF (APP1 "Exif\0\0"), ICC profiles (APP2
// "ICC_PROFILE\0" with a sequence number and count per piece) and the Adobe
// APP14 flag, the reduced decoding scale, and the steps from decoded rows to the
// upright sRGB picture. Leans on libjpeg's saved-marker list and pixmap/photo.h.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <cstring>
#include <utility>

#include <jpeglib.h>

#include "pixmap/jpeg_photo.h"
#include "pixmap/photo.h"

namespace {

constexpr char kExif[] = "Exif\0";          // with its terminator: 6 bytes
constexpr char kIcc[] = "ICC_PROFILE";      // with its terminator: 12 bytes
constexpr size_t kIccHead = sizeof kIcc + 2;  // name, sequence number, count

// The profile's pieces in sequence order, or nothing when any piece is missing,
// doubled, numbered out of range or disagrees on the count.
std::vector<uint8_t> JoinIcc(j_decompress_ptr cinfo) {
  const uint8_t* piece[256] = {};
  unsigned length[256] = {};
  int count = 0;
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 2 || m->data_length < kIccHead || m->data_length != m->original_length ||
        std::memcmp(m->data, kIcc, sizeof kIcc) != 0)
      continue;
    const int seq = m->data[sizeof kIcc], n = m->data[sizeof kIcc + 1];
    if (n == 0 || (count && n != count) || seq < 1 || seq > n || piece[seq]) return {};
    count = n;
    piece[seq] = m->data + kIccHead;
    length[seq] = m->data_length - static_cast<unsigned>(kIccHead);
  }
  std::vector<uint8_t> icc;
  for (int s = 1; s <= count; ++s) {
    if (!piece[s]) return {};
    icc.insert(icc.end(), piece[s], piece[s] + length[s]);
  }
  return icc;
}

}  // namespace

void KeepJpegPhotoMarkers(j_decompress_ptr cinfo) {
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
}

void ReadJpegPhoto(j_decompress_ptr cinfo, TJpegPhoto* photo) {
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= sizeof kExif &&
        std::memcmp(m->data, kExif, sizeof kExif) == 0) {
      photo->orientation = ExifOrientation(m->data, m->data_length);
      break;  // the first EXIF block is the picture's own
    }
  }
  photo->icc = JoinIcc(cinfo);
  photo->inverted = cinfo->saw_Adobe_marker;
}

unsigned JpegScaleNum(unsigned width, unsigned height, int orientation, int minWidth, int minHeight) {
  if (orientation >= 5) std::swap(minWidth, minHeight);
  if (minWidth <= 0 && minHeight <= 0) return 8;  // no size asked for: in full
  // Only halvings: libjpeg-turbo has fast and exact reduced transforms for those,
  // while the other n/8 scales run slower than a full decode.
  unsigned best = 8;
  for (unsigned num = 4; num >= 1; num /= 2) {
    // libjpeg's output size at num/8: rounded up.
    const unsigned long w = (static_cast<unsigned long>(width) * num + 7) / 8;
    const unsigned long h = (static_cast<unsigned long>(height) * num + 7) / 8;
    if (static_cast<long>(w) < minWidth || static_cast<long>(h) < minHeight) break;
    best = num;
  }
  return best;
}

Ref<TPixmap> FinishJpegPhoto(Ref<TPixmap> decoded, const TJpegPhoto& photo) {
  if (!decoded) return nullptr;
  const uint8_t* icc = photo.icc.empty() ? nullptr : photo.icc.data();
  if (BytesPerPixel(decoded->format) == 4) {
    decoded = CmykToRgb(*decoded, photo.inverted, icc, photo.icc.size());
  } else if (icc) {
    ProfileToSRgb(*decoded, decoded->format == FormatI8, icc, photo.icc.size());
  }
  return OrientPixmap(decoded, photo.orientation);
}
