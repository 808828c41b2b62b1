// The numerical library against independent references: golden values written by
// tools/gen_numeric_golden.py (math.erf, scipy.stats.norm, scipy's natural cubic spline and
// Savitzky-Golay coefficients, numpy.fft, numpy.linalg, numpy.median, numpy.polyfit and a
// plain-Python twin of the generator), one line per key: "key count value ...".
#include <gtest/gtest.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include "core/number_format.h"
#include "core/numeric_library.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
using GoldenTable = std::map<std::string, std::vector<double>>;
const std::string GoldenPath = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/numeric_golden.txt";

GoldenTable ReadGolden(const std::string& path) {
  GoldenTable table;
  std::ifstream in(path);
  std::string line, key, tok;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ss(line);
    size_t count = 0;
    ss >> key >> count;
    auto& values = table[key];
    double x;  // a bad number ends the line early, and the count tells
    while (ss >> tok && std::from_chars(tok.data(), tok.data() + tok.size(), x).ptr == tok.data() + tok.size())
      values.push_back(x);
    EXPECT_EQ(values.size(), count) << key;
  }
  return table;
}

// The committed values; a missing key fails the test that asks for it.
const std::vector<double>& Golden(const std::string& key) {
  static GoldenTable table = ReadGolden(GoldenPath);
  EXPECT_TRUE(table.count(key)) << "golden key missing: " << key;
  return table[key];  // empty when missing
}

// values into a[1..] of a 1-based array.
void Load1(double* a, const std::vector<double>& values) { std::copy(values.begin(), values.end(), a + 1); }

// How far a fresh run of tools/gen_numeric_golden.py may move the committed value v of key;
// scale is the largest |value| of the key.
double FreshTolerance(const GoldenTable& committed, const std::string& key, double v, double scale) {
  constexpr double eps = std::numeric_limits<double>::epsilon();
  auto is = [&](const char* prefix) { return key.rfind(prefix, 0) == 0; };
  if (is("inv3_i") || is("inv3_det")) {
    // LU with pivoting of a 3 by 3 matrix: rounding of kappa eps, kappa = |m| |m^-1| (Frobenius).
    const char k = key.back();
    double m2 = 0, i2 = 0;
    for (double x : committed.at(std::string("inv3_m") + k)) m2 += x * x;
    for (double x : committed.at(std::string("inv3_i") + k)) i2 += x * x;
    return 8 * std::sqrt(m2 * i2) * eps * (is("inv3_i") ? scale : std::fabs(v));
  }
  // The smoothers: band and dense systems whose weights span 1e-6 to 1, kappa up to 1.3e6, so
  // kappa eps = 3e-10 of the key's scale (their inputs env_y, sa_y are counts: exact).
  if ((is("env_") || is("sa_")) && key != "env_y" && key != "sa_y") return 1e-9 * scale;
  // Splines (tridiagonal systems), Savitzky-Golay least squares and FFTs: kappa below 10 and at
  // most a hundred terms per value.
  if (is("spline4_v") || is("table_v") || is("savgol_d") || is("savgol_filtered") ||
      (is("fft_") && key.find("_in_") == std::string::npos))
    return 1e-13 * scale;
  if (is("line_fit") || is("side_fit")) return 1e-13 * std::fabs(v);  // centred straight lines, kappa < 10
  if (is("norm_")) return 16 * eps * std::fabs(v);  // scipy's erfc, numpy's vector exp: a few ulps
  // m m^T + 1: the BLAS kernel of the machine sums the three products in its own order (and
  // with or without fused multiply-adds), a few ulps of the largest element.
  if (key == "inv3_m3") return 4 * eps * scale;
  // Inputs and the Python twins: IEEE arithmetic and libm's log, exp and erf, an ulp or two.
  return 4 * eps * std::fabs(v);
}

// f(x) against y over the golden abscissae xs.
template <class F> void ExpectCurve(const std::string& xs, const std::string& ys, F f, double tol) {
  const auto &x = Golden(xs), &y = Golden(ys);
  ASSERT_EQ(x.size(), y.size()) << ys;
  for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(f(x[i]), y[i], tol) << ys << " at " << x[i];
}
}  // namespace

TEST(NumericGolden, CommittedValuesMatchAFreshRun) {
  VKEST_REQUIRE_PYTHON("numpy, scipy");
  const auto out = TestTempPath("numeric_golden.txt");
  ASSERT_EQ(RunTool("gen_numeric_golden.py", out.string()), 0);
  GoldenTable fresh = ReadGolden(out.string()), committed = ReadGolden(GoldenPath);
  std::filesystem::remove(out);
  ASSERT_EQ(fresh.size(), committed.size());
  for (const auto& [key, values] : committed) {
    ASSERT_EQ(fresh[key].size(), values.size()) << key;
    double scale = 0;
    for (double v : values) scale = std::max(scale, std::fabs(v));
    for (size_t i = 0; i < values.size(); ++i)
      EXPECT_NEAR(fresh[key][i], values[i], FreshTolerance(committed, key, values[i], scale)) << key << "[" << i << "]";
  }
}

TEST(NumericGolden, GeneratorFollowsItsPublishedRecurrence) {
  ASSERT_TRUE(SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2));
  // z = 493972830 - 615096481 + 2147483562 = 2026359911 after the first step.
  EXPECT_EQ(Random01(), 0.9435973904241444);
  EXPECT_EQ(RandomSeeds.s1, 493972830);
  EXPECT_EQ(RandomSeeds.s2, 615096481);
  for (double v : {0.9083188493579499, 0.1466878273459326, 0.5147019439036514, 0.4058096365784955})
    EXPECT_EQ(Random01(), v);
  // A million draws: the state, the last value and the moments of the Python twin.
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  const int count = 1000000;
  std::vector<double> r(count);
  for (double& x : r) x = Random01();
  const auto& g = Golden("random_after_1e6");  // s1, s2, last value, mean, variance
  EXPECT_EQ((std::vector<double>{double(RandomSeeds.s1), double(RandomSeeds.s2), r.back()}),
            std::vector<double>(g.begin(), g.begin() + 3));
  double mean = 0, var = 0;
  for (double x : r) mean += x / count;
  for (double x : r) var += (x - mean) * (x - mean) / count;
  // Uniform on (0, 1): mean 1/2 +- 2.9e-4, variance 1/12 +- 7.5e-5 (one sigma), never 0 or 1.
  EXPECT_NEAR(mean, 0.5, 5 * 2.9e-4);
  EXPECT_NEAR(var, 1.0 / 12.0, 5 * 7.5e-5);
  EXPECT_GT(*std::min_element(r.begin(), r.end()), 0.0);
  EXPECT_LT(*std::max_element(r.begin(), r.end()), 1.0);
  // The deviates drawn from it: the first Gaussian pair, and -ln(u) / rate with rate 2.
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  double g1, g2;
  GaussianPair(g1, g2);
  EXPECT_EQ((std::vector<double>{g1, g2, double(RandomSeeds.s1), double(RandomSeeds.s2)}),
            Golden("gaussian_first_pair"));
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  EXPECT_DOUBLE_EQ(ExponentialDeviate(2.0), Golden("exponential_first_rate2")[0]);
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
}

TEST(NumericGolden, ErfNormalDistributionAndSpline) {
  ExpectCurve("erf_x", "erf_y", Erf, 3e-7);  // the 60-term series is good to 2e-7 up to 3.9
  double p, d;
  // Linear interpolation of a five-digit table: within 5e-4 of Phi; the density to 7 digits.
  ExpectCurve("norm_x", "norm_p", [&](double x) { return NormalDistribution(p, d, x), p; }, 5e-4);
  ExpectCurve("norm_x", "norm_d", [&](double x) { return NormalDistribution(p, d, x), d; }, 4e-8);
  NormalDistribution(p, d, 0.3);  // a node hit exactly, although 3 * 0.1 != 0.3
  EXPECT_EQ(p, 0.5 + 0.11791);
  // Tables as InterpolateTable reads them, ordinates then abscissae: four points, and twelve.
  for (std::string k : {"spline4_", "table_"}) {
    std::vector<double> t = {0.0};
    t.insert(t.end(), Golden(k + "y").begin(), Golden(k + "y").end());
    t.insert(t.end(), Golden(k + "x").begin(), Golden(k + "x").end());
    const int32_t n = static_cast<int32_t>(t.size() / 2);
    ExpectCurve(k + "q", k + "v", [&](double x) { return InterpolateTable(t.data(), 2 * n, n, p, x), p; }, 1e-12);
  }
}

TEST(NumericGolden, SavitzkyGolayCoefficientsAndFilter) {
  // The response to a unit impulse at i-2..i+2 is the coefficient of that point.
  const std::vector<double>* c[] = {&Golden("savgol_d0"), &Golden("savgol_d1"), &Golden("savgol_d2")};
  for (int k = 0; k < 5; ++k) {
    std::fill(ScratchArray1, ScratchArray1 + 21, 0.0);
    ScratchArray1[8 + k] = 1.0;
    double d[3];
    LocalDerivatives(20, 10, d[0], d[1], d[2]);
    for (int order = 0; order < 3; ++order) EXPECT_NEAR(d[order], (*c[order])[k], 1e-15) << order << " " << k;
  }
  // One filter pass: savgol_filter away from the two end points on each side.
  const auto &y = Golden("savgol_y"), &f = Golden("savgol_filtered");
  const int n = static_cast<int>(y.size());
  Load1(ScratchArray1, y);
  SmoothingFilter(n, 1, 0, 3.0, 0);
  for (int i = 3; i <= n - 2; ++i) EXPECT_NEAR(ScratchArray1[i], f[i - 1], 1e-11) << i;
}

TEST(NumericGolden, FourierTransformAgainstNumpy) {
  // numpy.fft.fft / N forward, N ifft back. Products of two factors, and primes: 31 takes the 30
  // points of 5 x 6, 13 given as 1 x 13 uses them all.
  struct Case { int n, k1, k2, wantK1, wantK2; };
  for (Case c : {Case{10, 0, 0, 2, 5}, {12, 0, 0, 2, 6}, {30, 0, 0, 5, 6}, {31, 0, 0, 5, 6},
                 {5, 0, 0, 1, 5}, {13, 1, 13, 1, 13}, {64, 0, 0, 8, 8}, {100, 0, 0, 10, 10}}) {
    std::string key = "fft_" + std::to_string(c.n) + "_" + std::to_string(c.k1) + "_" + std::to_string(c.k2);
    for (std::string way : {"_fwd", "_inv"}) {
      SCOPED_TRACE(key + way);
      Load1(WorkArrays[5], Golden(key + "_in_re"));
      Load1(WorkArrays[6], Golden(key + "_in_im"));
      int32_t k1 = c.k1, k2 = c.k2;
      FourierTransform(c.n, k1, k2, way == "_fwd" ? 1.0 : -1.0);
      EXPECT_EQ(std::pair(k1, k2), std::pair(c.wantK1, c.wantK2));
      const auto &re = Golden(key + way + "_re"), &im = Golden(key + way + "_im");
      ASSERT_EQ(re.size(), static_cast<size_t>(k1 * k2));
      for (size_t k = 0; k < re.size(); ++k) {
        EXPECT_NEAR(WorkArrays[7][k + 1], re[k], 1e-13 * (1 + c.n)) << k;
        EXPECT_NEAR(WorkArrays[8][k + 1], im[k], 1e-13 * (1 + c.n)) << k;
      }
    }
  }
}

class NumericGoldenFits : public ScriptedTest {};

TEST_F(NumericGoldenFits, InverseMedianAndLineFits) {
  // numpy.linalg.inv and det; the symmetric mode on the symmetric matrix 3.
  for (auto [k, mode] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}}) {
    const std::string s = std::to_string(k);
    const auto &m = Golden("inv3_m" + s), &inv = Golden("inv3_i" + s);
    for (int i = 0; i < 9; ++i) WorkMatrix[i / 3 + 1][i % 3 + 1] = m[i];
    int32_t ok;
    double det;
    Invert3x3(ok, mode, det);
    EXPECT_EQ(ok, 1);
    EXPECT_NEAR(det, Golden("inv3_det" + s)[0], 1e-12 * std::fabs(det)) << s;
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(WorkMatrix[i / 3 + 1][i % 3 + 1], inv[i], 1e-12 * (1 + std::fabs(inv[i])));
  }
  for (int n : {15, 16, 1, 2}) {  // numpy.median
    std::vector<double> a(n + 1);
    Load1(a.data(), Golden("median_a" + std::to_string(n)));
    double median;
    Median(a.data(), n, n, median);
    EXPECT_DOUBLE_EQ(median, Golden("median_m" + std::to_string(n))[0]) << n;
  }
  // numpy.polyfit with weights sqrt(w); its covariance is scaled by chi2 / (n - 2).
  const auto &x = Golden("line_x"), &y = Golden("line_y"), &w = Golden("line_w");
  const int n = static_cast<int>(x.size());
  for (int i = 0; i < n; ++i) LineFitPoints[i + 1] = {x[i], y[i], w[i]};
  TLineFit r;
  FitStraightLine(n, 0, r, "Linear log fit", LogFile);
  EXPECT_EQ(r.ok, 1);
  const double got[] = {r.slope, r.level, r.x0, r.slopeError, r.levelError, r.chi};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], Golden("line_fit")[i], 1e-12) << i;
  auto lines = LogLines();
  ASSERT_EQ(lines.size(), 4u + n);  // title, chi, parameters, errors, one line per point
  EXPECT_EQ(lines[1], "    chi, chi+ = " + FormatNumber(10, 2, r.chi) + FormatNumber(6, 2, r.chiPlus));
}

// The smoothers against the same systems solved densely by scipy (tools/gen_numeric_golden.py):
// this checks the sweeps and the pairwise block elimination, not the choice of the system.
// FitLineToSideRanges against numpy.polyfit over indices 3..7 and 30..36.
TEST(NumericGolden, SmoothersAgreeWithDenseSolvesAndSideRangesWithPolyfit) {
  auto expectRun = [](const std::string& key, double q1, double q2) {
    const auto& want = Golden(key);
    for (size_t i = 0; i < want.size(); ++i)
      EXPECT_NEAR(ScratchArray2[i + 1], want[i], 1e-11 * (1 + std::fabs(want[i]))) << key << " " << i + 1;
    EXPECT_NEAR(q1, Golden(key + "_q")[0], 1e-10 * Golden(key + "_q")[0]) << key;
    EXPECT_NEAR(q2, Golden(key + "_q")[1], 1e-10 * Golden(key + "_q")[1]) << key;
  };
  struct Envelope { const char* key; int32_t passes; double smoother; };
  for (Envelope e : {Envelope{"env_smooth1", 1, -0.05}, {"env_smooth3", 3, -0.05}, {"env_lower1", 1, 0.05},
                     {"env_lower4", 4, 0.01}}) {
    Load1(ScratchArray1, Golden("env_y"));
    LowerEnvelope(static_cast<int32_t>(Golden("env_y").size()), e.passes, 0.5, 0.5, e.smoother);
    expectRun(e.key, EnvelopeMisfit, EnvelopeRoughness);
  }
  for (auto [key, smoother] : {std::pair{"sa_50", 50.0}, {"sa_1", 1.0}, {"sa_002", 0.02}}) {
    Load1(ScratchArray1, Golden("sa_y"));
    double fit, roughness;
    SmoothArray(static_cast<int32_t>(Golden("sa_y").size()), 0, fit, roughness, smoother);
    expectRun(key, fit, roughness);
  }
  std::vector<double> y(41);
  Load1(y.data(), Golden("side_y"));
  double x0, slope, level;
  FitLineToSideRanges(y.data(), 40, 3, x0, slope, level, 7, 30, 36);
  const auto& want = Golden("side_fit");
  EXPECT_NEAR(x0, want[0], 1e-12);
  EXPECT_NEAR(slope, want[1], 1e-12);
  EXPECT_NEAR(level, want[2], 1e-12);
}
