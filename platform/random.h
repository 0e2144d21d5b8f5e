// The program's one pseudo-random generator: MINSTD (Lehmer, modulus 2^31-1,
// multiplier 48271) with Schrage's decomposition. Start state 4660. Main thread only.
#pragma once

// Real number from the lower bound (included) to the upper (excluded); the bound when
// equal. Rnd() is [0, 1); Rnd(x) is [0, x).
double Rnd(double min_value = 1, double max_value = 0);
// Whole number from the lower to the upper bound, both included, bounds in any order.
int Rand(int min_value, int max_value = 1);
// State becomes seed & 0x7FFFFFFF, or 4660 when that is 0 or 0x7FFFFFFF.
void SeedRnd(int seed);
// The seed last given to SeedRnd (4660 before any).
int RndSeed();
// The generator state.
int QueryRndState();
double UnitRandomDouble();  // [0, 1), two steps
float UnitRandomSingle();   // [0, 1), one step
