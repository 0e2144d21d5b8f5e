// Decoded pictures only near the carousel's middle. Leans on the catalogue, the
// motif pictures and the motif workers; results come back through a locked list
// that the main thread drains.
#include "game/motif_residency.h"

#include <mutex>
#include <vector>

#include "draw2d/image.h"
#include "game/motif_workers.h"
#include "game/motives.h"
#include "game/state.h"
#include "platform/worker_pool.h"

namespace {

struct TMade {
  std::weak_ptr<TMotives> entry;  // only locked on the main thread
  TMotifPictures pictures;
};

std::mutex g_made_lock;
std::vector<TMade> g_made;
int g_centre = -1;
const TMotives* g_centre_entry = nullptr;  // tells a rebuilt catalogue apart

bool HasPictures(const TMotives& e) { return e.Motiv && e.Mirror; }

int Distance(int a, int b, int n) {
  const int d = a > b ? a - b : b - a;
  return d < n - d ? d : n - d;
}

bool Near(const TMotives& e, int n) { return Distance(e.ID, g_centre, n) <= kNearMotives; }

void InstallMade(int n) {
  std::vector<TMade> made;
  {
    std::lock_guard<std::mutex> hold(g_made_lock);
    made.swap(g_made);
  }
  for (TMade& m : made) {
    Ref<TMotives> e = m.entry.lock();
    if (!e) continue;
    e->_asked = false;
    if (HasPictures(*e) || !Near(*e, n)) continue;
    SetMotifPictures(*e, m.pictures);
    // Textures now, in a frame of their own, not in the frame that first shows them.
    if (e->Motiv) e->Motiv->Frame(0);
    if (e->Mirror) e->Mirror->Frame(0);
  }
}

void AskWorkers(const Ref<TMotives>& e, const TMotifLook& look) {
  e->_asked = true;
  MotifWorkers().Submit([entry = std::weak_ptr<TMotives>(e), bytes = e->_bytes, look] {
    TMade made{entry, DecodeMotif(*bytes, look)};
    std::lock_guard<std::mutex> hold(g_made_lock);
    g_made.push_back(std::move(made));
  });
}

}  // namespace

void MakeMotifPicturesNow(TMotives& e) {
  if (!HasPictures(e) && e._bytes) SetMotifPictures(e, DecodeMotif(*e._bytes, CurrentMotifLook()));
}

void ReleaseMotifPictures(TMotives& entry) {
  if (!entry._bytes) return;
  entry.Motiv.reset();
  entry.Mirror.reset();
}

void KeepMotivesNear(int current, bool shown_now) {
  const int n = static_cast<int>(MotivesList.size());
  if (n == 0) return;
  current = ((current % n) + n) % n;
  const bool moved = current != g_centre || g_centre_entry != MotivesList[current].get();
  g_centre = current;
  g_centre_entry = MotivesList[current].get();
  InstallMade(n);
  if (moved) {
    const TMotifLook look = CurrentMotifLook();
    for (const Ref<TMotives>& e : MotivesList) {
      if (!Near(*e, n))
        ReleaseMotifPictures(*e);
      else if (!HasPictures(*e) && !e->_asked && e->_bytes)
        AskWorkers(e, look);
    }
  }
  if (!shown_now) return;
  // What this frame draws is never left to the workers.
  for (int d : {0, 1, -1}) MakeMotifPicturesNow(*MotivesList[((current + d) % n + n) % n]);
}
