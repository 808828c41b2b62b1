// The background model beyond the golden profile (its Legendre terms against numpy) and the
// derivative harnesses: the record offsets (F15), the tabulated shape by its area, the two decays
// by their closed form, the floors, and non-finite input.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <vector>
#include "crystal/background_model.h"
#include "crystal/profile_setup.h"

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

class BackgroundModelTest : public PeakFitTest {
protected:
  // The background at x, u with base; the six derivatives it wrote into *d.
  static double Background(int32_t base, double x, double u, std::vector<double>* d = nullptr) {
    double bg = -1;
    BackgroundModel(base, bg, x, u);
    if (d) d->clear();
    for (int32_t i = 4; d && i <= 9; ++i) d->push_back(Rec(base + i).Derivative);
    return bg;
  }
};

// Base 0 serves records 4..9 (profile layout), base -3 records 1..6 (peak-fit layout); nothing
// else is written, and records outside the array are refused.
TEST_F(BackgroundModelTest, BaseSelectsTheSixRecords) {
  SetRecords({7, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  for (int32_t base : {-3, 0}) {
    for (int32_t i = 1; i <= 12; ++i) Rec(i).Derivative = -9;
    EXPECT_NEAR(Background(base, 0, 0.5), base ? 7.5 : 0.0, 1e-15);  // records 4..9 are 0
    for (int32_t i = 1; i <= 12; ++i)
      EXPECT_EQ(Rec(i).Derivative == -9, i <= base + 3 || i > base + 9) << base << " " << i;
  }
  EXPECT_EQ(Background(-4, 0, 0.5), 0);  // record 0
  EXPECT_EQ(Background(FitParameters->RecordCapacity() - 8, 0, 0.5), 0);
  EXPECT_EQ(ModelOutput[0], 0);
}

// The table shape has unit area in units of its width: the peak holds amplitude x width counts;
// its width W0 + W1 u has the floor 1, with no width derivative on the floor.
TEST_F(BackgroundModelTest, TableShapeHoldsAmplitudeTimesWidth) {
  BackgroundMode = 1;
  SetRecords({0, 0, 0, 5, 300, 0, 2000.3, 40, 0, 0});
  double sum = 0;
  for (int32_t x = 1800; x <= 2200; ++x) sum += Background(0, x, 0.2) - 5;
  EXPECT_NEAR(sum, 300 * 40, 1e-3 * 300 * 40);  // the table's own quadrature, about 1e-4
  Rec(8).value = 0.4;
  std::vector<double> d;
  Background(0, 2000.8, 0.2, &d);
  EXPECT_NE(d[3], 0);
  EXPECT_EQ(std::vector<double>({d[4], d[5]}), std::vector<double>({0, 0}));
}

// A1 exp(-x / t1) + A2 exp(-x^2 / t2) (its exact derivatives, F12, are checked by both derivative
// harnesses); decay constants below 1 are held at 1 and then carry no derivative.
TEST_F(BackgroundModelTest, TwoDecaysAndTheirFloor) {
  BackgroundMode = 1, TrevoAutoRun = 1;
  SetRecords({0, 0, 0, 300, 150, 9, 120, 40000, 9, 0});
  std::vector<double> d;
  for (double x : {20.0, 260.5, 640.0}) {
    EXPECT_NEAR(Background(0, x, 0.3, &d), 300 * std::exp(-x / 120) + 150 * std::exp(-x * x / 40000), 1e-12);
    EXPECT_EQ(std::vector<double>({d[2], d[5]}), std::vector<double>({0, 0}));
  }
  Rec(7).value = 0.5;
  Background(0, 3, 0.3, &d);
  EXPECT_EQ(d[3], 0);
}

// A non-finite record or abscissa gives a non-finite background in every mode (the table shape
// would read 0 beyond its range).
TEST_F(BackgroundModelTest, NonFiniteInputGivesNonFiniteBackground) {
  const std::vector<double> values[3] = {{0, 0, 0, 3, -1, 2, 0.5, 4, -2, 0},
                                         {0, 0, 0, 5, 300, 0, 200, 40, 0, 0},
                                         {0, 0, 0, 300, 150, 0, 120, 40000, 0, 0}};
  for (int32_t mode = 0; mode < 3; ++mode) {
    BackgroundMode = mode == 0 ? 0 : 1, TrevoAutoRun = mode == 2;
    for (int32_t r = 3; r <= 9; ++r) {
      if (mode == 2 && (r == 6 || r == 9)) continue;  // the decays do not read them
      SetRecords(values[mode]);
      if (r > 3) Rec(r).value = NaN;
      EXPECT_TRUE(std::isnan(r > 3 ? Background(0, 210, 0.1) : Background(0, NaN, NaN))) << mode << " record " << r;
    }
  }
}

}  // namespace
