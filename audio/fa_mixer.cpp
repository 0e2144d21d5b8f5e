// Mixer core: handle table, rings, voices and integer block rendering.
#include "audio/fa_mixer.h"

#include <cmath>
#include <cstring>
#include <new>

#include "platform/clock.h"

// One playing instance. Fields are grouped by who writes them.
struct TFaVoice {
  // Set by the main thread before the voice enters the input ring (published by
  // the ring's release store), then read by the mixing thread.
  TFaSound* sound = nullptr;
  int request_ms = 0;
  bool looping = false;

  // Written by the mixing thread only; the main thread reads.
  std::atomic<int> status{0};
  std::atomic<int64_t> played{0};  // frames since start, through loop wraps

  // Requests and parameters from the main thread; the mixing thread reads them at
  // its next block (relaxed is enough: each is a single value).
  std::atomic<bool> paused{false};
  std::atomic<bool> stop{false};
  std::atomic<bool> auto_free{false};
  std::atomic<int> rate{0x10000};
  std::atomic<int> volume{4096};
  std::atomic<int> pan{0};
  std::atomic<int> depth{0};

  // Mixing thread only (initialised before the hand-over).
  uint64_t pos = 0;  // frames, 32.32 fixed point
  int64_t wraps = 0;
  int delay = 0;  // output frames before the first mixed frame
  int cur_rate = 0x10000;
  int cur_volume = 4096;
  TFaVoice* next = nullptr;

  // Main thread only.
  int handle = 0;
};

namespace {

constexpr uint32_t kRingMask = TFaMixer::kRingSize - 1;
constexpr int64_t kMaxSoundBytes = int64_t(256) << 20;
constexpr int kMaxSoundHertz = 1 << 20;  // keeps rate x hertz << 16 inside 64 bits
constexpr auto rlx = std::memory_order_relaxed;

// Output step per frame in 32.32 frames: rate is 16.16 relative pitch.
uint64_t StepFor(int rate, int hertz, int out_rate) {
  return ((uint64_t(uint32_t(rate)) * uint64_t(uint32_t(hertz))) << 16) / uint64_t(out_rate);
}

template <int Bits>
inline int SampleAt(const uint8_t* p) {
  if constexpr (Bits == 8) return int(p[0]) * 256 - 32768;
  else return int16_t(uint16_t(p[0] | p[1] << 8));
}

template <int Bits>
inline int Interp(const uint8_t* a, const uint8_t* b, uint32_t frac) {
  const int x = SampleAt<Bits>(a), y = SampleAt<Bits>(b);
  return x + int((int64_t(y - x) * int64_t(frac)) >> 32);
}

struct MixArgs {
  const TFaSound* s;
  uint64_t pos;
  uint64_t end;
  int64_t wraps;
  int32_t* out;
  int frames;
  int vol0, vol1;      // current and target volume
  int64_t step0, step1;
  int pan;
  bool negate_right;
  bool ramp;
};

// Mixes up to a.frames frames; returns true when a non-looping voice ended.
template <int Ch, int Bits, bool Ramp>
bool MixLoop(MixArgs& a) {
  const TFaSound* s = a.s;
  const uint8_t* data = s->data.data();
  const int fb = s->frame_bytes;
  constexpr int bps = Bits / 8;
  const int n = a.frames;
  int gl = a.vol1, gr = a.vol1;
  auto gains = [&](int v) {
    gl = a.pan <= 0 ? v : ((4096 - a.pan) * v) >> 12;
    gr = a.pan >= 0 ? v : ((4096 + a.pan) * v) >> 12;
    if (a.negate_right) gr = -gr;
  };
  gains(a.vol1);
  uint64_t pos = a.pos;
  int64_t step = a.step1;
  // Linear ramps in 16-bit fixed point: no division per frame.
  const int64_t dvol = Ramp ? (int64_t(a.vol1 - a.vol0) << 16) / n : 0;
  const int64_t dstep = Ramp ? ((a.step1 - a.step0) << 16) / n : 0;
  for (int i = 0; i < n; ++i) {
    if constexpr (Ramp) {
      gains(a.vol0 + int((dvol * i) >> 16));
      step = a.step0 + ((dstep * i) >> 16);
    }
    const uint64_t idx = pos >> 32;
    const uint32_t frac = uint32_t(pos);
    const uint8_t* p = data + idx * fb;
    int l, r;
    if constexpr (Ch == 1) {
      l = r = Interp<Bits>(p, p + fb, frac);
    } else {
      l = Interp<Bits>(p, p + fb, frac);
      r = Interp<Bits>(p + bps, p + fb + bps, frac);
    }
    a.out[i * 2] += (gl * l) >> 8;
    a.out[i * 2 + 1] += (gr * r) >> 8;
    pos += uint64_t(step);
    if (pos >= a.end) {
      if (!s->loop) {
        a.pos = pos;
        return true;
      }
      a.wraps += int64_t(pos / a.end);
      pos %= a.end;
    }
  }
  a.pos = pos;
  return false;
}

}  // namespace

TFaMixer::TFaMixer(TFaClock clock, int output_rate)
    : _clock(clock ? clock : MilliSecs), _rate(output_rate > 0 ? output_rate : 44100),
      _slots(kSlots), _acc(kBlockFrames * 2, 0) {
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
  if (sound && --sound->refs == 0) delete sound;
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
    ++_dropped;
    if (own_handle && handle) {
      ReleaseSlot(handle & (kSlots - 1));
      return 0;
    }
    return own_handle ? 0 : handle;
  }

  const Slot defaults;
  const Slot& t = slot ? *slot : defaults;
  ++sound->refs;
  v->sound = sound;
  v->looping = sound->loop;
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

// ---- rendering (mixing thread) ----

bool TFaMixer::PushRecycle(TFaVoice* v) {
  const uint32_t w = _rc_write.load(rlx);
  if (((w + 1) & kRingMask) == _rc_read.load(std::memory_order_acquire)) return false;
  _recycle[w] = v;
  _rc_write.store((w + 1) & kRingMask, std::memory_order_release);
  return true;
}

bool TFaMixer::MixVoice(TFaVoice* v, int32_t* acc, int frames) {
  if (v->delay >= frames) {
    v->delay -= frames;
    return false;
  }
  const int start = v->delay;
  v->delay = 0;
  const TFaSound* s = v->sound;
  MixArgs a{};
  a.s = s;
  a.pos = v->pos;
  a.end = uint64_t(s->length) << 32;
  a.wraps = v->wraps;
  a.out = acc + start * 2;
  a.frames = frames - start;
  a.vol0 = v->cur_volume;
  a.vol1 = v->volume.load(rlx);
  const int rate1 = v->rate.load(rlx);
  a.step0 = int64_t(StepFor(v->cur_rate, s->hertz, _rate));
  a.step1 = int64_t(StepFor(rate1, s->hertz, _rate));
  a.pan = v->pan.load(rlx);
  a.negate_right = v->depth.load(rlx) < 0;
  a.ramp = a.vol0 != a.vol1 || v->cur_rate != rate1;
  v->cur_volume = a.vol1;
  v->cur_rate = rate1;

  bool ended = false;
  if (!a.ramp && a.vol1 == 0) {
    // Silent and steady: advance without mixing.
    a.pos += uint64_t(a.step1) * uint64_t(a.frames);
    if (a.pos >= a.end) {
      if (s->loop) {
        a.wraps += int64_t(a.pos / a.end);
        a.pos %= a.end;
      } else {
        ended = true;
      }
    }
  } else if (a.ramp) {
    if (s->channels == 1) ended = s->bits == 8 ? MixLoop<1, 8, true>(a) : MixLoop<1, 16, true>(a);
    else ended = s->bits == 8 ? MixLoop<2, 8, true>(a) : MixLoop<2, 16, true>(a);
  } else {
    if (s->channels == 1) ended = s->bits == 8 ? MixLoop<1, 8, false>(a) : MixLoop<1, 16, false>(a);
    else ended = s->bits == 8 ? MixLoop<2, 8, false>(a) : MixLoop<2, 16, false>(a);
  }
  v->pos = a.pos;
  v->wraps = a.wraps;
  const int64_t at = ended ? int64_t(s->length) : int64_t(a.pos >> 32);
  v->played.store(a.wraps * s->length + at, rlx);
  return ended;
}

void TFaMixer::Render(int16_t* out) {
  const int now = _clock();
  // New voices go to the front of the active list.
  uint32_t r = _in_read.load(rlx);
  const uint32_t w = _in_write.load(std::memory_order_acquire);
  while (r != w) {
    TFaVoice* v = _input[r];
    const int since = MilliSecsDiff(now, v->request_ms);  // wrap-safe
    const int wait_ms = since < 0 ? kStartDelayMs : (since >= kStartDelayMs ? 0 : kStartDelayMs - since);
    v->delay = int(int64_t(wait_ms) * _rate / 1000);
    v->next = _active;
    _active = v;
    r = (r + 1) & kRingMask;
  }
  _in_read.store(r, std::memory_order_release);

  int32_t* acc = _acc.data();
  int count = 0;
  TFaVoice** link = &_active;
  while (TFaVoice* v = *link) {
    int st = v->status.load(rlx);
    bool remove = false;
    if (st != 0) {
      bool finished = st == 1 || v->stop.load(rlx);
      if (!finished && v->paused.load(rlx)) {
        // A paused voice takes new settings at once: no ramp when it resumes.
        v->cur_volume = v->volume.load(rlx);
        v->cur_rate = v->rate.load(rlx);
      } else if (!finished) {
        finished = MixVoice(v, acc, kBlockFrames);
      }
      if (finished) {
        if (v->auto_free.load(rlx)) {
          st = 0;
        } else if (st != 1) {
          st = 1;  // kept for its channel until the channel lets go
          v->status.store(1, std::memory_order_release);
        }
      }
    }
    TFaVoice* const next = v->next;  // once recycled, the record is the main thread's
    if (st == 0) {
      v->status.store(0, std::memory_order_release);
      remove = PushRecycle(v);  // if the ring is full, try again next block
    }
    if (remove) {
      *link = next;
    } else {
      link = &v->next;
      ++count;
    }
  }
  _active_count.store(count, rlx);

  for (int i = 0; i < kBlockFrames * 2; ++i) {
    const int32_t v = acc[i];
    out[i] = v > 524271 ? 32767 : (v < -524288 ? -32768 : int16_t(v >> 4));
    acc[i] = 0;
  }
}
