// The automatic peak search over Poisson spectra of planted Gaussian peaks: a sloped background
// with widths growing from 5 to 40 channels along the spectrum; a constant-wavelength pattern of
// 1418 channels with some 120 lines of falling intensity; a forest of 276 lines over 4000
// channels; shoulders and close pairs as the partner step meets them.
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
struct TLine {
  double centre, height, width;
};

std::unique_ptr<TSpectrum> Spectrum(int32_t n, const std::vector<double>& background, const std::vector<TLine>& lines,
                                    uint32_t seed) {
  for (int32_t k = 1; k <= PeakModelCount; ++k)
    if (!PeakModels[k]) PeakModels[k] = std::make_unique<TPeakModel>();
  auto sp = std::make_unique<TSpectrum>("bench");
  std::mt19937 rng(seed);
  std::vector<double> mean(background);
  for (const TLine& l : lines)
    for (int32_t i = std::max(1, int32_t(l.centre - 4 * l.width)); i <= std::min(n, int32_t(l.centre + 4 * l.width)); ++i)
      mean[i] += l.height * std::exp(-4.0 * std::log(2.0) * std::pow((i - l.centre) / l.width, 2));
  for (int32_t c = 1; c <= n; ++c) sp->Y[c] = std::poisson_distribution<int>(mean[c])(rng);
  sp->FirstChannel = 1, sp->LastChannel = n;
  return sp;
}

std::unique_ptr<TSpectrum> PlantedSpectrum(int32_t n, int32_t peaks) {
  std::vector<double> mean(n + 1, 0.0);
  for (int32_t c = 1; c <= n; ++c) mean[c] = 200.0 - 150.0 * c / n;
  std::vector<TLine> lines;
  for (int32_t p = 0; p < peaks; ++p) {
    const double c = 40.0 + (n - 80.0) * (p + 0.5) / peaks, w = 5.0 + 35.0 * (c - 2.0) / (n - 3.0);
    lines.push_back({c, 300.0 + 20.0 * (p % 17), w});
  }
  return Spectrum(n, mean, lines, 7);
}

void Search(benchmark::State& state, TSpectrum& sp, int32_t n, double wb, double we) {
  for (auto _ : state) {
    FindPeaks(sp, 1, n, wb, we, 4.0);
    benchmark::DoNotOptimize(MarkedPointCount);
  }
  state.counters["points"] = MarkedPointCount;
}

void BM_FindPeaks(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0)), peaks = static_cast<int32_t>(state.range(1));
  auto sp = PlantedSpectrum(n, peaks);
  Search(state, *sp, n, 5.0, 40.0);
}
BENCHMARK(BM_FindPeaks)->Args({4000, 40})->Args({32768, 300})->Unit(benchmark::kMillisecond);

// A constant-wavelength pattern: 120 lines whose density grows and intensity falls along the
// channels (log-uniform over two decades, tops to 20000), widths 4 to 7 channels, on a background
// falling from 400 to 150 with an amorphous hump.
void BM_FindPeaksPattern(benchmark::State& state) {
  const int32_t n = 1418;
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<double> mean(n + 1);
  for (int32_t c = 1; c <= n; ++c)
    mean[c] = 150 + 250 * std::exp(-3.0 * c / n) + 80 * std::exp(-std::pow((c - 300.0) / 120, 2));
  std::vector<TLine> lines;
  for (int32_t k = 0; k < 120; ++k) {
    const double x = 20 + (n - 40) * std::sqrt(u(rng));
    lines.push_back({x, 20000 * std::pow(0.01, u(rng)) * (1.2 - 0.6 * x / n), 4 + 3 * x / n});
  }
  auto sp = Spectrum(n, mean, lines, 12);
  Search(state, *sp, n, 4.0, 7.0);
}
BENCHMARK(BM_FindPeaksPattern)->Unit(benchmark::kMillisecond);

// A forest: 276 lines of 6 to 200 standard deviations at random places over 4000 channels of 300
// counts, width 5.
void BM_FindPeaksForest(benchmark::State& state) {
  const int32_t n = 4000;
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<double> mean(n + 1, 300.0);
  std::vector<TLine> lines;
  for (int32_t k = 0; k < 276; ++k) lines.push_back({30 + (n - 60) * u(rng), std::sqrt(300.0) * 6 * std::pow(200 / 6.0, u(rng)), 5});
  auto sp = Spectrum(n, mean, lines, 22);
  Search(state, *sp, n, 5.0, 5.0);
}
BENCHMARK(BM_FindPeaksForest)->Unit(benchmark::kMillisecond);

// Shoulders of 6 to 15 standard deviations 1.5 to 2 widths beside a neighbour 1.5 to 8 times
// higher, pairs 1 to 1.5 widths apart of 20 to 80, and singles, over 3000 channels of 800 counts,
// widths 6 to 10.
void BM_FindPeaksShoulders(benchmark::State& state) {
  const int32_t n = 3000;
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> u(0, 1);
  const double sigma = std::sqrt(800.0);
  std::vector<double> mean(n + 1, 800.0);
  std::vector<TLine> lines;
  auto width = [&](double c) { return 6 + 4 * c / n; };
  for (int32_t g = 0; g < 13; ++g) {
    const double c = 100 + g * 215 + 30 * u(rng), w = width(c);
    if (g % 3 == 0) {
      const double s = 6 * std::pow(2.5, u(rng));
      lines.push_back({c, s * sigma * (1.5 + 6.5 * u(rng)), w});
      lines.push_back({c + (1.5 + 0.5 * u(rng)) * w, s * sigma, w});
    } else if (g % 3 == 1) {
      lines.push_back({c, (20 + 60 * u(rng)) * sigma, w});
      lines.push_back({c + (1 + 0.5 * u(rng)) * w, (20 + 60 * u(rng)) * sigma, w});
    } else {
      lines.push_back({c, (8 + 92 * u(rng)) * sigma, w});
    }
  }
  auto sp = Spectrum(n, mean, lines, 32);
  Search(state, *sp, n, width(1), width(n));
}
BENCHMARK(BM_FindPeaksShoulders)->Unit(benchmark::kMillisecond);
}  // namespace
