// The Fourier transform and the smoothers over 16384 points, as the interactive spectrum
// commands run them; the transform beside a straightforward O(N^2) sum of the same points.
#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <vector>
#include "core/fourier_transform.h"
#include "core/local_analysis.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/smoothers.h"

namespace {
void FillTransformInput(int n) {
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  for (int j = 1; j <= n; ++j) {
    WorkArrays[5][j] = Random01() - 0.5;
    WorkArrays[6][j] = Random01() - 0.5;
  }
}

// A spectrum with a sloping background, peaks every 400 points and counting noise.
std::vector<double> Spectrum(int n) {
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  std::vector<double> y(n + 1);
  for (int i = 1; i <= n; ++i) {
    double d = std::fmod(i, 400.0) - 200.0;
    double mean = 100.0 + 0.01 * i + 2000.0 * std::exp(-d * d / 18.0);
    double g1, g2;
    GaussianPair(g1, g2);
    y[i] = std::fmax(0.0, mean + g1 * std::sqrt(mean));
  }
  return y;
}

void BM_FourierTransform(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  FillTransformInput(n);
  for (auto _ : state) {
    int32_t k1 = 0, k2 = 0;
    FourierTransform(n, k1, k2, 1.0);
    benchmark::DoNotOptimize(WorkArrays[7][2]);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FourierTransform)->Arg(1000)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);

// The same transform as one direct sum per output point, with a table of the N twiddles.
void BM_DirectSumDft(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  FillTransformInput(n);
  std::vector<double> cs(n), sn(n), outR(n), outI(n);
  for (int m = 0; m < n; ++m) {
    cs[m] = std::cos(-2.0 * std::numbers::pi * m / n);
    sn[m] = std::sin(-2.0 * std::numbers::pi * m / n);
  }
  const double* xr = WorkArrays[5] + 1;
  const double* xi = WorkArrays[6] + 1;
  for (auto _ : state) {
    for (int k = 0; k < n; ++k) {
      double sr = 0.0, si = 0.0;
      int idx = 0;
      for (int j = 0; j < n; ++j) {
        sr += xr[j] * cs[idx] - xi[j] * sn[idx];
        si += xr[j] * sn[idx] + xi[j] * cs[idx];
        idx += k;
        if (idx >= n) idx -= n;
      }
      outR[k] = sr / n;
      outI[k] = si / n;
    }
    benchmark::DoNotOptimize(outR.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DirectSumDft)->Arg(1000)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);

void BM_LowerEnvelope(benchmark::State& state) {
  const int n = ScratchSize;
  auto y = Spectrum(n);
  for (auto _ : state) {
    std::copy(y.begin(), y.end(), ScratchArray1);
    LowerEnvelope(n, 10, 0.5, 0.5, 0.01);
    benchmark::DoNotOptimize(ScratchArray2[n / 2]);
  }
}
BENCHMARK(BM_LowerEnvelope)->Unit(benchmark::kMillisecond);

void BM_LowerEnvelopeStart(benchmark::State& state) {
  const int n = ScratchSize;
  auto y = Spectrum(n);
  for (auto _ : state) {
    std::copy(y.begin(), y.end(), ScratchArray1);
    LowerEnvelopeStart(n, 10);
    benchmark::DoNotOptimize(ScratchArray2[n / 2]);
  }
}
BENCHMARK(BM_LowerEnvelopeStart)->Unit(benchmark::kMillisecond);

void BM_SmoothArray(benchmark::State& state) {
  const int n = ScratchSize;
  auto y = Spectrum(n);
  std::copy(y.begin(), y.end(), ScratchArray1);
  for (auto _ : state) {
    double fit, rough;
    SmoothArray(n, 0, fit, rough, 1.0);
    benchmark::DoNotOptimize(fit);
  }
}
BENCHMARK(BM_SmoothArray)->Unit(benchmark::kMillisecond);

void BM_PrepareSmoothing(benchmark::State& state) {
  const int n = ScratchSize;
  auto y = Spectrum(n);
  for (auto _ : state) {
    std::copy(y.begin(), y.end(), ScratchArray1);
    int32_t edge;
    PrepareSmoothing(n, edge, 2.0, 1.0);
    benchmark::DoNotOptimize(ScratchArray2[n / 2]);
  }
}
BENCHMARK(BM_PrepareSmoothing)->Unit(benchmark::kMillisecond);

void BM_SmoothingFilter(benchmark::State& state) {
  const int n = ScratchSize;
  auto y = Spectrum(n);
  for (auto _ : state) {
    std::copy(y.begin(), y.end(), ScratchArray1);
    SmoothingFilter(n, 3, 1, 6.0, 1);
    benchmark::DoNotOptimize(ScratchArray2[n / 2]);
  }
}
BENCHMARK(BM_SmoothingFilter)->Unit(benchmark::kMillisecond);
}  // namespace
