// The powder indexing run from INI files through the Celix menu as a user drives it. Truth: the
// built-in test sets' cells: ZrO2 time-of-flight channels (L 25 m, theta 75 degrees, 64 us, delay
// -1.19), "A=5.32 B=5.22 C=5.15 V=141.2"; the cubic d-spacings, "A=2.03".
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/random.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "ini/ini_setup.h"

namespace {

std::string Lines(int32_t type, const std::vector<double>& d, const std::vector<double>& e, const std::vector<double>& x) {
  std::string s = "SM\n1\nEDS\n" + std::to_string(type) + " 25 1.54 75 -1.19 64 0\n";
  for (size_t i = 0; i < d.size(); ++i)
    s += std::to_string(d[i]) + " " + std::to_string(e[i]) + " " + (x.empty() ? "0" : std::to_string(x[i])) + "\n";
  return s + "/\n";
}

class IndexingRunTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    FreeCelixFitter();
    BinDefaultsSet = 0, AutoHklBounds = AutoCellVolume = AutoInitCell = 1;
  }
  void TearDown() override { FreeCelixFitter(), IniTest::TearDown(); }
  // Prepare with the read system and OK everywhere, Make with the defaults, "Stop fitting?" Yes.
  void RunCelix(const std::string& ini) {
    Read(ini + "IMFC\n6 0.99 0.01\n");
    ASSERT_TRUE(SetRandomSeeds(12345, 6789));
    ui.onUnexpected = [](const std::string&) {};
    ui.ExpectDialog("(Celix)").Radio(2).Ok();
    ui.ExpectDialog(" Phase= 1").Ok(), ui.ExpectDialog(" Phase= 1").Ok(), ui.ExpectDialog("Set lattice parameters").Ok();
    ui.ExpectDialog("(Celix)").Radio(3).Ok();
    ui.ExpectDialog("Check the data and make the fit").Ok(), ui.ExpectDialog("Set the bin amounts").Ok();
    ui.QueueAnswer(true), ui.QueueAnswer(true);  // "Total N of tries= ", "Stop fitting?"
    ui.ExpectDialog("(Celix)").Cancel();
    CelixMain();
  }
  // Within the set's rounding (0.005) and three of the fitter's standard deviations, in ascending
  // order (a monoclinic cell with a and c exchanged is the same lattice).
  static void ExpectEdges(std::vector<double> truth) {
    ASSERT_TRUE(CelixFitter);
    std::vector<std::pair<double, double>> found;
    for (int32_t m = 1; m <= 3; ++m) {
      const ParameterRecord& r = CelixFitter->Records[static_cast<size_t>(m)];
      found.emplace_back(r.value, r.Error);
    }
    std::sort(found.begin(), found.end());
    std::sort(truth.begin(), truth.end());
    for (size_t m = 0; m < 3; ++m) EXPECT_NEAR(found[m].first, truth[m], 0.005 + 3 * found[m].second) << m;
  }
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount};
  KeepValues<int32_t> bins_{&BinCounts[0][0], (MaxPhases + 1) * 7}, tries_{&BinTriesDefault, 1};
};

TEST_F(IndexingRunTest, TestSetsGiveTheirTrueCells) {
  RunCelix(Lines(3,
                 {3.70169, 3.64325, 3.16788, 2.84455, 2.60991, 2.54369, 2.34525, 2.32216, 2.25584, 2.19429, 2.0686,
                  2.02282, 1.99292, 1.86184, 1.82162, 1.80594, 1.61282, 1.59463},
                 {0.003, 0.001, 0.002, 0.003, 0.001, 0.001, 0.001, 0.002, 0.001, 0.002, 0.002, 0.001, 0.003, 0.002,
                  0.001, 0.001, 0.002, 0.001},
                 {707.3, 696.1, 605.5, 543.8, 499.0, 486.4, 448.6, 444.1, 431.5, 419.8, 395.8, 387.0, 381.3, 356.3,
                  348.7, 345.7, 308.8, 305.4}) +
           "SNP\n1\nSSAI\n2\nSV\n150\nSVM\n1\nSHKLB\n4 -4 4 -4 4\n");
  ExpectEdges({5.32, 5.22, 5.15});
  EXPECT_NEAR(PhaseTable[1].Volume, 141.2, 0.1);
  FreeCelixFitter();
  RunCelix(Lines(0, {2.0268, 1.4332, 1.1702, 1.0134, 0.9064, 0.8275}, {0.0001, 0.0003, 0.0002, 0.0005, 0.0005, 0.001}, {}) +
           "SNP\n1\nSSAI\n5\nSV\n50\n");
  ExpectEdges({2.03, 2.03, 2.03});
}

}  // namespace
