// ShapeValue and PeakModelValue as the profile and peak-fit models call them: one call per
// reflection and channel, at positions spread over the whole table and a little beyond.
#include <benchmark/benchmark.h>
#include <vector>
#include "core/peak_model.h"

namespace {
template <void (TPeakModel::*Evaluate)(double&, double&, double&, double) const>
void Sweep(benchmark::State& state, const TPeakModel& model) {
  const int n = 4096;
  std::vector<double> x(n);
  for (int k = 0; k < n; ++k) x[k] = model.HalfWidth * (2.0 * k / (n - 1) - 1.0) * 1.02;
  for (auto _ : state) {
    double sum = 0.0;
    for (double v : x) {
      double f, d1, d2;
      (model.*Evaluate)(f, d1, d2, v);
      sum += f + d1 + d2;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_ShapeValue(benchmark::State& state) {
  TPeakModel model;  // Gauss
  Sweep<&TPeakModel::ShapeValue>(state, model);
}
BENCHMARK(BM_ShapeValue);

void BM_PeakModelValue(benchmark::State& state) {
  TPeakModel model;
  model.ModelNumber = static_cast<int32_t>(state.range(0));
  if (model.ModelNumber != ModelLorentz) model.TabulatePeakModel();
  Sweep<&TPeakModel::PeakModelValue>(state, model);
}
BENCHMARK(BM_PeakModelValue)->Arg(ModelGauss)->Arg(ModelLorentz)->Arg(ModelConvExp);
}  // namespace
