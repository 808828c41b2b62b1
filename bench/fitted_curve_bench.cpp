// One redraw of a fitted time-of-flight graph: 16384 channels shown, all in the working range,
// two phases with about 500 reflections between d 1.0 and 2.0 angstrom, the Rietveld model at
// three sub-points per channel (49152 stage-4 calls), the data points, the model and the
// difference into the off-screen graph picture. The model's caches are warm, as at every redraw
// after a fit; the time per redraw is the figure that counts (goal: under 100 ms).
#include <benchmark/benchmark.h>
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

struct TPhaseSpec {
  int32_t group;
  std::array<double, 6> cell;
};
const TPhaseSpec Phases[2] = {{96, {7.9, 7.9, 11.1, 90, 90, 90}}, {62, {8.6, 6.0, 9.5, 90, 90, 90}}};

void SetUpBenchPhase(int32_t k, const TPhaseSpec& s) {
  LATTICE& p = PhaseTable[k];
  p = LATTICE{};
  std::copy(s.cell.begin(), s.cell.end(), p.Cell);
  p.SpaceGroup = s.group, p.Setting = 1;
  p.CrystalSystem = CrystalSystemOfGroup(s.group, 1);
  ExpandSpaceGroup(k);
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  p.Volume = CellVolume(p.Cell);
  PhaseMetric(k);
  PhaseModelFlags[k] = 0;
  p.AtomCount = AtomsPerPhase;
  for (int32_t a = 1; a <= AtomsPerPhase; ++a) {
    ATOM& at = AtomTable[a][k];
    at = ATOM{};
    at.Name = "X";
    at.ScatteringLength = 0.3 + 0.05 * a;
    at.Occupation = 1;
    at.X = 0.0137 + 0.6180339 * (a + 7 * k) - int(0.6180339 * (a + 7 * k));  // scattered positions
    at.Y = 0.0291 + 0.7548777 * (a + 7 * k) - int(0.7548777 * (a + 7 * k));
    at.Z = 0.0413 + 0.5698403 * (a + 7 * k) - int(0.5698403 * (a + 7 * k));
    at.T11 = 0.5;
    at.IsotropicFlag = 1;
  }
}

class FittedGraph {
public:
  FittedGraph() {
    for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::make_unique<TSpectrum>("bench");
    for (int32_t m = 1; m <= PeakModelCount; ++m) PeakModels[m] = std::make_unique<TPeakModel>();  // Gauss
    CurrentSpectrum = 1, SpectrumCount = 1;
    TSpectrum& sp = *SpectrumList[1];
    sp.AxisKind = AxisTimeOfFlight;
    sp.FirstChannel = 1, sp.LastChannel = MaxChannels;
    sp.WorkFirst = First, sp.WorkLast = Last;
    sp.ChanWidth = ChanWidth, sp.FlightPath = 21.13, sp.Theta = 76.0, sp.Delay = 0.0;
    MainMode = 0, WidthMode = 0, BackgroundMode = 0, AnisotropyOn = 0, M2Mode = 0;
    PhaseCount = 2;
    const double cFactor = TofConstant * sp.FlightPath * std::sin(sp.Theta / RadToDeg) / ChanWidth;
    for (int32_t k = 1; k <= 2; ++k) {
      SetUpBenchPhase(k, Phases[k - 1]);
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
