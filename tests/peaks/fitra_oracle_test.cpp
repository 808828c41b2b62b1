// Fitra from the search list against outside fitters on seeded spectra (tools/peak_fit_oracles.py):
// scipy's least_squares on the same model, bounds and start, and Fityk (cfityk) on the same peaks.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include "core/toolbox.h"
#include "fitra_setup.h"
#include "support/temp_path.h"

namespace {

struct ScipyResult {
  double chi2 = NAN;
  struct Free {
    double value, error;
    bool active;
  };
  std::map<int32_t, Free> free;  // by record
  bool AnyActive() const {
    for (const auto& [k, f] : free)
      if (f.active) return true;
    return false;
  }
};

class FitraOracleTest : public FitraTest {
protected:
  std::string Temp(const std::string& name) const { return TestTempPath(name).string(); }

  int32_t Python(const std::string& args) const {
    const std::string tool = std::string(VKEST_SOURCE_DIR) + "/tools/peak_fit_oracles.py";
    return std::system((std::string(VKEST_PYTHON) + " '" + tool + "' " + args).c_str());
  }

  // The seeded spectrum as spectrum 1 (channels 1..1000, the working range), its true peaks.
  std::vector<std::vector<double>> LoadSeeded(int32_t seed) {
    const std::string out = Temp("oracle_spectrum" + std::to_string(seed));
    EXPECT_EQ(Python("spectrum '" + out + "' " + std::to_string(seed)), 0);
    TSpectrum& sp = Sp();
    std::vector<std::vector<double>> peaks;
    for (const Tokens& row : TokenRows(out)) {
      const std::vector<double> v = Numbers(row);
      if (row[0] == "point") sp.Y[static_cast<int32_t>(v[0])] = v[1], sp.E[static_cast<int32_t>(v[0])] = v[2];
      if (row[0] == "peak") peaks.push_back(v);
    }
    sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = 1000;
    return peaks;
  }

  // The dialog's way: the search with widths 6 and 12 at the ends, every peak of model 1, the
  // peak array with a linear background.
  void SearchAndPrepare() {
    TSpectrum& sp = Sp();
    sp.W0 = 6, sp.W1 = 12, sp.Dw0 = 4, sp.BackgroundDegree = 1;
    FindPeaks(sp, 1, 1000, sp.W0, sp.W1, sp.Dw0);
    for (int32_t i = 1; i <= MarkedPointCount; ++i) MarkedPointModels[i] = 1;
    MainMode = ParameterArrayMode = FitraMode, UsedPeakModelCount = 1;
    TidyMarkedPoints(1, 1000);
    FitParameters->NPar = BuildPeakArray(sp);
  }

  // The array in parar with the spectrum and the shape table, for the scipy oracle.
  void WriteProblem(const std::string& path) {
    std::ofstream f(path);
    f.precision(17);
    const TPeakModel& shape = *PeakModels[2];
    f << "range 1 1000\ntable " << shape.HalfWidth << " " << shape.HalfPoints;
    for (int32_t i = 0; i <= 2 * shape.HalfPoints + 2; ++i) f << " " << shape.Shape[i];
    f << "\npeaks " << MarkedPointCount << "\nwidths " << (WidthMode == -1 ? "own" : "law") << "\n";
    for (int32_t c = 1; c <= 1000; ++c) f << "point " << c << " " << Sp().Y[c] << " " << Sp().E[c] << "\n";
    for (int32_t k = 1; k <= FitParameters->NPar; ++k)
      f << "record " << k << " " << parar[k].lower << " " << parar[k].value << " " << parar[k].upper << "\n";
  }

  ScipyResult Scipy() {
    const std::string problem = Temp("oracle_problem"), out = Temp("oracle_scipy");
    WriteProblem(problem);
    ScipyResult r;
    if (Python("scipy '" + problem + "' '" + out + "'") != 0) return r;
    for (const Tokens& row : TokenRows(out)) {
      const std::vector<double> v = Numbers(row);
      if (row[0] == "chi2") r.chi2 = v[0];
      if (row[0] == "free") r.free[static_cast<int32_t>(v[0])] = {v[1], v[2], v[3] != 0};
    }
    return r;
  }

  // Sum of ((y - F) / e)^2 over the working range at the engine's values.
  static double ChiSquare() {
    double chi2 = 0, y = 0, w = 0, f = 0;
    for (int32_t p = 1; p <= 1000; ++p) PeakFitModel(y, w, f, p, 1), chi2 += (y - f) * (y - f) * w;
    return chi2;
  }
};

}  // namespace

// From the search list and the prepared start, the fit ends where scipy's bounded least squares
// ends: chi2 within 1e-6. Where no bound holds scipy's optimum, every free value and error is
// within 1e-3 of scipy's standard deviation; where the two optimisers stop further apart (chi2
// apart by more than 1e-9) values and errors agree to 0.05 sigma.
// Positions allowed only 0.2 channels from the search's make bounds hold that optimum.
TEST_F(FitraOracleTest, SearchListFitReachesScipysConstrainedOptimum) {
  VKEST_REQUIRE_PYTHON("numpy, scipy");
  for (const auto& [seed, deltaPosition] : {std::pair{11, 5.0}, {12, 5.0}, {13, 5.0}, {11, 0.2}}) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << ", positions within " << deltaPosition);
    LoadSeeded(seed);
    DeltaPosition[1] = deltaPosition;
    SearchAndPrepare();
    ASSERT_GE(MarkedPointCount, 18);
    const ScipyResult oracle = Scipy();
    ASSERT_FALSE(oracle.free.empty());
    FitFromArray(FitParameters->NPar);
    const double chi2 = ChiSquare();
    EXPECT_NEAR(chi2, oracle.chi2, 1e-6 * oracle.chi2);
    EXPECT_EQ(oracle.AnyActive(), deltaPosition < 1);
    if (oracle.AnyActive()) continue;
    const double sigmas = std::fabs(chi2 - oracle.chi2) < 1e-9 * oracle.chi2 ? 1e-3 : 0.05;
    for (const auto& [k, ref] : oracle.free) {
      const ParameterRecord& r = FitParameters->Records[k];
      EXPECT_NEAR(r.value, ref.value, sigmas * ref.error) << k;
      EXPECT_NEAR(r.Error, ref.error, sigmas * ref.error) << k;
    }
  }
}

// Fityk 1.3 (cfityk) fits the same spectrum from the same start with the same model: a straight
// background and a Gaussian of its own height, centre and width per peak (the program's Gauss of
// unit area has the height A s(0) and the half width w / 2). Positions, heights and widths agree
// within 0.05 of the program's standard deviations.
TEST_F(FitraOracleTest, FitykFitsTheSameSpectrumAlike) {
  if (std::system("command -v cfityk > /dev/null 2>&1") != 0) {
    if (OraclesRequired()) FAIL() << "oracle missing: cfityk (Debian package fityk)";
    GTEST_SKIP() << "oracle missing: cfityk (Debian package fityk)";
  }
  VKEST_REQUIRE_PYTHON("numpy");
  LoadSeeded(11);
  WidthMode = -1;
  SearchAndPrepare();
  const int32_t n = MarkedPointCount;
  ASSERT_GE(n, 18);
  const double top = PeakModels[2]->Shape[PeakModels[2]->HalfPoints + 1];  // s(0)
  const std::string data = Temp("fityk_data.dat"), script = Temp("fityk_script.fit"), out = Temp("fityk_out.txt");
  {
    std::ofstream d(data);
    d.precision(17);
    for (int32_t c = 1; c <= 1000; ++c) d << c << " " << Sp().Y[c] << " " << Sp().E[c] << "\n";
    std::ofstream f(script);
    f.precision(17);
    f << "set verbosity = -1\nset autoplot = 0\nset numeric_format = '%.15g'\n"
      << "set lm_stop_rel_change = 1e-15\nset max_wssr_evaluations = 100000\n"
      << "@0 < " << data << ":1:2:3:\n";
    // b0 + b1 u with u = (2x - 1001) / 999 as a0 + a1 x.
    f << "F += Linear(~" << parar[1].value - parar[2].value * 1001 / 999 << ", ~" << parar[2].value * 2 / 999 << ")\n";
    for (int32_t i = 1; i <= n; ++i)
      f << "F += Gaussian(~" << parar[AmplitudeRecord(n, i)].value * top << ", ~" << parar[PositionRecord(n, i)].value
        << ", ~" << parar[WidthW0Record(n, i)].value / 2 << ")\n";
    f << "fit\nfit\n";
    for (int32_t i = 1; i <= n; ++i)
      f << "print 'peak', %_" << i + 1 << ".height, %_" << i + 1 << ".center, %_" << i + 1 << ".hwhm\n";
  }
  ASSERT_EQ(std::system(("timeout 120 cfityk -q '" + script + "' > '" + out + "' 2>&1").c_str()), 0);
  std::vector<std::vector<double>> fityk;
  for (const Tokens& row : TokenRows(out))
    if (row[0] == "peak" && row.size() == 4) fityk.push_back(Numbers(row));
  ASSERT_EQ(fityk.size(), static_cast<size_t>(n)) << ReadWholeFile(out);

  FitFromArray(FitParameters->NPar);
  const TParameter& fit = *FitParameters;
  for (int32_t i = 1; i <= n; ++i) {
    const ParameterRecord &a = fit.Records[AmplitudeRecord(n, i)], &p = fit.Records[PositionRecord(n, i)],
                          &w = fit.Records[WidthW0Record(n, i)];
    ASSERT_TRUE(a.value > a.lower && p.value > p.lower && p.value < p.upper && w.value > w.lower && w.value < w.upper)
        << "a bound holds peak " << i;
    EXPECT_NEAR(fityk[i - 1][0], a.value * top, 0.05 * a.Error * top) << i;
    EXPECT_NEAR(fityk[i - 1][1], p.value, 0.05 * p.Error) << i;
    EXPECT_NEAR(2 * fityk[i - 1][2], w.value, 0.05 * w.Error) << i;
  }
}
