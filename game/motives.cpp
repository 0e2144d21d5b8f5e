// Motif catalogue and reflections. Leans on the motif folder helpers, the motif
// pictures made on the workers, images and the back buffer (drawing, grabbing) for
// mirrorImage.
#include "game/motives.h"

#include <condition_variable>
#include <mutex>
#include <vector>

#include "draw2d/draw.h"
#include "draw2d/image.h"
#include "game/motif_residency.h"
#include "game/motif_workers.h"
#include "game/normalise.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "platform/filesystem.h"
#include "platform/worker_pool.h"

namespace {

// One file of the folder as a worker read and decoded it.
struct TLoaded {
  bool ready = false;
  TMotifBytes bytes;
  TMotifPictures pictures;
};

struct TLoading {
  std::mutex lock;
  std::condition_variable ready;
  std::vector<TLoaded> files;
};

void LoadOnWorker(const std::shared_ptr<TLoading>& loading, size_t index, const std::u16string& name,
                  const TMotifLook& look) {
  MotifWorkers().Submit([loading, index, name, look] {
    TLoaded got;
    try {
      auto bytes = std::make_shared<std::vector<unsigned char>>();
      if (ReadMotifFile(name, *bytes)) {
        got.pictures = DecodeMotif(*bytes, look);
        got.bytes = std::move(bytes);
      }
    } catch (...) {
      got = TLoaded();  // a failed allocation: no entry for this file
    }
    got.ready = true;
    std::lock_guard<std::mutex> hold(loading->lock);
    loading->files[index] = std::move(got);
    loading->ready.notify_all();
  });
}

TLoaded Take(TLoading& loading, size_t index) {
  std::unique_lock<std::mutex> hold(loading.lock);
  loading.ready.wait(hold, [&] { return loading.files[index].ready; });
  return std::move(loading.files[index]);
}

}  // namespace

void SetMotifPictures(TMotives& entry, const TMotifPictures& pictures) {
  entry.Motiv = pictures.picture ? LoadImage(pictures.picture, ImageMasked) : nullptr;
  entry.Mirror = entry.Motiv && pictures.reflection ? LoadImage(pictures.reflection, -1) : nullptr;
  entry.Motivwidth = static_cast<float>(ImageWidth(entry.Motiv));
  entry.Motivheight = static_cast<float>(ImageHeight(entry.Motiv));
  entry.widthfaktor = 512.0f / entry.Motivwidth;
  entry.heightfaktor = 512.0f / entry.Motivheight;
}

Ref<TMotives> TMotives::AddMotiv(uint16_t id, const std::u16string& filename,
                                 const Ref<TPixmap>& decoded) {
  if (!M) return nullptr;
  M->Filename = filename;
  const TMotifLook look = CurrentMotifLook();
  if (decoded) {
    SetMotifPictures(*M, MotifPictures(CopyPixmap(decoded), look));
  } else {
    auto bytes = std::make_shared<std::vector<unsigned char>>();
    if (ReadMotifFile(filename, *bytes)) {
      SetMotifPictures(*M, DecodeMotif(*bytes, look));
      if (M->Motiv) M->_bytes = std::move(bytes);
    } else {
      SetMotifPictures(*M, TMotifPictures());
    }
  }
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
  pixmap = FadedReflection(pixmap, hs);
  return pixmap ? LoadImage(pixmap, -1) : nullptr;
}

void BuildMotiveCatalogue(const std::u16string& folder) {
  const std::vector<std::u16string> listed = LoadDir(folder, true);
  uint16_t counter = 0;
  {
    TFolderVisit visit(folder);
    std::vector<std::u16string> names;
    if (visit.Entered())
      for (const std::u16string& name : listed)
        if (IsMotifName(name)) names.push_back(name);
    auto loading = std::make_shared<TLoading>();
    loading->files.resize(names.size());
    const TMotifLook look = CurrentMotifLook();
    // Decoded pictures waiting for the main thread stay few, whatever the folder.
    const size_t ahead = 2 * static_cast<size_t>(MotifWorkers().Threads()) + 2;
    size_t asked = 0;
    for (size_t i = 0; i < names.size(); ++i) {
      for (; asked < names.size() && asked < i + ahead; ++asked) LoadOnWorker(loading, asked, names[asked], look);
      TLoaded file = Take(*loading, i);
      // Only entries with both pictures join, so IDs have no gaps.
      if (!file.pictures.picture || !file.pictures.reflection) continue;
      M = std::make_shared<TMotives>();
      M->Filename = names[i];
      M->_bytes = std::move(file.bytes);
      SetMotifPictures(*M, file.pictures);
      if (!M->Motiv || !M->Mirror) continue;
      M->ID = counter;
      MotivesList.push_back(M);
      counter = static_cast<uint16_t>(counter + 1);
      // The first entries and the latest ones are the neighbours of motif 0 at the
      // end; every other entry keeps only its bytes.
      if (MotivesList.size() > 2 * kNearMotives + 1)
        ReleaseMotifPictures(*MotivesList[MotivesList.size() - 1 - kNearMotives]);
    }
  }
  CountMotives = counter;
  KeepMotivesNear(0);
}
