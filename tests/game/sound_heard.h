// What the sound end-to-end test hears: an embedded sound's frames, where a
// sound lies in a recording and whether it arrived unbroken.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kRecordRate = 44100;

// The left channel of an embedded sound, decoded from the source tree.
std::vector<int16_t> SoundLeft(const char* name);

// Where ref[0] lies in x, searched from `from` on: found by the sound's first
// loud sample, then placed by the first of its next five 10 ms pieces that
// matches (so a break at the very start still finds the sound, placed where the
// rest of it came). -1 when the sound is not there within `within` frames.
long Onset(const std::vector<int16_t>& x, size_t from, size_t within, const std::vector<int16_t>& ref);

// How ref arrived at x from `at` on, between ref frames from and to, in 10 ms
// pieces: breaks (the rest came later, after a gap, or earlier, with frames
// lost) and damaged pieces (neither); counting stops at ten.
struct Arrival {
  int breaks = 0;
  int damaged = 0;
};
Arrival Arrived(const std::vector<int16_t>& x, long at, const std::vector<int16_t>& ref, size_t from = 0,
                size_t to = SIZE_MAX);

// The q-quantile (0 ... 1) of v, by rank; v must not be empty.
double Percentile(std::vector<double> v, double q);
