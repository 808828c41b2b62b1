// The least-squares engine against certified NIST StRD results, scipy and numpy references
// (tools/gen_fit_golden.py), identities of the algorithm, and bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include "core/abandon.h"
#include "core/number_format.h"
#include "fit_test_models.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
using Strings = std::vector<std::string>;
using Ints = std::vector<int32_t>;
const double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();

bool AllFinite(const FitRun& r) {
  bool ok = std::isfinite(r.fit.ChiDf);
  for (int32_t i = 1; i <= std::min(r.fit.NPar, r.fit.RecordCapacity()); ++i)
    ok = ok && std::isfinite(r.Value(i)) && std::isfinite(r.Error(i));
  return ok;
}

// y = 1 + x / 2 on x = 1..10, to be fitted with a quadratic.
FitProblem Line() {
  return {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 5.5, 6}, std::vector<double>(10, 1.0),
          Polynomial};
}
}  // namespace

// Undamped, from both certified starts: the parameters, the RSS and Error * sqrt(chi2/df) (the
// errors are absolute) are the certified values.
TEST(FitNist, CertifiedResultsFromTheCertifiedStarts) {
  struct Case { FitProblem (*problem)(); std::vector<double> start, certified; };  // b1, b2, sd1, sd2, rss
  const std::vector<double> misra{238.94212918, 5.5015643181E-04, 2.7070075241, 7.2668688436E-06, 0.12455138894};
  const std::vector<double> boxbod{213.80940889, 0.54723748542, 12.354515176, 0.10455993237, 1168.0088766};
  for (const Case& c :
       {Case{Misra1a, {500, 1e-4}, misra}, Case{Misra1a, {250, 5e-4}, misra}, Case{BoxBod, {100, 0.75}, boxbod}}) {
    SCOPED_TRACE(c.start[0]);
    FitRun r(c.problem(), 2);
    r.Start(c.start);
    r.Run();
    EXPECT_TRUE(r.fit.Status == 1 && r.fit.Conv == 1 && r.fit.MatInv == 1);
    for (int32_t i = 1; i <= 2; ++i) {
      EXPECT_LT(Rel(r.Value(i), c.certified[i - 1]), 1e-8);
      EXPECT_LT(Rel(r.Error(i) * std::sqrt(r.fit.ChiDf), c.certified[i + 1]), 1e-7);
    }
    EXPECT_LT(Rel(r.Rss(), c.certified[4]), 1e-8);
  }
}

// curve_fit(absolute_sigma=True) gives the values and the errors, least_squares('trf') with bounds
// the optimum with the second parameter on its upper bound. Where that parameter is correlated
// with the others (expo_bound), the clamped steps stop short of trf's optimum for them.
TEST(FitScipy, GoldenProblems) {
  struct Case { const char* name; FitModel model; std::vector<double> start; int32_t compressed; bool onlyBound; };
  const std::vector<double>& expo = Golden("expo3", "start");
  for (const Case& c : {Case{"expo3", Expo3, expo, 0, false}, Case{"expo3", Expo3, expo, 1, false},
                        Case{"bound_quad", Polynomial, {0, 0, 0}, 0, false},
                        Case{"expo_bound", Expo3, expo, 0, true}}) {
    SCOPED_TRACE(c.name);
    const int32_t n = static_cast<int32_t>(c.start.size());
    const bool bounded = FitGolden().at(c.name).count("lower") != 0;
    FitRun r(GoldenProblem(c.name, c.model), n);
    r.Start(c.start);
    r.fit.CompressedMatrix = c.compressed;
    for (int32_t i = 1; i <= n && bounded; ++i)
      r.Bounds(i, Golden(c.name, "lower")[i - 1], Golden(c.name, "upper")[i - 1]);
    r.Run();
    EXPECT_EQ(r.fit.ParOnB, bounded ? 1 : 0);
    for (int32_t i = c.onlyBound ? 2 : 1; i <= (c.onlyBound ? 2 : n); ++i) {
      EXPECT_LT(Rel(r.Value(i), Golden(c.name, "params")[i - 1]), 1e-8) << i;
      if (!bounded) { EXPECT_LT(Rel(r.Error(i), Golden(c.name, "errors")[i - 1]), 1e-7) << i; }
    }
    EXPECT_TRUE(bounded ? r.Value(2) == Golden(c.name, "upper")[1] : Rel(r.Rss(), Golden(c.name, "chi2")[0]) < 1e-10);
  }
}

TEST(FitScipy, GoldenFileIsWhatTheScriptWrites) {
  const std::string out = TestTempPath("fit_golden.txt");
  if (access(VKEST_PYTHON, X_OK) != 0) GTEST_SKIP() << "no python3";
  const int status = std::system((VKEST_PYTHON " " VKEST_SOURCE_DIR "/tools/gen_fit_golden.py " + out).c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "numpy or scipy missing";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const FitGoldenData live = ParseFitGolden(std::ifstream(out));
  std::filesystem::remove(out);
  ASSERT_EQ(live.size(), FitGolden().size());
  for (const auto& [problem, items] : FitGolden())
    for (const auto& [key, values] : items) {
      const std::vector<double>& now = live.at(problem).at(key);
      ASSERT_EQ(now.size(), values.size()) << problem << " " << key;
      for (size_t k = 0; k < values.size(); ++k)
        EXPECT_NEAR(now[k], values[k], 1e-9 * std::max(1.0, std::fabs(values[k]))) << problem << " " << key;
    }
}

// A polynomial (linear in its coefficients) against numpy.linalg.lstsq: one undamped step lands
// on the solution; GNIter 0 is the final pass alone at the start values; constant weights (from
// the second iteration on) give the unweighted solution, while the final pass keeps the weights.
TEST(FitLinear, StepsAndFinalPassAgainstLstsq) {
  struct Case { int32_t gnIter; uint8_t constantWeights; const char* result; };
  for (const Case& c : {Case{1, 0, "params"}, Case{0, 0, "params"}, Case{2, 1, "unweighted"}}) {
    SCOPED_TRACE(c.gnIter);
    FitRun r(GoldenProblem("poly4", Polynomial), 4);
    if (c.gnIter == 0) r.Start(Golden("poly4", "params"));
    r.fit.GNIter = c.gnIter, r.fit.ConstantWeights = c.constantWeights;
    r.Run();
    EXPECT_TRUE(r.fit.Iterations == c.gnIter && r.fit.DegreesOfFreedom == 41 - 4);
    for (int32_t i = 1; i <= 4; ++i) {
      EXPECT_LT(Rel(r.Value(i), Golden("poly4", c.result)[i - 1]), c.constantWeights ? 1e-9 : 1e-10) << i;
      EXPECT_LT(Rel(r.Error(i), Golden("poly4", "errors")[i - 1]), 1e-10) << i;
      if (c.gnIter == 0) { EXPECT_EQ(r.Value(i), Golden("poly4", "params")[i - 1]); }
    }
    if (!c.constantWeights) { EXPECT_LT(Rel(r.Rss(), Golden("poly4", "chi2")[0]), 1e-10); }
  }
}

// NumDerivMode 2: the final pass of a small full-order fit uses the full Hessian from finite
// differences (step 1/128); numpy's analytic Hessian gives the errors.
TEST(FitLinear, FinalPassWithSecondDerivatives) {
  FitRun r(GoldenProblem("expo3", Expo3), 3);
  r.Start(Golden("expo3", "params"));
  r.fit.GNIter = 0, r.fit.NumDerivMode = 2;
  r.Run();
  for (int32_t i = 1; i <= 3; ++i) EXPECT_LT(Rel(r.Error(i), Golden("expo3", "hessian_errors")[i - 1]), 1e-4) << i;
}

// Full and compressed order differ only by identity rows (fixed or folded records), so they do
// the same operations on the same numbers. Records 4..12 are unused: in full order whole groups
// of zero derivatives are passed over. The fixed record 3 keeps its value bit for bit.
TEST(FitMetamorphic, FullAndCompressedOrderAreIdentical) {
  for (bool dependent : {false, true}) {
    std::unique_ptr<FitRun> runs[2];
    for (int32_t compressed : {0, 1}) {
      FitRun& r = *(runs[compressed] = std::make_unique<FitRun>(GoldenProblem("expo3", Expo3), 12));
      r.Start({6, 4, 1.4375});
      for (int32_t i = 3; i <= 12; ++i) r.Bounds(i, r.Value(i), r.Value(i));
      if (dependent) r.Bounds(4, -1e15, 1e15), r.fit.Records[4].n = 2, r.fit.Records[4].a = 2, r.fit.Records[4].b = 1;
      r.fit.GNIter = 30, r.fit.CompressedMatrix = compressed;
      r.Run();
      EXPECT_EQ(r.fit.DegreesOfFreedom, 30 - 2);
      EXPECT_TRUE(r.Value(3) == 1.4375 && r.Error(3) == 0);
    }
    for (int32_t i = 1; i <= 4; ++i) {
      EXPECT_EQ(runs[0]->Value(i), runs[1]->Value(i)) << i;
      EXPECT_EQ(runs[0]->Error(i), runs[1]->Error(i)) << i;
    }
    EXPECT_EQ(runs[0]->fit.ChiDf, runs[1]->fit.ChiDf);
    if (dependent) { EXPECT_EQ(runs[0]->Value(4), 2 * runs[0]->Value(2) + 1); }
  }
}

// A record tied to another (c = a amp + b) fits like the model with the tie written in.
TEST(FitMetamorphic, DependentRecordEqualsHandSubstitution) {
  const double a = 0.125, b = 0.25;
  FitModel written = [&](TParameter& f, double x, double& F) {
    f.Records[3].value = a * f.Records[1].value + b;  // read by Expo3; not a record of this fit
    Expo3(f, x, F);
    f.Records[1].Derivative += a;
  };
  for (int32_t compressed : {0, 1}) {
    FitRun tied(GoldenProblem("expo3", Expo3), 3), hand(GoldenProblem("expo3", written), 3);
    tied.fit.Records[3].n = 1, tied.fit.Records[3].a = a, tied.fit.Records[3].b = b;
    hand.fit.NPar = 2;
    for (FitRun* r : {&tied, &hand}) r->Start({6, 4}), r->fit.CompressedMatrix = compressed, r->Run();
    for (int32_t i = 1; i <= 2; ++i) {
      EXPECT_LT(Rel(tied.Value(i), hand.Value(i)), 1e-11) << i;
      EXPECT_LT(Rel(tied.Error(i), hand.Error(i)), 1e-9) << i;
    }
    EXPECT_TRUE(tied.Value(3) == a * tied.Value(1) + b && tied.Error(3) == a * tied.Error(1) &&
                tied.fit.DegreesOfFreedom == hand.fit.DegreesOfFreedom);
    EXPECT_LT(Rel(tied.fit.ChiDf, hand.fit.ChiDf), 1e-12);
  }
}

// Skip 3 over 10 points: 1, 4, 7, 10, then 2, 5, 8, then 3, 6, 9, then 1 again; the final pass
// uses every point; the degrees of freedom count the thinned points. The stop request, set during
// the fourth iteration, ends the iterations after it.
TEST(FitMetamorphic, SkipRotatesTheStartPoint) {
  FitRun r(Line(), 2);
  std::vector<Ints> sweeps(1);
  Ints dof;
  r.fit.Skip = 3, r.fit.Damp = 0.5;
  r.hook = [&](int32_t point, double&, double&, double&, TParameter&) { sweeps.back().push_back(point); };
  r.progress = [&] {
    dof.push_back(r.fit.DegreesOfFreedom), sweeps.emplace_back(), r.fit.StopRequest = dof.size() == 4;
  };
  r.Run();
  EXPECT_EQ(sweeps, (std::vector<Ints>{{1, 4, 7, 10}, {2, 5, 8}, {3, 6, 9}, {1, 4, 7, 10},
                                       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {}}));
  EXPECT_EQ(dof, (Ints{1, 1, 1, 1, 8}));
  EXPECT_EQ(r.fit.Skip, 3);
}

// A constant fitted to 1, 2, 3, 4, 100, 5, 6: kind 1 (modulus) converges to the median 4 with
// S = sum |r| = 105; at 0, kind 0 gives S = sum |r|^1/2, and kind 2 with Delta 10, Beta 1 weighs
// the residual 100 by 2 / (10^2 + 1).
TEST(FitMetamorphic, WeightingKinds) {
  struct Case { int32_t kind, gnIter; double value, s; };
  const double roots = 1 + std::sqrt(2.0) + std::sqrt(3.0) + 2 + 10 + std::sqrt(5.0) + std::sqrt(6.0);
  for (const Case& c : {Case{1, 200, 4.0, 105}, Case{0, 0, 0, roots}, Case{2, 0, 0, 91 + 1e4 * 2 / 101}}) {
    SCOPED_TRACE(c.kind);
    FitRun r({std::vector<double>(7, 0), {1, 2, 3, 4, 100, 5, 6}, std::vector<double>(7, 1), Polynomial}, 1);
    r.fit.FittingKind = c.kind, r.fit.GNIter = c.gnIter, r.fit.Delta = 10, r.fit.Beta = 1;
    r.Run();
    EXPECT_NEAR(r.Value(1), c.value, 1e-5);
    EXPECT_NEAR(r.Rss(), c.s, 1e-3);
  }
}

// Fault F3: forward differences shift and divide by the same step (value / 1024, at least 1e-6
// in size), so the constant that starts at 0 moves and the fit is the analytic one.
TEST(FitMetamorphic, NumericalDerivativesAgreeWithAnalytic) {
  FitRun r(GoldenProblem("expo3", Expo3), 3);
  r.Start({6, 4, 0});
  r.fit.NumDerivMode = 1, r.fit.GNIter = 60;
  r.Run();
  for (int32_t i = 1; i <= 3; ++i) {
    EXPECT_LT(Rel(r.Value(i), Golden("expo3", "params")[i - 1]), 1e-4) << i;
    EXPECT_LT(Rel(r.Error(i), Golden("expo3", "errors")[i - 1]), 3e-2) << i;  // first order in the step
  }
}

class FitFaults : public ScriptedTest {};

// Fault F1: on a rise, modes 1 and 2 go back to the last accepted values, so neither ends above
// the best functional it accepted; mode 2 damps harder and reaches the certified BoxBOD minimum
// even where free iteration diverges. Fault F2: that divergence (exp overflows) ends as a clean
// failure without NaN. The doubled damping and the halved step last only for the fit (F5).
TEST_F(FitFaults, RisesGoBackToTheLastAcceptedPoint) {
  struct Case { int32_t mode; std::vector<double> start; bool converges; };
  for (const Case& c : {Case{2, {1, 1}, true}, Case{2, {300, 0.1}, true}, Case{2, {100, 0.75}, true},
                        Case{1, {300, 0.1}, false}, Case{0, {1, 1}, false}}) {
    SCOPED_TRACE(std::to_string(c.mode) + " from " + std::to_string(c.start[0]));
    FitRun r(BoxBod(), 2);
    r.Start(c.start);
    r.fit.ConvergenceMode = c.mode, r.fit.Damp = c.mode == 0 ? 0 : 0.001, r.fit.GNIter = 300;
    double best = 1e300;
    r.progress = [&] { best = r.fit.ChiDf <= r.fit.PrevFunctional ? std::min(best, r.fit.ChiDf) : best; };
    r.Run();
    EXPECT_TRUE(AllFinite(r));
    EXPECT_EQ(r.fit.Status == 1 && r.fit.Conv == 1, c.converges);
    if (c.mode != 0) { EXPECT_LE(r.fit.ChiDf, best * (1 + 1e-12)); }
    if (c.converges) { EXPECT_LT(Rel(r.Rss(), 1.1680088766E+03), 1e-9); }
    EXPECT_TRUE(r.fit.Damp == (c.mode == 0 ? 0 : 0.001) && r.fit.Step == 1);
  }
  // A last step that overflows (BoxBOD from (1, 1), one iteration) is measured only by the final
  // pass: both modes go back to the accepted start; mode 0 reports the overflow as a failure.
  for (int32_t mode : {0, 2}) {
    SCOPED_TRACE(mode);
    ui.Clear();
    FitRun r(BoxBod(), 2);
    r.Start({1, 1});
    r.fit.ConvergenceMode = mode, r.fit.Damp = 0.001, r.fit.GNIter = 1;
    r.Run();
    EXPECT_TRUE(r.Value(1) == 1 && r.Value(2) == 1 && AllFinite(r) && r.Error(1) > 0 && r.fit.MatInv == 1);
    EXPECT_EQ(r.fit.Status, mode == 2 ? 1 : 0);
    EXPECT_EQ(ui.Messages().size(), mode == 2 ? 0u : 1u);
  }
  // With thinned sweeps the first rise sets Skip to 1; the accepted point measured afresh on all
  // points is the new reference (odd points 0, even 10: the odd ones alone fit the start).
  FitRun r(Line(), 1);
  r.fit.ConvergenceMode = 2, r.fit.Skip = 2, r.fit.Damp = 0.01, r.fit.GNIter = 50;
  r.hook = [](int32_t point, double& Y, double&, double&, TParameter&) { Y = point % 2 ? 0 : 10; };
  r.Run();
  EXPECT_NEAR(r.Value(1), 5, 1e-9);
}

// Fault F4: a thinned sweep whose points all have weight 0 decides nothing; the fit goes on to
// the next start instead of stopping at its start values (damped zero matrix, step 0, chi2 0, Eps 0).
TEST_F(FitFaults, ThinnedSweepOfZeroWeightsIsNotConvergence) {
  FitRun r(Line(), 3);
  r.fit.Skip = 2, r.fit.Damp = 1e-9, r.fit.EpsReq = 1e10, r.fit.FunctionalLimit = 1e10;
  r.hook = [](int32_t point, double&, double& W, double&, TParameter&) { W = 1 - point % 2; };  // odd points 0
  r.Run();
  EXPECT_TRUE(r.fit.Status == 1 && r.fit.Iterations == 2);
  EXPECT_NEAR(r.Value(1), 1, 1e-6);
  EXPECT_NEAR(r.Value(2), 0.5, 1e-6);
}

// Faults F2, F5 and F6 with the other bad input, in every convergence mode: each case shows its
// message and ends as a failed fit with finite values (or as the right fit where the input can be
// taken as meant), and the controls are what they were before the fit.
TEST_F(FitFaults, BadInput) {
  enum Outcome { Fits, Fails, Abandons };
  using Hook = std::function<void(int32_t, double&, double&, double&, TParameter&)>;
  struct Case { const char* what; std::function<void(TParameter&)> setup; Hook hook; Strings messages;
                Outcome outcome; };
  const Strings wrong{"Wrong parameter array"}, nonFinite{"NaN or overflow in the fit.Fit stopped"};
  auto at7 = [](auto spoil) -> Hook {
    return [spoil](int32_t point, double& Y, double& W, double& F, TParameter&) { if (point == 7) spoil(Y, W, F); };
  };
  auto none = [](TParameter&) {};
  const std::vector<Case> cases = {
      {"negative link", [](TParameter& f) { f.Records[2].n = -1; }, nullptr, wrong, Fails},
      {"zero link", [](TParameter& f) { f.Records[2].n = 0; }, nullptr, wrong, Fails},
      {"forward link", [](TParameter& f) { f.Records[2].n = 3; }, nullptr, wrong, Fails},
      {"forward link to a fixed record",
       [](TParameter& f) { f.Records[2].n = 3, f.Records[3].lower = f.Records[3].upper = 1; }, nullptr, wrong, Fails},
      {"chained dependent", [](TParameter& f) { f.Records[2].n = 1, f.Records[3].n = 2; }, nullptr, wrong, Fails},
      {"zero multiplier", [](TParameter& f) { f.Records[3].a = 0; }, nullptr, wrong, Fails},
      {"NaN bound", [](TParameter& f) { f.Records[1].upper = kNaN; }, nullptr, wrong, Fails},
      {"no points", [](TParameter& f) { f.NPoints = 0; }, nullptr, {"N points= 0  N pars= 3"}, Fails},
      {"more records than created", [](TParameter& f) { f.NPar = 4; }, nullptr, {"N points= 10  N pars= 4"}, Fails},
      {"no free record", [](TParameter& f) { f.NPar = 1, f.CompressedMatrix = 1, f.Records[1].upper = -1e15; }, nullptr,
       {}, Fails},  // record 1 fixed: upper = lower
      {"NaN data", none, at7([](double& Y, double&, double&) { Y = kNaN; }), nonFinite, Fails},
      {"infinite weight", none, at7([](double&, double& W, double&) { W = kInf; }), nonFinite, Fails},
      {"NaN weight", none, at7([](double&, double& W, double&) { W = kNaN; }), nonFinite, Fails},
      {"infinite model", none, at7([](double&, double&, double& F) { F = kInf; }), nonFinite, Fails},
      {"all weights zero", none, [](int32_t, double&, double& W, double&, TParameter&) { W = 0; },
       {"All errors=0.Fit stopped"}, Abandons},
      {"singular matrix", [](TParameter& f) { f.Damp = 0; },
       [](int32_t, double&, double&, double&, TParameter& f) { f.Records[3].Derivative = f.Records[2].Derivative; }, {},
       Fails},
      {"crossed bounds", [](TParameter& f) { f.Records[2].lower = 5, f.Records[2].upper = -5; }, nullptr, {}, Fits},
      {"negative weights", none, [](int32_t, double&, double& W, double&, TParameter&) { W = -W; }, {}, Fits},
      {"a second fit from inside the fit", none,  // as from the window messages the model lets through
       [](int32_t, double&, double&, double&, TParameter& f) {
         f.Fit([](double&, double&, double&, int32_t, int32_t) {}, NoProgress);
       }, {"The fit is already running"}, Abandons},
  };
  for (const Case& c : cases) {
    for (int32_t mode : {0, 1, 2}) {
      SCOPED_TRACE(std::string(c.what) + ", mode " + std::to_string(mode));
      ui.Clear();
      FitRun r(Line(), 3, mode);  // mode 0, 1, 2 also as the matrix order given at creation
      r.fit.ConvergenceMode = mode, r.fit.Skip = 2, r.fit.Damp = 0.001;
      c.setup(r.fit);
      r.hook = c.hook;
      const TFitControls before = r.fit.Controls();
      EXPECT_EQ(RunUserCommand([&] { r.Run(); }), c.outcome != Abandons);
      EXPECT_EQ(ui.Messages(), c.messages);
      EXPECT_TRUE(AllFinite(r));
      if (c.outcome != Fits) { EXPECT_FALSE(r.fit.Status == 1 && r.fit.Conv == 1 && r.fit.MatInv == 1); }
      if (c.outcome == Fits) {  // mode 1 may stop at a rise at round-off level, with Status 0
        EXPECT_TRUE(r.fit.Conv == 1 && r.fit.MatInv == 1);
        for (int32_t i = 1; i <= 3; ++i) EXPECT_NEAR(r.Value(i), (std::vector<double>{1, 0.5, 0})[i - 1], 1e-9) << i;
      }
      EXPECT_TRUE(r.fit.Skip == before.Skip && r.fit.Step == before.Step && r.fit.Damp == before.Damp &&
                  r.fit.FunctionalLimit == before.FunctionalLimit);
    }
  }
}


class FitTexts : public ScriptedTest {};

// Every trace of one iteration and the final pass, on a constant fitted to 1 and 3 from 0 (one
// undamped step to 2: S = 10, C = 1/2, step 2, FofCorr 1, q = sqrt 2, Eps = 2^(1/4) sqrt 4); the
// numerical derivatives equal the analytic 1. Then a record tied to a fixed one: it becomes
// independent and fixed, with the warning, and compression leaves one row.
TEST_F(FitTexts, TracesAndStatusTexts) {
  FitRun r({{0, 0}, {1, 3}, {1, 1}, Polynomial}, 1);
  TFitControls& k = r.fit;
  k.GNIter = 1, k.PrintInterval = 1, k.ShowIterationMessage = k.TraceInverse = k.TraceDerivatives = 1;
  k.DerivativeCheck = k.ListFinalPoints = k.TraceDiagonal = k.TraceFofCorr = 1;
  r.Run();
  const std::string maxDiff = ".... Max der. diff. =      0.000    1", deriv = "       1.0000  deriv",
                    iter = "  chi2=    10.00   Eps= ", controls = " Step=  1.000 Damp=  0.000000";
  EXPECT_EQ(LogLines(), (Strings{maxDiff, deriv, "        1.0000", maxDiff, deriv, "        2.0000",
                                 "Iter.=    1" + iter + "*****" + controls, "      0.0000",
                                 ".... Inverse LS matrix + vector  norm.c.=       1.0000000", " 0.5000", "", "  4.000",
                                 "FofCorr=       1.00", "Diag=          4.0000    1.4142         2.3784    10.000",
                                 "Iter.=    2" + iter + "  2.4" + controls, "      2.0000", maxDiff, deriv,
                                 "        1.0000", "    1      1.00      2.00      1.00      1.00", maxDiff, deriv,
                                 "        2.0000", "    2      3.00      2.00      1.00      1.00"}));
  EXPECT_EQ(ui.Messages(), Strings{"0      10.0000-1"});

  FitRun tied({{0, 0}, {1, 3}, {1, 1}, Polynomial}, 3);
  tied.Start({0, 5});
  tied.Bounds(2, 5, 5), tied.fit.Records[3].n = 2, tied.fit.CompressedMatrix = 1;
  tied.Run();
  EXPECT_TRUE(tied.fit.Records[3].n == 3 && tied.Value(3) == 5 && tied.fit.NFree == 1 && tied.Value(1) == 2);
  EXPECT_EQ(tied.fit.CompressionNote + "|" + tied.fit.ContradictionWarning,
            ".... Compression: from    3  to    1|Warning! Fixing and dependence contradiction removed");
}

// Record values and derivatives wrap five to a line; in compressed order only the free records
// (here all but the fixed record 3) are traced.
TEST_F(FitTexts, TracesWrapFiveToALine) {
  auto numbers = [](int32_t width, std::vector<int32_t> values, const std::string& end = "") {
    std::string line;
    for (int32_t v : values) line += FormatNumber(width, 4, v);
    return line + end;
  };
  for (int32_t compressed : {0, 1}) {
    LogFile.RewriteToMemory("log");
    TParameter fit(7, 1, 7);
    fit.ResetParameterRecords();
    fit.PrintInterval = 1, fit.TraceDerivatives = 1, fit.CompressedMatrix = compressed;
    for (int32_t i = 1; i <= 7; ++i) fit.Records[i].value = i;
    fit.Records[3].lower = fit.Records[3].upper = 3;
    fit.PrepareFit();
    fit.ClearNormalEquations();
    for (int32_t i = 1; i <= 7; ++i) fit.Records[i].Derivative = 10 * i;
    fit.AccumulatePoint(1, 0, 0);
    fit.PrintIteration(1);
    const Strings lines = LogLines();
    const Strings deriv =
        compressed ? Strings{numbers(13, {10, 20, 40, 50, 60}, "  deriv"), numbers(13, {70}, "  deriv")}
                   : Strings{numbers(13, {10, 20, 30, 40, 50}, "  deriv"), numbers(13, {60, 70}, "  deriv")};
    EXPECT_EQ(Strings(lines.begin(), lines.begin() + 2), deriv);
    EXPECT_EQ(Strings(lines.begin() + 3, lines.end()), (Strings{numbers(12, {1, 2, 3, 4, 5}), numbers(12, {6, 7})}));
  }
}
