// The pixel-format table and the row converter. Every conversion goes through the
// canonical R, G, B, A byte layout, so each format needs one converter each way.
#include <cstring>

#include "pixmap/pixmap.h"

namespace {

struct FormatInfo {
  int bytes, r, g, b, a;
};

constexpr FormatInfo kFormats[FormatCount] = {
    {0, 0, 0, 0, 0},  // 0: none
    {1, 0, 0, 0, 0},  // I8
    {1, 0, 0, 0, 8},  // A8
    {3, 8, 8, 8, 0},  // BGR888
    {3, 8, 8, 8, 0},  // RGB888
    {4, 8, 8, 8, 8},  // BGRA8888
    {4, 8, 8, 8, 8},  // RGBA8888
    {1, 8, 0, 0, 0},  // R8
    {1, 0, 8, 0, 0},  // G8
    {1, 0, 0, 8, 0},  // B8
    {1, 3, 3, 2, 0},  // RGB332
    {1, 3, 3, 2, 0},  // BGR233
    {1, 2, 2, 2, 2},  // RGBA2222
};

const FormatInfo& Info(int format) {
  return kFormats[(format > 0 && format < FormatCount) ? format : 0];
}

// Widen n-bit fields to 8 bits by bit replication, so full scale maps to 255.
inline uint8_t Expand3(unsigned v) { return static_cast<uint8_t>((v << 5) | (v << 2) | (v >> 1)); }
inline uint8_t Expand2(unsigned v) { return static_cast<uint8_t>(v * 0x55); }

void ToRGBA(const uint8_t* s, int format, uint8_t* d, int n) {
  switch (format) {
    case FormatI8:
      for (int i = 0; i < n; ++i, d += 4) d[0] = d[1] = d[2] = s[i], d[3] = 255;
      break;
    case FormatA8:
      for (int i = 0; i < n; ++i, d += 4) d[0] = d[1] = d[2] = 255, d[3] = s[i];
      break;
    case FormatBGR888:
      for (int i = 0; i < n; ++i, s += 3, d += 4) d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = 255;
      break;
    case FormatRGB888:
      for (int i = 0; i < n; ++i, s += 3, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
      break;
    case FormatBGRA8888:
      for (int i = 0; i < n; ++i, s += 4, d += 4) d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
      break;
    case FormatRGBA8888:
      std::memmove(d, s, static_cast<size_t>(n) * 4);
      break;
    case FormatR8:
      for (int i = 0; i < n; ++i, d += 4) d[0] = s[i], d[1] = 0, d[2] = 0, d[3] = 255;
      break;
    case FormatG8:
      for (int i = 0; i < n; ++i, d += 4) d[0] = 0, d[1] = s[i], d[2] = 0, d[3] = 255;
      break;
    case FormatB8:
      for (int i = 0; i < n; ++i, d += 4) d[0] = 0, d[1] = 0, d[2] = s[i], d[3] = 255;
      break;
    case FormatRGB332:
      for (int i = 0; i < n; ++i, d += 4) {
        unsigned v = s[i];
        d[0] = Expand3(v >> 5), d[1] = Expand3((v >> 2) & 7), d[2] = Expand2(v & 3), d[3] = 255;
      }
      break;
    case FormatBGR233:
      for (int i = 0; i < n; ++i, d += 4) {
        unsigned v = s[i];
        d[0] = Expand3(v & 7), d[1] = Expand3((v >> 3) & 7), d[2] = Expand2(v >> 6), d[3] = 255;
      }
      break;
    case FormatRGBA2222:
      for (int i = 0; i < n; ++i, d += 4) {
        unsigned v = s[i];
        d[0] = Expand2(v >> 6), d[1] = Expand2((v >> 4) & 3), d[2] = Expand2((v >> 2) & 3),
        d[3] = Expand2(v & 3);
      }
      break;
    default:  // unknown layouts read as transparent black
      std::memset(d, 0, static_cast<size_t>(n) * 4);
      break;
  }
}

void FromRGBA(const uint8_t* s, uint8_t* d, int format, int n) {
  switch (format) {
    case FormatI8:
      for (int i = 0; i < n; ++i, s += 4) d[i] = static_cast<uint8_t>((s[0] + s[1] + s[2]) / 3);
      break;
    case FormatA8:
      for (int i = 0; i < n; ++i, s += 4) d[i] = s[3];
      break;
    case FormatBGR888:
      for (int i = 0; i < n; ++i, s += 4, d += 3) d[0] = s[2], d[1] = s[1], d[2] = s[0];
      break;
    case FormatRGB888:
      for (int i = 0; i < n; ++i, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
      break;
    case FormatBGRA8888:
      for (int i = 0; i < n; ++i, s += 4, d += 4) d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
      break;
    case FormatRGBA8888:
      std::memmove(d, s, static_cast<size_t>(n) * 4);
      break;
    case FormatR8:
      for (int i = 0; i < n; ++i, s += 4) d[i] = s[0];
      break;
    case FormatG8:
      for (int i = 0; i < n; ++i, s += 4) d[i] = s[1];
      break;
    case FormatB8:
      for (int i = 0; i < n; ++i, s += 4) d[i] = s[2];
      break;
    case FormatRGB332:
      for (int i = 0; i < n; ++i, s += 4) d[i] = static_cast<uint8_t>((s[0] & 0xE0) | ((s[1] >> 3) & 0x1C) | (s[2] >> 6));
      break;
    case FormatBGR233:
      for (int i = 0; i < n; ++i, s += 4) d[i] = static_cast<uint8_t>((s[2] & 0xC0) | ((s[1] >> 2) & 0x38) | (s[0] >> 5));
      break;
    case FormatRGBA2222:
      for (int i = 0; i < n; ++i, s += 4)
        d[i] = static_cast<uint8_t>((s[0] & 0xC0) | ((s[1] >> 2) & 0x30) | ((s[2] >> 4) & 0x0C) | (s[3] >> 6));
      break;
    default:  // unknown layouts take nothing
      break;
  }
}

}  // namespace

int BytesPerPixel(int format) { return Info(format).bytes; }
int RedBitsPerPixel(int format) { return Info(format).r; }
int GreenBitsPerPixel(int format) { return Info(format).g; }
int BlueBitsPerPixel(int format) { return Info(format).b; }
int AlphaBitsPerPixel(int format) { return Info(format).a; }

void ConvertPixels(const uint8_t* src, int srcFormat, uint8_t* dst, int dstFormat, int count) {
  if (count <= 0) return;
  if (srcFormat == dstFormat) {
    std::memmove(dst, src, static_cast<size_t>(count) * BytesPerPixel(srcFormat));
  } else if (srcFormat == FormatRGBA8888) {
    FromRGBA(src, dst, dstFormat, count);
  } else if (dstFormat == FormatRGBA8888) {
    ToRGBA(src, srcFormat, dst, count);
  } else {
    // Through a small RGBA buffer on the stack, a piece at a time.
    constexpr int kChunk = 256;
    uint8_t tmp[kChunk * 4];
    const int sb = BytesPerPixel(srcFormat), db = BytesPerPixel(dstFormat);
    for (int done = 0; done < count; done += kChunk) {
      int n = count - done < kChunk ? count - done : kChunk;
      ToRGBA(src + static_cast<size_t>(done) * sb, srcFormat, tmp, n);
      FromRGBA(tmp, dst + static_cast<size_t>(done) * db, dstFormat, n);
    }
  }
}
