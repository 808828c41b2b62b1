// The map, the terms and the peaks against independent truth: numpy's FFT of a structure-factor
// file, scipy's maximum filter on its map, gemmi's unit-cell sites, the maps of known structures
// and an origin shift of one.
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include "core/dialog_state.h"
#include "core/parameter_layout.h"
#include "core/numeric_arrays.h"
#include "core/text_file.h"
#include "crystal/phase_setup.h"
#include "crystal/structure_factor.h"
#include "fourier/fourier_map.h"
#include "fourier/fourier_state.h"
#include "fourier/fourier_synthesis.h"
#include "fourier/map_peaks.h"
#include "support/golden_files.h"

namespace {

std::string DataPath(const std::string& name) { return std::string(VKEST_SOURCE_DIR) + "/tests/fourier/data/" + name; }

class FourierTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    MapNX = MapNY = MapNZ = MapPoints, FixedAxis = 0;
    FourierSettings = TFourierSettings{};
  }
  void ReadFile(const std::string& name) {
    TextFile f;
    f.Reset(DataPath(name));
    ReadStructureFactorRecords(f);
  }
  KeepValues<TFourierSettings> settings_{&FourierSettings, 1};
  KeepValues<TFourierPeak> peaks_{FourierPeaks, FourierPeakCapacity + 1};
};

// The reflections of phase k inside d >= dmin from every (h, k, l) with k >= 0, l >= 0 (their
// images under any of the groups used here cover the whole box), F by the program's sum.
void FillReflections(int32_t k, double dmin, int32_t m) {
  const LATTICE& p = PhaseTable[k];
  int32_t n = 0;
  for (int32_t h = -m; h <= m; ++h)
    for (int32_t kk = 0; kk <= m; ++kk)
      for (int32_t l = 0; l <= m; ++l) {
        Q0 = p.Metric[0] * h * h + p.Metric[1] * kk * kk + p.Metric[2] * l * l + p.Metric[3] * h * kk +
             p.Metric[4] * h * l + p.Metric[5] * kk * l;
        if ((h == 0 && kk == 0 && l == 0) || Q0 > 1 / (dmin * dmin) || n == MaxReflections) continue;
        THklRecord& r = HklTable[++n][k];
        r = THklRecord{};
        r.h = h, r.k = kk, r.l = l, r.d = 1 / std::sqrt(Q0);
        CalcStructureFactor(0, k, h, kk, l, 1, 0, r.A, r.B, r.q);
      }
  PhaseTable[k].ReflectionCount = n;
}

}  // namespace

// The stored map of a P1 file equals numpy's fftn of the same terms (sum F e^(-2 pi i h.x)),
// cut at 0, ramped and scaled, and on an odd box (negative x step, fixed z) a direct numpy sum.
TEST_F(FourierTest, MapOfFileEqualsNumpy) {
  ReadFile("fourier_p1.sf");
  int32_t n = 0;
  ComputeFourierMap(n, 1, 2);
  EXPECT_EQ(n, 1098);
  int32_t checked = 0;
  for (const Tokens& t : GoldenRows("fourier_p1_map.txt", "fourier")) {
    if (t[0] != "cell") continue;
    // 1e-9 of the largest value (1000): the two sums round differently only in the last bits.
    EXPECT_NEAR(FourierMap[std::stoi(t[1])][std::stoi(t[2])][std::stoi(t[3])], std::stod(t[4]), 1e-6) << t[1] << t[2] << t[3];
    ++checked;
  }
  EXPECT_EQ(checked, 3858);
  FourierSettings.xLow = 0.8, FourierSettings.xStep = -0.02, FourierSettings.yLow = 0.1;
  FourierSettings.yStep = 0.8 / 30, FourierSettings.zLow = 0.37, FourierSettings.zStep = 0, MapNZ = 1;
  ReadFile("fourier_p1.sf");
  ComputeFourierMap(n, 1, 2);
  for (const Tokens& t : GoldenRows("fourier_p1_map.txt", "fourier"))
    if (t[0] == "box") {
      EXPECT_NEAR(FourierMap[std::stoi(t[1])][std::stoi(t[2])][1], std::stod(t[3]), 1e-6);
    }
  EXPECT_EQ(FourierMap[1][1][2], 0.0);
}

// The separable sum is the term-by-term sum on random boxes, and the committed data are what
// the generator writes now.
TEST_F(FourierTest, SeparableSumEqualsDirectSumAndGoldenIsCurrent) {
  ReadFile("fourier_p1.sf");
  FourierIndexList.push_back({17, -23, 40, 0.3, -0.2});  // indices far outside 12
  std::vector<double> fast, direct;
  const double boxes[][6] = {{0, 0, 0, 1 / 30., 1 / 30., 1 / 30.}, {0.9, 0.3, 0.5, -0.017, 0.011, 0}, {-0.4, 1.3, 0.2, 0.05, -0.03, 0.021}};
  for (const auto& b : boxes) {
    SumSeriesOnGrid(FourierIndexList, 30, 17, b[5] == 0 ? 1 : 29, b[0], b[1], b[2], b[3], b[4], b[5], fast);
    SumSeriesDirect(FourierIndexList, 30, 17, b[5] == 0 ? 1 : 29, b[0], b[1], b[2], b[3], b[4], b[5], direct);
    double top = 0, worst = 0;
    for (size_t i = 0; i < fast.size(); ++i) top = std::max(top, std::abs(direct[i])), worst = std::max(worst, std::abs(fast[i] - direct[i]));
    EXPECT_LT(worst, 1e-9 * top);
  }
  VKEST_REQUIRE_PYTHON("gemmi,numpy,periodictable,scipy");
  const std::string dir = ::testing::TempDir() + "fourier_golden";
  ASSERT_EQ(RunTool("gen_fourier_golden.py", dir), 0);
  for (const char* name : {"fourier_p1.sf", "fourier_terms.txt", "fourier_p1_peaks.txt"})
    EXPECT_EQ(ReadWholeFile(dir + "/" + name), ReadWholeFile(DataPath(name))) << name;
}

// The grid test of the peak search on the stored map of the P1 file: the candidates of scipy's
// maximum_filter (box cut at the edges, 0.001 slack) above the level pass exactly when numpy's
// smallest |kappa| of the one-sided and central differences exceeds 1.5. Sensitivity 0 makes
// every point of the empty regions a candidate, which the curvature then rejects.
TEST_F(FourierTest, PeakTestAgreesWithScipyMaximumFilter) {
  ReadFile("fourier_p1.sf");
  int32_t n = 0;
  ComputeFourierMap(n, 1, 2);
  std::map<std::tuple<int, int, int>, std::pair<double, bool>> candidates;
  for (const Tokens& t : GoldenRows("fourier_p1_peaks.txt", "fourier"))
    candidates[{std::stoi(t[1]), std::stoi(t[2]), std::stoi(t[3])}] = {std::stod(t[4]), t[5] == "1"};
  for (const double sensitivity : {0.1, 0.0}) {
    FourierSettings.threshold = sensitivity;
    for (int32_t i = 1; i <= 30; ++i)
      for (int32_t j = 1; j <= 30; ++j)
        for (int32_t k = 1; k <= 30; ++k) {
          const auto c = candidates.find({i, j, k});
          const bool candidate = c != candidates.end() && (sensitivity == 0 || c->second.second);
          EXPECT_EQ(IsMapMaximum(i, j, k), candidate && c->second.first > 1.5) << sensitivity << " at " << i << j << k;
        }
  }
}

// An origin shift that P2_1 allows (along b, here 5 grid steps) moves every peak by it (a map
// of the wrong sign moves them the other way); peaks whose grid maximum lies on a y edge of the
// box, where the grid test is cut, are left out.
TEST_F(FourierTest, OriginShiftAlongTheScrewAxisMovesThePeaks) {
  std::vector<TestAtom> atoms = {IsoAtom(0.716, 0.2758, 0.0404, 0.2089, 0), IsoAtom(0.5805, 0.069, 0.342, 0.345, 0),
                                 IsoAtom(0.5805, 0.451, 0.758, 0.479, 0)};
  std::vector<TFourierPeak> found[2];
  for (int32_t shifted = 0; shifted <= 1; ++shifted) {
    ASSERT_TRUE(SetUpPhase(1, 4, 2, {5.1505, 5.2116, 5.3173, 90, 99.23, 90}, atoms));
    FillReflections(1, 0.6, 9);
    int32_t n = 0;
    ComputeFourierMap(n, 1, 4);
    InfoLines.count = 0;
    FindMapPeaks(n, 1);
    found[shifted].assign(FourierPeaks + 1, FourierPeaks + FourierPeakCount + 1);
    for (TestAtom& a : atoms) a.y += 5.0 / 30;
  }
  int32_t matched = 0;
  for (const TFourierPeak& p : found[0]) {
    const double y = p.y + 5.0 / 30;
    const auto edge = [](double v) { return std::nearbyint(v * 30) + 1 <= 1 || std::nearbyint(v * 30) + 1 >= 30; };
    if (edge(p.y) || edge(y)) continue;
    const auto same = [&](const TFourierPeak& q) {
      return std::max({std::abs(q.x - p.x), std::abs(q.y - y), std::abs(q.z - p.z)}) < 1e-6 &&
             std::abs(q.amplitude - p.amplitude) < 1e-6 * std::abs(p.amplitude);
    };
    EXPECT_TRUE(std::any_of(found[1].begin(), found[1].end(), same)) << p.x << " " << p.y << " " << p.z;
    ++matched;
  }
  EXPECT_GE(matched, 3);
}

// Every generated term (h', k', l') carries F(h') of the direct sum over gemmi's unit-cell sites:
// the row vector times R, the phase shifts and the conjugate mate. P4_12_12's quarter translations
// catch a mate that keeps e^(+i phi).
TEST_F(FourierTest, GeneratedTermsEqualGemmiStructureFactors) {
  std::map<std::tuple<int, int, int>, std::pair<double, double>> F;
  std::vector<Tokens> rows = GoldenRows("fourier_terms.txt", "fourier");
  rows.push_back({"phase"});
  std::vector<TestAtom> atoms;
  std::string name;
  for (const Tokens& t : rows) {
    if (t[0] == "phase" && !F.empty()) {
      // The reflections k >= 0, l >= 0 of the box with gemmi's F; the terms from the symmetry.
      int32_t n = 0;
      for (const auto& [hkl, f] : F) {
        const auto [h, k, l] = hkl;
        if (k < 0 || l < 0 || (h == 0 && k == 0 && l == 0)) continue;
        THklRecord& r = HklTable[++n][1];
        r.h = h, r.k = k, r.l = l, r.A = f.first, r.B = f.second;
      }
      PhaseTable[1].ReflectionCount = n;
      int32_t terms = 0;
      ComputeFourierMap(terms, 1, 4);
      EXPECT_GT(terms, 300) << name;
      for (const FOURIERTERM& q : FourierIndexList) {
        const auto& f = F.at({q.h, q.k, q.l});
        EXPECT_NEAR(q.A, f.first, 1e-9) << name << " " << q.h << q.k << q.l;
        EXPECT_NEAR(q.B, f.second, 1e-9) << name << " " << q.h << q.k << q.l;
      }
      F.clear();
    }
    if (t[0] == "phase" && t.size() > 1) {
      name = t[1];
      ASSERT_TRUE(SetUpPhase(1, std::stoi(t[2]), std::stoi(t[3]), {5, 5, 5, 90, 90, 90}));
    }
    if (t[0] == "F") F[{std::stoi(t[1]), std::stoi(t[2]), std::stoi(t[3])}] = {std::stod(t[4]), std::stod(t[5])};
  }
}

// The maps of known structures put their refined peaks on the atoms (mended: the literal sign of
// the series puts the P2_1 map's maxima at -x) and every atom gets "OK".
TEST_F(FourierTest, PeaksOfKnownStructuresLieOnTheAtoms) {
  const std::vector<TestAtom> atoms = {IsoAtom(0.716, 0.2758, 0.0404, 0.2089, 0), IsoAtom(0.5805, 0.069, 0.342, 0.345, 0),
                                       IsoAtom(0.5805, 0.451, 0.758, 0.479, 0)};
  for (const auto& [group, setting] : {std::pair{4, 2}, std::pair{14, 2}}) {
    ASSERT_TRUE(SetUpPhase(1, group, setting, {5.1505, 5.2116, 5.3173, 90, 99.23, 90}, atoms));
    FillReflections(1, 0.6, 9);
    LogFile.RewriteToMemory("log");
    int32_t n = 0;
    ComputeFourierMap(n, 1, 4);
    InfoLines.count = 0;
    FindMapPeaks(n, 1);
    ASSERT_GE(FourierPeakCount, 3) << group;
    AssignPeaksToAtoms(1);
    int32_t ok = 0;
    for (const std::string& line : LogLines()) ok += line.ends_with("  OK");
    EXPECT_EQ(ok, 3) << group;
    // Each atom's peak moved off its grid point towards the atom: within 0.013; in P2_1/c O2 has
    // an image at z 0.979, which FractionalPart folds to 0 when that image is the one kept.
    for (int32_t a = 1; a <= 3; ++a) {
      CurrentPoint[0] = atoms[a - 1].x, CurrentPoint[1] = atoms[a - 1].y, CurrentPoint[2] = atoms[a - 1].z;
      for (int32_t i = 1; i <= FourierPeakCount; ++i) FourierPeaks[i].amplitude = 1;
      int32_t peak = 0;
      FindNearestPeak(peak, 1);
      EXPECT_LT(NearestPeakDistance, group == 4 ? 0.013 : 0.022) << group << " atom " << a;
    }
  }
}

// g and H of the series against central differences of its value.
TEST_F(FourierTest, DerivativesMatchCentralDifferences) {
  ReadFile("fourier_p1.sf");
  const int32_t n = static_cast<int32_t>(FourierIndexList.size());
  const double p[3] = {0.13, 0.27, 0.41}, e = 1e-5;
  FourierSumAtPoint(true, p[0], p[1], p[2], n);
  const auto at = [&](int a, double da, int b, double db) {
    double q[3] = {p[0], p[1], p[2]};
    q[a] += da, q[b] += db;
    return FourierSumAtPoint(false, q[0], q[1], q[2], n);
  };
  for (int a = 0; a < 3; ++a) {
    const double grad = (at(a, e, a, 0) - at(a, -e, a, 0)) / (2 * e);
    EXPECT_NEAR(WorkVector[a + 1], -grad / TwoPi, 1e-4 * std::abs(grad) + 1e-6);
    for (int b = 0; b < 3; ++b) {
      const double hess = (at(a, e, b, e) - at(a, e, b, -e) - at(a, -e, b, e) + at(a, -e, b, -e)) / (4 * e * e);
      const double expected = hess / TwoPi + (a == b ? 1e-5 * n : 0);
      EXPECT_NEAR(WorkMatrix[a + 1][b + 1], expected, 1e-3 * std::abs(expected) + 1e-2);
    }
  }
}

// The difference synthesis F_obs - k F_calc, k = sum |F_obs| / sum |F_calc|, of observed
// amplitudes that are c times the calculated ones (the powder-match intensities c^2 |F_calc|^2):
// every term vanishes, whatever c and the phases, while the observed terms are c times the
// calculated ones; a wrong sign or scale leaves the model in the map.
TEST_F(FourierTest, DifferenceOfAScaledModelLeavesNothing) {
  KeepValues<int32_t> ints{&MainMode, 1}, array{&ParameterArrayMode, 1}, phases{&PhaseCount, 1};
  KeepValues<ParameterRecord> records{parar, MaxParameters + 1};
  KeepValues<double> sums[2] = {{&ObservedAmplitudeSum, 1}, {&CalculatedAmplitudeSum, 1}};
  ASSERT_TRUE(SetUpPhase(1, 4, 2, {5.1505, 5.2116, 5.3173, 90, 99.23, 90},
                         {IsoAtom(0.716, 0.2758, 0.0404, 0.2089, 0), IsoAtom(0.5805, 0.069, 0.342, 0.345, 0)}));
  FillReflections(1, 1.0, 6);
  const double c = 3.7;
  MainMode = ParameterArrayMode = 2, PhaseCount = 1;
  const int32_t base = PhaseParameterOffset(1) + 10;
  ObservedAmplitudeSum = CalculatedAmplitudeSum = 0;
  for (int32_t i = 1; i <= PhaseTable[1].ReflectionCount; ++i) {
    const double f = std::hypot(HklTable[i][1].A, HklTable[i][1].B);
    parar[base + i].value = c * c * f * f;
    ObservedAmplitudeSum += c * f, CalculatedAmplitudeSum += f;
  }
  ASSERT_GT(PhaseTable[1].ReflectionCount, 20);
  const auto terms = [](int32_t source) {
    int32_t n = 0;
    ComputeFourierMap(n, 1, source);
    return FourierIndexList;
  };
  // The map keeps the terms above 1e-5 only: the difference keeps none.
  const std::vector<FOURIERTERM> calculated = terms(4), observed = terms(1), difference = terms(3);
  ASSERT_GT(calculated.size(), 100u);
  ASSERT_EQ(observed.size(), calculated.size());
  for (size_t i = 0; i < calculated.size(); ++i) {
    EXPECT_NEAR(observed[i].A, c * calculated[i].A, 1e-9) << i;
    EXPECT_NEAR(observed[i].B, c * calculated[i].B, 1e-9) << i;
  }
  EXPECT_TRUE(difference.empty()) << difference.size() << " terms left";
}

// The grid test on paraboloids m = H - a_x dx^2 - a_y dy^2 - a_z dz^2 (x, y, z fractions; grid
// step 1/30): the curvature of the graph at the top is 2a along each axis, and the finite
// differences of a parabola are exact. A top is a peak when its smallest curvature over the free
// axes exceeds 1.5 and it rises above the sensitivity times the whole span MapMax - MapMin of the
// map, negative regions included.
TEST_F(FourierTest, GridPeakTestOnParaboloids) {
  KeepValues<double> span[2] = {{&MapMax, 1}, {&MapMin, 1}};
  KeepValues<int32_t> fixed{&FixedAxis, 1};
  const auto paraboloid = [](double H, double ax, double ay, double az) {
    for (int32_t i = 1; i <= MapPoints; ++i)
      for (int32_t j = 1; j <= MapPoints; ++j)
        for (int32_t k = 1; k <= MapPoints; ++k) {
          const double dx = (i - 15) / 30.0, dy = (j - 15) / 30.0, dz = (k - 15) / 30.0;
          FourierMap[i][j][k] = H - ax * dx * dx - ay * dy * dy - az * dz * dz;
        }
    return IsMapMaximum(15, 15, 15);
  };
  MapMax = 1000, MapMin = 0, FourierSettings.threshold = 0.1;
  EXPECT_FALSE(paraboloid(900, 0.5, 0.5, 0.5));   // curvature 1: between 0.5 and 1.5
  EXPECT_FALSE(paraboloid(900, 0.7, 50, 50));     // 1.4 along x: the smallest decides
  EXPECT_TRUE(paraboloid(900, 0.8, 0.8, 0.8));    // 1.6
  EXPECT_TRUE(paraboloid(900, 50, 50, 50));
  FixedAxis = 1;                                  // a section at fixed x: x does not count
  EXPECT_TRUE(paraboloid(900, 0.5, 50, 50));
  FixedAxis = 0;
  // A map from -600 to 400: the level is the sensitivity times 1000, not times 400.
  MapMax = 400, MapMin = -600;
  FourierSettings.threshold = 0.35;
  EXPECT_FALSE(paraboloid(300, 100, 100, 100));
  FourierSettings.threshold = 0.25;
  EXPECT_TRUE(paraboloid(300, 100, 100, 100));
}

// A maximum on the first or the last plane of the box, along each axis, is found there: the box
// (half a cell along that axis, steps of 1/60, so that its far edge is no neighbour of the peak
// across the cell) is moved so that the generator's atom 1 at (0.10, 0.20, 0.30) lies on that
// plane.
TEST_F(FourierTest, PeaksOnTheFirstAndLastPlanesOfTheBoxAreFound) {
  const double atom[3] = {0.10, 0.20, 0.30}, step = 1.0 / 60;
  LogFile.RewriteToMemory("log");
  for (int32_t axis = 0; axis < 3; ++axis)
    for (const bool last : {false, true}) {
      SCOPED_TRACE(std::string(1, "xyz"[axis]) + (last ? " last plane" : " first plane"));
      FourierSettings = TFourierSettings{};
      double* low[3] = {&FourierSettings.xLow, &FourierSettings.yLow, &FourierSettings.zLow};
      double* high[3] = {&FourierSettings.xHigh, &FourierSettings.yHigh, &FourierSettings.zHigh};
      double* steps[3] = {&FourierSettings.xStep, &FourierSettings.yStep, &FourierSettings.zStep};
      *steps[axis] = step;
      *low[axis] = last ? atom[axis] - 29 * step : atom[axis];
      *high[axis] = *low[axis] + 29 * step;
      ReadFile("fourier_p1.sf");
      int32_t n = 0;
      ComputeFourierMap(n, 1, 2);
      InfoLines.count = 0;
      FindMapPeaks(n, 1);
      double nearest = 1;
      for (int32_t i = 1; i <= FourierPeakCount; ++i) {
        const TFourierPeak& p = FourierPeaks[i];
        double far = 0;
        for (const double d : {p.x - atom[0], p.y - atom[1], p.z - atom[2]})
          far = std::max(far, std::abs(d - std::nearbyint(d)));
        nearest = std::min(nearest, far);
      }
      EXPECT_LT(nearest, 0.005);
    }
}
