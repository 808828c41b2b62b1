#include "core/random.h"
#include <cmath>
#include "core/abandon.h"
#include "core/numeric_arrays.h"
#include "core/small_routines.h"

namespace {
constexpr int64_t Modulus1 = 2147483563;
constexpr int64_t Modulus2 = 2147483399;
}  // namespace

double Random01() {
  // Schrage's decomposition keeps every product below 2^31; the state is positive, so div and
  // mod behave as in the published recurrence. 64-bit arithmetic is a guard only.
  int64_t s1 = RandomSeeds.s1;
  int64_t s2 = RandomSeeds.s2;
  s1 = 40014 * (s1 % 53668) - 12211 * (s1 / 53668);
  if (s1 < 0) s1 += Modulus1;
  s2 = 40692 * (s2 % 52774) - 3791 * (s2 / 52774);
  if (s2 < 0) s2 += Modulus2;
  RandomSeeds.s1 = static_cast<int32_t>(s1);
  RandomSeeds.s2 = static_cast<int32_t>(s2);
  int64_t z = s1 - s2;
  if (z < 1) z += Modulus1 - 1;
  return static_cast<double>(z) * 4.656613e-10;
}

void GaussianPair(double& g1, double& g2) {
  double u, v, r;
  do {
    u = 2.0 * Random01() - 1.0;
    v = 2.0 * Random01() - 1.0;
    r = u * u + v * v;
  } while (r >= 1.0 || r == 0.0);
  double f = std::sqrt(-2.0 * std::log(r) / r);
  g1 = u * f;
  g2 = v * f;
}

double ExponentialDeviate(double rate) {
  if (rate == 0.0) AbandonOperation("Exponential deviate of rate 0");
  return -std::log(Random01()) / rate;
}

int32_t RandomIndex(int32_t n) {
  double r = Random01();
  return MaxI(0, MinI(n - 1, RoundHalfEven(static_cast<double>(n) * r)));
}

bool SetRandomSeeds(int32_t s1, int32_t s2) {
  if (s1 < 1 || s1 > Modulus1 - 1 || s2 < 1 || s2 > Modulus2 - 1) return false;
  RandomSeeds.s1 = s1;
  RandomSeeds.s2 = s2;
  return true;
}
