// TTextureAtlas: shared textures into which small image frames are packed, so
// that many small pictures draw from one texture (and batch). One set of pages per
// filter mode, and one for mipmapped frames; each slot carries a replicated
// border on every side, which stands in for clamp-to-edge (one texel, or for
// mipmapped pages kMipBorder texels at level 0 and as many halved at each level up
// to kMipLevels, with slots aligned to kMipBorder, so that no level a slot is
// drawn with reaches a neighbour); each page starts with a white block from
// which untextured shapes are drawn. Bookkeeping only, apart from page creation,
// which needs a current GL context.
#pragma once
#include <map>
#include <utility>
#include <vector>

struct TAtlasSlot {
  int page = -1;
  int x = 0, y = 0;  // top-left of the slot, border included
  int w = 0, h = 0;  // slot size, border included
};

class TTextureAtlas {
 public:
  static constexpr int kPageSize = 1024;
  static constexpr int kMaxPicture = 128;  // larger pictures get a texture of their own
  static constexpr int kWhiteSize = 4;
  static constexpr int kMaxMipPicture = 64;  // mipmapped pictures (glyphs) up to this size
  static constexpr int kMipLevels = 2;       // last level of a mipmapped page
  static constexpr int kMipBorder = 1 << kMipLevels;

  // Room for a slot of w x h texels (border included) in a page of that filter
  // mode (mipmapped: w and h multiples of kMipBorder), making a page when all are
  // full (GL: a context must be current). False when no page could be made.
  bool Allocate(bool filtered, bool mipmapped, int w, int h, TAtlasSlot& out);
  void Free(const TAtlasSlot& slot);

  unsigned PageTexture(int page) const;
  int PageOfTexture(unsigned name) const;  // -1 for a texture that is no page
  // Texture coordinates of the centre of the page's white block.
  void WhiteTexel(int page, float& u, float& v) const;
  // The first page of the unfiltered set, made if needed (GL: a context must be current).
  int AnyPage();
  int PageCount() const { return int(_pages.size()); }
  int SlotsInUse() const;

 private:
  struct TShelf {
    int y = 0, h = 0, used = 0;
  };
  struct TPage {
    unsigned name = 0;
    bool filtered = false;
    bool mipmapped = false;
    std::vector<TShelf> shelves;
    int next_y = 0;
    int in_use = 0;
    std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> free;  // (w, h) -> (x, y)
  };
  bool Place(TPage& page, int w, int h, int& x, int& y);
  int MakePage(bool filtered, bool mipmapped);

  std::vector<TPage> _pages;
};
