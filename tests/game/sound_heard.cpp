// Placing sounds in a recording (see sound_heard.h).
#include "sound_heard.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "audio/audio_sample.h"
#include "audio/sample_loader.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/env.h"

namespace {

// Mismatch of ref[k, k + n) placed at x[at + k ...], relative to its energy
// (with a floor for near silence): 0 for a perfect copy.
double Mismatch(const std::vector<int16_t>& x, long at, const std::vector<int16_t>& ref, size_t k, size_t n) {
  double err = 0, energy = 0;
  for (size_t j = k; j < k + n && j < ref.size(); ++j) {
    const long xi = at + long(j);
    const double got = xi >= 0 && size_t(xi) < x.size() ? x[size_t(xi)] : 0;
    err += (got - ref[j]) * (got - ref[j]);
    energy += double(ref[j]) * ref[j];
  }
  return err / (energy + double(n) * 2000.0);
}

}  // namespace

std::vector<int16_t> SoundLeft(const char* name) {
  const std::string path = SourceDir() + "/assets/Sounds/" + name;
  Ref<TAudioSample> s = LoadAudioSample(TUrl(FromOSBytes(path)));
  std::vector<int16_t> v;
  if (!s) return v;
  const int ch = SampleFrameChannels(s->format);
  for (int i = 0; i < s->length; ++i) {
    const uint8_t* p = s->samples + size_t(i) * ch * 2;
    v.push_back(int16_t(p[0] | p[1] << 8));
  }
  return v;
}

long Onset(const std::vector<int16_t>& x, size_t from, size_t within, const std::vector<int16_t>& ref) {
  size_t attack = 0;
  while (attack < ref.size() && std::abs(ref[attack]) < 2000) ++attack;
  size_t i = from;
  while (i < x.size() && i < from + within && std::abs(x[i]) < 2000) ++i;
  if (i >= x.size() || i >= from + within) return -1;
  const size_t piece = kRecordRate / 100;
  for (size_t k = attack; k < attack + 5 * piece; k += piece) {
    double best = 0.05;
    long at = -1;
    for (long lag = long(i) - long(attack) - 200; lag <= long(i) - long(attack) + kRecordRate / 10; ++lag) {
      const double m = Mismatch(x, lag, ref, k, piece);
      if (m < best) best = m, at = lag;
    }
    if (at >= 0) return at;
  }
  return -1;
}

Arrival Arrived(const std::vector<int16_t>& x, long at, const std::vector<int16_t>& ref, size_t from,
                size_t to) {
  const size_t piece = kRecordRate / 100;
  to = std::min(to, ref.size());
  Arrival a;
  for (size_t k = from; k + piece <= to && a.breaks + a.damaged < 10; k += piece) {
    if (Mismatch(x, at, ref, k, piece) < 0.05) continue;
    // Where does the rest go on? The next 50 ms must match there.
    long best_shift = 0;
    double best = 0.05;
    for (long shift = -kRecordRate / 10; shift <= kRecordRate / 2; ++shift) {
      const double m = Mismatch(x, at + shift, ref, k, 5 * piece);
      if (m < best) best = m, best_shift = shift;
    }
    if (best_shift != 0) {
      ++a.breaks;
      at += best_shift;
    } else {
      ++a.damaged;
    }
  }
  return a;
}

double Percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  const size_t rank = size_t(std::ceil(q * double(v.size())));
  return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}
