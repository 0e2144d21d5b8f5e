// Mixer core on the main thread: mixer sounds, the channel handle table, voice
// records and the hand-over of new voices to the mixing thread (fa_voice.h).
#include "audio/fa_mixer.h"

#include <cmath>
#include <cstring>
#include <new>

#include "audio/fa_voice.h"
#include "platform/clock.h"

using fa_detail::kRingMask;
using fa_detail::rlx;

namespace {

constexpr int64_t kMaxSoundBytes = int64_t(256) << 20;
constexpr int kMaxSoundHertz = 1 << 20;  // keeps rate x hertz << 16 inside 64 bits

}  // namespace

TFaMixer::TFaMixer(TFaClock clock, int output_rate, uint32_t first_generation)
    : _clock(clock ? clock : MilliSecs), _rate(output_rate > 0 ? output_rate : 44100),
      _slots(kSlots), _last_generation(first_generation), _acc(kBlockFrames * 2, 0) {
  for (Slot& s : _slots) s.generation = first_generation;
  for (int i = 0; i < kSlots - 1; ++i) _slots[i].next_free = i + 1;
  _slots[kSlots - 1].next_free = 0;
  _slots[0].in_use = true;  // the head of the free list, never handed out
  _records.reserve(64);
}

TFaMixer::~TFaMixer() {
  // The mixing thread is gone: every record is ours again.
  for (auto& r : _records)
    if (r->sound) FreeSound(r->sound);
}

TFaSound* TFaMixer::CreateSound(int length, int bits, int channels, int hertz,
                                const void* samples, bool loop) {
  if (length <= 0 || hertz <= 0 || hertz > kMaxSoundHertz || !samples) return nullptr;
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return nullptr;
  const int fb = channels * bits / 8;
  if ((int64_t(length) + 1) * fb > kMaxSoundBytes) return nullptr;
  auto* s = new (std::nothrow) TFaSound;
  if (!s) return nullptr;
  try {
    s->data.resize(size_t(length + 1) * fb);
  } catch (const std::bad_alloc&) {
    delete s;
    return nullptr;
  }
  s->hertz = hertz;
  s->channels = channels;
  s->bits = bits;
  s->frame_bytes = fb;
  s->length = length;
  s->loop = loop;
  std::memcpy(s->data.data(), samples, size_t(length) * fb);
  const uint8_t* guard = loop ? s->data.data() : s->data.data() + size_t(length - 1) * fb;
  std::memcpy(s->data.data() + size_t(length) * fb, guard, fb);
  return s;
}

void TFaMixer::FreeSound(TFaSound* sound) {
  if (sound && sound->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete sound;
}

// ---- handle table (main thread) ----

TFaMixer::Slot* TFaMixer::Resolve(int handle) {
  const uint32_t h = uint32_t(handle);
  const uint32_t index = h & (kSlots - 1);
  if (index == 0) return nullptr;
  Slot& s = _slots[index];
  if (!s.in_use || s.generation != (h & ~uint32_t(kSlots - 1))) return nullptr;
  return &s;
}

int TFaMixer::AllocChannel() {
  const int index = _slots[0].next_free;
  if (index == 0) return 0;
  Slot& s = _slots[index];
  _slots[0].next_free = s.next_free;
  s.next_free = 0;
  s.in_use = true;
  s.generation += kGenerationStep;  // unsigned: wraps harmlessly
  if (s.generation > _last_generation) _last_generation = s.generation;
  s.voice = nullptr;
  s.rate = 0x10000;
  s.volume = 4096;
  s.pan = 0;
  s.depth = 0;
  // Generation 0 after a full wrap would make the handle equal to the bare index,
  // which is still unique and non-zero.
  return int(uint32_t(index) | s.generation);
}

void TFaMixer::ReleaseSlot(int index) {
  Slot& s = _slots[index];
  s.voice = nullptr;
  s.in_use = false;
  s.next_free = _slots[0].next_free;
  _slots[0].next_free = index;
}

void TFaMixer::FreeChannel(int handle) {
  DrainRecycled();
  Slot* s = Resolve(handle);
  if (!s) return;
  // The voice plays on to its end and is then reclaimed by the mixer; a paused one
  // could never be resumed without its handle, so it stops.
  if (TFaVoice* v = s->voice) {
    v->auto_free.store(true, rlx);
    if (v->paused.load(rlx)) v->stop.store(true, rlx);
  }
  ReleaseSlot(handle & (kSlots - 1));
}

void TFaMixer::StopChannel(int handle) {
  DrainRecycled();
  Slot* s = Resolve(handle);
  if (!s) return;
  if (s->voice) {
    s->voice->auto_free.store(true, rlx);
    s->voice->stop.store(true, rlx);
  }
  ReleaseSlot(handle & (kSlots - 1));
}

void TFaMixer::SetChannelPaused(int handle, bool paused) {
  Slot* s = Resolve(handle);
  if (s && s->voice) s->voice->paused.store(paused, rlx);
}

namespace {
// NaN is refused (-1); other values are clamped before scaling.
bool Scale(float v, float lo, float hi, float unit, int& out) {
  if (std::isnan(v)) return false;
  v = v < lo ? lo : (v > hi ? hi : v);
  out = int(v * unit);
  return true;
}
}  // namespace

int TFaMixer::SetChannelVolume(int handle, float volume) {
  Slot* s = Resolve(handle);
  int v;
  if (!s || !Scale(volume, 0.f, 1.f, 4096.f, v)) return -1;
  s->volume = v;
  if (s->voice) s->voice->volume.store(v, rlx);
  return 0;
}

int TFaMixer::SetChannelPan(int handle, float pan) {
  Slot* s = Resolve(handle);
  int v;
  if (!s || !Scale(pan, -1.f, 1.f, 4096.f, v)) return -1;
  s->pan = v;
  if (s->voice) s->voice->pan.store(v, rlx);
  return 0;
}

int TFaMixer::SetChannelDepth(int handle, float depth) {
  Slot* s = Resolve(handle);
  int v;
  if (!s || !Scale(depth, -1.f, 1.f, 4096.f, v)) return -1;
  s->depth = v;
  if (s->voice) s->voice->depth.store(v, rlx);
  return 0;
}

int TFaMixer::SetChannelRate(int handle, float rate) {
  Slot* s = Resolve(handle);
  int v;
  if (!s || !Scale(rate, 0.f, 16.f, 65536.f, v)) return -1;
  s->rate = v;
  if (s->voice) s->voice->rate.store(v, rlx);
  return 0;
}

int TFaMixer::ChannelStatus(int handle) {
  Slot* s = Resolve(handle);
  if (!s || !s->voice) return 0;
  int st = s->voice->status.load(std::memory_order_acquire);
  if ((st == 2 || st == 4) && s->voice->paused.load(rlx)) st |= 0x10;
  return st;
}

int64_t TFaMixer::ChannelPosition(int handle) {
  Slot* s = Resolve(handle);
  if (!s || !s->voice) return 0;
  return s->voice->played.load(rlx);
}

// ---- voices (main thread) ----

void TFaMixer::DrainRecycled() {
  uint32_t r = _rc_read.load(rlx);
  const uint32_t w = _rc_write.load(std::memory_order_acquire);
  while (r != w) {
    TFaVoice* v = _recycle[r];
    // A channel object kept after its voice ended must not reach the next voice
    // that reuses this record.
    if (v->handle) {
      Slot* s = Resolve(v->handle);
      if (s && s->voice == v) s->voice = nullptr;
    }
    if (v->sound) FreeSound(v->sound);
    v->sound = nullptr;
    v->handle = 0;
    _pool.push_back(v);
    r = (r + 1) & kRingMask;
  }
  _rc_read.store(r, std::memory_order_release);
}

TFaVoice* TFaMixer::TakeRecord() {
  DrainRecycled();
  if (!_pool.empty()) {
    TFaVoice* v = _pool.back();
    _pool.pop_back();
    return v;
  }
  if (int(_records.size()) >= kMaxVoices) return nullptr;
  try {
    _records.push_back(std::make_unique<TFaVoice>());
    _pool.reserve(_records.size());  // DrainRecycled never allocates
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return _records.back().get();
}

int TFaMixer::PlaySound(TFaSound* sound, bool paused, int handle) {
  if (!sound) return handle;
  Slot* slot = handle ? Resolve(handle) : nullptr;
  const bool own_handle = slot == nullptr;
  if (own_handle) {
    handle = AllocChannel();  // 0 when the table is full: plays without a handle
    slot = handle ? Resolve(handle) : nullptr;
  }
  if (paused && !slot) return 0;  // a cued voice without a handle could never start
  const uint32_t w = _in_write.load(rlx);
  const bool ring_full = ((w + 1) & kRingMask) == _in_read.load(std::memory_order_acquire);
  TFaVoice* v = ring_full ? nullptr : TakeRecord();
  if (!v) {
    // The mixer is not keeping up (a stalled device): drop this play.
    if (own_handle && handle) {
      ReleaseSlot(handle & (kSlots - 1));
      return 0;
    }
    return own_handle ? 0 : handle;
  }

  const Slot defaults;
  const Slot& t = slot ? *slot : defaults;
  sound->refs.fetch_add(1, std::memory_order_relaxed);
  v->sound = sound;
  v->request_ms = _clock();
  v->status.store(sound->loop ? 4 : 2, rlx);
  v->played.store(0, rlx);
  v->paused.store(paused, rlx);
  v->stop.store(false, rlx);
  v->auto_free.store(own_handle, rlx);
  v->rate.store(t.rate, rlx);
  v->volume.store(t.volume, rlx);
  v->pan.store(t.pan, rlx);
  v->depth.store(t.depth, rlx);
  v->cur_rate = t.rate;
  v->cur_volume = t.volume;
  v->pos = 0;
  v->wraps = 0;
  v->delay = 0;
  v->next = nullptr;
  v->handle = handle;

  _input[w] = v;
  _in_write.store((w + 1) & kRingMask, std::memory_order_release);

  if (slot) {
    if (TFaVoice* old = slot->voice) {  // the voice it replaces stops
      old->auto_free.store(true, rlx);
      old->stop.store(true, rlx);
    }
    slot->voice = v;
  }
  return handle;
}
