// Uncompressed Windows bitmaps: 1, 4, 8, 16, 24 and 32 bits per pixel (16 and 32
// also as bit fields), bottom-up or top-down, with the 40-byte information header,
// a longer one (V4/V5) or the 12-byte OS/2 one. Every read is checked: truncated
// data, empty or oversized pictures, RLE or embedded data and palettes larger than
// the bit depth allows give null, and rows the file cannot hold are refused before
// anything is allocated (when asked, pixel rows cut short are kept as far as they came).
#include <cstring>
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/pixel_size.h"

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kMaxHeaderSize = 4096;  // V5 has 124; anything much bigger is junk
constexpr uint32_t kRGB = 0, kBitFields = 3, kAlphaBitFields = 6;

bool Skip(TStream& s, size_t count) {
  uint8_t scratch[1024];
  while (count) {
    const size_t n = count < sizeof scratch ? count : sizeof scratch;
    if (s.ReadFully(scratch, n) != n) return false;
    count -= n;
  }
  return true;
}

// One channel of a bit-field layout, widened to 8 bits.
struct Field {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
  explicit Field(uint32_t m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    max = m >> shift;
  }
  uint8_t Get(uint32_t v, uint8_t absent) const {
    if (!mask) return absent;
    return static_cast<uint8_t>((uint64_t((v & mask) >> shift) * 255 + max / 2) / max);
  }
};

// What the headers say, once read.
struct BmpHeader {
  int32_t width = 0;
  int height = 0;
  bool topDown = false;
  int bits = 0;
  bool core = false;           // 12-byte header: 3-byte palette entries
  uint32_t coloursUsed = 0;
  uint32_t dataOffset = 0;
  bool fields = false;         // pixels are bit fields (16 and 32 bits)
  uint32_t masks[4] = {0, 0, 0, 0};
  size_t consumed = 0;         // bytes read so far
};

// Bit-field layouts (16 and 32 bits): masks from the header or after it, or the
// 5-5-5 default. RLE and embedded JPEG/PNG are refused.
bool ReadMasks(TStream& s, const std::vector<uint8_t>& ih, uint32_t headerSize, uint32_t compression,
               BmpHeader& h) {
  if (compression == kBitFields || compression == kAlphaBitFields) {
    if (h.bits != 16 && h.bits != 32) return false;
    h.fields = true;
    const int n = compression == kAlphaBitFields ? 4 : 3;
    if (headerSize == kInfoHeaderSize) {  // masks follow the header
      uint8_t m[16];
      if (s.ReadFully(m, n * 4) != size_t(n) * 4) return false;
      for (int i = 0; i < n; ++i) h.masks[i] = U32(m + i * 4);
      h.consumed += n * 4;
    } else {
      for (int i = 0; i < 4; ++i) h.masks[i] = U32(&ih[40 + i * 4]);
      if (headerSize < 56) h.masks[3] = 0;
    }
  } else if (compression != kRGB) {
    return false;
  } else if (h.bits == 16) {
    h.fields = true;
    h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
  }
  return true;
}

// File header, information header and masks.
bool ReadHeader(TStream& s, BmpHeader& h) {
  uint8_t fh[14];
  if (s.ReadFully(fh, sizeof fh) != sizeof fh || fh[0] != 'B' || fh[1] != 'M') return false;
  h.dataOffset = U32(fh + 10);

  uint8_t sizeBytes[4];
  if (s.ReadFully(sizeBytes, 4) != 4) return false;
  const uint32_t headerSize = U32(sizeBytes);
  if (headerSize != kCoreHeaderSize && (headerSize < kInfoHeaderSize || headerSize > kMaxHeaderSize))
    return false;
  std::vector<uint8_t> ih(headerSize < 56 ? 56 : headerSize, 0);  // room for the masks
  std::memcpy(ih.data(), sizeBytes, 4);
  if (s.ReadFully(ih.data() + 4, headerSize - 4) != headerSize - 4) return false;
  h.consumed = sizeof fh + headerSize;

  h.core = headerSize == kCoreHeaderSize;
  h.width = h.core ? U16(&ih[4]) : static_cast<int32_t>(U32(&ih[4]));
  const int32_t rawHeight = h.core ? U16(&ih[6]) : static_cast<int32_t>(U32(&ih[8]));
  h.bits = h.core ? U16(&ih[10]) : U16(&ih[14]);
  const uint32_t compression = h.core ? kRGB : U32(&ih[16]);
  h.coloursUsed = h.core ? 0 : U32(&ih[32]);
  const int bits = h.bits;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (h.width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return false;
  h.topDown = rawHeight < 0;
  h.height = h.topDown ? -rawHeight : rawHeight;
  return ReadMasks(s, ih, headerSize, compression, h);
}

// Palette of 1, 4 and 8-bit pictures: indices past its end read black, never
// memory past it.
bool ReadPalette(TStream& s, BmpHeader& h, uint8_t (&palette)[256][3]) {
  if (h.bits > 8) return true;
  const uint32_t maxColours = 1u << h.bits;
  const uint32_t count = h.coloursUsed ? h.coloursUsed : maxColours;
  if (count > maxColours) return false;
  const uint32_t entrySize = h.core ? 3 : 4;
  uint8_t entries[256 * 4];
  if (s.ReadFully(entries, count * entrySize) != count * entrySize) return false;
  for (uint32_t i = 0; i < count; ++i) std::memcpy(palette[i], entries + i * entrySize, 3);
  h.consumed += count * entrySize;
  return true;
}

// Decodes one row of the file into pixmap pixels; true when a pixel has alpha.
bool DecodeRow(const BmpHeader& h, const uint8_t (&palette)[256][3], const Field (&f)[4], int bpp,
               const uint8_t* r, uint8_t* d) {
  const int width = h.width;
  bool anyAlpha = false;
  if (h.fields) {
    for (int x = 0; x < width; ++x, d += bpp) {
      const uint32_t v = h.bits == 16 ? U16(r + x * 2) : U32(r + x * 4);
      d[0] = f[2].Get(v, 0), d[1] = f[1].Get(v, 0), d[2] = f[0].Get(v, 0);
      if (bpp == 4) {
        d[3] = f[3].Get(v, 0);
        anyAlpha |= d[3] != 0;
      }
    }
    return anyAlpha;
  }
  switch (h.bits) {
    case 1:
      for (int x = 0; x < width; ++x, d += 3) std::memcpy(d, palette[(r[x >> 3] >> (7 - (x & 7))) & 1], 3);
      break;
    case 4:
      for (int x = 0; x < width; ++x, d += 3) std::memcpy(d, palette[(r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15], 3);
      break;
    case 8:
      for (int x = 0; x < width; ++x, d += 3) std::memcpy(d, palette[r[x]], 3);
      break;
    case 24:
      std::memcpy(d, r, static_cast<size_t>(width) * 3);
      break;
    case 32:
      std::memcpy(d, r, static_cast<size_t>(width) * 4);
      for (int x = 0; x < width; ++x) anyAlpha |= r[x * 4 + 3] != 0;
      break;
  }
  return anyAlpha;
}

// A file cut short is kept (when asked) only while it holds this part of its rows:
// a header must not make us allocate much more than the bytes could fill.
constexpr size_t kFewestRowsPart = 4;

// The rows, stored bottom-up unless the height was negative, each padded to 4 bytes.
// With keepCut, rows missing at the end of the data stay grey and `whole` turns false.
Ref<TPixmap> ReadRows(TStream& s, const BmpHeader& h, const uint8_t (&palette)[256][3], bool keepCut,
                      bool& whole) {
  const int format = h.bits == 32 || (h.fields && h.masks[3]) ? FormatBGRA8888 : FormatBGR888;
  const int bpp = BytesPerPixel(format);
  size_t pixelBytes = 0;
  if (!DecodedPixelBytes(h.width, h.height, bpp, &pixelBytes)) return nullptr;
  const size_t rowBytes = (static_cast<size_t>(h.width) * h.bits + 31) / 32 * 4;
  // Every row must be in the file: a header cannot make us allocate more than that.
  const size_t rowsThere = StreamBytesLeft(s) / rowBytes, rows = static_cast<size_t>(h.height);
  if (rowsThere < rows && (!keepCut || rowsThere < (rows + kFewestRowsPart - 1) / kFewestRowsPart))
    return nullptr;

  std::vector<uint8_t> row(rowBytes);
  auto pixmap = CreatePixmap(h.width, h.height, format);
  if (!pixmap) return nullptr;
  if (rowsThere < rows) pixmap->ClearPixels(static_cast<int>(0xFF808080u));
  const Field fields[4] = {Field(h.masks[0]), Field(h.masks[1]), Field(h.masks[2]), Field(h.masks[3])};
  bool anyAlpha = false;
  for (int i = 0; i < h.height; ++i) {
    if (s.ReadFully(row.data(), rowBytes) != rowBytes) {
      if (!keepCut) return nullptr;
      whole = false;
      break;
    }
    anyAlpha |= DecodeRow(h, palette, fields, bpp, row.data(), pixmap->PixelPtr(0, h.topDown ? i : h.height - 1 - i));
  }
  // The fourth byte of 32-bit pixels is officially unused in most layouts and most
  // writers leave it 0: such a picture is opaque, not invisible.
  if (bpp == 4 && !anyAlpha) {
    for (int y = 0; y < h.height; ++y) {
      uint8_t* d = pixmap->PixelPtr(0, y);
      for (int x = 0; x < h.width; ++x) d[x * 4 + 3] = 255;
    }
  }
  return pixmap;
}

}  // namespace

Ref<TPixmap> DecodeBMP(TStream& s) { return DecodeBMPPicture(s, false).pixmap; }

TSizedPicture DecodeBMPPicture(TStream& s, bool keepCut) {
  BmpHeader h;
  if (!ReadHeader(s, h)) return {};
  uint8_t palette[256][3] = {};
  if (!ReadPalette(s, h, palette)) return {};
  // Writers may leave a gap before the pixels; the offset is trusted only forwards.
  if (h.dataOffset > h.consumed && !Skip(s, h.dataOffset - h.consumed)) return {};
  TSizedPicture out;
  out.pixmap = ReadRows(s, h, palette, keepCut, out.whole);
  out.width = PixmapWidth(out.pixmap);
  out.height = PixmapHeight(out.pixmap);
  return out;
}
