#include "crystal/analysis_modes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include "core/model_switches.h"
#include "crystal/profile_setup.h"
#include "support/golden_files.h"

namespace {

class AnalysisModesTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    PhaseCount = 2;
    ASSERT_TRUE(SetUpAluminium(1) && SetUpAluminium(2));
    SetUpProfileSpectrum({});
    LayOutProfileParameters();
    std::copy_n(FitParameters->Records.begin(), MaxParameters + 1, parar);
    DeconvolutionMode = 0, ResolutionWidth = 1, ConvolutionType = 0;
  }
  // The switches the dialogs may change.
  std::vector<double> Switches() const {
    std::vector<double> v = {double(WidthMode), double(BackgroundMode), double(AnisotropyOn), double(M2Mode),
                             double(DeconvolutionMode), ResolutionWidth, ConvolutionType,
                             double(SpectrumList[1]->BackgroundDegree), double(FitParameters->NPar)};
    v.insert(v.end(), std::begin(AnisotropicPhases), std::end(AnisotropicPhases));
    return v;
  }
  KeepValues<ParameterRecord> parar_{parar, MaxParameters + 1};
  KeepValues<uint8_t> deconvolution_{&DeconvolutionMode, 1};
  KeepValues<double> resolution_[2] = {{&ResolutionWidth, 1}, {&ConvolutionType, 1}};
};

TEST_F(AnalysisModesTest, StoresTheModesAndResizesTheArray) {
  AnisotropicPhases[1] = 1;
  PhaseTable[2].Anisotropy[0] = -15;  // its record gets bounds around the value, not crossed ones
  ui.ExpectDialog("").Radio(3).Radio2(2).Check(1).Check(3).Check(4).Ok();
  ui.ExpectDialog("Tick anisotropic phases").Check(1, false).Check(2).Cancel();  // taken all the same
  ui.ExpectDialog("").Field(1, 1, "2.5").Field(2, 1, "0.3").Ok();
  SetAnalysisModes();
  int32_t n = 0;
  CountParameters(n, 0);
  EXPECT_EQ(n, ParameterCount(1) + 24);
  // Width law overridden by the fourth box, real background of degree 6, phase 2 anisotropic.
  EXPECT_EQ(Switches(), (std::vector<double>{-1, 1, 1, 0, 1, 2.5, 0.3, 6, double(n), 0, 0, 1, 0, 0, 0, 0}));
  for (int32_t i = ParameterCount(1) + 1; i <= n; ++i) {
    const ParameterRecord &r = parar[i], &e = Rec(i);
    EXPECT_TRUE(r.n == e.n && r.value == e.value && r.lower == e.lower && r.upper == e.upper && r.Name == e.Name) << i;
    EXPECT_TRUE(r.lower <= r.value && r.value <= r.upper) << i;
  }
  EXPECT_EQ(parar[ParameterCount(1) + 13].value, -15);
  EXPECT_EQ(parar[ParameterCount(1) + 13].Name.substr(0, 4), "Anis");
}

TEST_F(AnalysisModesTest, CancelAndBadNumbersStoreNothing) {
  const auto before = Switches();
  ui.ExpectDialog("").Radio(4).Check(1).Cancel();
  SetAnalysisModes();
  ui.ExpectDialog("").Radio(4).Check(3).Ok();
  ui.ExpectDialog("").Field(1, 1, "2.5x").Press(1).Cancel();  // named, then given up
  SetAnalysisModes();
  EXPECT_THAT(ui.Messages().back(), ::testing::EndsWith(": \"2.5x\" is not a number"));
  EXPECT_EQ(Switches(), before);

  // Anisotropy off unmarks every phase.
  AnisotropicPhases[1] = AnisotropicPhases[2] = 1;
  ui.ExpectDialog("").Ok();
  SetAnalysisModes();
  EXPECT_EQ(AnisotropicPhases[1] + AnisotropicPhases[2], 0);
}

TEST_F(AnalysisModesTest, AssignTwoThetasFillsTheAxisAsNumpyArange) {
  TSpectrum& sp = *SpectrumList[1];
  int32_t first = 1;
  for (const Tokens& t : GoldenRows("two_theta_axis.txt", "crystal")) {
    if (t[0] == "case") {
      sp.FirstChannel = first = std::stoi(t[1]), sp.LastChannel = std::stoi(t[2]), sp.AxisKind = AxisTimeOfFlight;
      ui.ExpectDialog("").Field(1, 1, t[3]).Field(2, 1, t[4]).Ok();
      AssignTwoThetas(1);
      EXPECT_EQ(sp.AxisKind, AxisAngular);
      EXPECT_DOUBLE_EQ(sp.AngleToChannelSlope, 1 / std::stod(t[4]));
      EXPECT_NEAR(sp.AngleToChannelOffset, first - std::stod(t[3]) / std::stod(t[4]), 1e-9 * first);
    } else {
      // numpy steps by (x0 + step) - x0, which misses step by up to an ulp of x0 at every channel.
      EXPECT_NEAR(sp.X[std::stoi(t[0])], std::stod(t[1]), 1e-9) << t[0];
    }
  }
  // A zero step: no calibration, one angle everywhere; Cancel and a bad number change nothing.
  ui.ExpectDialog("").Field(2, 1, "0").Ok();
  ui.ExpectDialog("").Field(2, 1, "7").Cancel();
  ui.ExpectDialog("").Field(2, 1, "O.1").Press(1).Cancel();
  for (int32_t k = 0; k < 3; ++k) {
    AssignTwoThetas(1);
    EXPECT_TRUE(sp.AngleToChannelSlope == 0 && sp.AngleToChannelOffset == first && sp.ChanWidth == 0);
    EXPECT_EQ(sp.X[sp.LastChannel], sp.X[first]);
  }
}

}  // namespace
