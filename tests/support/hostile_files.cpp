// Hostile file makers: BMP, TGA and WAV headers by hand, PNG chunks with zlib's
// compressor and checksum, JPEGs written by libjpeg and then patched, an Ogg page
// re-stamped with its own checksum.
#include "tests/support/hostile_files.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "tests/support/jpeg_raw.h"

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}
void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>(v >> 8);
}

namespace {
void PutBE32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}

void PngChunk(std::string& s, const char* type, const std::string& body) {
  PutBE32(s, static_cast<uint32_t>(body.size()));
  const std::string typed = std::string(type, 4) + body;
  s += typed;
  PutBE32(s, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

// Encodes a grey or RGB picture of a fixed pattern with libjpeg at quality 75;
// `setup` may change the parameters.
std::string EncodeJpeg(int w, int h, int components, const std::function<void(jpeg_compress_struct&)>& setup) {
  const size_t row = static_cast<size_t>(w) * components;
  std::vector<uint8_t> samples(row * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (size_t i = 0; i < row; ++i) samples[y * row + i] = static_cast<uint8_t>((i * 7 + y * 3) & 0x3f);
  return JpegFromSamples(samples, w, h, components, false, 75, setup);
}

// Ogg's page checksum: CRC-32, polynomial 0x04c11db7, not reflected, no final xor.
uint32_t OggCrc(const std::string& page) {
  uint32_t crc = 0;
  for (unsigned char byte : page) {
    crc ^= uint32_t(byte) << 24;
    for (int i = 0; i < 8; ++i) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
  }
  return crc;
}

}  // namespace

std::string HostileBmp() {
  std::string s = "BM";
  Put32(s, 54);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, 268435440u);
  Put32(s, 1);
  Put16(s, 1);
  Put16(s, 32);
  s.append(24, '\0');
  return s;
}

std::string HostileTga() {
  std::string s(18, '\0');
  s[2] = 2;  // uncompressed true colour
  s[12] = '\xff', s[13] = '\xff';  // width 65535
  s[14] = static_cast<char>(4000 & 0xff), s[15] = static_cast<char>(4000 >> 8);
  s[16] = 32, s[17] = 8;
  return s + std::string(64, '\x40');
}

std::string HostilePng(int width, int height, int dataBytes) {
  std::string s("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  PutBE32(ihdr, static_cast<uint32_t>(width));
  PutBE32(ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x04\x00\x00\x00", 5);  // 8 bits, grey+alpha, not interlaced
  PngChunk(s, "IHDR", ihdr);
  // Zero rows compress about 1000:1; make as many as fit in dataBytes.
  std::vector<Bytef> raw(static_cast<size_t>(dataBytes) * 1000, 0);
  uLongf packed = compressBound(raw.size());
  std::vector<Bytef> z(packed);
  compress2(z.data(), &packed, raw.data(), raw.size(), 9);
  PngChunk(s, "IDAT", std::string(reinterpret_cast<char*>(z.data()), packed));
  return s;
}

std::string HostileJpeg(int width, int height, int padding) {
  std::string s = EncodeJpeg(16, 16, 3, [](jpeg_compress_struct&) {});
  const size_t sof = s.find("\xff\xc0");
  if (sof == std::string::npos) return s;
  s[sof + 5] = static_cast<char>(height >> 8), s[sof + 6] = static_cast<char>(height & 0xff);
  s[sof + 7] = static_cast<char>(width >> 8), s[sof + 8] = static_cast<char>(width & 0xff);
  std::string comments;
  for (int left = padding; left > 0; left -= 60000) {
    const int body = left < 60000 ? left : 60000;
    comments += "\xff\xfe";
    comments += static_cast<char>((body + 2) >> 8);
    comments += static_cast<char>((body + 2) & 0xff);
    comments.append(static_cast<size_t>(body), 'c');
  }
  return s.substr(0, 2) + comments + s.substr(2);
}

std::string ManyScanJpeg(int width, int height) {
  // Each band starts at the coarsest bit libjpeg allows (10) and is refined to bit 0.
  static std::vector<jpeg_scan_info> script = [] {
    std::vector<jpeg_scan_info> v;
    for (int band = 0; band < 64; ++band) {
      for (int al = 10; al >= 0; --al) {
        jpeg_scan_info s{};
        s.comps_in_scan = 1;
        s.component_index[0] = 0;
        s.Ss = s.Se = band;
        s.Ah = al == 10 ? 0 : al + 1;
        s.Al = al;
        v.push_back(s);
      }
    }
    return v;
  }();
  return EncodeJpeg(width, height, 1, [](jpeg_compress_struct& c) {
    c.scan_info = script.data();
    c.num_scans = static_cast<int>(script.size());
  });
}

std::string HostileWav() {
  std::string s = "RIFF";
  Put32(s, 0x7fffffff);
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, 1);      // PCM
  Put16(s, 2);      // stereo
  Put32(s, 44100);
  Put32(s, 44100 * 4);
  Put16(s, 4);
  Put16(s, 16);
  s += "data";
  Put32(s, 0x7ffffff0);
  return s + std::string(100, '\x11');
}

std::string HostileOgg(const std::string& ogg, long long frames) {
  const size_t last = ogg.rfind("OggS");
  if (last == std::string::npos || last + 27 > ogg.size()) return ogg;
  const size_t segments = static_cast<unsigned char>(ogg[last + 26]);
  size_t body = 0;
  for (size_t i = 0; i < segments && last + 27 + i < ogg.size(); ++i)
    body += static_cast<unsigned char>(ogg[last + 27 + i]);
  std::string page = ogg.substr(last, 27 + segments + body);
  for (int i = 0; i < 8; ++i) page[6 + i] = static_cast<char>((static_cast<unsigned long long>(frames) >> (8 * i)) & 0xff);
  for (int i = 0; i < 4; ++i) page[22 + i] = 0;
  const uint32_t crc = OggCrc(page);
  for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<char>((crc >> (8 * i)) & 0xff);
  return ogg.substr(0, last) + page + ogg.substr(last + page.size());
}
