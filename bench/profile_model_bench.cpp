// One Rietveld iteration of a realistic time-of-flight refinement through the session's engine:
// 8000 channels, three phases of some 700 reflections each (P4_32_12 with 8 listed operations,
// P6_3/mmc with 12, Fm-3m with 24 and four centrings), 15 isotropic atoms per phase, a Gauss
// shape of 6 channels FWHM, and about 150 free records in compressed order: background, delay,
// scales, cells (tied by the crystal system), two widths per phase, positions and B of most atoms.
//  BM_RietveldIteration: one fit of one Gauss-Newton iteration plus the final pass (two sweeps),
//    started with the free atom coordinates 2e-4 away from those that made the data, so that the
//    step is real and the final pass computes every structure factor afresh. per_iteration is
//    one sweep (model with every derivative, normal matrix, solve); per_pair that time divided by
//    the channel-reflection pairs inside the shape's cut.
//  BM_RietveldModelSweep: the model alone over every point with every derivative, called as the
//    engine's analytic sweep calls it (its derivative array offered), an atom of every phase
//    moved first, so that all structure factors and their gradients are afresh.
//  BM_RietveldModelValues: the same sweep with every record fixed: values only, every structure
//    factor afresh.
#include <benchmark/benchmark.h>
#include "bench_setup.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/peak_model.h"
#include "core/space_groups.h"
#include "core/spectrum.h"
#include "crystal/profile_model.h"
#include "crystal/reflection_lists.h"

namespace {

constexpr int32_t First = 2900, Last = First + 7999;  // 8000 channels
constexpr double ChanWidth = 2.85;                     // about 3640 channels per angstrom
constexpr double Fwhm = 6.0;
constexpr int32_t AtomsPerPhase = 15;


// About 700 reflections each between d 0.78 and 3.1 angstrom.
const TBenchPhase Phases[3] = {{96, 1, {9.4, 9.4, 13.2, 90, 90, 90}},
                              {194, 1, {10.1, 10.1, 19.3, 90, 90, 120}},
                              {225, 1, {24.1, 24.1, 24.1, 90, 90, 90}}};


class ProfileRefinement {
public:
  ProfileRefinement() {
    TSpectrum& sp = SetUpBenchSpectrum(First, Last, Last + 100, ChanWidth);
    PhaseCount = 3;
    const double cFactor = TofConstant * sp.FlightPath * std::sin(sp.Theta / RadToDeg) / ChanWidth;
    const double dmin = (First - 60) / cFactor, dmax = (Last + 60) / cFactor;
    for (int32_t k = 1; k <= 3; ++k) {
      SetUpBenchPhase(k, Phases[k - 1], TBenchAtoms{AtomsPerPhase, 7, 0.2, 0.1, 0.04, 0.4, 0.02});
      FormSymmetricHklList(k, dmin, dmax);
      reflections_ += PhaseTable[k].ReflectionCount;
    }
    CreateFitParameters();
    LayOut();
    // The data: the model at the starting values with Poisson-like errors.
    for (int32_t point = 1; point <= Last - First + 1; ++point) {
      double y = 0, w = 0, f = 0;
      RietveldModel(y, w, f, point, 1);
      sp.Y[First + point - 1] = f;
      sp.E[First + point - 1] = std::sqrt(std::max(1.0, f));
    }
    CountPairs(cFactor);
  }

  void Run() {
    TParameter& fit = *FitParameters;
    for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i].value = start_[i];
    // Away from the optimum: the free coordinates 2e-4 off, alternately up and down.
    for (int32_t k = 1, sign = 1; k <= 3; ++k)
      for (int32_t a = 1; a <= AtomsPerPhase; ++a)
        for (int32_t c = 2; c <= 4; ++c) {
          const int32_t i = PhaseParameterOffset(k) + 10 * a + c;
          if (fit.Records[i].lower != fit.Records[i].upper) fit.Records[i].value += 2e-4 * (sign = -sign);
        }
    fit.Fit(RietveldModel, NoProgress);
  }
  // The model alone over every point with all derivatives; X of atom 1 of every phase moved
  // first, so that every structure factor and its gradient is computed afresh as after a step.
  // offered: the derivative array offered, as the engine's analytic sweep does.
  double Sweep(bool offered) {
    TParameter& fit = *FitParameters;
    ++sweeps_;
    for (int32_t k = 1; k <= 3; ++k) {
      const int32_t x = PhaseParameterOffset(k) + 12;
      fit.Records[x].value = start_[x] + (sweeps_ % 2 ? 1e-7 : 0.0);
    }
    double sum = 0;
    const int32_t scale1 = PhaseParameterOffset(1) + 1;
    for (int32_t point = 1; point <= fit.NPoints; ++point) {
      double y = 0, w = 0, f = 0;
      fit.DerivativeArray = nullptr;
      fit.DerivativeArrayOffered = offered;
      RietveldModel(y, w, f, point, 1);
      fit.DerivativeArrayOffered = 0;
      sum += f + (fit.DerivativeArray ? fit.DerivativeArray[scale1] : fit.Records[scale1].Derivative);
    }
    fit.DerivativeArray = nullptr;
    return sum;
  }
  // Every record fixed: the model then makes values and no atom derivatives.
  void FixEverything() {
    TParameter& fit = *FitParameters;
    for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i].lower = fit.Records[i].upper = fit.Records[i].value;
  }
  int32_t FreeRecords() const { return free_; }
  int32_t Reflections() const { return reflections_; }
  int64_t Pairs() const { return pairs_; }

private:
  // The Rietveld layout with about 150 free records; the rest fixed.
  void LayOut() {
    TParameter& fit = *FitParameters;
    const int32_t n = ParameterCount(2);
    fit.NPar = n;
    fit.NPoints = Last - First + 1;
    fit.CompressedMatrix = 1;
    fit.GNIter = 1;
    fit.EpsReq = -1;
    auto& r = fit.Records;
    auto set = [&](int32_t i, double v, bool free) {
      r[i] = ParameterRecord{};
      r[i].n = i, r[i].a = 1, r[i].value = v;
      r[i].lower = free ? -1e15 : v, r[i].upper = free ? 1e15 : v;
      free_ += free ? 1 : 0;
    };
    auto tie = [&](int32_t i, int32_t master) {
      r[i].n = master, r[i].lower = -1e15, r[i].upper = 1e15, r[i].value = r[master].value;
    };
    const TSpectrum& sp = *SpectrumList[1];
    set(1, sp.FlightPath, false), set(2, 0, false), set(3, 1.5, true);
    const double background[6] = {150, -20, 8, -3, 1, -0.5};
    for (int32_t i = 0; i < 6; ++i) set(4 + i, background[i], true);
    set(10, 0, false);
    for (int32_t k = 1; k <= 3; ++k) {
      const int32_t b = PhaseParameterOffset(k);
      set(b + 1, k == 3 ? 2e-4 : 1e-2, true);
      const auto g = MetricRecordOrder(PhaseTable[k].Metric);
      for (int32_t i = 0; i < 6; ++i) set(b + 2 + i, g[i], i == 0 || (i == 2 && k != 3));
      tie(b + 3, b + 2);                  // b* = a*
      if (k == 3) tie(b + 4, b + 2);      // cubic: c* = a*
      if (k == 2) tie(b + 7, b + 2);      // hexagonal: the hk term is a*^2
      set(b + 8, Fwhm, true), set(b + 9, 0, true), set(b + 10, 0, false);
      for (int32_t a = 1; a <= AtomsPerPhase; ++a) {
        const ATOM& t = AtomTable[a][k];
        const int32_t s = b + 10 * a;
        const bool position = a <= 10, thermal = a <= 12;
        set(s + 1, t.Occupation, false);
        set(s + 2, t.X, position), set(s + 3, t.Y, position), set(s + 4, t.Z, position);
        set(s + 5, t.T11, thermal);
        for (int32_t i = 6; i <= 10; ++i) set(s + i, 0, false);
      }
    }
    start_.assign(n + 1, 0);
    for (int32_t i = 1; i <= n; ++i) start_[i] = r[i].value;
  }

  // Channel-reflection pairs inside the Gauss table's cut at the starting values.
  void CountPairs(double cFactor) {
    const auto& r = FitParameters->Records;
    for (int32_t k = 1; k <= 3; ++k) {
      const int32_t b = PhaseParameterOffset(k);
      const double cut = PeakModels[k + 1]->HalfWidth * r[b + 8].value;
      for (int32_t j = 1; j <= PhaseTable[k].ReflectionCount; ++j) {
        const THklRecord& h = HklTable[j][k];
        const double m[6] = {double(h.h) * h.h, double(h.k) * h.k, double(h.l) * h.l,
                             double(h.k) * h.l, double(h.h) * h.l, double(h.h) * h.k};
        double q = 0;
        for (int32_t i = 0; i < 6; ++i) q += r[b + 2 + i].value * m[i];
        const double pos = cFactor / std::sqrt(q) - r[3].value;
        const double lo = std::max<double>(First, std::floor(pos - cut));
        const double hi = std::min<double>(Last, std::ceil(pos + cut));
        for (double c = lo; c <= hi; ++c)
          if (std::fabs(c - pos) < cut) ++pairs_;
      }
    }
  }

  std::vector<double> start_;
  int32_t free_ = 0;
  int32_t reflections_ = 0;
  int64_t pairs_ = 0;
  int64_t sweeps_ = 0;
};

void BM_RietveldIteration(benchmark::State& state) {
  ProfileRefinement refinement;
  for (auto _ : state) {
    refinement.Run();
    benchmark::DoNotOptimize(FitParameters->ChiDf);
  }
  state.counters["reflections"] = refinement.Reflections();
  state.counters["free_records"] = refinement.FreeRecords();
  state.counters["pairs"] = double(refinement.Pairs());
  // Two sweeps per fit.
  state.counters["per_iteration"] =
      benchmark::Counter(2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["per_pair"] = benchmark::Counter(2.0 * double(refinement.Pairs()),
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

void BM_RietveldModelSweep(benchmark::State& state) {
  ProfileRefinement refinement;
  for (auto _ : state) benchmark::DoNotOptimize(refinement.Sweep(true));
  state.counters["per_pair"] = benchmark::Counter(
      double(refinement.Pairs()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RietveldModelValues(benchmark::State& state) {
  ProfileRefinement refinement;
  refinement.FixEverything();
  for (auto _ : state) benchmark::DoNotOptimize(refinement.Sweep(false));
  state.counters["per_pair"] = benchmark::Counter(
      double(refinement.Pairs()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_RietveldIteration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RietveldModelSweep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RietveldModelValues)->Unit(benchmark::kMillisecond);
