// Shelf packing of atlas slots, with freed slots reused by exact size (the game's
// pictures come in few sizes: tiles of one board, glyphs of one font).
#include "draw2d/texture_atlas.h"

#include <GL/gl.h>

#include <cstddef>
#include <vector>

bool TTextureAtlas::Place(TPage& page, int w, int h, int& x, int& y) {
  auto it = page.free.find({w, h});
  if (it != page.free.end() && !it->second.empty()) {
    x = it->second.back().first;
    y = it->second.back().second;
    it->second.pop_back();
    return true;
  }
  for (TShelf& shelf : page.shelves) {
    // A shelf takes pictures of its height or up to a third lower, so it wastes little.
    if (h <= shelf.h && h * 3 >= shelf.h * 2 && shelf.used + w <= kPageSize) {
      x = shelf.used;
      y = shelf.y;
      shelf.used += w;
      return true;
    }
  }
  if (page.next_y + h > kPageSize || w > kPageSize) return false;
  TShelf shelf;
  shelf.y = page.next_y;
  shelf.h = h;
  shelf.used = w;
  page.next_y += h;
  page.shelves.push_back(shelf);
  x = 0;
  y = shelf.y;
  return true;
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
  TPage page;
  page.name = name;
  page.filtered = filtered;
  page.mipmapped = mipmapped;
  _pages.push_back(std::move(page));
  // The white block sits at the page's top-left corner (white at every level).
  TPage& p = _pages.back();
  int x = 0, y = 0;
  Place(p, kWhiteSize, kWhiteSize, x, y);
  std::vector<unsigned char> white(std::size_t(kWhiteSize) * kWhiteSize * 4, 255);
  for (int level = 0; level <= last_level; ++level) {
    glTexSubImage2D(GL_TEXTURE_2D, level, x >> level, y >> level, kWhiteSize >> level,
                    kWhiteSize >> level, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
  }
  return int(_pages.size()) - 1;
}

bool TTextureAtlas::Allocate(bool filtered, bool mipmapped, int w, int h, TAtlasSlot& out) {
  if (w <= 0 || h <= 0 || w > kPageSize || h > kPageSize) return false;
  // Sizes in whole multiples keep every slot aligned, so each level halves it exactly.
  if (mipmapped && (w % kMipBorder != 0 || h % kMipBorder != 0)) return false;
  for (std::size_t i = 0; i < _pages.size(); ++i) {
    TPage& page = _pages[i];
    if (page.filtered != filtered || page.mipmapped != mipmapped) continue;
    int x = 0, y = 0;
    if (Place(page, w, h, x, y)) {
      out = TAtlasSlot{int(i), x, y, w, h};
      ++page.in_use;
      return true;
    }
  }
  const int made = MakePage(filtered, mipmapped);
  if (made < 0) return false;
  TPage& page = _pages[std::size_t(made)];
  int x = 0, y = 0;
  if (!Place(page, w, h, x, y)) return false;
  out = TAtlasSlot{made, x, y, w, h};
  ++page.in_use;
  return true;
}

void TTextureAtlas::Free(const TAtlasSlot& slot) {
  if (slot.page < 0 || std::size_t(slot.page) >= _pages.size()) return;
  TPage& page = _pages[std::size_t(slot.page)];
  page.free[{slot.w, slot.h}].push_back({slot.x, slot.y});
  --page.in_use;
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
    if (!_pages[i].filtered && !_pages[i].mipmapped) return int(i);
  }
  return MakePage(false, false);
}

int TTextureAtlas::SlotsInUse() const {
  int n = 0;
  for (const TPage& p : _pages) n += p.in_use;
  return n;
}
