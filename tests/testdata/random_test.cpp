// The random-number test: its nine lines against a script with its own generator and numpy, its
// pictures on the offscreen canvas, the limits of n and the refused tested value 0.
#include <gtest/gtest.h>
#include <fstream>
#include "core/canvas.h"
#include "core/dialog_toolkit.h"
#include "core/random.h"
#include "core/toolbox.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "testdata/random_test.h"

namespace {

const std::string Golden = std::string(VKEST_SOURCE_DIR) + "/tests/testdata/data/random_test_golden.txt";

class RandomTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    SetRandomSeeds(12345, 67890);
  }
};

TEST_F(RandomTest, NineLinesEqualAnIndependentRunAndTestsStayInTheirSpread) {
  std::ifstream in(Golden);
  int32_t cases = 0, dist = 0, n = 0;
  double q1 = 0, q2 = 0;
  std::vector<std::string> want;
  auto check = [&] {
    SetRandomSeeds(12345, 67890);
    DrawRandomSample(dist, n);
    const auto got = RandomTestLines(dist, n, RandomSampleStatistics(dist, n, q1, q2));
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), want) << dist << " " << n;
  };
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("line|", 0) == 0) want.push_back(line.substr(5));
    if (line.rfind("case ", 0) != 0 && line.rfind("sample5", 0) != 0) continue;
    if (cases++ > 0) check();
    std::istringstream(line.substr(5)) >> dist >> n >> q1 >> q2;
    want.clear();
  }
  EXPECT_EQ(cases, 5);
  // Over many tries T1 of the true b stays within 4 deviations 1/sqrt(n) of 0, chi2/n of the true
  // a within 4 sqrt(2/n) of 1 (less spread for the cut sample), and the cut sample in [0, 100].
  for (int trial = 0; trial < 200; ++trial) {
    DrawRandomSample(0, 100);
    ASSERT_LT(std::fabs(RandomSampleStatistics(0, 100, 100, 25).t1), 0.4);
    DrawRandomSample(1, 100);
    ASSERT_LT(std::fabs(RandomSampleStatistics(1, 100, 50, 25).t1 - 1), 4 * std::sqrt(0.02));
    ASSERT_TRUE(*std::min_element(NumberBuffer + 1, NumberBuffer + 101) >= 0 &&
                *std::max_element(NumberBuffer + 1, NumberBuffer + 101) <= 100);
  }
}

TEST_F(RandomTest, PicturesSitAtTheirPixels) {
  const double u[5] = {94.35973904, 90.83188494, 14.66878273, 51.47019439, 40.58096366};  // 100 x the draws
  DrawRandomSample(0, 5);
  const TRandomTestStatistics s = RandomSampleStatistics(0, 5, 100, 25);
  TImageCanvas sample, density;
  DrawRandomSample(sample, 5, s.sigma);
  DrawRandomHistogram(density, s);
  for (int i = 1; i <= 5; ++i) {
    const int x = 5 + 100 * i, y = static_cast<int>(std::nearbyint(5 + u[i - 1]));
    for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
      const bool row = y + dy == 55 || y + dy == 26 || y + dy == 84;  // the red rows go over the crosses
      EXPECT_EQ(sample.GetPixel(x + dx, y + dy), row ? RedColor : FuchsiaColor) << i;
    }
    EXPECT_NE(sample.GetPixel(x + 1, y + 1), FuchsiaColor) << "only the five pixels nearer than 2";
    const int j = static_cast<int>(std::nearbyint(u[i - 1]));  // one event per bin: full height
    EXPECT_EQ(density.GetPixel(3 * j + 3, 5), BlueColor) << j;
    EXPECT_NE(density.GetPixel(3 * j + 3, 4), BlueColor) << j;
  }
  EXPECT_EQ(sample.GetPixel(250, 55 - 29), RedColor);  // sigma 28.87
  DrawRandomHistogram(density, TRandomTestStatistics{});  // an empty histogram: no division by 0
}

TEST_F(RandomTest, DialogLimitsNAndRefusesATestedValueZero) {
  ui.ExpectDialog("Test random number generator").Field(1, 1, "4").Field(2, 1, "0").Ok();
  ui.ExpectMessage("Error, n should be > 4");
  ui.ExpectMessage("Error, tested quantity 1 = 0 not admissible");
  ui.ExpectDialog("Test random number generator").Field(1, 1, "20000").Radio(2).Ok();
  ui.ExpectMessage("The maximum admissible n = 16384");
  ui.ExpectDialog("Test random number generator").Field(1, 1, "x").Press(1).Cancel();  // named, then ends
  TestRandomGenerator();
  ASSERT_EQ(ui.dialogs.size(), 3u);
  EXPECT_EQ(ui.dialogs[1].StringGrid1.Cell(0, 0), GridCellText(8, 5));
  EXPECT_EQ(ui.dialogs[1].StringGrid1.Cell(0, 1), GridCellText(8, 100));  // the previous q1 kept
  EXPECT_EQ(ui.dialogs[2].StringGrid1.Cell(0, 0), GridCellText(8, 16384));
  EXPECT_EQ(ui.dialogs[2].Label2.caption, "True parameters: a=50, sigma=20 (fixed)");
}

}  // namespace
