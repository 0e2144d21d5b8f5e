// Shared by the photo-metadata harnesses: a small valid JPEG made once, and the
// same JPEG with an APPn segment spliced in after its SOI marker. Such files
// must always decode, whatever the segment holds.
#pragma once
#include <cstdlib>
#include <string>
#include <vector>

#include "pixmap/pixel_size.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

inline const std::string& FuzzBaseJpeg() {
  static const std::string bytes = [] {
    SetPixelByteLimit(size_t(16) << 20);
    Ref<TPixmap> p = CreatePixmap(24, 16, FormatRGB888);
    for (int i = 0; i < p->pitch * p->height; ++i) p->pixels[i] = static_cast<uint8_t>(i * 7);
    std::vector<unsigned char> buf(1 << 16);
    Ref<TRamStream> ram = TRamStream::Create(buf.data(), static_cast<int>(buf.size()), false, true);
    if (SavePixmapJPeg(p, TUrl(ram), 90) != 1) std::abort();
    return std::string(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(ram->Pos()));
  }();
  return bytes;
}

// `payload` as one APPn segment (cut to the 65533 bytes a segment holds).
inline std::string FuzzWithSegment(const std::string& jpeg, int marker, std::string payload) {
  if (payload.size() > 65533) payload.resize(65533);
  std::string seg = {'\xFF', static_cast<char>(marker), static_cast<char>((payload.size() + 2) >> 8),
                     static_cast<char>((payload.size() + 2) & 0xFF)};
  return jpeg.substr(0, 2) + seg + payload + jpeg.substr(2);
}

// Decodes a file that is a valid picture apart from its metadata: null, or any
// size other than the base picture's (turned or not), is a finding.
inline void FuzzMustDecode(const std::string& file) {
  Ref<TStream> s = TRamStream::Create(file.data(), static_cast<int>(file.size()), true, false);
  Ref<TPixmap> p = LoadPixmapJPeg(TUrl(s));
  if (!p || p->width * p->height != 24 * 16 || (p->width != 24 && p->width != 16)) std::abort();
}
