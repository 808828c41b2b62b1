// The plane event window: cell edges, centroids and fit range on a hand-made grid, both fits
// against numpy.polyfit and scipy's curve_fit (tools/gen_plane_golden.py), the simulation against
// a Python replay of its generator and a quadrature of its acceptance, and the window end to end
// (simulate, enter, fit, BMP, exit).
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/spectrum.h"
#include "spectrum/plane_distribution.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {

class PlaneTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    PlaneWindow = TPlaneWindow{};
    PlaneSettings = TPlaneSettings{};
  }
  KeepValues<int32_t> grid{&EventGridNT, 1}, gridE{&EventGridNE, 1};
  KeepValues<double> sens{&PeakSensitivity, 1};
  FreshSpectra spectra;
};

TEST_F(PlaneTest, CellEdgesOfLinearAndLogAxes) {
  EXPECT_EQ(PlaneCell(0, 0, 100, 80, false), 1);
  EXPECT_EQ(PlaneCell(100, 0, 100, 80, false), 80);
  EXPECT_EQ(PlaneCell(50, 0, 100, 80, false), 41);  // 80 * 50 / 101 = 39.6
  EXPECT_EQ(PlaneCell(1, 1, 1000, 80, true), 1);
  EXPECT_EQ(PlaneCell(1000, 1, 1000, 80, true), 80);
  EXPECT_EQ(PlaneCell(std::sqrt(1000.0), 1, 1000, 80, true), 41);  // half the decades: 40.0 + 1
}

// Row j holds 5 counts in cell c(j): 5 4 3 2 1 2 3 4 5 5 ...: the rise starts at row 5 from below
// and row 15 is the first rising start from above; the clamps give 5 and 30.
TEST_F(PlaneTest, CentroidsAndFitRangeOfAHandMadeGrid) {
  EventGridNT = 5, EventGridNE = 20;
  PeakSensitivity = 2.0;
  for (int32_t j = 1; j <= 20; ++j) {
    const int32_t c = j <= 5 ? 6 - j : std::min(j - 4, 5);
    PlaneWindow.grid[(j - 1) * 5 + c] = 5;
    PlaneWindow.grid[(j - 1) * 5 + (c % 5) + 1] = 1;  // below the sensitivity: cleared
  }
  ProcessEventArray();
  for (int32_t j = 1; j <= 20; ++j) {
    const double c = j <= 5 ? 6 - j : std::min(j - 4, 5);
    EXPECT_DOUBLE_EQ(PlaneWindow.centroid[j], c) << j;
    EXPECT_DOUBLE_EQ(PlaneWindow.spread[j], c / std::sqrt(5.0)) << j;
  }
  EXPECT_EQ(PlaneWindow.fitFirst, 5);
  EXPECT_EQ(PlaneWindow.fitLast, 30);
  const std::vector<std::string> log = LogLines();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) { return l == "20 events deleted as random"; }));
}

std::vector<Tokens> Golden(const std::string& key) {
  std::vector<Tokens> out;
  for (const Tokens& row : GoldenRows("plane_golden.txt", "spectrum"))
    if (row[0] == key) out.emplace_back(row.begin() + 1, row.end());
  return out;
}

// Exact centroids c(i) = 20 ln(i / 0.5) give tau = 20 (mended: from A = 2 the Part's 50 damped
// iterations ended at 21.7, 2.3 errors off); noisy centroids give numpy.polyfit's line and
// scipy's curve_fit optimum (tools/gen_plane_golden.py); a flat line or no row in the fit range
// is reported, not divided by.
TEST_F(PlaneTest, FitsAgreeWithPolyfitAndCurveFit) {
  EventGridNT = 80, EventGridNE = 40;
  for (int32_t i = 1; i <= 40; ++i) PlaneWindow.centroid[i] = 20.0 * std::log(i / 0.5);
  PlaneWindow.fitFirst = 5, PlaneWindow.fitLast = 30;
  double tau = 0, err = 0, chi = 0;
  ASSERT_TRUE(FitPlaneDecay(tau, err, chi));
  EXPECT_NEAR(tau, 20.0, 1e-6);
  for (const Tokens& t : Golden("centroid")) PlaneWindow.centroid[std::stoi(t[0])] = std::stod(t[1]);
  PlaneWindow.fitFirst = std::stoi(Golden("range")[0][0]), PlaneWindow.fitLast = std::stoi(Golden("range")[0][1]);
  ASSERT_TRUE(FitPlaneDecay(tau, err, chi));
  const std::vector<std::string> log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "tau= " + FormatFixed(9, 2, std::stod(Golden("line")[0][0]))), log.end());
  // 50 damped iterations stop within a tenth of tau's error of the optimum; the errors agree.
  const double want = std::stod(Golden("exp")[0][1]), wantErr = std::stod(Golden("exp")[0][2]);
  EXPECT_NEAR(tau, want, 0.1 * wantErr);
  EXPECT_NEAR(err, wantErr, 0.02 * wantErr);
  for (int32_t i = 1; i <= 40; ++i) PlaneWindow.centroid[i] = 10.0;
  FitPlaneDecay(tau, err, chi);
  EXPECT_TRUE(std::isfinite(tau));
  const std::vector<std::string> flat = LogLines();
  EXPECT_NE(std::find(flat.begin(), flat.end(), "tau= undefined: the line fit failed or is flat"), flat.end());
  PlaneWindow.fitFirst = 50, PlaneWindow.fitLast = 60;
  ui.ExpectMessage("No row lies in the fit range");
  EXPECT_FALSE(FitPlaneDecay(tau, err, chi));
}

TEST(PlaneGolden, GeneratorMatchesCommittedFile) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy, scipy");
  const std::string out = TestTempPath("plane_golden").string() + ".txt";
  ASSERT_EQ(RunTool("gen_plane_golden.py", out), 0);
  // The fits are iterative: other scipy versions may stop a few ulps apart.
  const auto tolerance = [](const Tokens& row, size_t c) {
    double x = 0;
    return TokenNumber(row[c], x) ? (row[0] == "exp" ? 1e-6 : 1e-12) * std::fabs(x) : 0.0;
  };
  for (const auto& m : TokenMismatches(TokenRows(out), GoldenRows("plane_golden.txt", "spectrum"), tolerance))
    ADD_FAILURE() << m;
  std::filesystem::remove(out);
}

// P(t + 20 < x), x = max(1300 g + 420, 1), t ~ Exp(mean 1600): the integral of
// phi(g) (1 - exp(-(1300 g + 400) / 1600)) over g > -400 / 1300, by the midpoint rule; the first
// lines are those of a Python replay of the generator and its draws in the same order.
TEST_F(PlaneTest, SimulationReplaysTheGeneratorAndItsAcceptance) {
  const std::string file = TestTempPath("plane_sim.sav").string();
  ASSERT_TRUE(SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2));
  const int32_t count = SimulatePlaneEvents(file);
  const std::vector<Tokens> lines = TokenRows(file), replay = Golden("sim");
  ASSERT_GE(lines.size(), replay.size());
  for (size_t i = 0; i < replay.size(); ++i) EXPECT_EQ(lines[i], Tokens(replay[i].begin() + 1, replay[i].end())) << i;
  double p = 0.0;
  const double g0 = -400.0 / 1300.0, h = 1e-4;
  for (double g = g0 + h / 2; g < 9.0; g += h)
    p += h * std::exp(-g * g / 2) / std::sqrt(2 * M_PI) * (1 - std::exp(-(1300 * g + 400) / 1600));
  const double n = 1.5e6, sd = std::sqrt(n * p * (1 - p));
  EXPECT_NEAR(count, n * p, 4 * sd);
  std::filesystem::remove(file);
}

TEST_F(PlaneTest, WindowSimulatesEntersFitsSavesAndRestoresTheModes) {
  const std::filesystem::path dir = TestTempPath("plane_window");
  std::filesystem::create_directories(dir);
  KeepValues<int32_t> mode(&MainMode, 1);
  MainMode = 1;
  PeakSensitivity = 1.25;
  KeepValues<std::string> folder(&EventFileDir, 1);
  EventFileDir = dir.string();
  const std::string sav = (dir / "a.sav").string();
  ui.ExpectDialog("Plane distribution").Radio2(3).Ok();  // simulate
  ui.ExpectDialog("Plane distribution").Radio2(1).Ok();  // fit graph key on
  ui.ExpectDialog("Plane distribution").Radio2(2).Ok();  // enter
  ui.ChooseFile(sav);
  ui.ExpectDialog("Plane distribution").Radio2(5).Ok();  // fit
  ui.ExpectDialog("Plane distribution").Ok();            // the fit graph
  ui.ExpectDialog("Plane distribution").Field(1, 2, "1").Check(1, true).Radio2(2).Ok();  // log x, x high 1
  ui.ExpectMessage("A logarithmic axis needs an upper bound above 1");
  ui.ExpectDialog("Plane distribution").Check(1, false).Radio2(6).Ok();
  TImageCanvas header(516, 100), graph(516, 323);
  PlaneDistribution(header, graph, 0);
  EXPECT_EQ(MainMode, 1);
  EXPECT_EQ(PeakSensitivity, 1.25);
  EXPECT_TRUE(std::filesystem::exists(dir / "a.bmp"));
  bool corrected = false;
  for (const std::string& l : LogLines()) corrected |= l.rfind("Corrected T ", 0) == 0;
  EXPECT_TRUE(corrected);
  std::filesystem::remove_all(dir);
}

}  // namespace
