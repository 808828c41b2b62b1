// The indexing search on 20 lines of a P orthorhombic cell (5.1, 6.3, 7.7 A) and of a P monoclinic
// cell (the same edges, beta 105 degrees) with 1e-4 relative noise, prepared as the automatic
// preparation does it, fixed seeds, GN-iter 8.
//   BM_SearchTrials/system/mode: a whole search of 1000 trials (+ the refit) per benchmark
//     iteration; items = trials. Mode 1 is the search as Make runs it (trials that rise end
//     early), mode 0 runs every trial to its 8 iterations, for the comparison with the bare fit.
//   BM_TrialSweeps/system: the bare fit from 64 random starts in turn (the refit of a search of no
//     tries: 24 iterations and the error pass); items = sweeps, so 8 / items-per-second is one
//     trial fit of 8 iterations.
//   BM_MakeMeasuredLike/system: one Make through the Celix menu (Prepare with the automatic
//     options, Make with the defaults, "Stop fitting?" Yes) on 65 lines as a peak search leaves
//     them on a measured lead sulfate pattern (P n m a, 8.482 5.398 6.959 A): reflections within
//     1e-3 d merged, every fifth line missing (weak), 2e-4 d noise, two impurity lines; searched
//     as orthorhombic (3) or with the system unknown (1). One iteration is one Make.
//   BM_MakeAnglesite/system: the same on the lines the program's peak search finds on a simulated
//     lead sulfate pattern (0.1-degree channels, an uncorrected zero), errors 0.003 A.
//   BM_MakeListsOfSystem/system/unknown: one Make as above on every list of one crystal system of
//     a set file of tools/gen_indexing_minerals.py (VKEST_BENCH_INDEXING_SET, else the tests'
//     indexing_minerals_all.txt; a user's lists: --more --lines 20-30 --impurities 1-2 --noise
//     1e-4,5e-4), with its system and lattice type given (unknown 0) or as triclinic P (1), from a
//     new session's seeds; seconds_per_make is the processor time over the lists.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "core/dspacing_list.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/numeric_arrays.h"
#include "core/neighbour_services.h"
#include "core/random.h"
#include "core/scripted_ui.h"
#include "core/spectrum.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_preparation.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "support/celix_script.h"

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

// The 65 lines of the measured-like lead sulfate list, descending; errors 2e-4 d.
std::vector<double> MeasuredLikeLines() {
  const double cell[6] = {8.482, 5.398, 6.959, 0, 0, 0};
  std::vector<double> d;
  for (int32_t h = 0; h <= 9; ++h)
    for (int32_t k = 0; k <= 6; ++k)
      for (int32_t l = 0; l <= 8; ++l) {
        // P n m a: 0kl k + l even, hk0 h even (h00, 0k0, 00l even with them).
        if ((h == 0 && (k + l) % 2) || (l == 0 && h % 2) || (h == 0 && l == 0 && k % 2) || h + k + l == 0) continue;
        d.push_back(CellDSpacing(3, cell, h, k, l, 0));
      }
  std::sort(d.begin(), d.end(), std::greater<>());
  std::vector<double> merged;
  for (double x : d)
    if (merged.empty() || merged.back() - x > 1e-3 * x) merged.push_back(x);
  std::vector<double> out;
  for (size_t i = 0; i < merged.size() && out.size() < 63; ++i)
    if (i % 5 != 4) out.push_back(merged[i] * (1 + 2e-4 * std::sin(2.3 * double(i) + 0.7)));
  // Impurities: one early (between lines 3 and 4), one among the short d.
  out.push_back(0.5 * (out[2] + out[3]) + 0.013);
  out.push_back(0.5 * (out[40] + out[41]));
  std::sort(out.begin(), out.end(), std::greater<>());
  return out;
}

// A new session's state with the lines d, errors err, as a d-spacing file leaves them.
void NewSessionLines(const std::vector<double>& d, const std::vector<double>& err) {
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  FreeCelixFitter();
  PhaseCount = 1, IndexingMode = 0, CynematicFit = 0, DSpacingDataType = 0, DisplayCurrentFit = 0;
  BinDefaultsSet = 0, AutoHklBounds = AutoCellVolume = AutoInitCell = 1, CellVolumes[1] = 5000;
  // A new session's: the last run's results would ask "not saved. Still exit?" on leaving.
  std::fill(std::begin(ResultsUnsaved), std::end(ResultsUnsaved), uint8_t{0});
  DSpacingCount = static_cast<int32_t>(std::min(std::min(d.size(), err.size()), size_t{MaxDSpacings}));
  for (int32_t i = 1; i <= DSpacingCount; ++i)
    DSpacingList[i] = TDSpacingRecord{}, DSpacingList[i].d = d[i - 1], DSpacingList[i].Error = err[i - 1];
  AssignDSpacings();
}

// One Make per iteration on the lines d, errors err, from a new session's state, searched as
// system (1 the system unknown) with a primitive lattice; counters: a and the trials.
void MakeOnLines(benchmark::State& state, const std::vector<double>& d, const std::vector<double>& err) {
  ScriptedUi ui;
  ScopedUi guard(ui);
  for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::make_unique<TSpectrum>("bench");
  const int32_t system = static_cast<int32_t>(state.range(0));
  double a = 0;
  for (auto _ : state) {
    state.PauseTiming();
    NewSessionLines(d, err);
    ScriptDefaultIndexing(ui, system, 1);
    state.ResumeTiming();
    CelixMain();
    if (d.empty() || !CelixFitter || !ui.unexpected.empty()) {
      state.SkipWithError("no lines, or the Celix script did not run as written");
      break;
    }
    a = CelixFitter->Records[1].value;
  }
  state.counters["a"] = a;
  state.counters["trials"] = TrialCounter;
}

void BM_MakeMeasuredLike(benchmark::State& state) {
  const std::vector<double> d = MeasuredLikeLines();
  std::vector<double> err(d.size());
  for (size_t i = 0; i < d.size(); ++i) err[i] = 2e-4 * d[i];
  MakeOnLines(state, d, err);
}
BENCHMARK(BM_MakeMeasuredLike)->Arg(3)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);

// One Make as BM_MakeMeasuredLike on the 66 lines the peak search gives on the simulated lead
// sulfate pattern of tools/gen_measured_patterns.py (tests' anglesite_lines.txt), every line's
// error 0.003 A as the README gives for such lines; orthorhombic (3) or the system unknown (1).
void BM_MakeAnglesite(benchmark::State& state) {
  std::vector<double> d;
  std::ifstream in(std::string(VKEST_SOURCE_DIR) + "/tests/indexing/data/anglesite_lines.txt");
  for (std::string kind, row; std::getline(in, row);) {
    std::istringstream t(row);
    double x = 0;
    if (t >> kind >> x && kind == "l") d.push_back(x);
  }
  const std::vector<double> err(d.size(), 0.003);
  MakeOnLines(state, d, err);
}
BENCHMARK(BM_MakeAnglesite)->Arg(3)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);

struct SetList {
  int32_t system = 0, type = 0;
  std::vector<double> d, err;
};

// The lists of one crystal system in a set file ("case id lattice name system type cell", "l d e").
std::vector<SetList> ListsOfSystem(int32_t system) {
  const char* given = std::getenv("VKEST_BENCH_INDEXING_SET");
  std::ifstream in(given ? std::string(given) : std::string(VKEST_SOURCE_DIR) + "/tests/indexing/data/indexing_minerals_all.txt");
  std::vector<SetList> lists;
  bool mine = false;
  for (std::string row; std::getline(in, row);) {
    std::istringstream t(row);
    std::string kind, id, lattice, name;
    t >> kind;
    if (kind == "case") {
      SetList l;
      t >> id >> lattice >> name >> l.system >> l.type;
      mine = l.system == system;
      if (mine) lists.push_back(l);
    } else if (kind == "l" && mine) {
      double d = 0, e = 0;
      t >> d >> e;
      lists.back().d.push_back(d), lists.back().err.push_back(e);
    }
  }
  return lists;
}

void BM_MakeListsOfSystem(benchmark::State& state) {
  ScriptedUi ui;
  ScopedUi guard(ui);
  for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::make_unique<TSpectrum>("bench");
  const std::vector<SetList> lists = ListsOfSystem(static_cast<int32_t>(state.range(0)));
  const bool unknown = state.range(1) != 0;
  double seconds = 0;
  int64_t makes = 0;
  for (auto _ : state) {
    for (const SetList& l : lists) {
      NewSessionLines(l.d, l.err);
      ScriptDefaultIndexing(ui, unknown ? 1 : l.system, unknown ? 1 : l.type + 1);
      const std::clock_t start = std::clock();
      CelixMain();
      seconds += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      ++makes;
      if (!CelixFitter || !ui.unexpected.empty()) {
        state.SkipWithError("the Celix script did not run as written");
        return;
      }
    }
  }
  state.counters["lists"] = static_cast<double>(lists.size());
  state.counters["seconds_per_make"] = seconds / std::max<int64_t>(makes, 1);
}
BENCHMARK(BM_MakeListsOfSystem)
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 7}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
