// The Fitra peak fit to convergence: 20 peaks (10 Gauss, 10 Lorentz) over 4000 channels with a
// linear background, 44 free records (amplitudes, positions, W0 of both models, two background
// terms; W1 fixed at 0), started a quarter width off in position and 20 % off in amplitude and
// width; Step 1, Damp 1e-3, up to 50 iterations. Data: tests/peaks/data/fitra_bench.txt.
#include <benchmark/benchmark.h>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"

namespace {

struct BenchPeak {
  int32_t model;
  double position, amplitude, width;
};

// Spectrum 1 from the fixture; the peaks it was drawn from.
std::vector<BenchPeak> LoadFixture() {
  std::ifstream in(std::string(VKEST_SOURCE_DIR) + "/tests/peaks/data/fitra_bench.txt");
  if (!SpectrumList[1]) SpectrumList[1] = std::make_unique<TSpectrum>("bench");
  TSpectrum& sp = *SpectrumList[1];
  std::vector<BenchPeak> peaks;
  for (std::string line, tag; std::getline(in, line);) {
    std::istringstream row(line);
    row >> tag;
    if (tag == "bench") {
      int32_t c = 0;
      row >> c;
      row >> sp.Y[c] >> sp.E[c];
    } else if (tag == "peak") {
      BenchPeak p{};
      row >> p.model >> p.position >> p.amplitude >> p.width;
      peaks.push_back(p);
    }
  }
  sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = 4000;
  sp.BackgroundDegree = 1, sp.W0 = sp.W1 = 5;
  return peaks;
}

void BM_FitraPeakFit(benchmark::State& state) {
  const std::vector<BenchPeak> peaks = LoadFixture();
  for (int32_t k = 1; k <= PeakModelCount; ++k) PeakModels[k] = std::make_unique<TPeakModel>();
  PeakModels[3]->ModelNumber = ModelLorentz;
  PeakModels[3]->TabulatePeakModel();
  if (!FitParameters) CreateFitParameters();
  CurrentSpectrum = 1, MainMode = ParameterArrayMode = FitraMode;
  UsedPeakModelCount = 2, WidthMode = 0, M2Mode = 0, BackgroundMode = 0, ExponentialCount = 0;
  const int32_t n = static_cast<int32_t>(peaks.size());
  MarkedPointCount = n;
  for (int32_t i = 1; i <= n; ++i) {
    const BenchPeak& p = peaks[static_cast<size_t>(i - 1)];
    MarkedPoints[i] = p.position + p.width / 4, MarkedPointModels[i] = p.model;
  }
  TParameter& fit = *FitParameters;
  fit.NPar = BuildPeakArray(*SpectrumList[1]);
  fit.NPoints = 4000;
  for (int32_t i = 1; i <= n; ++i)
    parar[AmplitudeRecord(n, i)].value = 1.2 * peaks[static_cast<size_t>(i - 1)].amplitude;
  for (int32_t m = 1; m <= 2; ++m) {
    ParameterRecord& w0 = parar[WidthW0Record(n, m)];
    w0.value = 1.2 * (m == 1 ? 6.0 : 3.0), w0.lower = 1, w0.upper = 20;
    ParameterRecord& w1 = parar[WidthW1Record(n, m)];
    w1.lower = w1.value = w1.upper = 0;
  }
  int64_t iterations = 0;
  for (auto _ : state) {
    for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i] = parar[i];
    fit.SetFitDefaults();
    fit.Step = 1, fit.Damp = 1e-3, fit.GNIter = 50, fit.FunctionalLimit = -1;  // stop at chi2/df 1 + its spread
    fit.Fit(PeakFitModel, NoProgress);
    iterations += fit.Iterations;
  }
  state.counters["iterations"] = benchmark::Counter(static_cast<double>(iterations) / state.iterations());
  state.counters["s_per_iteration"] = benchmark::Counter(
      static_cast<double>(iterations), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FitraPeakFit)->Unit(benchmark::kMillisecond);

}  // namespace
