// The Rietveld profile against an independent computation (tools/gen_profile_golden.py): gemmi's
// structure factors, scipy's Lorentz and Gauss densities and numpy's Legendre background, on
// time-of-flight and angular spectra; and the peak positions against the physical constant and
// exact trigonometry.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <string>
#include <vector>
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

struct GoldenPhase {
  int32_t group = 0, setting = 0;
  std::array<double, 6> cell{};
  double dmin = 0, dmax = 0, volume = 0;
  double metric[6] = {};
  double scale = 0, w[3] = {};
  std::vector<TestAtom> atoms;
  int32_t reflections = 0, multiplicities = 0;
};

struct GoldenPoint {
  int32_t c = 0;
  double f = 0, bg = 0;
};

struct GoldenProfile {
  std::string name;
  int32_t axis = 0, first = 0, last = 0, shape = 0, law = 0;
  bool extinction = false;
  ProfileSpectrum spectrum;
  double global[10] = {};
  std::vector<GoldenPhase> phases;
  std::vector<GoldenPoint> points;
};

const std::string DataDir = VKEST_SOURCE_DIR "/tests/crystal/data";

GoldenProfile ReadProfile(const std::filesystem::path& path) {
  GoldenProfile g;
  for (const Tokens& t : TokenRows(path)) {
    const auto num = [&](size_t i) { return std::stod(t.at(i)); };
    const auto phase = [&]() -> GoldenPhase& { return g.phases.at(std::stoi(t.at(1)) - 1); };
    if (t[0] == "case") {
      g.name = t.at(1);
    } else if (t[0] == "axis") {
      g.axis = g.spectrum.axis = std::stoi(t.at(1));
    } else if (t[0] == "range") {
      g.first = g.spectrum.first = std::stoi(t.at(1));
      g.last = g.spectrum.last = std::stoi(t.at(2));
    } else if (t[0] == "header") {
      ProfileSpectrum& s = g.spectrum;
      s.chanWidth = num(1), s.flightPath = num(2), s.theta = num(3), s.lambda = num(4);
      s.slope = num(5), s.offset = num(6);
    } else if (t[0] == "shape") {
      g.shape = std::stoi(t.at(1));
    } else if (t[0] == "law") {
      g.law = std::stoi(t.at(1));
    } else if (t[0] == "extinction") {
      g.extinction = t.at(1) == "1";
    } else if (t[0] == "global") {
      for (int i = 0; i < 10; ++i) g.global[i] = num(1 + i);
    } else if (t[0] == "phase") {
      GoldenPhase p;
      p.group = std::stoi(t.at(2)), p.setting = std::stoi(t.at(3));
      for (int i = 0; i < 6; ++i) p.cell[i] = num(4 + i);
      p.dmin = num(10), p.dmax = num(11), p.volume = num(12);
      g.phases.push_back(p);
    } else if (t[0] == "metric") {
      for (int i = 0; i < 6; ++i) phase().metric[i] = num(2 + i);
    } else if (t[0] == "records") {
      phase().scale = num(2);
      for (int i = 0; i < 3; ++i) phase().w[i] = num(3 + i);
    } else if (t[0] == "atom") {
      TestAtom a;
      a.b = num(2), a.x = num(3), a.y = num(4), a.z = num(5), a.occ = num(6);
      a.isotropic = t.at(7) == "iso";
      for (size_t i = 0; i < (a.isotropic ? 1u : 6u); ++i) a.t[i] = num(8 + i);
      phase().atoms.push_back(a);
    } else if (t[0] == "hkl") {
      ++phase().reflections;
      phase().multiplicities += std::stoi(t.at(5));
    } else if (t[0] == "point") {
      g.points.push_back({std::stoi(t.at(1)), num(2), num(3)});
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

class ProfileGolden : public ProfileTest {
protected:
  // The case's spectrum, phases, lists, switches and records, the records put exactly as the
  // generator used them.
  void SetUpCase(const GoldenProfile& g) {
    SetUpProfileSpectrum(g.spectrum);
    PhaseCount = static_cast<int32_t>(g.phases.size());
    MainMode = 0;
    WidthMode = g.law;
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const GoldenPhase& gp = g.phases[p - 1];
      ASSERT_TRUE(SetUpPhase(p, gp.group, gp.setting, gp.cell, gp.atoms));
      // The same orbits as gemmi's: counts and summed multiplicities.
      EXPECT_EQ(FormProfileReflections(p, gp.dmin, gp.dmax), gp.reflections) << g.name;
      int32_t m = 0;
      for (const THklRecord& r : PhaseReflections(p)) m += r.Multiplicity;
      EXPECT_EQ(m, gp.multiplicities) << g.name;
      SetPhaseShape(p, g.shape);
    }
    LayOutProfileParameters();
    for (int32_t i = 1; i <= 10; ++i) SetRecord(i, g.global[i - 1]);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const GoldenPhase& gp = g.phases[p - 1];
      SetRecord(ScaleRecord(p), gp.scale);
      for (int32_t i = 1; i <= 6; ++i) SetRecord(MetricRecord(p, i), gp.metric[i - 1]);
      for (int32_t i = 0; i < 3; ++i) SetRecord(WidthRecord(p, i), gp.w[i]);
      // Record base+10 is free wherever it is a width (angular, law 3) and for extinction;
      // a free width never acts as an extinction coefficient.
      const bool isWidth = g.axis == AxisAngular || g.law == 3;
      if (isWidth || g.extinction)
        FreeRecord(WidthRecord(p, 2));
      else
        FixRecord(WidthRecord(p, 2));
    }
    // The position and its derivatives take the wavelength from record 1 alone.
    if (g.axis == AxisAngular) CurrentProfileSpectrum().Lambda = 1.1 * g.global[0];
  }
};

TEST_F(ProfileGolden, ProfileMatchesIndependentModel) {
  const auto files = ProfileFiles(DataDir);
  ASSERT_GE(files.size(), 7u);
  for (const auto& file : files) {
    const GoldenProfile g = ReadProfile(file);
    SCOPED_TRACE(g.name);
    ASSERT_FALSE(g.points.empty());
    SetUpCase(g);
    if (HasFatalFailure()) return;
    double peak = 0;
    for (const GoldenPoint& pt : g.points) peak = std::max(peak, pt.f - pt.bg);
    int failures = 0;
    for (const GoldenPoint& pt : g.points) {
      double y = 0, w = 0, f = 0;
      RietveldModel(y, w, f, pt.c - g.first + 1, 1);
      // Lorentz: both sides evaluate the same closed forms, a few ulps per term. Gauss: the
      // table's quadratic interpolation and its area normalisation move the value by up to about
      // 8e-5 of the maximum (the table ends at 1.889 FWHM, where the density is 5e-5 of it).
      const double tol = g.shape == ModelLorentz ? 1e-10 * std::fabs(pt.f) : 2e-4 * peak;
      const bool ok = std::fabs(f - pt.f) <= tol && std::fabs(ModelOutput[0] - pt.bg) <= 1e-12 * std::fabs(pt.bg) &&
                      ModelOutput[1] == f;
      if (!ok && ++failures <= 5)
        ADD_FAILURE() << "channel " << pt.c << ": F " << f << " expected " << pt.f << " (diff " << f - pt.f
                      << ", tol " << tol << "), bg " << ModelOutput[0] << " expected " << pt.bg;
    }
  }
}

// The position of a single reflection (powder match, intensity 1e6, Lorentz of half width 3 with
// no background): 1/F is a parabola in the channel with its vertex at the position, exactly, as
// long as the width and the Lorentz factor stay constant; three stage-4 values find it. Angular
// spectra take the Lorentz factor and the width from the point's channel, so the three lie in one
// channel.
class ProfilePosition : public ProfileTest {
protected:
  void SetUpSingleReflection(double d) {
    MainMode = 2;
    ASSERT_TRUE(SetUpPhase(1, 221, 1, {d, d, d, 90, 90, 90}, {IsoAtom(1, 0, 0, 0)}));
    PhaseTable[1].ReflectionCount = 1;
    HklTable[1][1] = THklRecord{};
    HklTable[1][1].h = 1, HklTable[1][1].Multiplicity = 1, HklTable[1][1].d = d;
    SetPhaseShape(1, ModelLorentz);
    LayOutProfileParameters();
    SetRecord(2, 0);  // record 3 keeps the spectrum's delay or zero shift
    for (int32_t i = 4; i <= 10; ++i) SetRecord(i, 0);
    SetRecord(ScaleRecord(1), 1);
    for (int32_t i = 1; i <= 6; ++i) SetRecord(MetricRecord(1, i), i == 1 ? 1 / (d * d) : 0.0);
    SetRecord(WidthRecord(1, 0), 3), SetRecord(WidthRecord(1, 1), 0), SetRecord(WidthRecord(1, 2), 0);
    SetRecord(IntensityRecord(1, 1), 1e6);
  }
  // The vertex of the parabola through (c_i, 1 / F(c_i)).
  static double Vertex(double c1, double c2, double c3) {
    ModelSpectrum = 1;
    double y[3];
    const double c[3] = {c1, c2, c3};
    for (int i = 0; i < 3; ++i) {
      double yy = 0, w = 0, f = 0;
      ModelChannel = c[i];
      RietveldModel(yy, w, f, 1, 4);
      y[i] = 1 / f;
    }
    const double s1 = (y[1] - y[0]) / (c[1] - c[0]), s2 = (y[2] - y[1]) / (c[2] - c[1]);
    const double a = (s2 - s1) / (c[2] - c[0]);
    const double b = s1 - a * (c[0] + c[1]);
    return -b / (2 * a);
  }
};

TEST_F(ProfilePosition, TimeOfFlightAndAngularPositionsFollowPhysics) {
  const auto rows = GoldenRows("profile_golden_positions.txt", "crystal");
  ASSERT_FALSE(rows.empty());
  ASSERT_EQ(rows[0][0], "constant");
  // 2 m_n / h against the program's 505.556: 1.6e-6 apart.
  EXPECT_NEAR(std::stod(rows[0][1]), TofConstant, 2e-6 * TofConstant);
  int tof = 0, angular = 0;
  for (const Tokens& t : rows) {
    const auto num = [&](size_t i) { return std::stod(t.at(i)); };
    if (t[0] == "tof") {
      SCOPED_TRACE("tof cw " + t[1] + " L " + t[2] + " theta " + t[3] + " delay " + t[4] + " d " + t[5]);
      ProfileSpectrum s;
      s.chanWidth = num(1), s.flightPath = num(2), s.theta = num(3), s.delay = num(4);
      s.first = 1, s.last = 6000;
      SetUpProfileSpectrum(s);
      SetUpSingleReflection(num(5));
      const double expected = num(6);
      // The model's constant is 505.556, 1.6e-6 below CODATA's 2 m_n / h.
      const double pos = Vertex(expected - 1.3, expected + 0.4, expected + 2.1);
      EXPECT_NEAR(pos, expected, 2e-6 * std::fabs(expected + num(4)));
      ++tof;
    } else if (t[0] == "angular") {
      SCOPED_TRACE("angular lambda " + t[1] + " zero " + t[2] + " d " + t[3]);
      ProfileSpectrum s;
      s.axis = AxisAngular, s.lambda = num(1), s.delay = num(2), s.slope = 10, s.offset = -50;
      s.first = 1, s.last = 1900;
      SetUpProfileSpectrum(s);
      SetUpSingleReflection(num(3));
      const double expected = num(4);
      const double channel = std::floor(s.slope * expected + s.offset);
      const double pos = Vertex(channel + 0.1, channel + 0.5, channel + 0.9);
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
  VKEST_REQUIRE_PYTHON("numpy, scipy, gemmi");
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
