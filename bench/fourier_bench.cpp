// The Fourier map of 30 x 30 x 30 points over the whole cell from 4000 terms of a P1 phase of 20
// atoms: the separable sum the program uses against the term-by-term sum (27000 x 4000 sine and
// cosine pairs); and the half space of terms of a phase in Fm-3m (24 listed operations with the
// inversion, 4 centring translations) from 2000 reflections.
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>
#include "core/model_tables.h"
#include "core/space_groups.h"
#include "crystal/structure_factor.h"
#include "fourier/fourier_map.h"

namespace {

// The first 4000 half-space terms of the box 12/12/12 with F of 20 unit atoms.
std::vector<FOURIERTERM> P1Terms() {
  std::vector<FOURIERTERM> terms;
  for (int32_t l = 0; l <= 12; ++l)
    for (int32_t k = -12; k <= 12; ++k)
      for (int32_t h = -12; h <= 12; ++h) {
        if (!(l > 0 || (l == 0 && k > 0) || (l == 0 && k == 0 && h > 0)) || terms.size() == 4000) continue;
        FOURIERTERM t{h, k, l, 0, 0};
        for (int32_t a = 1; a <= 20; ++a) {
          const double x = std::fmod(0.618034 * a, 1.0), y = std::fmod(0.754878 * a, 1.0), z = std::fmod(0.569840 * a, 1.0);
          const double p = TwoPi * (h * x + k * y + l * z);
          t.A += std::cos(p), t.B += std::sin(p);
        }
        terms.push_back(t);
      }
  return terms;
}

void BM_FourierMapSeparable(benchmark::State& state) {
  const std::vector<FOURIERTERM> terms = P1Terms();
  std::vector<double> out;
  for (auto _ : state) {
    SumSeriesOnGrid(terms, 30, 30, 30, 0, 0, 0, 1 / 30.0, 1 / 30.0, 1 / 30.0, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_FourierMapSeparable)->Unit(benchmark::kMillisecond);

void BM_FourierMapDirect(benchmark::State& state) {
  const std::vector<FOURIERTERM> terms = P1Terms();
  std::vector<double> out;
  for (auto _ : state) {
    SumSeriesDirect(terms, 30, 30, 30, 0, 0, 0, 1 / 30.0, 1 / 30.0, 1 / 30.0, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_FourierMapDirect)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_FourierTermList(benchmark::State& state) {
  LATTICE& p = PhaseTable[1];
  p = LATTICE{};
  p.SpaceGroup = 225, p.Setting = 1;
  ExpandSpaceGroup(1);
  int32_t n = 0;
  // F-allowed indices with l >= 0 inside the box 12/12/12 (no reduction message).
  for (int32_t h = -12; h <= 12 && n < 2000; ++h)
    for (int32_t k = -12; k <= 12 && n < 2000; ++k)
      for (int32_t l = 0; l <= 12 && n < 2000; ++l) {
        if ((h + k) % 2 != 0 || (k + l) % 2 != 0 || (h == 0 && k == 0 && l == 0)) continue;
        THklRecord& r = HklTable[++n][1];
        r = THklRecord{};
        r.h = h, r.k = k, r.l = l, r.A = 1.0 + 0.01 * n;
      }
  p.ReflectionCount = n;
  for (auto _ : state) {
    GenerateFourierTerms(1, 4);
    benchmark::DoNotOptimize(FourierIndexList.data());
  }
  state.counters["reflections"] = n;
}
BENCHMARK(BM_FourierTermList)->Unit(benchmark::kMillisecond);

}  // namespace
