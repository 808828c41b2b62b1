// The indexing search on 20 lines of a P orthorhombic cell (5.1, 6.3, 7.7 A) and of a P monoclinic
// cell (the same edges, beta 105 degrees) with 1e-4 relative noise, prepared as the automatic
// preparation does it, fixed seeds, GN-iter 8.
//   BM_SearchTrials/system/mode: a whole search of 1000 trials (+ the refit) per benchmark
//     iteration; items = trials. Mode 1 is the search as Make runs it (trials that rise end
//     early), mode 0 runs every trial to its 8 iterations, for the comparison with the bare fit.
//   BM_TrialSweeps/system: the bare fit from 64 random starts in turn (the refit of a search of no
//     tries: 24 iterations and the error pass); items = sweeps, so 8 / items-per-second is one
//     trial fit of 8 iterations.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>
#include "core/dspacing_list.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/random.h"
#include "core/scripted_ui.h"
#include "core/spectrum.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_preparation.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"

namespace {

// 20 largest distinct d of the cell, each times 1 + 1e-4 u with u a fixed sequence in [-1, 1].
std::vector<double> NoisyLines(int32_t system, const double (&cell)[6]) {
  std::vector<double> d;
  for (int32_t h = -8; h <= 8; ++h)
    for (int32_t k = -8; k <= 8; ++k)
      for (int32_t l = -8; l <= 8; ++l)
        if (h || k || l) d.push_back(CellDSpacing(system, cell, h, k, l, 0));
  std::sort(d.begin(), d.end(), std::greater<>());
  std::vector<double> out;
  for (double x : d)
    if (out.empty() || out.back() - x > 1e-6 * x) out.push_back(x);
  out.resize(20);
  for (size_t i = 0; i < out.size(); ++i) out[i] *= 1 + 1e-4 * std::sin(1.7 * double(i) + 0.3);
  return out;
}

// The automatic preparation under the scripted backend; the prepared records for each search.
struct BenchSetup {
  ScriptedUi ui;
  std::vector<ParameterRecord> prepared;

  explicit BenchSetup(int32_t system) {
    ScopedUi guard(ui);
    for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::make_unique<TSpectrum>("bench");
    const double beta = system == 2 ? std::cos(105 * 3.14159265358979323846 / 180) : 0;
    const double cell[6] = {5.1, 6.3, 7.7, 0, beta, 0};
    const std::vector<double> d = NoisyLines(system, cell);
    DSpacingCount = static_cast<int32_t>(d.size());
    for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i] = TDSpacingRecord{}, DSpacingList[i].d = d[i - 1];
    for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i].Error = 0.001;
    AverageDError = 0.001;
    PhaseCount = 1, IndexingMode = 0, CynematicFit = 0, DSpacingDataType = 0, DisplayCurrentFit = 0;
    PhaseTable[1].CrystalSystem = system, PhaseTable[1].LatticeType = 0;
    CreateCelixFitter();
    ui.ExpectDialog(" Phase= 1").Combo(system).Ok();
    ui.ExpectDialog(" Phase= 1").Ok();
    ui.ExpectDialog("Set lattice parameters").Ok();
    PrepareIndexing();
    TAULSM& fit = *CelixFitter;
    prepared.assign(fit.Records.begin(), fit.Records.end());
  }
  // Make's controls, the prepared records, the best fields cleared, fixed seeds.
  TAULSM& Reset(int32_t tries, int32_t convergence) {
    TAULSM& fit = *CelixFitter;
    std::copy(prepared.begin(), prepared.end(), fit.Records.begin());
    fit.Controls() = DefaultFitControls;
    fit.GNIter = 8;
    fit.ConvergenceMode = convergence;
    if (convergence == 0) fit.EpsReq = 0;
    fit.NTries = tries;
    fit.TriesPerBin = 0;
    fit.BestFunctional = fit.BestDeviation = fit.BestMaxResidual = 1e19;
    fit.BestMerit = fit.BestVolume = 0;
    SetRandomSeeds(12345, 678);
    return fit;
  }
};

int32_t ReflectionsOf() { return PhaseTable[1].ReflectionCount; }

void BM_SearchTrials(benchmark::State& state) {
  BenchSetup setup(static_cast<int32_t>(state.range(0)));
  ScopedUi guard(setup.ui);
  const int32_t mode = static_cast<int32_t>(state.range(1));
  int64_t trials = 0;
  for (auto _ : state) {
    TAULSM& fit = setup.Reset(1000, mode);
    fit.SearchTrials();
    trials += 1001;
    benchmark::DoNotOptimize(fit.BestDeviation);
  }
  state.SetItemsProcessed(trials);
  state.counters["reflections"] = ReflectionsOf();
  state.counters["best_dev"] = CelixFitter->BestDeviation;
}
BENCHMARK(BM_SearchTrials)->Args({3, 1})->Args({2, 1})->Args({3, 0})->Args({2, 0})->Unit(benchmark::kMillisecond);

void BM_TrialSweeps(benchmark::State& state) {
  BenchSetup setup(static_cast<int32_t>(state.range(0)));
  ScopedUi guard(setup.ui);
  // Starts drawn as the search draws them, inside the prepared bounds.
  SetRandomSeeds(4711, 815);
  std::vector<std::array<double, 6>> starts(64);
  for (auto& s : starts)
    for (int32_t m = 0; m < 6; ++m) {
      const ParameterRecord& r = setup.prepared[m + 1];
      s[m] = r.lower + Random01() * (r.upper - r.lower);
    }
  size_t next = 0;
  for (auto _ : state) {
    TAULSM& fit = setup.Reset(0, 0);
    const auto& s = starts[next++ % starts.size()];
    for (int32_t m = 0; m < 6; ++m) fit.Records[m + 1].value = s[m];
    fit.SearchTrials();  // the refit alone: 24 iterations and the error pass
    benchmark::DoNotOptimize(fit.BestDeviation);
  }
  state.SetItemsProcessed(state.iterations() * 25);
  state.counters["reflections"] = ReflectionsOf();
}
BENCHMARK(BM_TrialSweeps)->Arg(3)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
