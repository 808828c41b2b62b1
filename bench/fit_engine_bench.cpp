// The least-squares engine on a synthetic linear model: 32768 points, 200 free parameters, each
// point touching 12 of them (the shape of a profile fit), in full and in compressed order, against
// the same fit with every derivative non-zero. One benchmark iteration is one fit of one
// Gauss-Newton iteration plus the final pass: two sweeps over the points, two accumulations and
// two inversions. Every fit starts from all values 0, away from the solution.
// BM_NormalMatrixDense200 is the accumulation alone: 32768 points, all 200 derivatives non-zero,
// handed over in an array of the model's (as the profile model does), added and mirrored;
// madds_per_s counts the multiply-adds of the triangle and diagonal.
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>
#include "core/fit_engine.h"

namespace {
constexpr int32_t kPoints = 32768;
constexpr int32_t kParams = 200;
constexpr int32_t kTouched = 12;

double Basis(int32_t point, int32_t param) { return 1.0 + 0.01 * ((point * 31 + param * 7) % 97); }

class SyntheticFit {
public:
  SyntheticFit(bool dense, bool compressed) : dense_(dense), fit_(kParams, kPoints, kParams) {
    fit_.SetFitDefaults();
    fit_.CompressedMatrix = compressed;
    fit_.NPar = kParams;
    fit_.NPoints = kPoints;
    fit_.ResetParameterRecords();
    fit_.GNIter = 1;
    fit_.Step = 1;
    fit_.Damp = 0.01;
    fit_.EpsReq = -1;
    index_.resize(static_cast<size_t>(kPoints + 1) * kTouched);
    for (int32_t p = 1; p <= kPoints; ++p)
      for (int32_t k = 0; k < kTouched; ++k) index_[p * kTouched + k] = 1 + (p * 37 + k * 17) % kParams;
    y_.resize(kPoints + 1);
    for (int32_t p = 1; p <= kPoints; ++p) {
      double f = 0;
      for (int32_t k = 0; k < Count(); ++k) f += (0.5 + 0.001 * Param(p, k)) * Basis(p, Param(p, k));
      y_[p] = f + 0.01 * std::sin(0.7 * p);
    }
  }

  void Run() {
    for (int32_t i = 1; i <= kParams; ++i) fit_.Records[i].value = 0;
    previous_ = 0;
    fit_.Fit(
        [this](double& Y, double& W, double& F, int32_t point, int32_t) {
          ParameterRecord* r = fit_.Records.data();
          // Only the records of the previous point need their derivative cleared.
          if (!dense_ && previous_ != 0)
            for (int32_t k = 0; k < kTouched; ++k) r[index_[previous_ * kTouched + k]].Derivative = 0;
          double f = 0;
          for (int32_t k = 0; k < Count(); ++k) {
            int32_t i = Param(point, k);
            double b = Basis(point, i);
            f += r[i].value * b;
            r[i].Derivative = b;
          }
          previous_ = point;
          Y = y_[point];
          W = 1;
          F = f;
        },
        NoProgress);
  }
  const TParameter& Engine() const { return fit_; }

private:
  int32_t Count() const { return dense_ ? kParams : kTouched; }
  int32_t Param(int32_t point, int32_t k) const { return dense_ ? k + 1 : index_[point * kTouched + k]; }

  bool dense_;
  TParameter fit_;
  std::vector<int32_t> index_;
  std::vector<double> y_;
  int32_t previous_ = 0;
};

void RunFit(benchmark::State& state, bool dense, bool compressed = false) {
  SyntheticFit fit(dense, compressed);
  for (auto _ : state) {
    fit.Run();
    benchmark::DoNotOptimize(fit.Engine().ChiDf);
  }
  // Seconds per sweep (one Gauss-Newton iteration or the final pass).
  state.counters["per_sweep"] =
      benchmark::Counter(2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_FitSparse12Of200(benchmark::State& state) { RunFit(state, false); }
void BM_FitSparse12Of200Compressed(benchmark::State& state) { RunFit(state, false, true); }
void BM_FitDense200(benchmark::State& state) { RunFit(state, true); }

void BM_NormalMatrixDense200(benchmark::State& state) {
  constexpr int32_t n = kParams;
  TParameter fit(n, kPoints, n);
  fit.NPar = n;
  fit.NPoints = kPoints;
  fit.ResetParameterRecords();
  fit.CompressedMatrix = 1;
  fit.PrepareFit();
  std::vector<double> rows(97 * (n + 1));  // Basis repeats with the point modulo 97
  for (int32_t p = 0; p < 97; ++p)
    for (int32_t i = 1; i <= n; ++i) rows[p * (n + 1) + i] = Basis(p, i);
  for (auto _ : state) {
    fit.ClearNormalEquations();
    for (int32_t p = 1; p <= kPoints; ++p) {
      fit.DerivativeArray = rows.data() + (p % 97) * (n + 1);
      fit.AccumulatePoint(1.0 + 0.001 * (p % 7), 1.0, 0.0);
    }
    fit.SymmetrizeMatrix();
    benchmark::DoNotOptimize(fit.Rms);
  }
  state.counters["madds_per_s"] = benchmark::Counter(double(kPoints) * n * (n + 1) / 2, benchmark::Counter::kIsIterationInvariantRate);
}

// The inversion of a normal matrix of the given order (200 free parameters; 614, the capacity of
// the session's engine).
void BM_InvertNormalMatrix(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  TParameter fit(n, 1, n);
  fit.NPar = n;
  fit.ResetParameterRecords();
  fit.CompressedMatrix = 1;
  fit.PrepareFit();
  for (auto _ : state) {
    state.PauseTiming();
    for (int32_t j = 1; j <= n; ++j)
      for (int32_t i = 1; i <= n; ++i) fit.SetMatrixElement(i, j, i == j ? n + 1.0 : 1.0 / (i + j));
    state.ResumeTiming();
    fit.InvertNormalMatrix();
    benchmark::DoNotOptimize(fit.Inverted);
  }
}
}  // namespace

BENCHMARK(BM_FitSparse12Of200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitSparse12Of200Compressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitDense200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalMatrixDense200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InvertNormalMatrix)->Arg(200)->Arg(614)->Unit(benchmark::kMillisecond);
