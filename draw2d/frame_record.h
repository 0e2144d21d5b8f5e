// TFrameRecord: the driver calls of the frame being drawn and of the frame on
// screen, each a flat list of words, so that a frame can be replayed into GL later
// and compared with the screen. While the new frame repeats the one on screen, its
// calls are only compared as they come and nothing is copied: a frame that equals
// the screen costs one short compare per call. Pixmaps drawn directly are kept
// beside the words; their pixels may change under the same object, so a frame that
// draws one, or follows one, never counts as equal.
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

// The state a frame starts from, as the words at the head of its record: where
// each setter's values sit.
enum TFrameState : int {
  kStateBlend = 0, kStateAlpha = 1, kStateColor = 2, kStateClsColor = 5, kStateViewport = 8,
  kStateTransform = 12, kStateLineWidth = 16, kStateWords = 17
};

class TFrameRecord {
 public:
  // Appends n words (4-byte values) to the frame being drawn.
  void Put(const void* words, size_t n) {
    if (n == 0) return;
    const size_t bytes = n * sizeof(uint32_t);
    if (!_own) {
      if (_at + n <= _shown.size() && std::memcmp(_shown.data() + _at, words, bytes) == 0) {
        _at += n;
        return;
      }
      Own();
    }
    const size_t end = _words.size();
    _words.resize(end + n);
    std::memcpy(_words.data() + end, words, bytes);
  }
  // Keeps a pixmap for the replay; returns the index to record.
  uint32_t Pixmap(const Ref<TPixmap>& pixmap) {
    Own();
    _pixmaps.push_back(pixmap);
    return uint32_t(_pixmaps.size() - 1);
  }
  size_t Size() const { return _own ? _words.size() : _at; }
  // The frame being drawn and the one on screen, as words; null when either keeps
  // a pixmap (a frame that draws one is drawn whole).
  const uint32_t* Words() const { return _pixmaps.empty() ? Read(0).words : nullptr; }
  const uint32_t* ShownWords() const { return _shown_pixmaps.empty() ? _shown.data() : nullptr; }
  size_t ShownSize() const { return _shown.size(); }
  bool Empty() const { return Size() == 0; }
  // Every word of the frame on screen, in order, and no pixmap.
  bool RepeatsShown() const { return !_own && _at == _shown.size(); }
  // The frame being drawn is now on screen; the next one starts empty.
  void Show() {
    if (_own) {
      _shown.swap(_words);
      _shown_pixmaps.swap(_pixmaps);
    } else {
      _shown.resize(_at);  // it repeated the start of the old one
    }
    Restart();
  }
  // Drops the frame being drawn; the one on screen stays.
  void Restart() {
    _words.clear();
    _pixmaps.clear();
    _at = 0;
    _own = !_shown_pixmaps.empty();
  }

  // Reads the frame being drawn from a position on.
  struct TReader {
    const uint32_t* words;
    size_t at, end;
    const std::vector<Ref<TPixmap>>& pixmaps;
    bool More() const { return at < end; }
    TFrameOp Op() { return TFrameOp(words[at++]); }
    int Int() { return int(words[at++]); }
    float Float() { return std::bit_cast<float>(words[at++]); }
    const Ref<TPixmap>& Pixmap() { return pixmaps[words[at++]]; }
  };
  TReader Read(size_t from) const {
    return TReader{_own ? _words.data() : _shown.data(), from, Size(), _pixmaps};
  }

 private:
  // From here on the frame keeps words of its own, starting with the ones it repeated.
  void Own() {
    if (_own) return;
    _words.assign(_shown.begin(), _shown.begin() + std::ptrdiff_t(_at));
    _own = true;
  }

  std::vector<uint32_t> _words;  // the frame being drawn, once it differs from the screen
  std::vector<Ref<TPixmap>> _pixmaps;
  size_t _at = 0;     // words repeated so far, while it does not differ
  bool _own = false;  // it differs (or may): _words holds it
  std::vector<uint32_t> _shown;
  std::vector<Ref<TPixmap>> _shown_pixmaps;
};
