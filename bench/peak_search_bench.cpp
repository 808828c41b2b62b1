// The automatic peak search over a Poisson spectrum of planted Gaussian peaks on a sloped
// background, widths growing from 5 to 40 channels along the spectrum.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/spectrum.h"

namespace {
std::unique_ptr<TSpectrum> PlantedSpectrum(int32_t n, int32_t peaks) {
  for (int32_t k = 1; k <= PeakModelCount; ++k)
    if (!PeakModels[k]) PeakModels[k] = std::make_unique<TPeakModel>();
  auto sp = std::make_unique<TSpectrum>("bench");
  std::mt19937 rng(7);
  std::vector<double> mean(n + 1, 0.0);
  for (int32_t c = 1; c <= n; ++c) mean[c] = 200.0 - 150.0 * c / n;
  for (int32_t p = 0; p < peaks; ++p) {
    const double c = 40.0 + (n - 80.0) * (p + 0.5) / peaks, w = 5.0 + 35.0 * (c - 2.0) / (n - 3.0);
    const double h = 300.0 + 20.0 * (p % 17);
    for (int32_t i = std::max(1, int32_t(c - 3 * w)); i <= std::min(n, int32_t(c + 3 * w)); ++i)
      mean[i] += h * std::exp(-4.0 * std::log(2.0) * std::pow((i - c) / w, 2));
  }
  for (int32_t c = 1; c <= n; ++c) sp->Y[c] = std::poisson_distribution<int>(mean[c])(rng);
  sp->FirstChannel = 1, sp->LastChannel = n;
  return sp;
}

void BM_FindPeaks(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0)), peaks = static_cast<int32_t>(state.range(1));
  auto sp = PlantedSpectrum(n, peaks);
  for (auto _ : state) {
    FindPeaks(*sp, 1, n, 5.0, 40.0, 4.0);
    benchmark::DoNotOptimize(MarkedPointCount);
  }
  state.counters["points"] = MarkedPointCount;
}
BENCHMARK(BM_FindPeaks)->Args({4000, 40})->Args({32768, 300})->Unit(benchmark::kMillisecond);
}  // namespace
