// Models, data and a runner shared by the fit engine and fit report tests. A model reads its
// parameters from records 1..k and writes F and their derivatives; the golden problems come from
// tools/gen_fit_golden.py (tests/core/data/fit_golden.txt).
#pragma once
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include "core/fit_engine.h"

using FitGoldenData = std::map<std::string, std::map<std::string, std::vector<double>>>;

// Blocks "problem NAME" ... "end"; inside, a key and its values per line.
inline FitGoldenData ParseFitGolden(std::istream&& in) {
  FitGoldenData g;
  std::string line, problem, key;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    if (!(words >> key) || key[0] == '#' || key == "end") continue;
    if (key == "problem" && words >> problem) continue;
    std::vector<double>& v = g[problem][key];
    for (double x = 0; words >> x;) v.push_back(x);  // the C locale: "." decimals
  }
  return g;
}

inline const FitGoldenData& FitGolden() {
  static const FitGoldenData g =
      ParseFitGolden(std::ifstream(std::string(VKEST_SOURCE_DIR) + "/tests/core/data/fit_golden.txt"));
  return g;
}
inline const std::vector<double>& Golden(const std::string& problem, const std::string& key) {
  return FitGolden().at(problem).at(key);
}

inline double Rel(double a, double b) { return std::fabs(a - b) / std::max(std::fabs(b), 1e-300); }

using FitModel = std::function<void(TParameter&, double x, double& F)>;

// p1 + p2 x + ... with one coefficient per record of the fit.
inline void Polynomial(TParameter& f, double x, double& F) {
  F = 0;
  double xp = 1;
  for (int32_t k = 1; k <= f.NPar; ++k, xp *= x) F += f.Records[k].value * (f.Records[k].Derivative = xp);
}

// b1 (1 - exp(-b2 x)): NIST Misra1a and BoxBOD.
inline void ExpRise(TParameter& f, double x, double& F) {
  double b1 = f.Records[1].value, e = std::exp(-f.Records[2].value * x);
  F = b1 * (1 - e);
  f.Records[1].Derivative = 1 - e;
  f.Records[2].Derivative = b1 * x * e;
}

// a exp(-x / tau) + c
inline void Expo3(TParameter& f, double x, double& F) {
  double a = f.Records[1].value, tau = f.Records[2].value, e = std::exp(-x / tau);
  F = a * e + f.Records[3].value;
  f.Records[1].Derivative = e;
  f.Records[2].Derivative = a * e * x / (tau * tau);
  f.Records[3].Derivative = 1;
}

// amp exp(-((x - centre) / width)^2) + b0 + b1 x
inline void Gauss5(TParameter& f, double x, double& F) {
  const double amp = f.Records[1].value, u = (x - f.Records[2].value) / f.Records[3].value;
  const double e = std::exp(-u * u);
  F = amp * e + f.Records[4].value + f.Records[5].value * x;
  f.Records[1].Derivative = e;
  f.Records[2].Derivative = amp * e * 2 * u / f.Records[3].value;
  f.Records[3].Derivative = amp * e * 2 * u * u / f.Records[3].value;
  f.Records[4].Derivative = 1;
  f.Records[5].Derivative = x;
}

struct FitProblem { std::vector<double> x, y, sigma; FitModel model; };

inline FitProblem Misra1a() {
  return {{77.6, 114.9, 141.1, 190.8, 239.9, 289.0, 332.8, 378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0},
          {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02, 44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78},
          std::vector<double>(14, 1.0), ExpRise};
}
inline FitProblem BoxBod() {
  return {{1, 2, 3, 5, 7, 10}, {109, 149, 149, 191, 213, 224}, {1, 1, 1, 1, 1, 1}, ExpRise};
}
inline FitProblem GoldenProblem(const std::string& name, FitModel model) {
  return {Golden(name, "x"), Golden(name, "y"), Golden(name, "sigma"), std::move(model)};
}

// One fit of a problem with W = 1 / sigma^2: undamped full steps, no accuracy stop, 100 iterations.
// The hook may change Y, W, F and the derivatives of a point after the model.
class FitRun {
public:
  FitRun(FitProblem problem, int32_t npar, int32_t nmat = 20)
      : p(std::move(problem)), fit(npar, static_cast<int32_t>(p.x.size()), nmat) {
    fit.SetFitDefaults();
    fit.ResetParameterRecords();
    fit.Damp = 0, fit.Step = 1, fit.EpsReq = -1, fit.FunctionalLimit = -1, fit.GNIter = 100;
  }
  void Start(const std::vector<double>& v) { for (size_t i = 0; i < v.size(); ++i) fit.Records[i + 1].value = v[i]; }
  void Bounds(int32_t i, double lower, double upper) { fit.Records[i].lower = lower, fit.Records[i].upper = upper; }
  void Run() {
    fit.Fit(
        [this](double& Y, double& W, double& F, int32_t point, int32_t) {
          const size_t k = static_cast<size_t>(point - 1);
          Y = p.y[k], W = 1 / (p.sigma[k] * p.sigma[k]);
          p.model(fit, p.x[k], F);
          if (hook) hook(point, Y, W, F, fit);
        },
        [this](int32_t) { if (progress) progress(); });
  }
  double Value(int32_t i) const { return fit.Records[i].value; }
  double Error(int32_t i) const { return fit.Records[i].Error; }
  double Rss() const { return fit.ChiDf * fit.DegreesOfFreedom; }

  FitProblem p;
  TParameter fit;
  std::function<void(int32_t point, double& Y, double& W, double& F, TParameter&)> hook;
  std::function<void()> progress;
};
