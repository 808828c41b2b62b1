#include "testdata/exp_decay_test.h"
#include <cmath>
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"

void ExpDecayTestModel(TParameter& fit, double& Y, double& W, double& F, int32_t point, int32_t) {
  ParameterRecord& a = fit.Records[1];
  ParameterRecord& tau = fit.Records[2];
  const double x = point;
  const double e = std::exp(-x / tau.value);
  F = a.value * e;
  Y = 0, W = 0;
  const TSpectrum* s = SpectrumAt(CurrentSpectrum);
  const int32_t c = point + ExpDecayFirstChannel - 1;
  if (s && c >= 2 && c < MaxChannels) {
    const double* y = s->Y;
    Y = y[c];
    W = 1 / (std::fabs(Y) + 1);
    // Only points on a convex stretch count: a valley point or a downward fluctuation.
    const double curvature = (y[c - 1] - 2 * y[c] + y[c + 1]) / std::sqrt(std::pow(y[c + 1] - y[c - 1], 2) + 1);
    if (!(curvature >= 1.5)) W = 0;
  }
  a.Derivative = e;
  tau.Derivative = a.value * x * e / (tau.value * tau.value);
}

void RunExpDecayTestFit() {
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s) return;
  s->WorkFirst = ExpDecayFirstChannel;
  s->WorkLast = ExpDecayFirstChannel + ExpDecayPoints - 1;
  TParameter fit(2, ExpDecayPoints, 2);  // owned here: freed also when the fit abandons
  fit.SetFitDefaults();
  fit.ResetParameterRecords();
  ParameterRecord& a = fit.Records[1];
  a.lower = 10000, a.value = 25000, a.upper = 1e7;
  ParameterRecord& tau = fit.Records[2];
  tau.lower = 150, tau.value = 200, tau.upper = 1000;
  fit.GNIter = 40;
  fit.PrintInterval = 1;
  fit.Step = 0.025;
  fit.Damp = 0.1;
  fit.NumDerivMode = 0;
  auto model = [&fit](double& Y, double& W, double& F, int32_t point, int32_t stage) {
    ExpDecayTestModel(fit, Y, W, F, point, stage);
  };
  fit.Fit(model, NoProgress);
  PrintFitResults(fit);
  double ymax = 0;
  PrintTextGraph(fit, model, ymax);
  PrintCorrelationMatrix(fit);
  TSpectrum* s1 = SpectrumAt(1);
  TSpectrum* s2 = SpectrumAt(2);
  TSpectrum* s3 = SpectrumAt(3);
  if (!s1 || !s2 || !s3) return;
  for (int32_t k = 1; k <= ExpDecayPoints; ++k) {
    double Y = 0, W = 0, F = 0;
    model(Y, W, F, k, 4);
    const int32_t c = k + ExpDecayFirstChannel - 1;
    s2->Y[c] = F / 2;
    s3->Y[c] = s1->Y[c] - s2->Y[c];
  }
}
