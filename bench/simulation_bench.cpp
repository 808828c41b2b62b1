// The spectrum simulation of a 32768-channel time-of-flight spectrum of three phases (cubic,
// tetragonal, orthorhombic) with errors, against the bare loop of stage-4 model calls over the
// same channels: the difference is what the simulation adds (scale, noise, abscissae). Also the
// anisotropic simulation of 1000 channels (441 cells of one phase).
#include <benchmark/benchmark.h>
#include "bench_setup.h"
#include <cmath>
#include "core/fit_engine.h"
#include "core/parameter_layout.h"
#include "core/toolbox.h"
#include "crystal/profile_model.h"
#include "crystal/reflection_lists.h"
#include "spectrum/simulation.h"

namespace {

constexpr double ChanWidth = 4.0;  // about 2590 channels per angstrom
constexpr double AnisoChanWidth = 100.0;  // channels 100..1000 for d 0.96..9.6 angstrom
constexpr int32_t First = 2300, Last = 32768;

const TBenchPhase Phases[3] = {{225, 1, {24.1, 24.1, 24.1, 90, 90, 90}},
                               {96, 1, {9.4, 9.4, 13.2, 90, 90, 90}},
                               {62, 1, {10.0, 12.0, 8.0, 90, 90, 90}}};

// The phases, their lists over the working range and the Rietveld layout with fixed records.
int32_t SetUp(int32_t phases, int32_t first, int32_t last, double cw) {
  TSpectrum& sp = SetUpBenchSpectrum(first, last, MaxChannels, cw);
  PhaseCount = phases;
  const double cFactor = TofConstant * sp.FlightPath * std::sin(sp.Theta / RadToDeg) / cw;
  int32_t reflections = 0;
  for (int32_t k = 1; k <= phases; ++k) {
    SetUpBenchPhase(k, Phases[k - 1], TBenchAtoms{6, 7, 0.2, 0.1, 0.04, 0.4, 0.02});
    FormSymmetricHklList(k, std::max(first - 60, 100) / cFactor, (last + 60) / cFactor);
    reflections += PhaseTable[k].ReflectionCount;
  }
  if (!FitParameters) CreateFitParameters();
  TParameter& fit = *FitParameters;
  fit.NPar = ParameterCount(2);
  fit.NPoints = last - first + 1;
  for (int32_t i = 1; i <= fit.NPar; ++i)
    fit.Records[i] = ParameterRecord{}, fit.Records[i].n = i, fit.Records[i].a = 1;
  fit.Records[1].value = sp.FlightPath, fit.Records[4].value = 150;
  for (int32_t k = 1; k <= phases; ++k) {
    const int32_t b = PhaseParameterOffset(k);
    fit.Records[b + 1].value = 1e-2;
    const auto g = MetricRecordOrder(PhaseTable[k].Metric);
    for (int32_t i = 0; i < 6; ++i) fit.Records[b + 2 + i].value = g[i];
    fit.Records[b + 8].value = 8;
    for (int32_t a = 1; a <= PhaseTable[k].AtomCount; ++a) {
      const ATOM& t = AtomTable[a][k];
      const double v[5] = {t.Occupation, t.X, t.Y, t.Z, t.T11};
      for (int32_t i = 0; i < 5; ++i) fit.Records[b + 10 * a + 1 + i].value = v[i];
    }
  }
  IntervalFirst = first, IntervalLast = last;
  return reflections;
}

void BM_SimulateSpectrum(benchmark::State& state) {
  const int32_t reflections = SetUp(3, First, Last, ChanWidth);
  TSimulationRun run;
  run.mode = 0, run.target = 1, run.withErrors = true;
  for (auto _ : state) benchmark::DoNotOptimize(SimulateChannels(run));
  state.counters["reflections"] = reflections;
}
BENCHMARK(BM_SimulateSpectrum)->Unit(benchmark::kMillisecond);

void BM_BareModelLoop(benchmark::State& state) {
  SetUp(3, First, Last, ChanWidth);
  for (auto _ : state) {
    double sum = 0;
    for (int32_t c = First; c <= Last; ++c) {
      ModelSpectrum = 1, ModelChannel = c;
      double y = 0, w = 0, f = 0;
      RietveldModel(y, w, f, c - First + 1, 4);
      sum += f;
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_BareModelLoop)->Unit(benchmark::kMillisecond);

void BM_AnisoSimulation(benchmark::State& state) {
  SetUp(1, 1, 1000, AnisoChanWidth);  // the cubic cell
  state.counters["reflections"] = PhaseTable[1].ReflectionCount;
  for (auto _ : state) {
    const double buffer[8] = {0, 0.05, 1, 3, 3, 2, 2, 0};
    std::copy(buffer, buffer + 8, NumberBuffer);
    double sum2 = 0, sum3 = 0;
    benchmark::DoNotOptimize(SimulateAnisoChannels(sum2, sum3));
  }
}
BENCHMARK(BM_AnisoSimulation)->Unit(benchmark::kMillisecond);

}  // namespace
