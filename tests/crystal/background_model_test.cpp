// The background model: the Legendre terms by their orthogonality, the tabulated shape by its
// area, the two decays by their exact derivatives, the record offsets, and the guards.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <vector>
#include "crystal/background_model.h"
#include "peak_fit_setup.h"

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
}

class BackgroundModelTest : public PeakFitTest {
protected:
  // The background at x, u with base; the six derivatives it wrote.
  static double Background(int32_t base, double x, double u, std::vector<double>* d = nullptr) {
    double bg = -1;
    BackgroundModel(base, bg, x, u);
    if (d) {
      d->clear();
      for (int32_t i = 4; i <= 9; ++i) d->push_back(Rec(base + i).Derivative);
    }
    return bg;
  }
};

// The derivatives of the Legendre mode are P0..P5: integral of Pi Pj over [-1, 1] is
// 2 / (2i + 1) for i = j and 0 otherwise; P_k(1) = 1, P_k(-1) = (-1)^k.
TEST_F(BackgroundModelTest, LegendreTermsAreOrthogonalPolynomials) {
  SetRecords({0, 0, 0, 3, -1, 2, 0.5, 4, -2, 0});
  constexpr int32_t steps = 20000;  // Simpson's rule: error h^4 f''''/90, below 1e-14 here
  double g[6][6] = {};
  std::vector<double> d;
  for (int32_t s = 0; s <= steps; ++s) {
    const double u = -1.0 + 2.0 * s / steps;
    const double weight = (s == 0 || s == steps ? 1.0 : (s % 2 ? 4.0 : 2.0)) * (2.0 / steps) / 3.0;
    const double bg = Background(0, 500, u, &d);
    double sum = 0;
    for (int32_t i = 0; i < 6; ++i) {
      sum += Rec(4 + i).value * d[i];
      for (int32_t j = 0; j < 6; ++j) g[i][j] += weight * d[i] * d[j];
    }
    EXPECT_NEAR(bg, sum, 1e-12);
    EXPECT_EQ(ModelOutput[0], bg);
  }
  for (int32_t i = 0; i < 6; ++i)
    for (int32_t j = 0; j < 6; ++j) EXPECT_NEAR(g[i][j], i == j ? 2.0 / (2 * i + 1) : 0.0, 1e-12) << i << j;
  Background(0, 1, 1, &d);
  EXPECT_EQ(d, std::vector<double>(6, 1.0));
  Background(0, 1, -1, &d);
  EXPECT_EQ(d, (std::vector<double>{1, -1, 1, -1, 1, -1}));
}

// Base 0 serves records 4..9 (profile layout), base -3 records 1..6 (peak-fit layout); nothing
// else is written, and records outside the array are refused.
TEST_F(BackgroundModelTest, BaseSelectsTheSixRecords) {
  SetRecords({7, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  for (int32_t i = 1; i <= 12; ++i) Rec(i).Derivative = -9;
  EXPECT_NEAR(Background(-3, 0, 0.5), 7 + 0.5, 1e-15);
  for (int32_t i = 1; i <= 12; ++i) EXPECT_EQ(Rec(i).Derivative == -9, i > 6) << i;
  for (int32_t i = 1; i <= 12; ++i) Rec(i).Derivative = -9;
  EXPECT_EQ(Background(0, 0, 0.5), 0);  // records 4..9 are 0
  for (int32_t i = 1; i <= 12; ++i) EXPECT_EQ(Rec(i).Derivative == -9, i < 4 || i > 9) << i;
  EXPECT_EQ(Background(-4, 0, 0.5), 0);  // record 0
  EXPECT_EQ(Background(FitParameters->RecordCapacity() - 8, 0, 0.5), 0);
  EXPECT_EQ(ModelOutput[0], 0);
}

// The table shape has unit area in units of its width: the background peak holds amplitude x
// width counts over the channels.
TEST_F(BackgroundModelTest, TableShapeHoldsAmplitudeTimesWidth) {
  BackgroundMode = 1;
  SetRecords({0, 0, 0, 5, 300, 0, 2000.3, 40, 0, 0});
  double sum = 0;
  for (int32_t x = 1800; x <= 2200; ++x) sum += Background(0, x, 0.2) - 5;
  EXPECT_NEAR(sum, 300 * 40, 1e-3 * 300 * 40);  // the table's own quadrature, about 1e-4
  // Width W0 + W1 u with the floor 1: no width derivative on the floor.
  Rec(8).value = 0.4;
  std::vector<double> d;
  Background(0, 2000.8, 0.2, &d);
  EXPECT_NE(d[3], 0);
  EXPECT_EQ(d[4], 0);
  EXPECT_EQ(d[5], 0);
}

// The two decays A1 exp(-x / t1) + A2 exp(-x^2 / t2) with the exact derivatives by t1 and t2
// (A1 e1 x / t1^2 and A2 e2 x^2 / t2^2), checked against central differences at points where
// the two columns differ most from the former forms.
TEST_F(BackgroundModelTest, TwoDecaysHaveExactDerivatives) {
  BackgroundMode = 1;
  TrevoAutoRun = 1;
  SetRecords({0, 0, 0, 300, 150, 9, 120, 40000, 9, 0});
  std::vector<double> d;
  for (double x : {20.0, 150.0, 260.5, 640.0}) {
    const double e1 = std::exp(-x / 120), e2 = std::exp(-x * x / 40000);
    EXPECT_NEAR(Background(0, x, 0.3, &d), 300 * e1 + 150 * e2, 1e-12);
    EXPECT_EQ(d[2], 0);
    EXPECT_EQ(d[5], 0);
    for (int32_t k : {0, 1, 3, 4}) {
      ParameterRecord& r = Rec(4 + k);
      const double v = r.value, h = 1e-6 * std::max(1.0, std::fabs(v));
      r.value = v + h;
      const double up = Background(0, x, 0.3);
      r.value = v - h;
      const double down = Background(0, x, 0.3);
      r.value = v;
      EXPECT_NEAR(d[k], (up - down) / (2 * h), 1e-7 * std::max(1e-3, std::fabs(d[k]))) << x << " record " << 4 + k;
    }
  }
  // Decay constants below 1 are held at 1 and then carry no derivative.
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
    BackgroundMode = mode == 0 ? 0 : 1;
    TrevoAutoRun = mode == 2 ? 1 : 0;
    for (int32_t r = 4; r <= 9; ++r) {
      if (mode == 2 && (r == 6 || r == 9)) continue;  // the decays do not read them
      SetRecords(values[mode]);
      Rec(r).value = NaN;
      EXPECT_TRUE(std::isnan(Background(0, 210, 0.1))) << mode << " record " << r;
    }
    SetRecords(values[mode]);
    EXPECT_TRUE(std::isnan(Background(0, NaN, NaN))) << mode;
  }
}
