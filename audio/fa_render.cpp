// Block rendering on the mixing thread: new voices from the input ring, each
// active voice mixed into a 32-bit accumulator with linear interpolation, volume
// and rate ramps, then one clamp to 16 bits; finished voices go back through the
// recycle ring. Integers only.
#include "audio/fa_mixer.h"
#include "audio/fa_voice.h"
#include "platform/clock.h"

using fa_detail::kRingMask;
using fa_detail::rlx;

namespace {

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

// New voices go to the front of the active list.
void TFaMixer::TakeNewVoices(int now) {
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
}

void TFaMixer::Render(int16_t* out) {
  TakeNewVoices(_clock());
  int32_t* acc = _acc.data();
  Sweep(acc);
  for (int i = 0; i < kBlockFrames * 2; ++i) {
    const int32_t v = acc[i];
    out[i] = v > 524271 ? 32767 : (v < -524288 ? -32768 : int16_t(v >> 4));
    acc[i] = 0;
  }
}

void TFaMixer::DropAll() {
  TakeNewVoices(_clock());
  Sweep(nullptr);
}

void TFaMixer::SetOutputRate(int rate) {
  if (rate > 0) _rate = rate;
}

// Mixes every active voice into acc and takes finished ones out; without acc
// every voice ends here, unheard.
void TFaMixer::Sweep(int32_t* acc) {
  TFaVoice** link = &_active;
  while (TFaVoice* v = *link) {
    int st = v->status.load(rlx);
    bool remove = false;
    if (st != 0) {
      bool finished = !acc || st == 1 || v->stop.load(rlx);
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
    if (remove) *link = next;
    else link = &v->next;
  }
}
