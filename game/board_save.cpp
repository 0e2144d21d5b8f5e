// Encoding and the checked decoding of the board save.
#include "game/board_save.h"

#include <limits>

namespace {

constexpr size_t kMaxNameBytes = 255;  // a file name of Linux file systems

// Appends little-endian numbers.
struct TWriter {
  std::vector<unsigned char> out;
  void Put(uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
};

// Reads little-endian numbers without ever passing the end; a read past it fails
// and every read after it fails too.
struct TReader {
  const unsigned char* at;
  size_t left;
  bool ok = true;
  uint64_t Get(int bytes) {
    if (!ok || left < static_cast<size_t>(bytes)) {
      ok = false;
      return 0;
    }
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{at[i]} << (8 * i);
    at += bytes;
    left -= static_cast<size_t>(bytes);
    return v;
  }
};

bool PlainName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

bool BoardSaveConsistent(const TBoardSave& s) {
  if (!PlainName(s.motif.name) || s.motif.mtime_ns >= 1000000000u) return false;
  if (s.grid < kSaveGridMin || s.grid > kSaveGridMax || s.help > 3) return false;
  if (s.elapsed_ms > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
  const size_t n = static_cast<size_t>(s.grid) * static_cast<size_t>(s.grid);
  if (s.tiles.size() != n) return false;
  std::vector<bool> seen(n, false);
  size_t correct = 0;
  for (size_t c = 0; c < n; ++c) {
    const size_t t = s.tiles[c];
    if (t >= n || seen[t]) return false;
    seen[t] = true;
    correct += t == c;
  }
  return correct == s.correct;
}

std::vector<unsigned char> EncodeBoardSave(const TBoardSave& s) {
  if (!BoardSaveConsistent(s)) return {};
  TWriter w;
  w.Put(kBoardSaveFormat, 4);
  w.Put(s.motif.name.size(), 2);
  w.out.insert(w.out.end(), s.motif.name.begin(), s.motif.name.end());
  w.Put(s.motif.size, 8);
  w.Put(static_cast<uint64_t>(s.motif.mtime_s), 8);
  w.Put(s.motif.mtime_ns, 4);
  w.Put(static_cast<uint64_t>(s.grid), 1);
  w.Put(s.help, 1);
  w.Put(s.correct, 2);
  w.Put(s.swaps, 2);
  w.Put(s.elapsed_ms, 4);
  for (uint16_t t : s.tiles) w.Put(t, 2);
  return w.out;
}

bool DecodeBoardSave(const unsigned char* bytes, size_t size, TBoardSave& save) {
  if (!bytes) return false;
  TReader r{bytes, size};
  if (r.Get(4) != kBoardSaveFormat) return false;
  TBoardSave s;
  const size_t name_bytes = static_cast<size_t>(r.Get(2));
  if (!r.ok || name_bytes > kMaxNameBytes || name_bytes > r.left) return false;
  s.motif.name.assign(reinterpret_cast<const char*>(r.at), name_bytes);
  r.at += name_bytes;
  r.left -= name_bytes;
  s.motif.size = r.Get(8);
  s.motif.mtime_s = static_cast<int64_t>(r.Get(8));
  s.motif.mtime_ns = static_cast<uint32_t>(r.Get(4));
  s.grid = static_cast<int>(r.Get(1));
  s.help = static_cast<uint8_t>(r.Get(1));
  s.correct = static_cast<uint16_t>(r.Get(2));
  s.swaps = static_cast<uint16_t>(r.Get(2));
  s.elapsed_ms = static_cast<uint32_t>(r.Get(4));
  if (!r.ok || s.grid < kSaveGridMin || s.grid > kSaveGridMax) return false;
  // Exactly one 16-bit tile per cell, and nothing after them.
  const size_t cells = static_cast<size_t>(s.grid) * static_cast<size_t>(s.grid);
  if (r.left != 2 * cells) return false;
  s.tiles.resize(cells);
  for (uint16_t& t : s.tiles) t = static_cast<uint16_t>(r.Get(2));
  if (!r.ok || !BoardSaveConsistent(s)) return false;
  save = std::move(s);
  return true;
}
