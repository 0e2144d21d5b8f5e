// TPerFrame: an image's array of per-frame values. Nearly every image has one
// frame (board tiles, buttons, glyphs); its value is kept inside the image object,
// so drawing a single-frame image reads nothing beyond the image and its driver
// frame. A board draws a thousand tiles a frame in shuffled order: values behind
// a pointer of their own would each be a cache miss waiting on the one before.
#pragma once
#include <cstddef>
#include <memory>

template <class T>
class TPerFrame {
 public:
  size_t size() const { return _size; }
  // n values, each a copy of value.
  void assign(size_t n, const T& value) {
    _size = n;
    _one = value;
    _many.reset();
    if (n > 1) {
      _many = std::make_unique<T[]>(n);
      for (size_t i = 0; i < n; ++i) _many[i] = value;
    }
  }
  T& operator[](size_t i) { return _size == 1 ? _one : _many[i]; }
  const T& operator[](size_t i) const { return _size == 1 ? _one : _many[i]; }

 private:
  T _one{};
  std::unique_ptr<T[]> _many;
  size_t _size = 0;
};
