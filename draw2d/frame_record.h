// TFrameRecord: the driver calls of one frame as a flat list of words, so that two
// frames compare with one memcmp and a frame can be replayed into GL later. Pixmaps
// drawn directly are kept beside the words; their pixels may change under the same
// object, so a frame that draws one never counts as equal to another.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/object.h"

struct TPixmap;

enum class TFrameOp : uint32_t {
  Blend, Alpha, Color, ClsColor, Viewport, Transform, LineWidth,
  Cls, Plot, Line, Rect, Oval, Poly, Pixmap, Quad
};

class TFrameRecord {
 public:
  void Clear() {
    _words.clear();
    _pixmaps.clear();
  }
  void Op(TFrameOp op) { _words.push_back(uint32_t(op)); }
  void Int(int v) { _words.push_back(uint32_t(v)); }
  void Float(float v) { _words.push_back(std::bit_cast<uint32_t>(v)); }
  void Pixmap(const Ref<TPixmap>& pixmap) {
    Int(int(_pixmaps.size()));
    _pixmaps.push_back(pixmap);
  }
  size_t Size() const { return _words.size(); }
  bool Empty() const { return _words.empty(); }
  // Same words, and no pixmap whose pixels could differ.
  bool Equals(const TFrameRecord& o) const {
    return _pixmaps.empty() && o._pixmaps.empty() && _words.size() == o._words.size() &&
           std::memcmp(_words.data(), o._words.data(), _words.size() * sizeof(uint32_t)) == 0;
  }
  void Swap(TFrameRecord& o) {
    _words.swap(o._words);
    _pixmaps.swap(o._pixmaps);
  }

  // Reads the words from a position on.
  struct TReader {
    const TFrameRecord& record;
    size_t at;
    bool More() const { return at < record._words.size(); }
    TFrameOp Op() { return TFrameOp(record._words[at++]); }
    int Int() { return int(record._words[at++]); }
    float Float() { return std::bit_cast<float>(record._words[at++]); }
    const Ref<TPixmap>& Pixmap() { return record._pixmaps[size_t(Int())]; }
  };
  TReader Read(size_t from) const { return TReader{*this, from}; }

 private:
  std::vector<uint32_t> _words;
  std::vector<Ref<TPixmap>> _pixmaps;
};
