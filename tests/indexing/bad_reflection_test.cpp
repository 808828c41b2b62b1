// "Measures against bad reflections" in the indexing model: a line whose miss |d_exp - d_calc|
// exceeds c = three times the mean miss of the current iteration keeps c / miss of its weight
// (Huber's weight: never more than 1 / sigma^2, and continuous at the cut); every other line,
// and every line with the option off, keeps 1 / sigma^2. The calculated d are those of a cubic
// cell, a / sqrt(h^2 + k^2 + l^2).
#include "indexing_setup.h"

namespace {

class BadReflectionTest : public IndexingTest {};

TEST_F(BadReflectionTest, OnlyLinesBeyondThreeMeanMissesLoseWeight) {
  const double a = 4;
  const int32_t hkl[5][3] = {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {2, 0, 0}, {2, 1, 0}};
  PhaseTable[1].CrystalSystem = 5, PhaseTable[1].ReflectionCount = 5;
  for (int32_t j = 1; j <= 5; ++j) {
    THklRecord& r = HklTable[j][1];
    r = THklRecord{};
    r.h = hkl[j - 1][0], r.k = hkl[j - 1][1], r.l = hkl[j - 1][2];
  }
  TAULSM& fit = *CelixFitter;
  fit.NPar = 6;
  const double cell[6] = {a, a, a, 0, 0, 0};
  for (int32_t m = 0; m < 6; ++m) fit.Records[m + 1].value = cell[m];
  // Lines on (110), (111) and (200), missing them by +0.01, +0.0005 and -0.002 angstrom.
  const double d110 = a / std::sqrt(2.0), d111 = a / std::sqrt(3.0), d200 = a / 2;
  const double miss[3] = {0.01, 0.0005, -0.002};
  SetLines({d110 + miss[0], d111 + miss[1], d200 + miss[2]}, 0.002);
  const double plain = 1 / (0.002 * 0.002);
  struct Case {
    uint8_t option;
    double meanMiss;
    double weight[3];
  } cases[] = {{1, 0.001, {plain * 0.003 / 0.01, plain, plain}},  // 3 x 0.001 below 0.01 only
               {1, 0.0006, {plain * 0.0018 / 0.01, plain, plain * 0.0018 / 0.002}},
               {1, 0.004, {plain, plain, plain}},         // 0.012 above every miss
               {0, 0.0001, {plain, plain, plain}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.option) + " " + std::to_string(c.meanMiss));
    BadReflectionMeasures = c.option;
    fit.CurrentDeviation = c.meanMiss;
    for (int32_t i = 1; i <= 3; ++i) {
      double Y = 0, W = 0, F = 0;
      fit.IndexingModel(Y, W, 1, i, F);
      const double truth[3] = {d110, d111, d200};
      ASSERT_NEAR(F, truth[i - 1], 1e-12) << i;
      EXPECT_NEAR(std::fabs(Y - F), std::fabs(miss[i - 1]), 1e-12) << i;
      EXPECT_NEAR(W, c.weight[i - 1], 1e-6 * c.weight[i - 1]) << i;
    }
  }
}

}  // namespace
