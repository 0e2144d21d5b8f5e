// Shelf packing of atlas slots. A shelf is a band of the page as high as the
// first slot put on it; slots of its height or up to a third lower go on it side
// by side, and the gaps freed slots leave are kept per shelf (merged with their
// neighbours), so any slot that fits can take them. A shelf whose last slot is
// freed gives its band back to the page, and a page whose last slot is freed is
// dropped: the game cuts every board anew in another tile size, and the old
// tiles' room must serve the new ones.
#include "draw2d/texture_atlas.h"

#include <GL/gl.h>

#include <cstddef>
#include <vector>

#include "draw2d/gl_draw_listener.h"

bool TTextureAtlas::PlaceOnShelf(TPage& page, int w, int h, bool any_height, int& x, int& y) {
  for (TShelf& shelf : page.shelves) {
    // A shelf takes pictures up to a third lower than itself, so it wastes little;
    // any lower one only when the page has no other room.
    if (h > shelf.h || (!any_height && h * 3 < shelf.h * 2)) continue;
    for (std::size_t i = 0; i < shelf.free.size(); ++i) {
      TSpan& span = shelf.free[i];
      if (span.w < w) continue;
      x = span.x;
      y = shelf.y;
      span.x += w;
      span.w -= w;
      if (span.w == 0) shelf.free.erase(shelf.free.begin() + std::ptrdiff_t(i));
      ++shelf.slots;
      return true;
    }
  }
  return false;
}

// A new shelf in the first band between (or below) the shelves that is high enough.
bool TTextureAtlas::PlaceNewShelf(TPage& page, int w, int h, int& x, int& y) {
  if (w > kPageSize) return false;
  int top = 0;
  std::size_t at = 0;
  for (; at <= page.shelves.size(); ++at) {
    const int bottom = at < page.shelves.size() ? page.shelves[at].y : kPageSize;
    if (bottom - top >= h) break;
    if (at < page.shelves.size()) top = page.shelves[at].y + page.shelves[at].h;
  }
  if (at > page.shelves.size()) return false;
  TShelf shelf;
  shelf.y = top;
  shelf.h = h;
  shelf.slots = 1;
  if (w < kPageSize) shelf.free.push_back(TSpan{w, kPageSize - w});
  page.shelves.insert(page.shelves.begin() + std::ptrdiff_t(at), shelf);
  x = 0;
  y = top;
  return true;
}

bool TTextureAtlas::Place(TPage& page, int w, int h, int& x, int& y) {
  return PlaceOnShelf(page, w, h, false, x, y) || PlaceNewShelf(page, w, h, x, y) ||
         PlaceOnShelf(page, w, h, true, x, y);
}

void TTextureAtlas::GiveBack(TShelf& shelf, int x, int w) {
  std::size_t i = 0;
  while (i < shelf.free.size() && shelf.free[i].x < x) ++i;
  shelf.free.insert(shelf.free.begin() + std::ptrdiff_t(i), TSpan{x, w});
  if (i + 1 < shelf.free.size() && x + w == shelf.free[i + 1].x) {
    shelf.free[i].w += shelf.free[i + 1].w;
    shelf.free.erase(shelf.free.begin() + std::ptrdiff_t(i + 1));
  }
  if (i > 0 && shelf.free[i - 1].x + shelf.free[i - 1].w == x) {
    shelf.free[i - 1].w += shelf.free[i].w;
    shelf.free.erase(shelf.free.begin() + std::ptrdiff_t(i));
  }
}

int64_t TTextureAtlas::PageBytes(bool mipmapped) {
  int64_t bytes = 0;
  for (int level = 0; level <= (mipmapped ? kMipLevels : 0); ++level) {
    const int64_t side = kPageSize >> level;
    bytes += side * side * 4;
  }
  return bytes;
}

int TTextureAtlas::MakePage(bool filtered, bool mipmapped) {
  GLuint name = 0;
  glGenTextures(1, &name);
  if (!name) return -1;
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  const GLint filter = filtered ? GL_LINEAR : GL_NEAREST;
  GLint min_filter = filter;
  if (mipmapped) min_filter = filtered ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
  const int last_level = mipmapped ? kMipLevels : 0;
  // The slots' borders cover only these levels; the texture is complete without the rest.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, last_level);
  while (glGetError() != GL_NO_ERROR) {
  }
  // Cleared, so nothing the allocator left behind can ever be sampled.
  std::vector<unsigned char> zero(std::size_t(kPageSize) * kPageSize * 4, 0);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  for (int level = 0; level <= last_level; ++level) {
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, kPageSize >> level, kPageSize >> level, 0,
                 GL_RGBA, GL_UNSIGNED_BYTE, zero.data());
  }
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &name);
    return -1;
  }
  std::size_t index = 0;
  while (index < _pages.size() && _pages[index].name != 0) ++index;
  if (index == _pages.size()) _pages.emplace_back();
  TPage& p = _pages[index];
  p = TPage{};
  p.name = name;
  p.filtered = filtered;
  p.mipmapped = mipmapped;
  // The white block sits at the page's top-left corner (white at every level).
  int x = 0, y = 0;
  PlaceNewShelf(p, kWhiteSize, kWhiteSize, x, y);
  std::vector<unsigned char> white(std::size_t(kWhiteSize) * kWhiteSize * 4, 255);
  for (int level = 0; level <= last_level; ++level) {
    glTexSubImage2D(GL_TEXTURE_2D, level, x >> level, y >> level, kWhiteSize >> level,
                    kWhiteSize >> level, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
  }
  if (_listener) _listener->OnTextureMemory(PageBytes(mipmapped));
  return int(index);
}

bool TTextureAtlas::Allocate(bool filtered, bool mipmapped, int w, int h, TAtlasSlot& out) {
  if (w <= 0 || h <= 0 || w > kPageSize || h > kPageSize) return false;
  // Sizes in whole multiples keep every slot aligned, so each level halves it exactly.
  if (mipmapped && (w % kMipBorder != 0 || h % kMipBorder != 0)) return false;
  int x = 0, y = 0;
  int page = -1;
  for (std::size_t i = 0; i < _pages.size() && page < 0; ++i) {
    TPage& p = _pages[i];
    if (p.name && p.filtered == filtered && p.mipmapped == mipmapped && Place(p, w, h, x, y))
      page = int(i);
  }
  if (page < 0) {
    page = MakePage(filtered, mipmapped);
    if (page < 0 || !Place(_pages[std::size_t(page)], w, h, x, y)) return false;
  }
  ++_pages[std::size_t(page)].in_use;
  out = TAtlasSlot{page, x, y, w, h};
  return true;
}

unsigned TTextureAtlas::Free(const TAtlasSlot& slot) {
  if (slot.page < 0 || std::size_t(slot.page) >= _pages.size()) return 0;
  TPage& page = _pages[std::size_t(slot.page)];
  if (!page.name) return 0;
  for (std::size_t i = 0; i < page.shelves.size(); ++i) {
    TShelf& shelf = page.shelves[i];
    if (shelf.y != slot.y) continue;
    GiveBack(shelf, slot.x, slot.w);
    if (--shelf.slots == 0) page.shelves.erase(page.shelves.begin() + std::ptrdiff_t(i));
    break;
  }
  if (--page.in_use > 0) return 0;
  const unsigned name = page.name;
  if (_listener) _listener->OnTextureMemory(-PageBytes(page.mipmapped));
  page = TPage{};
  return name;
}

unsigned TTextureAtlas::PageTexture(int page) const {
  if (page < 0 || std::size_t(page) >= _pages.size()) return 0;
  return _pages[std::size_t(page)].name;
}

int TTextureAtlas::PageOfTexture(unsigned name) const {
  if (!name) return -1;
  for (std::size_t i = 0; i < _pages.size(); ++i) {
    if (_pages[i].name == name) return int(i);
  }
  return -1;
}

void TTextureAtlas::WhiteTexel(int, float& u, float& v) const {
  u = v = float(kWhiteSize / 2) / float(kPageSize);
}

int TTextureAtlas::AnyPage() {
  for (std::size_t i = 0; i < _pages.size(); ++i) {
    if (_pages[i].name && !_pages[i].filtered && !_pages[i].mipmapped) return int(i);
  }
  return MakePage(false, false);
}

int TTextureAtlas::FirstPage() const {
  for (std::size_t i = 0; i < _pages.size(); ++i) {
    if (_pages[i].name) return int(i);
  }
  return -1;
}

int TTextureAtlas::PageCount() const {
  int n = 0;
  for (const TPage& p : _pages) n += p.name != 0;
  return n;
}

int TTextureAtlas::SlotsInUse() const {
  int n = 0;
  for (const TPage& p : _pages) n += p.in_use;
  return n;
}
