// TTextureAtlas: shared textures into which small image frames are packed, so
// that many small pictures draw from one texture (and batch). One set of pages per
// filter mode, and one for mipmapped frames; each slot carries a replicated
// border on every side, which stands in for clamp-to-edge (one texel, or for
// mipmapped pages kMipBorder texels at level 0 and as many halved at each level up
// to kMipLevels, with slots aligned to kMipBorder, so that no level a slot is
// drawn with reaches a neighbour); each page starts with a white block from
// which untextured shapes are drawn. Memory comes back: a freed place is reused
// for any slot that fits, and a page whose last slot is freed is dropped. Page
// creation needs a current GL context; dropped pages are handed to the caller to
// delete.
#pragma once
#include <cstdint>
#include <vector>

struct TGLDrawListener;

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
  // Gives a slot back. When that was its page's last, the page is dropped and its
  // texture name returned, for the caller to delete in the shared context; else 0.
  unsigned Free(const TAtlasSlot& slot);

  unsigned PageTexture(int page) const;  // 0 for a page that is dropped or never was
  int PageOfTexture(unsigned name) const;  // -1 for a texture that is no page
  // Texture coordinates of the centre of the page's white block.
  void WhiteTexel(int page, float& u, float& v) const;
  // The first unfiltered page, made if needed (GL: a context must be current).
  int AnyPage();
  int FirstPage() const;  // the first page of any kind; -1 when there is none
  int PageCount() const;  // pages that exist
  int SlotsInUse() const;
  // Texture memory of one page, all levels included.
  static int64_t PageBytes(bool mipmapped);
  // Hears of page memory made and given back; null: nobody.
  void SetListener(TGLDrawListener* listener) { _listener = listener; }

 private:
  struct TSpan {
    int x = 0, w = 0;
  };
  // A band of the page's height h at y, filled from the left; free holds the gaps.
  struct TShelf {
    int y = 0, h = 0;
    int slots = 0;
    std::vector<TSpan> free;  // by x, never touching each other
  };
  struct TPage {
    unsigned name = 0;  // 0: dropped, the index waits for reuse
    bool filtered = false;
    bool mipmapped = false;
    std::vector<TShelf> shelves;  // by y
    int in_use = 0;               // slots of frames (the white block not counted)
  };
  bool Place(TPage& page, int w, int h, int& x, int& y);
  bool PlaceOnShelf(TPage& page, int w, int h, bool any_height, int& x, int& y);
  bool PlaceNewShelf(TPage& page, int w, int h, int& x, int& y);
  static void GiveBack(TShelf& shelf, int x, int w);
  int MakePage(bool filtered, bool mipmapped);

  std::vector<TPage> _pages;
  TGLDrawListener* _listener = nullptr;
};
