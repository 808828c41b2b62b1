// The program's one random-number generator, L'Ecuyer's combined multiplicative congruential
// generator (moduli 2147483563 and 2147483399), and the deviates drawn from it. The state is
// RandomSeeds (core/numeric_arrays.h), InitialRandomSeed1 and InitialRandomSeed2 at start.
#pragma once
#include <cstdint>

// A uniform deviate in (0, 1); never 0 or 1.
double Random01();
// Two independent standard normal deviates (polar method).
void GaussianPair(double& g1, double& g2);
// An exponential deviate of the given rate: -ln(Random01) / rate, mean 1 / rate. A rate of 0
// abandons the operation.
double ExponentialDeviate(double rate);
// max(0, min(n - 1, round(n * Random01))): an index 0..n-1. Index 0 gets half the weight of
// the others and n - 1 one and a half; kept so that random starts stay reproducible.
int32_t RandomIndex(int32_t n);

// Sets the state, for tests. Each seed must lie in 1..modulus-1 (s1 <= 2147483562,
// s2 <= 2147483398); otherwise the state is left alone and false returned.
bool SetRandomSeeds(int32_t s1, int32_t s2);
