// The flight-path refinement: lines from a known L and delay (t = 505.556 L d sin(theta)) come
// back without noise, and with noise at the weighted minimum scipy finds; the Bragg angle with
// the delay; the bound, the singular matrix, the Bragg-angle range and the angular relation.
#include "core/spectrum.h"
#include "indexing/flight_path.h"
#include "indexing_setup.h"

namespace {

class FlightPathTest : public IndexingTest {
protected:
  TSpectrum& Sp() { return *SpectrumList[1]; }
  // The lines of the generator's case; returns {L0, theta, D0, w, L, D}.
  std::vector<double> LoadCase(const std::string& kind) {
    std::vector<double> head, d, err, x;
    bool in = false;
    for (const Tokens& row : GoldenRows("celix_golden.txt", "indexing")) {
      if (row[0] == "fp" && (in = row[1] == kind))
        for (size_t i = 2; i < row.size(); ++i) head.push_back(Num(row[i]));
      if (row[0] == "fpl" && in) d.push_back(Num(row[1])), err.push_back(Num(row[2])), x.push_back(Num(row[3]));
    }
    SetLines(d);
    for (size_t i = 0; i < d.size(); ++i) DSpacingList[i + 1].Error = err[i], DSpacingList[i + 1].X = x[i];
    Sp().FlightPath = head[0], Sp().Theta = head[1], Sp().Delay = head[2], Sp().ChanWidth = head[3];
    return head;
  }
  // The dialog as filled (first option), then the result window with the update ticked.
  void Run() {
    ui.ExpectDialog("Fitting").Ok();
    ui.ExpectDialog("Fitting").CheckBox(true).Ok();
    RefineFlightPath();
  }
};

TEST_F(FlightPathTest, RecoversTheFlightPathAndDelay) {
  // The iteration stops on a step below 0.001: L within 1e-3; the delay, correlated with L and
  // slowed by the 1.1 on the diagonal, within 1e-2 channel (channels are thousands).
  std::vector<double> h = LoadCase("clean");
  Run();
  EXPECT_NEAR(Sp().FlightPath, h[4], 1e-3);
  EXPECT_NEAR(Sp().Delay, h[5], 1e-2);
  EXPECT_EQ(Sp().Theta, h[1]);
  h = LoadCase("noisy");  // the bounded minimum of the residuals weighted 1 / error (scipy)
  Run();
  EXPECT_NEAR(Sp().FlightPath, h[4], 1e-3);
  EXPECT_NEAR(Sp().Delay, h[5], 2e-2);
  LoadCase("clean");
  Sp().FlightPath = 20.7;  // 0.3 m from the truth: ends on the bound L0 + 0.1
  Run();
  EXPECT_DOUBLE_EQ(Sp().FlightPath, 20.8);
}

TEST_F(FlightPathTest, SingularMatrixAndBraggAngleRange) {
  LoadCase("clean");
  for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i].Error = 0;
  ui.ExpectDialog("Fitting").Ok();
  ui.ExpectMessage("Determinant not ok = 0");
  ui.ExpectDialog("Fitting").Ok();
  ui.ExpectDialog("Fitting").Radio(2).Field(2, 1, "0").Ok();  // sin(0) in the relation
  ui.ExpectMessage("Wrong bounds: FPath above 0 and Theta between 0 and 180 (deg)");
  RefineFlightPath();
  RefineFlightPath();
  EXPECT_EQ(Sp().FlightPath, 21.05);
}

// The Bragg angle and the delay free, the flight path fixed: lines placed by t = 505.556 L d
// sin(theta) = (x + delay) w at theta 73.2 degrees and delay 12.3 channels give both back.
TEST_F(FlightPathTest, RecoversTheBraggAngleAndDelay) {
  const std::vector<double> d = {3.5, 2.8, 2.2, 1.9, 1.6, 1.4, 1.2, 1.1, 0.9, 0.8};
  SetLines(d);
  const double L = 21.05, theta = 73.2, delay = 12.3, w = 4.0;
  for (int32_t i = 1; i <= DSpacingCount; ++i) {
    DSpacingList[i].Error = 1e-4 * d[i - 1];
    DSpacingList[i].X = 505.556 * L * d[i - 1] * std::sin(theta * M_PI / 180) / w - delay;
  }
  Sp().FlightPath = L, Sp().Theta = 74.5, Sp().Delay = 12.0, Sp().ChanWidth = w;
  ui.ExpectDialog("Fitting").Radio(2).Ok();
  ui.ExpectDialog("Fitting").CheckBox(true).Ok();
  RefineFlightPath();
  EXPECT_NEAR(Sp().Theta, theta, 1e-3);
  EXPECT_NEAR(Sp().Delay, delay, 2e-2);
  EXPECT_EQ(Sp().FlightPath, L);
}

// An angular spectrum fits the wavelength and the zero shift (two-theta = true - shift) and
// writes back only those two.
TEST_F(FlightPathTest, AngularSpectrumFitsWavelengthAndZeroShift) {
  const std::vector<double> d = {3.5, 2.8, 2.2, 1.9, 1.6, 1.4, 1.2, 1.1};
  SetLines(d);
  for (int32_t i = 1; i <= DSpacingCount; ++i) {
    DSpacingList[i].Error = 1e-4 * d[i - 1];
    DSpacingList[i].X = 2 * std::asin(1.5406 / (2 * d[i - 1])) * 57.2958 + 0.12;
  }
  DSpacingDataType = 2;
  Sp().AxisKind = AxisAngular, Sp().Lambda = 1.55, Sp().Delay = 0;
  Run();
  EXPECT_NEAR(Sp().Lambda, 1.5406, 1e-4);
  EXPECT_NEAR(Sp().Delay, -0.12, 1e-2);
  EXPECT_EQ(std::vector<double>({Sp().FlightPath, Sp().Theta}), std::vector<double>({21.13, 76}));
}

}  // namespace
