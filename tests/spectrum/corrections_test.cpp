// Absorption, normalisation, the tail fit of the effective spectrum, spectrum arithmetic and the
// RTOF difference: against direct integration, periodictable, scipy, identities of the physics
// and worked examples; the menus end to end under the scripted backend.
#include <gtest/gtest.h>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/elements.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/numeric_arrays.h"
#include "core/spectrum_test_support.h"
#include "core/toolbox.h"
#include "spectrum/absorption.h"
#include "spectrum/effective_tail.h"
#include "spectrum/normalization.h"
#include "spectrum/rtof_spectrum.h"
#include "spectrum/spectrum_arithmetic.h"
#include "spectrum/spectrum_functions.h"
#include "crystal/refinement_results.h"
#include "spectrum/spectrum_input.h"
#include "support/keep_values.h"

namespace {

constexpr double Deg = 0.01745329;

class CorrectionsTest : public SpectrumTest {
protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    CurrentSpectrum = 1;
    for (int32_t s = 0; s <= 4; ++s) {
      TSpectrum& t = Sp(s);
      t.FirstChannel = t.WorkFirst = 1, t.LastChannel = t.WorkLast = 100;
    }
  }
  static TSpectrum& Sp(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }
  static void Fill(int32_t s, double (*y)(int32_t), double (*e)(int32_t)) {
    for (int32_t k = 1; k <= 100; ++k) Sp(s).Y[k] = y(k), Sp(s).E[k] = e(k);
  }
  FreshSpectra spectra;
};

// ---- absorption ----

TEST(AbsorptionGolden, TransmissionsMatchDirectIntegration) {
  int32_t sphereNodes = 0;
  for (const Tokens& row : GoldenRows("absorption_golden.txt", "spectrum")) {
    const double mu = std::stod(row[1]), angle = std::stod(row[2]), truth = std::stod(row[3]);
    if (row[0] == "cyl") {
      const double got = AbsorptionIntegral(mu, angle * Deg, 2 * angle * Deg);
      // The two-term closed form is good to 1.2 % up to mu 1; the coarse quadrature to 3 % at 2.
      const double tolerance = mu <= 1.0 ? 0.015 : mu <= 2.0 ? 0.03 : 0.5;  // mu 5: coarse, see above
      EXPECT_NEAR(got / truth, 1.0, tolerance) << mu << " " << angle;
    } else if (row[0] == "sph" && mu < 10.0 && angle < 3.14) {
      // Every table node (the lookup returns the node itself): the table's printed digits.
      EXPECT_NEAR(AbsorptionTableLookup(mu, angle) / truth, 1.0, 0.03) << mu << " " << angle;
      ++sphereNodes;
    }
  }
  EXPECT_EQ(sphereNodes, 16 * 6);
  // Outside the table the sphere gets 0.01; the plate is the slab formula, mu 0 its limit 1.
  EXPECT_EQ(AbsorptionTableLookup(10.0, 1.0), 0.01);
  EXPECT_EQ(AbsorptionTableLookup(2.0, 3.141593), 0.01);
  const double th = 40 * Deg;
  EXPECT_NEAR(PlateAbsorption(0.3, th), (1 - std::exp(-0.6 / std::sin(th))) * std::sin(th) / 0.6, 1e-15);
  EXPECT_EQ(PlateAbsorption(0.0, th), 1.0);
  // A large mu: the mirrored-point sum no longer overflows.
  const double far = AbsorptionIntegral(800.0, 0.1, 0.2);
  EXPECT_TRUE(std::isfinite(far) && far >= 0.0 && far < 1e-6) << far;
}

TEST(AbsorptionGolden, CommittedValuesMatchAFreshRun) {
  VKEST_REQUIRE_PYTHON("numpy, scipy, periodictable");
  const std::string out = TestTempPath("absorption_golden.txt");
  ASSERT_EQ(RunTool("gen_absorption_golden.py", out), 0);
  const auto live = TokenRows(out);
  std::remove(out.c_str());
  // Sums of exponentials and a least-squares minimum: equal up to rounding of the printed digits.
  const auto mismatches = TokenMismatches(live, GoldenRows("absorption_golden.txt", "spectrum"),
                                          [](const Tokens& row, size_t col) {
                                            double x = 0;
                                            return TokenNumber(row[col], x) ? 1e-6 * std::fabs(x) + 1e-9 : 0.0;
                                          });
  EXPECT_TRUE(mismatches.empty()) << JoinLines(mismatches);
}

TEST_F(CorrectionsTest, WavelengthLawAndRefusals) {
  TSpectrum& s = Sp(1);
  s.Theta = 45, s.FlightPath = 10, s.ChanWidth = 8, s.Delay = 20;
  for (int32_t shape : {0, 1, 2}) {
    for (int32_t j : {30, 200}) {
      const double lambda = 2 * (j + 20) * 8.0 / (505.556 * 10);
      const double mu = 0.1 + 0.3 * lambda;
      const double want = shape == 0 ? AbsorptionIntegral(mu, 45 * Deg, 90 * Deg)
                          : shape == 1 ? PlateAbsorption(mu, 45 * Deg)
                                       : AbsorptionTableLookup(mu, 90 * Deg);
      EXPECT_DOUBLE_EQ(AbsorptionFactor(j, 1, shape, 0.1, 0.3), want) << shape << " " << j;
    }
    // Without abs2 every channel gets the same factor.
    EXPECT_EQ(AbsorptionFactor(5, 1, shape, 0.2, 0.0), AbsorptionFactor(500, 1, shape, 0.2, 0.0));
  }
  // Channel 80 at 12 us (t = 960): twice the abs2 term of t = 480.
  s.Delay = 0, s.ChanWidth = 12;
  EXPECT_DOUBLE_EQ(AbsorptionFactor(80, 1, 1, 0.0, 0.3), PlateAbsorption(2 * 0.3 * 2 * 480 / 5055.56, 45 * Deg));
  EXPECT_TRUE(std::isnan(AbsorptionFactor(10, 1, 3, 0.1, 0.1)));
  s.Theta = 0;
  EXPECT_TRUE(std::isnan(AbsorptionFactor(10, 1, 1, 0.1, 0.1)));
  // A refused factor changes no channel; a good correction divides Y and E and reports.
  Fill(1, [](int32_t k) { return 100.0 + k; }, [](int32_t) { return 10.0; });
  s.Abs1 = 0.2, s.Abs2 = 0.1, s.SampleShape = 1;
  CorrectForAbsorption(1, 10, 20);
  EXPECT_EQ(s.Y[10], 110.0);
  EXPECT_EQ(s.AbsorptionCorrectedFlag, 0);
  s.Theta = 30;
  CorrectForAbsorption(1, 10, 20);
  const double f10 = AbsorptionFactor(10, 1, 1, 0.2, 0.1);
  EXPECT_DOUBLE_EQ(s.Y[10], 110.0 / f10);
  EXPECT_DOUBLE_EQ(s.E[10], 10.0 / f10);
  EXPECT_EQ(s.Y[21], 121.0);
  EXPECT_EQ(s.AbsorptionCorrectedFlag, 1);
  const std::string line = InputLine;  // formatting a number below rewrites InputLine
  EXPECT_EQ(line, FormatNumber(8, 4, AbsorptionFactor(20, 1, 1, 0.2, 0.1)) + ",  " + FormatNumber(8, 4, f10));
}

class AbsorptionCoefficientsTest : public CorrectionsTest {
protected:
  void SetUp() override {
    CorrectionsTest::SetUp();
    NoCrystalInfo = 0;
    for (int32_t p = 1; p <= 2; ++p) {
      PhaseTable[p].Volume = 3.024 * 3.024 * 3.024;
      PhaseTable[p].AtomCount = 1;
      uint8_t found = 0;
      FindElement("V", p, 1, found);
      AtomTable[1][p].Occupation = 1.0;
    }
  }
  KeepValues<int32_t> keepPhases{&PhaseCount, 1};
  KeepValues<uint8_t> keepInfo{&NoCrystalInfo, 1};
};

TEST_F(AbsorptionCoefficientsTest, VanadiumAgainstPeriodictable) {
  const Tokens* v = nullptr;
  const auto rows = GoldenRows("absorption_golden.txt", "spectrum");
  for (const Tokens& row : rows)
    if (row[0] == "vanadium") v = &row;
  ASSERT_NE(v, nullptr);
  const double rho = std::stod((*v)[3]);
  PhaseCount = 1;
  double Z[3] = {0, 2, 2}, a1 = 0, a2 = 0;
  ASSERT_TRUE(ComputeAbsorptionCoefficients(Z, 0.4, rho, a1, a2));
  EXPECT_NEAR(a1 / std::stod((*v)[1]), 1.0, 1e-3);
  EXPECT_NEAR(a2 / std::stod((*v)[2]), 1.0, 1e-3);
  // Two equal phases give their mean, the single value; a phase without volume is refused.
  PhaseCount = 2;
  double b1 = 0, b2 = 0;
  ASSERT_TRUE(ComputeAbsorptionCoefficients(Z, 0.4, rho, b1, b2));
  EXPECT_NEAR(b1, a1, 1e-12);
  // Vanadium and nickel (fcc, a = 3.524, 4 per cell): at one density rho each phase's value is
  // periodictable's at its own density scaled by rho over it, and the two are averaged.
  const Tokens* ni = nullptr;
  for (const Tokens& row : rows)
    if (row[0] == "nickel") ni = &row;
  ASSERT_NE(ni, nullptr);
  PhaseTable[2].Volume = 3.524 * 3.524 * 3.524;
  uint8_t found = 0;
  AtomTable[1][2].ScatteringLength = 0;  // else the atom keeps vanadium's as a non-standard one
  FindElement("Ni", 2, 1, found);
  ASSERT_EQ(found, 1);
  double Z2[3] = {0, 2, 4};
  ASSERT_TRUE(ComputeAbsorptionCoefficients(Z2, 0.4, rho, b1, b2));
  for (const auto& [got, column] : {std::pair{b1, 1}, std::pair{b2, 2}}) {
    const double mean = 0.5 * (std::stod((*v)[column]) + std::stod((*ni)[column]) * rho / std::stod((*ni)[3]));
    EXPECT_NEAR(got / mean, 1.0, 1e-3) << "abs" << column;
  }
  PhaseTable[2].Volume = 0;
  EXPECT_FALSE(ComputeAbsorptionCoefficients(Z, 0.4, rho, b1, b2));
  // The dialog: spectrum 2, the list of five lines.
  PhaseCount = 1;
  ui.ExpectDialog("Calculation of absorption coefficients").Edit(1, "2").Edit(3, (*v)[3]).Field(1, 1, "2").Ok();
  ui.ExpectDialog("Calculation of absorption coefficients").Ok();
  GetAbsorptionCoefficients();
  EXPECT_EQ(CurrentSpectrum, 2);
  EXPECT_NEAR(Sp(2).Abs1, a1, 1e-12);
  EXPECT_EQ(InfoLines.count, 5);
  EXPECT_EQ(InfoLines.lines[4].substr(0, 13), "      abs1 = ");
  // Refusals: Z of 0, a spectrum number outside 0..4.
  ui.ExpectDialog("Calculation of absorption coefficients").Field(1, 1, "0").Ok();
  ui.ExpectDialog("Calculation of absorption coefficients").Edit(1, "7").Press(1).Cancel();  // named at OK
  GetAbsorptionCoefficients();
  GetAbsorptionCoefficients();
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Error, rho=0", "Wrong number of formulae 0",
                                                     "Error, Spectrum number = 7 is out of range (0 to 4)"}));
}

// ---- normalisation ----

TEST_F(CorrectionsTest, NormalisationIdentities) {
  TSpectrum &s = Sp(1), &e = Sp(0);
  s.ChanWidth = e.ChanWidth = 4, s.Delay = e.Delay = 0;
  // A spectrum equal to its effective spectrum becomes S (min 0, so B = 0) where it maps inside.
  Fill(1, [](int32_t k) { return k == 1 ? 0.0 : 10.0 + k % 7; }, [](int32_t k) { return 0.1 * k; });
  Fill(0, [](int32_t k) { return k == 1 ? 0.0 : 10.0 + k % 7; }, [](int32_t) { return 1.0; });
  const double S = 16.0;
  ASSERT_TRUE(NormalizeByEffectiveSpectrum(1, 1, 100));
  for (int32_t k = 2; k < 100; ++k) EXPECT_NEAR(s.Y[k], S, 1e-12) << k;
  EXPECT_EQ(s.Y[100], 10.0 + 100 % 7);  // k = last0 maps outside: unchanged
  EXPECT_EQ(s.E[100], 10.0);
  EXPECT_NEAR(s.E[9] / s.Y[9], 0.9 / (10.0 + 9 % 7), 1e-12);  // B = 0 keeps E / Y
  EXPECT_EQ(s.NormalizedFlag, 1);
  // k times the effective spectrum changes nothing (S >= 1 before and after).
  auto y30 = [&](double k) {
    Fill(1, [](int32_t j) { return 50.0 + j; }, [](int32_t) { return 3.0; });
    for (int32_t j = 1; j <= 100; ++j) e.Y[j] = k * (2.0 + j);
    NormalizeByEffectiveSpectrum(1, 4, 100);
    return s.Y[30];
  };
  EXPECT_NEAR(y30(1.0), y30(3.0), 1e-12);
  // Effective channels twice as wide: channel 5 lies at x = 2.5, e = 3 (2 + 2.5) = 13.5;
  // over 4..5, B = 54 and S = 3 (2 + 5) = 21.
  e.ChanWidth = 8;
  Fill(1, [](int32_t j) { return 50.0 + j; }, [](int32_t) { return 3.0; });
  NormalizeByEffectiveSpectrum(1, 4, 5);
  EXPECT_NEAR(s.Y[5], 1.0 / (13.5 / 21.0) + 54.0, 1e-12);
  EXPECT_NEAR(s.E[5], 3.0 / (13.5 / 21.0), 1e-12);
}

// A measured spectrum is the sample's density rho(t) times the incident flux phi(t), the
// effective spectrum samples phi on channels of its own width and delay: with phi linear in t
// (its interpolation exact) the normalised counts are proportional to rho at every channel's time
// t = (j + delay) x width, whatever the two delays, and each error shrinks with its count. The
// first channel holds 0 so that the subtracted minimum B is 0; S is the largest effective count
// at the same channel numbers.
TEST_F(CorrectionsTest, NormalisationFollowsTheTimeWithDelays) {
  TSpectrum &s = Sp(1), &e = Sp(0);
  s.ChanWidth = 4, s.Delay = 7.5, e.ChanWidth = 3, e.Delay = -20.25;
  e.FirstChannel = 1, e.LastChannel = 400;
  auto phi = [](double t) { return 100 + 0.5 * t; };
  auto rho = [](double t) { return 1 + 3 * std::exp(-std::pow((t - 250) / 30, 2)); };
  for (int32_t k = 1; k <= 400; ++k) e.Y[k] = phi((k + e.Delay) * e.ChanWidth), e.E[k] = 1;
  double S = 0;
  for (int32_t j = 1; j <= 100; ++j) {
    const double t = (j + s.Delay) * s.ChanWidth;
    s.Y[j] = j == 1 ? 0.0 : rho(t) * phi(t), s.E[j] = 2.0;
    S = std::max(S, e.Y[j]);
  }
  ASSERT_TRUE(NormalizeByEffectiveSpectrum(1, 1, 100));
  for (int32_t j = 2; j <= 100; ++j) {
    const double t = (j + s.Delay) * s.ChanWidth;
    EXPECT_NEAR(s.Y[j] / rho(t), S, 1e-9 * S) << j;
    EXPECT_NEAR(s.E[j], 2.0 * S / phi(t), 1e-9 * S) << j;
  }
}

TEST_F(CorrectionsTest, ZeroChannelWidthAndOverlap) {
  TSpectrum &s = Sp(1), &e = Sp(0);
  Fill(1, [](int32_t k) { return 5.0 + k; }, [](int32_t) { return 1.0; });
  // The mended fault: callers that bypass the dialog get the refusal, and nothing changes.
  e.ChanWidth = 0;
  EXPECT_FALSE(NormalizeByEffectiveSpectrum(1, 1, 100));
  s.ChanWidth = 0;
  int32_t I1 = -7, I2 = -7;
  EXPECT_FALSE(SpectraTimeOverlap(I1, I2));
  EXPECT_EQ(I1, -7);
  EXPECT_EQ(s.Y[50] + s.NormalizedFlag, 55.0);
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>(2, "Error, channel width = 0")));
  // A far mapping is tested as a real, not truncated to an integer first.
  e.ChanWidth = 1e-300, s.ChanWidth = 4;
  EXPECT_TRUE(NormalizeByEffectiveSpectrum(1, 1, 100));
  EXPECT_EQ(s.Y[50], 55.0);
  // Overlap worked by hand: (t0 first, t0 last, tc first, tc last) -> the channels of c.
  e.ChanWidth = 3, e.FirstChannel = 1;
  s.ChanWidth = 2, s.Delay = 0.5;
  ASSERT_TRUE(SpectraTimeOverlap(I1, I2));  // (3, 300, 3, 201): 1 .. 100
  EXPECT_EQ(I1, 1); EXPECT_EQ(I2, 100);
  s.ChanWidth = 4, s.Delay = 0.25, e.FirstChannel = 2;
  SpectraTimeOverlap(I1, I2);  // (6, 300, 5, 401): 1.25 -> 1 .. 74.75 -> 75
  EXPECT_EQ(I1, 1); EXPECT_EQ(I2, 75);
  s.ChanWidth = 8, s.Delay = 0, e.LastChannel = 100;
  SpectraTimeOverlap(I1, I2);  // 300 / 8 = 37.5 -> 38 (even)
  EXPECT_EQ(I2, 38);
  e.ChanWidth = 4, e.Delay = -27;  // thi = 73 * 4 = 292, 292 / 8 = 36.5 -> 36 (even)
  SpectraTimeOverlap(I1, I2);
  EXPECT_EQ(I2, 36);
}

TEST_F(CorrectionsTest, NormalisationDialogQuestionsAndRead) {
  TSpectrum &s = Sp(1), &e = Sp(0);
  Fill(1, [](int32_t k) { return 100.0 + k; }, [](int32_t) { return 10.0; });
  Fill(0, [](int32_t k) { return 1.0 + k; }, [](int32_t) { return 1.0; });
  e.Ymax = 101, s.Theta = 60;
  // With absorption, both flags set: No, then Yes.
  s.NormalizedFlag = s.AbsorptionCorrectedFlag = 1;
  ui.ExpectDialog("Spectrum normalization").Check(1).Field(1, 1, "0.1").Field(2, 1, "0.05").Ok();
  ui.ExpectQuestion("Spectrum already normalized. Still proceed?", false);
  ui.ExpectQuestion("Spectrum already corrected for absorption. Still proceed?", true);
  ui.ExpectDialog("Spectrum normalization").Ok();
  NormalizeSpectrum();
  EXPECT_EQ(InfoLines.count, 6);
  EXPECT_EQ(InfoLines.lines[1], "    Spectrum 1, range =   1 - 100");
  EXPECT_EQ(InfoLines.lines[3], "* normalized;");
  EXPECT_EQ(InfoLines.lines[4], "* corrected for absorption");
  EXPECT_EQ(s.Y[50], 150.0 / AbsorptionFactor(50, 1, 0, 0.1, 0.05));  // not normalised again
  // A new read clears both flags: the normalisation runs without a question.
  const std::string file = Temp("s.spc");
  s.WriteBinarySpectrum(1, 100, file);
  s.Name = file, s.FileType = 2;
  ReadSpectrumFile(1);
  ASSERT_EQ(IoOk, 1);
  EXPECT_EQ(s.NormalizedFlag + s.AbsorptionCorrectedFlag, 0);
  ui.ExpectDialog("Spectrum normalization").Check(1).Field(1, 1, "0").Field(2, 1, "0").Ok();
  ui.ExpectDialog("Spectrum normalization").Ok();
  NormalizeSpectrum();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Error, absorption coefficients = 0"});
  EXPECT_EQ(InfoLines.lines[3], "* normalized;");
  EXPECT_EQ(InfoLines.lines[4], "* NOT corrected for absorption");
  // A channel width of 0 typed in either width field (the spectrum's, the effective one's) is
  // refused by name, once, before anything is divided: with absorption asked for too, neither
  // correction is made. A width of 0.5 in each divides as before.
  for (const auto& [field, text] : {std::pair{1, "0"}, {3, "0"}, {1, "-0"}, {3, "0.0"}}) {
    SCOPED_TRACE(std::to_string(field) + " \"" + text + "\"");
    Fill(1, [](int32_t k) { return 100.0 + k; }, [](int32_t) { return 10.0; });
    s.ChanWidth = e.ChanWidth = 0.5, s.NormalizedFlag = s.AbsorptionCorrectedFlag = 0;
    const size_t shown = ui.Messages().size();
    ui.ExpectDialog("Spectrum normalization").Check(1).Field(1, 1, "0.1").Edit(field, text).Ok();
    NormalizeSpectrum();
    const std::vector<std::string> messages = ui.Messages();
    EXPECT_EQ(std::vector<std::string>(messages.begin() + static_cast<ptrdiff_t>(shown), messages.end()),
              std::vector<std::string>{"Error, channel width = 0"});
    EXPECT_EQ(std::make_tuple(s.Y[50], s.E[50], int32_t{s.NormalizedFlag}, int32_t{s.AbsorptionCorrectedFlag}),
              std::make_tuple(150.0, 10.0, 0, 0));
  }
  s.ChanWidth = e.ChanWidth = 0.5;
  ui.ExpectDialog("Spectrum normalization").Ok();
  ui.ExpectDialog("Spectrum normalization").Ok();
  NormalizeSpectrum();
  EXPECT_EQ(s.NormalizedFlag, 1);
  EXPECT_NE(s.Y[50], 150.0);
  // Refusals.
  s.AxisKind = AxisAngular;
  NormalizeSpectrum();
  EXPECT_EQ(ui.Messages().back(), "Spectrum is angular, no normalization");
  CurrentSpectrum = 0;
  NormalizeSpectrum();
  EXPECT_EQ(ui.Messages().back(), "Error, Spectrum is effective");
}

// ---- tail fit ----

TEST_F(CorrectionsTest, TailFitRecoversTheCurve) {
  TSpectrum& e = Sp(0);
  e.FirstChannel = e.WorkFirst = 1, e.LastChannel = e.WorkLast = 499;
  // Noiseless: 20 + 400 exp(-4 x) from channel 300.
  for (int32_t j = 1; j <= 499; ++j) e.Y[j] = j < 300 ? 1000.0 : 20.0 + 400.0 * std::exp(-4.0 * (j - 300) / 200.0);
  TTailFit f;
  ASSERT_TRUE(StartTailFit(300, f));
  EXPECT_EQ(f.J2, 499);
  // The iteration stops at a step norm of 0.001; each "Continue?" Yes takes it further.
  for (int32_t round = 0; round < 200; ++round) IterateTailFit(f, 25, 1.0);
  EXPECT_NEAR(f.p[1], 20.0, 1e-6); EXPECT_NEAR(f.p[2], 400.0, 1e-6); EXPECT_NEAR(f.p[3], 4.0, 1e-6);
  // Noisy: scipy's curve_fit minimum with equal weights.
  const auto rows = GoldenRows("absorption_golden.txt", "spectrum");
  for (const Tokens& row : rows)
    if (row[0] == "tailcounts")
      for (size_t n = 1; n < row.size(); ++n) e.Y[299 + n] = std::stod(row[n]);
  ASSERT_TRUE(StartTailFit(300, f));
  for (int32_t round = 0; round < 20; ++round) IterateTailFit(f, 100, 1.0);
  for (const Tokens& row : rows)
    if (row[0] == "tail") {
      for (int32_t k = 1; k <= 3; ++k) EXPECT_NEAR(f.p[k] / std::stod(row[k]), 1.0, 1e-4) << k;
    }
  // Spectra 3 and 4 by hand; beginnings clamped or refused.
  ApplyTailFit(f, false);
  EXPECT_EQ(Sp(3).Y[10], 1000.0 - f.p[1]);
  EXPECT_EQ(Sp(4).Y[10], 1000.0 - f.p[1]);
  double d[4];
  EXPECT_DOUBLE_EQ(Sp(4).Y[400], std::max(1e-4, EffectiveTailModel(400, 300, 499, f.p, d) - f.p[1]));
  EXPECT_TRUE(StartTailFit(-5, f));
  EXPECT_EQ(f.J0, 2);
  EXPECT_FALSE(StartTailFit(1000000, f));
  EXPECT_FALSE(StartTailFit(498, f));
  for (int32_t j = 1; j <= 499; ++j) e.Y[j] = 100.0;  // nothing below 0.05 of the largest
  EXPECT_TRUE(StartTailFit(ProposedTailBeginning(), f));
}

// The proposed tail beginning on y = 1000 exp(-j / tau) over channels 1..2000: the first channel
// below 0.05 of the largest, y(1), is the first j > 1 + tau ln 20, searched from channel 251 on;
// a spectrum that never falls that low proposes the last channel but four.
TEST_F(CorrectionsTest, ProposedTailBeginningOnAnExponential) {
  TSpectrum& e = Sp(0);
  e.FirstChannel = e.WorkFirst = 1, e.LastChannel = e.WorkLast = 2000;
  const auto proposed = [&](double tau) {
    for (int32_t j = 1; j <= 2000; ++j) e.Y[j] = 1000.0 * std::exp(-j / tau);
    return ProposedTailBeginning();
  };
  EXPECT_EQ(proposed(100.0), static_cast<int32_t>(std::floor(1 + 100.0 * std::log(20.0))) + 1);  // 301
  EXPECT_EQ(proposed(300.0), static_cast<int32_t>(std::floor(1 + 300.0 * std::log(20.0))) + 1);  // 900
  EXPECT_EQ(proposed(10.0), 251);    // below already at channel 31
  EXPECT_EQ(proposed(1e9), 1996);    // flat
}

TEST_F(CorrectionsTest, TailFitDialogSingularAndReplace) {
  TSpectrum& e = Sp(0);
  e.FirstChannel = e.WorkFirst = 1, e.LastChannel = e.WorkLast = 100;
  for (int32_t j = 1; j <= 100; ++j) e.Y[j] = 10.0 + 90.0 * std::exp(-0.05 * j);
  ui.ExpectDialog("Fitting Effective Spectrum Tail").Check(1).Field(1, 1, "40").Ok();
  ui.QueueAnswer(true);
  ui.QueueAnswer(false);
  ui.ExpectDialog("Fitting Effective Spectrum Tail").Ok();
  GraphMode = 0;
  FitEffectiveSpectrumTail();
  EXPECT_EQ(InfoLines.count, 13);
  EXPECT_EQ(InfoLines.lines[8], " ");
  EXPECT_EQ(InfoLines.lines[11], "   Tail replaced.");
  EXPECT_EQ(Sp(0).Y[60], Sp(4).Y[60]);
  // A flat tail at x far out: the matrix is singular, one message, the start values kept.
  for (int32_t j = 1; j <= 100; ++j) e.Y[j] = 0.0;
  TTailFit f;
  ASSERT_TRUE(StartTailFit(50, f));
  f.p[2] = 0.0, f.p[3] = 1e6;  // every derivative but d1 is 0
  IterateTailFit(f, 25, 1.0);
  EXPECT_TRUE(f.singular);
  EXPECT_EQ(f.p[3], 1e6);
  EXPECT_EQ(ui.Messages().size(), 1u);
}

// ---- arithmetic ----

TEST_F(CorrectionsTest, ArithmeticFormulasAndMendedOperands) {
  Sp(1).WorkFirst = 11, Sp(1).WorkLast = 20;
  auto reset = [&] {
    Fill(1, [](int32_t k) { return 2.0 + k; }, [](int32_t k) { return 0.5 + 0.1 * k; });
    Fill(4, [](int32_t k) { return k % 3 == 0 ? 0.0 : 1.0 + 0.5 * k; }, [](int32_t k) { return 0.3 * k; });
  };
  for (int32_t item : {ArAdd, ArSubtract, ArMultiply, ArDivide}) {
    reset();
    TArithmeticRequest r;
    r.item = item, r.i = 1, r.j = 4;  // j = 4: read before the copy of i overwrites it
    ASSERT_TRUE(ApplySpectrumArithmetic(r));
    for (int32_t k = 11; k <= 20; ++k) {
      const double a = 2.0 + k, sa = 0.5 + 0.1 * k, b = k % 3 == 0 ? 0.0 : 1.0 + 0.5 * k, sb = 0.3 * k;
      double y = a + b, e = std::sqrt(sa * sa + sb * sb);
      if (item == ArSubtract) y = a - b;
      if (item == ArMultiply) y = a * b, e = std::sqrt(b * b * sa * sa + a * a * sb * sb);
      if (item == ArDivide) {  // first-order propagation
        y = b == 0 ? 0 : a / b;
        e = b == 0 ? 0 : std::sqrt(sa * sa / (b * b) + a * a * sb * sb / (b * b * b * b));
      }
      EXPECT_NEAR(Sp(4).Y[k], y, 1e-12) << item << " " << k;
      EXPECT_NEAR(Sp(4).E[k], e, 1e-12) << item << " " << k;
    }
    EXPECT_EQ(Sp(1).Y[10], 12.0);
  }
  // Constant operations on the working range 11..20 of spectrum 1.
  auto constant = [&](int32_t op, double C) {
    reset();
    TArithmeticRequest r;
    r.item = ArTimesConstant, r.i = 1, r.operation = op, r.C = C;
    ApplySpectrumArithmetic(r);
  };
  constant(CoMultiply, -2);
  EXPECT_EQ(Sp(1).Y[12], -28.0); EXPECT_NEAR(Sp(1).E[12], 3.4, 1e-12);
  constant(CoShift, 0);
  EXPECT_EQ(Sp(1).Y[15], 17.0);
  constant(CoShift, -3);
  EXPECT_EQ(Sp(1).Y[8], 13.0); EXPECT_EQ(Sp(1).Y[17], 22.0); EXPECT_EQ(Sp(1).Y[18], 0.0); EXPECT_EQ(Sp(1).Y[21], 23.0);
  constant(CoShift, 3);
  EXPECT_EQ(Sp(1).Y[23], 22.0); EXPECT_EQ(Sp(1).Y[14], 13.0); EXPECT_EQ(Sp(1).Y[13], 0.0); EXPECT_EQ(Sp(1).Y[10], 12.0);
  // s(k) -> s(w1 + w2 - k) on ten channels: every pair, the middle one (15, 16) too, errors along.
  constant(CoReverse, 0);
  for (int32_t k = 11; k <= 20; ++k) {
    EXPECT_EQ(Sp(1).Y[k], 2.0 + (31 - k)) << k;
    EXPECT_DOUBLE_EQ(Sp(1).E[k], 0.5 + 0.1 * (31 - k)) << k;
  }
  constant(CoSubtractMin, 0);
  EXPECT_EQ(Sp(1).Y[11], 0.0); EXPECT_EQ(Sp(1).Y[20], 9.0);
  reset();
  TArithmeticRequest r;
  r.item = ArLog, r.i = 1;
  ApplySpectrumArithmetic(r);
  EXPECT_DOUBLE_EQ(Sp(1).Y[11], std::log(14.0)); EXPECT_DOUBLE_EQ(Sp(1).E[11], 1.6 / 14.0);
  r.item = ArConstant, r.pattern = 'z';
  ApplySpectrumArithmetic(r);
  EXPECT_EQ(Sp(1).Y[11], 0.0); EXPECT_EQ(Sp(1).Y[20], 9.0);
  Sp(1).WorkFirst = 1, Sp(1).WorkLast = 100;
  r.pattern = 'g';
  ApplySpectrumArithmetic(r);
  EXPECT_EQ(Sp(1).Y[1], 1000.0); EXPECT_NEAR(Sp(1).Y[7], 1000.0 / std::numbers::e, 1e-9);
}

TEST_F(CorrectionsTest, ArithmeticMenuAddThenExit) {
  Fill(1, [](int32_t k) { return 1.0 * k; }, [](int32_t) { return 3.0; });
  Fill(2, [](int32_t k) { return 2.0 * k; }, [](int32_t) { return 4.0; });
  CurrentSpectrum = 2;
  ui.ExpectDialog("Spectrum arithmetic").Radio(2).Ok();
  ui.ExpectDialog("Add the spectra").Radio(2).Radio2(3).Ok();
  ui.ExpectDialog("Spectrum arithmetic").Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex, 11); }).Ok();
  SpectrumArithmetic();
  EXPECT_EQ(Sp(4).Y[10], 30.0); EXPECT_EQ(Sp(4).E[10], 5.0);
  EXPECT_EQ(CurrentSpectrum, 1);
  EXPECT_EQ(LogLines().back(), "I1,I2= 1,2  sp_i * sp_j -> sp_4");
}

// ---- the functions menu ----

TEST_F(CorrectionsTest, FunctionsMenuCompressOutliersAndWrongBounds) {
  Fill(1, [](int32_t k) { return k == 50 ? 5000.0 : 100.0; }, [](int32_t) { return 10.0; });
  LastSpectrumFunction = 0;
  StatusText.clear();
  ui.ExpectDialog("Function of Spectrum 1").Radio(1).Ok();
  ui.ExpectDialog("Compress the spectrum").Radio2(2).Field(1, 1, "-4").Ok();  // compressor at least 1
  ui.ExpectDialog("Function of Spectrum 1").Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex, 8); })
      .Radio(8).Ok();
  ui.ExpectDialog("Automatic outlier correction").Radio2(3).Ok();
  ui.ExpectDialog("Function of Spectrum 1").Inspect([](TForm2& f) { EXPECT_EQ(f.Label6.caption, "1 outliers corrected"); })
      .Radio(6).Ok();
  ui.ExpectDialog("Interpolate the spectrum").Radio2(2).Field(4, 1, "50").Field(5, 1, "40").Ok();
  SpectrumFunctions();
  EXPECT_EQ(Sp(2).Y[20], 100.0);
  EXPECT_EQ(Sp(3).Y[50], 100.0);
  EXPECT_EQ(Sp(1).Y[50], 5000.0);
  EXPECT_EQ(ui.Messages().back(), "Wrong new spectrum bounds");
  EXPECT_EQ(LastSpectrumFunction, 6);  // the refused function stays preselected
  EXPECT_EQ(LogLines().back(), "1 outliers corrected");
}

// An interval before the first channel or past the last, or a field without a number: named at
// OK, the window stays with the text; Cancel then ends the menu with no spectrum or setting changed.
TEST_F(CorrectionsTest, FunctionsMenuNamesAFieldOutsideTheChannels) {
  Fill(1, [](int32_t k) { return 100.0 + k; }, [](int32_t) { return 10.0; });
  const std::string channels = "(" + std::to_string(Sp(1).FirstChannel) + " to " + std::to_string(Sp(1).LastChannel) + ")";
  struct Case { int32_t function; const char* dialog; int32_t row; std::string text, message; };
  const Case cases[] = {
      {3, "Smooth the spectrum", 2, "-5", "Error, Interval_I1 = -5 is out of range " + channels},
      {3, "Smooth the spectrum", 3, "99999", "Error, Interval_I2 = 99999 is out of range " + channels},
      {4, "Build the envelope from below", 2, "0", "Error, Interval_I1 = 0 is out of range " + channels},
      {1, "Compress the spectrum", 1, "2x", "Error, Compressor: \"2x\" is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const double smoother = Smoother;
    const std::vector<double> before(Sp(2).Y + 1, Sp(2).Y + 101);
    ui.ExpectDialog("Function of Spectrum 1").Radio(c.function).Ok();
    ui.ExpectDialog(c.dialog).Radio2(2).Field(c.row, 1, c.text).Press(1)
        .Inspect([&c](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(0, c.row - 1), c.text); }).Cancel();
    ui.ExpectMessage(c.message);
    SpectrumFunctions();
    EXPECT_EQ(std::vector<double>(Sp(2).Y + 1, Sp(2).Y + 101), before);
    EXPECT_EQ(Smoother, smoother);
    EXPECT_EQ(ui.Remaining(), std::vector<std::string>{});
  }
}

// ---- RTOF ----

TEST_F(CorrectionsTest, RtofSumsAdaptationAndDifference) {
  std::vector<std::string> files;
  for (double c : {3.0, 6.0, 9.0}) {
    Fill(1, [](int32_t) { return 0.0; }, [](int32_t) { return 1.0; });
    Sp(1).Y[40] = c;
    files.push_back(Temp("p" + std::to_string(files.size()) + ".spc"));
    Sp(1).WriteBinarySpectrum(1, 100, files.back());
  }
  files.push_back(Temp("missing.spc"));  // left out of sum and divisor
  EXPECT_EQ(FormRtofSum(2, files, 1, 100), 3);
  EXPECT_EQ(Sp(2).Y[40], 6.0); EXPECT_EQ(Sp(2).E[40], 6.0);
  // Spectrum 3 half of spectrum 2: k0 = 2, k1 = 0, chi2 = 0.
  for (int32_t k = 1; k <= 100; ++k) Sp(2).Y[k] = Sp(2).E[k] = 10.0 + k, Sp(3).Y[k] = Sp(3).E[k] = 5.0 + 0.5 * k;
  TRtofAdaptation r;
  ASSERT_TRUE(AdaptRtofSpectra(20, 60, true, 1, 100, r));
  EXPECT_NEAR(r.k0, 2.0, 1e-12); EXPECT_EQ(r.k1, 0.0); EXPECT_NEAR(r.chi2, 0.0, 1e-20);
  // With the linear term: the weighted normal equations solved independently (Cramer).
  for (int32_t k = 1; k <= 100; ++k) Sp(2).Y[k] = 50 + k + 0.01 * k * k, Sp(3).Y[k] = 30 + 0.3 * k, Sp(3).E[k] = Sp(3).Y[k];
  double A[2][2] = {}, v[2] = {};
  for (int32_t k = 20; k <= 60; ++k) {
    const double w = 1 / (Sp(2).E[k] * Sp(2).E[k] + Sp(3).E[k] * Sp(3).E[k]), x = (2.0 * k - 40) / 41;
    const double row[2] = {Sp(3).Y[k], Sp(3).Y[k] * x};
    for (int32_t a = 0; a < 2; ++a) {
      v[a] += w * row[a] * Sp(2).Y[k];
      for (int32_t b = 0; b < 2; ++b) A[a][b] += w * row[a] * row[b];
    }
  }
  const double det = A[0][0] * A[1][1] - A[0][1] * A[1][0];
  ASSERT_TRUE(AdaptRtofSpectra(20, 60, false, 1, 100, r));
  EXPECT_NEAR(r.k0, (v[0] * A[1][1] - A[0][1] * v[1]) / det, 1e-9);
  EXPECT_NEAR(r.k1, (A[0][0] * v[1] - A[1][0] * v[0]) / det, 1e-9);
  EXPECT_FALSE(AdaptRtofSpectra(60, 20, true, 1, 100, r));
  // The difference: equal sums give 0 with error sqrt(2c), cut at 46340.
  Sp(2).Y[5] = Sp(3).Y[5] = Sp(2).E[5] = Sp(3).E[5] = 50;
  Sp(2).E[6] = Sp(3).E[6] = 2e9;
  FormRtofDifference(1, 100);
  EXPECT_EQ(Sp(1).Y[5], 0.0); EXPECT_EQ(Sp(1).E[5], 10.0); EXPECT_EQ(Sp(1).E[6], 46340.0);
  EXPECT_EQ(Sp(1).Name, "hrspec.spc");
}

TEST_F(CorrectionsTest, RtofMenuEndToEnd) {
  for (int32_t k = 1; k <= 3000; ++k) Sp(1).Y[k] = 4.0 * k;
  Sp(1).LastChannel = 3000;
  const std::string f = Temp("a.spc");
  Sp(1).WriteBinarySpectrum(1, 3000, f);
  ui.ExpectDialog("Make a Fourier spectrum").Radio(1).Ok();
  ui.ChooseFiles({f});
  ui.ExpectDialog("Make a Fourier spectrum").Ok();  // the formed list
  ui.ExpectDialog("Make a Fourier spectrum").Inspect([](TForm2& d) { EXPECT_EQ(d.RadioGroup1.itemIndex, 1); }).Ok();
  ui.ChooseFiles({f, f});
  ui.ExpectDialog("Make a Fourier spectrum").Ok();
  ui.ExpectDialog("Make a Fourier spectrum").Ok();  // adapt
  ui.ExpectDialog("Adapting positive and negative spectra")
      .Inspect([](TForm2& d) { EXPECT_EQ(d.Edit1.text, "2000"); EXPECT_EQ(d.Edit2.text, "2999"); })
      .Ok();
  ui.ExpectDialog("Adapting positive and negative spectra").Ok();
  ui.ExpectDialog("Make a Fourier spectrum").Ok();  // difference
  ui.ExpectDialog("Spectrum 1").Ok();  // the spectrum parameter editor
  ui.ExpectDialog("Spectrum 1").Ok();  // the formed list
  ui.ExpectDialog("Make a Fourier spectrum").Ok();  // Exit
  MakeRtofSpectrum();
  EXPECT_EQ(InfoLines.lines[1], "RTOF spectrum formed as Sp1");
  EXPECT_NEAR(Sp(1).Y[2500], 0.0, 1e-9);
}

}  // namespace
