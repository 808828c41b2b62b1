// The statistical test of the random-number generator: n events of a uniform distribution on
// [0, 100] or of a normal one (a = 50, sigma = 20) cut to [0, 100], the parameter estimated, two
// given values tested by a mean criterion or by chi-square; the sample and its histogram drawn.
#pragma once
#include <array>
#include <cstdint>
#include <string>

class TImageCanvas;

inline constexpr int32_t RandomTestMaxEvents = 16384;

struct TRandomTestStatistics {
  double estimate = 0;      // of b (uniform, 2 x mean) or of a (normal, mean)
  double maxEstimate = 0;   // uniform: the sample maximum M
  double unbiasedMax = 0;   // uniform: (n + 1) M / n
  double sigma = 0;         // of the distribution: 100 sqrt(1/12) or 20
  double criterion = 0;     // S = mean((x - 50) / sigma)
  double t1 = 0, t2 = 0;    // the tests of q1 and q2
  double share = 0;         // per cent of the events within 50 -/+ sigma
  int32_t largestBin = 0;
  std::array<int32_t, 101> histogram{};  // [1..100]: events whose value rounds to the bin
};

// Draws NumberBuffer[1..n] (normal 0: uniform, 1: normal) from Random01.
void DrawRandomSample(int32_t distribution, int32_t n);
// The statistics of NumberBuffer[1..n]; q1 must not be 0 for the uniform tests.
TRandomTestStatistics RandomSampleStatistics(int32_t distribution, int32_t n, double q1, double q2);
// The nine result lines.
std::array<std::string, 9> RandomTestLines(int32_t distribution, int32_t n, const TRandomTestStatistics& s);
// The crosses of the sample, the three red rows, and the blue histogram.
void DrawRandomSample(TImageCanvas& sample, int32_t n, double sigma);
void DrawRandomHistogram(TImageCanvas& density, const TRandomTestStatistics& s);

// The dialog, repeated with a fresh sample until Cancel.
void TestRandomGenerator();
