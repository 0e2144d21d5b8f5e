// The board save's bytes: a format number first, then the motif the board was cut
// from (its file name, size and modification time), the grid, the help level, the
// counters, the round's elapsed time and the tile in every cell. Little-endian, a
// few KiB at most. The reader takes any bytes and accepts only what this writer
// can make; it needs nothing but the standard library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint32_t kBoardSaveFormat = 1;
inline constexpr int kSaveGridMin = 4, kSaveGridMax = 32;

// A motif file as the board was cut from it.
struct TMotifStamp {
  std::string name;  // file name in the motif folder, in the OS's bytes
  uint64_t size = 0;
  int64_t mtime_s = 0;
  uint32_t mtime_ns = 0;
  bool operator==(const TMotifStamp&) const = default;
};

struct TBoardSave {
  TMotifStamp motif;
  int grid = 0;  // columns = rows
  uint8_t help = 0;
  uint16_t correct = 0;  // cells that hold their own tile
  uint16_t swaps = 0;
  uint32_t elapsed_ms = 0;  // of the round; below 2^31
  // tiles[c] is the tile in cell c, named by the cell it belongs in; cells run
  // column by column (c = x * grid + y), as the board arrays store them.
  std::vector<uint16_t> tiles;
};

// A save the reader accepts: a plain file name, the grid in range, the tiles a
// permutation, the correct count matching them.
bool BoardSaveConsistent(const TBoardSave& save);
// The bytes of a consistent save (empty for any other).
std::vector<unsigned char> EncodeBoardSave(const TBoardSave& save);
// True, with `save` filled, only for the whole bytes of a consistent save of this
// format; anything else (cut short, longer, another format) is refused.
bool DecodeBoardSave(const unsigned char* bytes, size_t size, TBoardSave& save);
