// The Rietveld profile against an independent computation (tools/gen_profile_golden.py): gemmi's
// structure factors, scipy's Lorentz and Gauss densities and numpy's Legendre background, on
// time-of-flight and angular spectra; and the peak positions against the physical constant and
// exact trigonometry.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

const std::string DataDir = VKEST_SOURCE_DIR "/tests/crystal/data";

// A case of the generator: the rows of each phase (their numbers after the key) and the rest.
struct GoldenPhase {
  std::vector<double> phase, metric, records;  // k group setting cell dmin dmax volume; k G1..G6; k S W0 W1 W2
  std::vector<TestAtom> atoms;
  int32_t reflections = 0, multiplicities = 0;
};

struct GoldenProfile {
  ProfileSpectrum spectrum;
  int32_t shape = 0, law = 0;
  bool extinction = false;
  std::vector<double> global;
  std::vector<GoldenPhase> phases;
  std::vector<std::array<double, 3>> points;  // channel, F, background
};

GoldenProfile ReadProfile(const std::filesystem::path& path) {
  GoldenProfile g;
  ProfileSpectrum& s = g.spectrum;
  for (const Tokens& t : TokenRows(path)) {
    std::vector<double> v;  // the numbers after the key; a text as NaN
    for (size_t i = 1; i < t.size(); ++i) v.push_back(NAN), TokenNumber(t[i], v.back());
    const std::string& key = t[0];
    const auto phase = [&]() -> GoldenPhase& { return g.phases.at(int32_t(v.at(0)) - 1); };
    if (key == "axis") s.axis = int32_t(v.at(0));
    if (key == "range") s.first = int32_t(v.at(0)), s.last = int32_t(v.at(1));
    if (key == "header") s.chanWidth = v.at(0), s.flightPath = v[1], s.theta = v[2], s.lambda = v[3], s.slope = v[4];
    if (key == "header") s.offset = v.at(5);
    if (key == "shape") g.shape = int32_t(v.at(0));
    if (key == "law") g.law = int32_t(v.at(0));
    if (key == "extinction") g.extinction = v.at(0) == 1;
    if (key == "global") g.global = v;
    if (key == "phase") g.phases.emplace_back().phase = v;
    if (key == "metric") phase().metric = v;
    if (key == "records") phase().records = v;
    if (key == "hkl") ++phase().reflections, phase().multiplicities += int32_t(v.at(4));
    if (key == "point") g.points.push_back({v.at(0), v.at(1), v.at(2)});
    if (key == "atom") {
      TestAtom a{v.at(1), v.at(2), v.at(3), v.at(4), v.at(5), {}, t.at(7) == "iso"};
      std::copy_n(v.begin() + 7, a.isotropic ? 1 : 6, a.t.begin());
      phase().atoms.push_back(a);
    }
  }
  return g;
}

std::vector<std::filesystem::path> ProfileFiles(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.rfind("profile_golden_", 0) == 0 && n != "profile_golden_positions.txt") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

using ProfileGolden = ProfileTest;

TEST_F(ProfileGolden, ProfileMatchesIndependentModel) {
  const auto files = ProfileFiles(DataDir);
  ASSERT_GE(files.size(), 7u);
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const GoldenProfile g = ReadProfile(file);
    ASSERT_FALSE(g.points.empty());
    SetUpProfileSpectrum(g.spectrum);
    PhaseCount = static_cast<int32_t>(g.phases.size());
    MainMode = 0, WidthMode = g.law;
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const std::vector<double>& v = g.phases[p - 1].phase;
      const GoldenPhase& gp = g.phases[p - 1];
      ASSERT_TRUE(SetUpPhase(p, int32_t(v.at(1)), int32_t(v.at(2)), {v.at(3), v[4], v[5], v[6], v[7], v[8]}, gp.atoms));
      EXPECT_EQ(FormProfileReflections(p, v.at(9), v.at(10)), gp.reflections);  // gemmi's orbits
      int32_t m = 0;
      for (const THklRecord& r : PhaseReflections(p)) m += r.Multiplicity;
      EXPECT_EQ(m, gp.multiplicities);
      SetShape(p + 1, g.shape);
    }
    LayOutProfileParameters();
    for (int32_t i = 1; i <= 10; ++i) SetRecord(i, g.global.at(i - 1));
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const GoldenPhase& gp = g.phases[p - 1];
      for (int32_t i = 1; i <= 6; ++i) SetRecord(MetricRecord(p, i), gp.metric.at(i));
      SetRecord(ScaleRecord(p), gp.records.at(1));
      for (int32_t i = 0; i < 3; ++i) SetRecord(WidthRecord(p, i), gp.records.at(2 + i));
      // Record base+10 free as a width (angular, law 3) or for extinction: a free width is never
      // an extinction coefficient (a W2 in the widths of law 3 gives the case tof_zno_law3).
      if (!(g.spectrum.axis == AxisAngular || g.law == 3 || g.extinction)) FixRecord(WidthRecord(p, 2));
    }
    // The position and its derivatives take the wavelength from record 1 alone.
    if (g.spectrum.axis == AxisAngular) CurrentProfileSpectrum().Lambda = 1.1 * g.global[0];
    double peak = 0;
    for (const auto& pt : g.points) peak = std::max(peak, pt[1] - pt[2]);
    int failures = 0;
    for (const auto& [c, expected, bg] : g.points) {
      double y = 0, w = 0, f = 0;
      RietveldModel(y, w, f, int32_t(c) - g.spectrum.first + 1, 1);
      // Lorentz: both sides evaluate the same closed forms, a few ulps per term. Gauss: the
      // table's quadratic interpolation and its area normalisation move the value by up to about
      // 8e-5 of the maximum (the table ends at 1.889 FWHM, where the density is 5e-5 of it).
      const double tol = g.shape == ModelLorentz ? 1e-10 * std::fabs(expected) : 2e-4 * peak;
      const bool ok = std::fabs(f - expected) <= tol && std::fabs(ModelOutput[0] - bg) <= 1e-12 * std::fabs(bg) &&
                      ModelOutput[1] == f;
      if (!ok && ++failures <= 5)
        ADD_FAILURE() << "channel " << c << ": F " << f << " expected " << expected << " (tol " << tol << "), bg "
                      << ModelOutput[0] << " expected " << bg;
    }
  }
}

// One reflection (powder match, intensity 1e6, Lorentz of half width 3, no background): 1/F is a
// parabola in the channel with its vertex at the position as long as width and Lorentz factor
// stay constant, so three stage-4 values find it (angular: the three in one channel, whose
// angle gives the Lorentz factor). Time of flight against 2 m_n / h, angular against
// 2 asin(lambda / 2d).
TEST_F(ProfileGolden, TimeOfFlightAndAngularPositionsFollowPhysics) {
  const auto rows = GoldenRows("profile_golden_positions.txt", "crystal");
  ASSERT_FALSE(rows.empty());
  ASSERT_EQ(rows[0][0], "constant");
  // 2 m_n / h against the program's 505.556: 1.6e-6 apart.
  EXPECT_NEAR(std::stod(rows[0][1]), TofConstant, 2e-6 * TofConstant);
  int tof = 0, angular = 0;
  for (const Tokens& t : rows) {
    if (t[0] != "tof" && t[0] != "angular") continue;
    SCOPED_TRACE(t[0] + " row " + std::to_string(tof + angular + 1));
    std::vector<double> v;
    for (size_t i = 1; i < t.size(); ++i) v.push_back(std::stod(t[i]));
    const bool isTof = t[0] == "tof";
    ProfileSpectrum s{.first = 1, .last = isTof ? 6000 : 1900};
    if (isTof) s.chanWidth = v[0], s.flightPath = v[1], s.theta = v[2], s.delay = v[3];
    else s.axis = AxisAngular, s.lambda = v[0], s.delay = v[1], s.slope = 10, s.offset = -50;
    SetUpProfileSpectrum(s);
    const double d = v[isTof ? 4 : 2], expected = v[isTof ? 5 : 3];
    MainMode = 2;
    ASSERT_TRUE(SetUpPhase(1, 221, 1, {d, d, d, 90, 90, 90}, {IsoAtom(1, 0, 0, 0)}));
    PhaseTable[1].ReflectionCount = 1;
    HklTable[1][1] = THklRecord{};
    HklTable[1][1].h = 1, HklTable[1][1].Multiplicity = 1, HklTable[1][1].d = d;
    SetShape(2, ModelLorentz);
    LayOutProfileParameters();  // record 3 keeps the spectrum's delay or zero shift
    for (int32_t i = 4; i <= 10; ++i) SetRecord(i, 0);
    for (int32_t i = 1; i <= 6; ++i) SetRecord(MetricRecord(1, i), i == 1 ? 1 / (d * d) : 0.0);
    SetRecord(WidthRecord(1, 0), 3), SetRecord(IntensityRecord(1, 1), 1e6);
    const double c0 = isTof ? expected : std::floor(s.slope * expected + s.offset);
    const double c[3] = {c0 + (isTof ? -1.3 : 0.1), c0 + (isTof ? 0.4 : 0.5), c0 + (isTof ? 2.1 : 0.9)};
    double y[3];
    ModelSpectrum = 1;
    for (int i = 0; i < 3; ++i) y[i] = 1 / ModelAt(&RietveldModel, c[i], true);
    const double s1 = (y[1] - y[0]) / (c[1] - c[0]), s2 = (y[2] - y[1]) / (c[2] - c[1]);
    const double a = (s2 - s1) / (c[2] - c[0]), pos = -(s1 - a * (c[0] + c[1])) / (2 * a);
    if (isTof) {
      // The model's constant is 505.556, 1.6e-6 below CODATA's 2 m_n / h.
      EXPECT_NEAR(pos, expected, 2e-6 * std::fabs(expected + s.delay));
      ++tof;
    } else {
      // Degrees through 57.29578 per radian, 8.5e-9 above the exact value.
      EXPECT_NEAR((pos - s.offset) / s.slope, expected, 2e-8 * expected);
      ++angular;
    }
  }
  EXPECT_EQ(tof, 12);
  EXPECT_EQ(angular, 8);
}

// A re-run (another gemmi, numpy, scipy or libm) moves each term by rounding only: a channel sums
// at most a hundred terms, so 1e-12 of the case's largest value bounds the change of a profile
// point; the other numbers are closed forms, 1e-12 relative.
TEST_F(ProfileGolden, GeneratorRerunMatchesTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("numpy, scipy, gemmi, periodictable");
  const std::filesystem::path dir = TestTempPath("profile_golden");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_profile_golden.py", dir.string()), 0);
  auto fresh = ProfileFiles(dir), committed = ProfileFiles(DataDir);
  fresh.push_back(dir / "profile_golden_positions.txt");
  committed.push_back(std::filesystem::path(DataDir) / "profile_golden_positions.txt");
  ASSERT_EQ(fresh.size(), committed.size());
  for (size_t i = 0; i < fresh.size(); ++i) {
    ASSERT_EQ(fresh[i].filename(), committed[i].filename());
    const auto rows = TokenRows(committed[i]);
    double largest = 0;
    for (const Tokens& t : rows)
      if (t[0] == "point") largest = std::max(largest, std::fabs(std::stod(t[2])));
    const auto tolerance = [&](const Tokens& row, size_t col) {
      double x = 0;
      if (!TokenNumber(row[col], x)) return std::nan("");
      return row[0] == "point" ? 1e-12 * largest : 1e-12 * std::fabs(x);
    };
    const auto mismatches = TokenMismatches(TokenRows(fresh[i]), rows, tolerance);
    EXPECT_TRUE(mismatches.empty()) << committed[i].filename() << "\n" << JoinLines(mismatches);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
