// MINSTD with Schrage's decomposition: no intermediate leaves 32-bit signed range.
#include "platform/random.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int kStartState = 4660;
int rnd_state = kStartState;
int last_seed = kStartState;

int Step() {
  int s = rnd_state;
  s = 48271 * (s % 44488) - 3399 * (s / 44488);
  if (s < 0) s += 2147483647;
  rnd_state = s;
  return s;
}

}  // namespace

double UnitRandomDouble() {
  const double hi = Step() & 0x1FFFFFFC;
  const double lo = Step() & 0x1FFFFFF8;
  return (hi + lo / 134217728.0) / 536870912.0;
}

float UnitRandomSingle() { return static_cast<float>((Step() & 0x0FFFFFF0) / 268435456.0); }

double Rnd(double min_value, double max_value) {
  const double u = UnitRandomDouble();
  const bool ordered = max_value > min_value;
  const double lo = ordered ? min_value : max_value, hi = ordered ? max_value : min_value;
  if (!(hi > lo)) return lo + u * (hi - lo);  // equal bounds (or NaN)
  const double span = hi - lo;
  // A span beyond the largest double is taken as two parts that each fit.
  const double v = std::isfinite(span) ? lo + u * span : lo * (1 - u) + hi * u;
  // Rounding can carry the sum up to hi, which is excluded: the double below it.
  return v < hi ? v : std::nextafter(hi, lo);
}

int Rand(int min_value, int max_value) {
  const double u = UnitRandomDouble();
  // In 64 bits, so that Rand(INT_MIN, INT_MAX) spans the whole range.
  const int64_t d = static_cast<int64_t>(max_value) - min_value;
  if (d > 0) return static_cast<int>(min_value + static_cast<int64_t>(u * static_cast<double>(d + 1)));
  return static_cast<int>(max_value + static_cast<int64_t>(u * static_cast<double>(1 - d)));
}

void SeedRnd(int seed) {
  last_seed = seed;
  int s = seed & 0x7FFFFFFF;
  rnd_state = (s == 0 || s == 0x7FFFFFFF) ? kStartState : s;
}

int RndSeed() { return last_seed; }
int QueryRndState() { return rnd_state; }
