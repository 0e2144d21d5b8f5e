// Byte-level builders for EXIF and ICC segments in test JPEGs, and PNG chunks.
#include "tests/support/jpeg_segments.h"

#include <zlib.h>

namespace {

void Put(std::string& s, uint32_t v, int bytes, bool big) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
    s += static_cast<char>((v >> shift) & 0xff);
  }
}

}  // namespace

std::string ExifOrientationBlock(int orientation, bool big) {
  std::string s("Exif\0\0", 6);
  s += big ? "MM" : "II";
  Put(s, 42, 2, big);
  Put(s, 8, 4, big);    // IFD0 right after the header
  Put(s, 1, 2, big);    // one entry
  Put(s, 0x0112, 2, big);
  Put(s, 3, 2, big);    // SHORT
  Put(s, 1, 4, big);    // one value, stored in the entry
  Put(s, static_cast<uint32_t>(orientation), 2, big);
  Put(s, 0, 2, big);
  Put(s, 0, 4, big);    // no next IFD
  return s;
}

std::vector<std::string> IccPieces(const std::string& profile, size_t pieceBytes) {
  std::vector<std::string> out;
  const size_t n = (profile.size() + pieceBytes - 1) / pieceBytes;
  for (size_t i = 0; i < n; ++i) {
    std::string p("ICC_PROFILE\0", 12);
    p += static_cast<char>(i + 1);
    p += static_cast<char>(n);
    p += profile.substr(i * pieceBytes, pieceBytes);
    out.push_back(p);
  }
  return out;
}

std::string InsertSegment(const std::string& jpeg, int marker, const std::string& payload) {
  std::string seg;
  seg += '\xFF';
  seg += static_cast<char>(marker);
  Put(seg, static_cast<uint32_t>(payload.size() + 2), 2, true);
  seg += payload;
  return jpeg.substr(0, 2) + seg + jpeg.substr(2);
}

std::string InsertPngChunk(const std::string& png, const std::string& type, const std::string& data) {
  std::string chunk;
  Put(chunk, static_cast<uint32_t>(data.size()), 4, true);
  chunk += type + data;
  const auto* body = reinterpret_cast<const Bytef*>(chunk.data() + 4);
  Put(chunk, static_cast<uint32_t>(crc32(0, body, static_cast<uInt>(chunk.size() - 4))), 4, true);
  constexpr size_t kAfterHeader = 8 + 25;  // signature, IHDR
  return png.substr(0, kAfterHeader) + chunk + png.substr(kAfterHeader);
}
