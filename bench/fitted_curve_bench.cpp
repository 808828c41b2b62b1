// One redraw of a fitted time-of-flight graph: 16384 channels shown, all in the working range,
// two phases with about 500 reflections between d 1.0 and 2.0 angstrom, the Rietveld model at
// three sub-points per channel (49152 stage-4 calls), the data points, the model and the
// difference into the off-screen graph picture. The model's caches are warm, as at every redraw
// after a fit; the time per redraw is the figure that counts (goal: under 100 ms).
#include <benchmark/benchmark.h>
#include "bench_setup.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/graph_drawing.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/peak_model.h"
#include "core/space_groups.h"
#include "core/spectrum.h"
#include "crystal/fit_summary.h"
#include "crystal/fitted_curve.h"
#include "crystal/profile_model.h"
#include "crystal/reflection_lists.h"

namespace {

constexpr int32_t First = 16001, Last = First + 16383;  // 16384 channels
constexpr double ChanWidth = 0.62;                      // microseconds: d 1.0 to 2.0 angstrom
constexpr int32_t AtomsPerPhase = 6;

const TBenchPhase Phases[2] = {{96, 1, {7.9, 7.9, 11.1, 90, 90, 90}}, {62, 1, {8.6, 6.0, 9.5, 90, 90, 90}}};


class FittedGraph {
public:
  FittedGraph() {
    TSpectrum& sp = SetUpBenchSpectrum(First, Last, MaxChannels, ChanWidth);
    PhaseCount = 2;
    const double cFactor = TofConstant * sp.FlightPath * std::sin(sp.Theta / RadToDeg) / ChanWidth;
    for (int32_t k = 1; k <= 2; ++k) {
      SetUpBenchPhase(k, Phases[k - 1], TBenchAtoms{AtomsPerPhase, 7, 0.3, 0, 0.05, 0.5, 0});
      FormSymmetricHklList(k, (First - 100) / cFactor, (Last + 100) / cFactor);
      for (int32_t j = 1; j <= PhaseTable[k].ReflectionCount; ++j) {
        const double c = cFactor * HklTable[j][k].d;
        reflections_ += c >= First && c <= Last;
      }
    }
    CreateFitParameters();
    LayOut();
    double yMin = 0;
    for (int32_t ch = First; ch <= Last; ++ch) {
      double f = 0, bg = 0;
      EvaluateModelAt(1, ch, f, bg);
      sp.Y[ch] = f * (1 + 0.02 * std::sin(0.37 * ch));
      sp.E[ch] = std::sqrt(std::max(1.0, sp.Y[ch]));
      yMax_ = std::max(yMax_, sp.Y[ch]);
      yMin = std::min(yMin, sp.Y[ch]);
    }
    yMin_ = yMin;
    GraphBitmap.Resize(Scaled(GraphPictureWidth), Scaled(GraphPictureHeight));
    GraphMode = 2, GraphScaleMode = 0, PixelMode = 0;
    IntervalFirst = First, IntervalLast = Last, NChannels = Last - First + 1;
  }
  void Draw() { DrawFittedCurve(" x   ", yMax_, yMin_); }
  int32_t Reflections() const { return reflections_; }

private:
  // The Rietveld layout: background, per phase scale, metric, widths and the atoms.
  void LayOut() {
    TParameter& fit = *FitParameters;
    fit.NPar = ParameterCount(2);
    fit.NPoints = Last - First + 1;
    auto& r = fit.Records;
    for (int32_t i = 1; i <= fit.NPar; ++i) r[i] = ParameterRecord{}, r[i].n = i, r[i].a = 1;
    const TSpectrum& sp = *SpectrumList[1];
    r[1].value = sp.FlightPath;
    const double background[6] = {150, -20, 8, -3, 1, -0.5};
    for (int32_t i = 0; i < 6; ++i) r[4 + i].value = background[i];
    for (int32_t k = 1; k <= 2; ++k) {
      const int32_t b = PhaseParameterOffset(k);
      r[b + 1].value = 0.05;
      const auto g = MetricRecordOrder(PhaseTable[k].Metric);
      for (int32_t i = 0; i < 6; ++i) r[b + 2 + i].value = g[i];
      r[b + 8].value = 24.0;  // FWHM in channels, about 0.1 % of the flight time
      for (int32_t a = 1; a <= AtomsPerPhase; ++a) {
        const ATOM& t = AtomTable[a][k];
        const double v[5] = {t.Occupation, t.X, t.Y, t.Z, t.T11};
        for (int32_t i = 0; i < 5; ++i) r[b + 10 * a + 1 + i].value = v[i];
      }
    }
  }

  double yMax_ = 1, yMin_ = 0;
  int32_t reflections_ = 0;
};

void BM_FittedCurveRedraw(benchmark::State& state) {
  FittedGraph graph;
  graph.Draw();  // the caches of the model filled once, as by the fit before
  for (auto _ : state) {
    graph.Draw();
    benchmark::DoNotOptimize(GraphBitmap.GetPixel(256, 200));
  }
  state.counters["reflections"] = graph.Reflections();
  state.counters["model_calls"] = 3.0 * (Last - First) + 1;
}

}  // namespace

BENCHMARK(BM_FittedCurveRedraw)->Unit(benchmark::kMillisecond);
