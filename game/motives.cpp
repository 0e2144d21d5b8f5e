// Motif catalogue and reflections. Leans on the motif folder helpers, images and
// the back buffer (drawing, grabbing), and pixmap pixel access.
#include "game/motives.h"

#include "draw2d/draw.h"
#include "draw2d/image.h"
#include "game/normalise.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "platform/filesystem.h"

Ref<TMotives> TMotives::AddMotiv(uint16_t id, const std::u16string& filename,
                                 const Ref<TPixmap>& decoded) {
  if (!M) return nullptr;
  M->Filename = filename;
  Ref<TPixmap> pixmap = decoded ? decoded : LoadMotifPixmap(filename);
  // A picture that could not be normalised (a read-only folder) is scaled here, so
  // that no motif is larger than the board or its reflection leaves the back buffer.
  if (pixmap && (PixmapWidth(pixmap) > 512 || PixmapHeight(pixmap) > 512))
    pixmap = ResamplePixmap(pixmap, 512, 512);
  if (pixmap) {
    M->Motiv = LoadImage(CopyPixmap(pixmap), ImageMasked);
    Ref<TImage> source = LoadImage(CopyPixmap(pixmap), ImageMasked);
    if (source) M->Mirror = mirrorImage(source);
  }
  M->Motivwidth = static_cast<float>(ImageWidth(M->Motiv));
  M->Motivheight = static_cast<float>(ImageHeight(M->Motiv));
  M->widthfaktor = 512.0f / M->Motivwidth;
  M->heightfaktor = 512.0f / M->Motivheight;
  M->ID = id;
  return nullptr;
}

Ref<TImage> TMotives::getImage() { return M ? M->Motiv : nullptr; }
uint16_t TMotives::getID() { return M ? M->ID : 0; }

Ref<TImage> mirrorImage(const Ref<TImage>& image) {
  if (!image) return nullptr;
  const int h = ImageHeight(image);
  const int w = ImageWidth(image);
  int hs = h;
  Ref<TPixmap> pixmap;
  if (h > 100) {
    hs = h / 7;
    Ref<TImage> strip = CreateImage(w, hs);
    Cls();
    DrawImage(image, 0, 0, 0);
    GrabImage(strip, 0, h - hs, 0);
    Cls();
    pixmap = LockImage(strip, 0, true, true);
  } else {
    // Read only: the argument must stay as it is.
    pixmap = LockImage(image, 0, true, false);
  }
  pixmap = YFlipPixmap(ConvertPixmap(pixmap, FormatRGBA8888));
  if (!pixmap || hs <= 0) return nullptr;
  const int pw = PixmapWidth(pixmap), ph = PixmapHeight(pixmap);
  const float fhs = static_cast<float>(hs);
  for (int x = 0; x < pw; ++x) {
    for (int y = 0; y < ph; ++y) {
      const uint32_t p = static_cast<uint32_t>(ReadPixel(pixmap, x, y));
      const float frac = static_cast<float>(y) / fhs;
      const float fade = 1.0f - frac;
      const float scaled = 80.0f * fade;
      uint32_t a = static_cast<uint32_t>(static_cast<int>(scaled));
      if ((p >> 24) == 0) a = 0;
      WritePixel(pixmap, x, y, static_cast<int>((a << 24) | (p & 0x00FFFFFFu)));
    }
  }
  return LoadImage(pixmap, -1);
}

void BuildMotiveCatalogue(const std::u16string& folder) {
  const std::vector<std::u16string> names = LoadDir(folder, true);
  uint16_t counter = 0;
  {
    TFolderVisit visit(folder);
    if (visit.Entered()) {
      for (const std::u16string& name : names) {
        if (!IsMotifName(name)) continue;
        Ref<TPixmap> pixmap = LoadMotifPixmap(name);
        if (!pixmap) continue;
        M = std::make_shared<TMotives>();
        TMotives::AddMotiv(counter, name, pixmap);
        // Only entries with both pictures join, so IDs have no gaps.
        if (!M->Motiv || !M->Mirror) continue;
        MotivesList.push_back(M);
        counter = static_cast<uint16_t>(counter + 1);
      }
    }
  }
  CountMotives = counter;
}
