// The profile's physics: a reflection's area over the channels is its integrated intensity
// S m LF |F|^2 for every peak model and width law, whatever its width; a long-tailed shape ends
// without a step, so chi^2 is continuous in every position record and its analytic gradient
// follows a central difference across the steps that move tails over the table's ends; and an
// angular spectrum places its reflections right before any fit has run.
#include <gtest/gtest.h>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>
#include "core/model_switches.h"
#include "crystal/fit_summary.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"

namespace {

constexpr int32_t kPerChannel = 64;

class ProfileArea : public ProfileTest {
protected:
  // Aluminium's (111) alone (d = a / sqrt 3, multiplicity 8) on 1200 channels, the width W in
  // channels under the law, the spectrum correction 0.
  void SetUpSingleReflection(int32_t axis, int32_t law, int32_t model, double W) {
    const bool tof = axis == AxisTimeOfFlight;  // the reflection at channel 1515 or 570
    SetUpProfileSpectrum({.axis = axis, .first = tof ? 900 : 1, .last = tof ? 2100 : 1200, .slope = 20.0, .offset = -200.0});
    MainMode = 0, WidthMode = law, PhaseCount = 1;
    ASSERT_TRUE(SetUpAluminium(1));
    ASSERT_EQ(FormProfileReflections(1, 2.2, 2.5), 1);
    SetShape(2, model);
    LayOutProfileParameters();
    const int32_t b = PhaseBase(1);
    SetRecord(10, 0), SetRecord(b + 1, 2.5);
    // Laws 0 and 1: W0 + W1 u (+ W2 t^2 on angular spectra); laws 2 and 3: sqrt(W0 + ...).
    SetRecord(b + 8, law <= 1 ? W : W * W), SetRecord(b + 9, 0), SetRecord(b + 10, 0);
  }
};

// The area of the profile drawn at 64 points per channel against S m LF |F|^2 of the reflection,
// LF = d^4 in time of flight and 1 / (sin th sin 2th) at the reflection's Bragg angle
// (asin(lambda / 2d), less half the zero shift) on an angular spectrum: the midpoint sum stands for the integral within 1e-7 at widths of 25 to 120
// channels, whatever the small steps of the table's interpolation between its points. The
// analytic exponential and the step function end in steps by design and are no peaks.
TEST_F(ProfileArea, AreaOfAReflectionIsItsIntensity) {
  struct Shape {
    int32_t model;
    double ratio, W;
  };
  const Shape shapes[] = {{ModelGauss, 1, 100},      {ModelLorentz, 1, 25},    {ModelIaea, 1, 100},
                          {ModelVoigt, 1, 90},        {ModelVoigt, 24, 60},     {ModelConvExp, 3, 80},
                          {ModelConvExp, 24, 60},     {ModelDetector4, 1, 100}, {ModelExpPeak, 1, 110},
                          {ModelVexo, 1, 100},        {ModelFourier, 1, 60}};
  KeepValues<double> ratio{&SpecialModelRatio, 1};
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    for (int32_t law = 0; law <= 3; ++law) {
      for (const Shape& s : shapes) {
        SpecialModelRatio = s.ratio;
        SetUpSingleReflection(axis, law, s.model, s.W);
        const std::string what = "axis " + std::to_string(axis) + " law " + std::to_string(law) + " model " +
                                 std::to_string(s.model) + " ratio " + std::to_string(s.ratio);
        const TSpectrum& sp = CurrentProfileSpectrum();
        double area = 0;
        ModelSpectrum = CurrentSpectrum;
        for (int32_t k = 0; k < (sp.WorkLast - sp.WorkFirst) * kPerChannel; ++k) {
          const double c = sp.WorkFirst + (k + 0.5) / kPerChannel;
          ModelAt(&RietveldModel, c, true);
          area += ModelOutput[2] / kPerChannel;
        }
        const THklRecord& h = HklTable[1][1];
        const double d = 4.0495 / std::sqrt(3.0);
        const double th = std::asin(FitParameters->Records[1].value / (2 * d)) -
                          FitParameters->Records[3].value / 2 * std::numbers::pi / 180;
        const double lf = axis == AxisTimeOfFlight ? std::pow(d, 4) : 1 / (std::sin(th) * std::sin(2 * th));
        const double intensity = 2.5 * h.Multiplicity * lf * (h.A * h.A + h.B * h.B);
        ASSERT_GT(intensity, 0) << what;
        EXPECT_NEAR(area / intensity, 1.0, 1e-6) << what;
      }
    }
  }
}

// Zinc oxide under three long-tailed shapes: the convoluted exponential (ratio 24, 2 % of its
// height at the table's end before the roll-off), the analytic Lorentz (0.44 % of its height at its
// reach of 15 half widths before the taper) and a Pseudo-Voigt table (its Lorentz share 2.4 % of the
// height at the table's end before the roll-off); counts from the model with a smooth distortion.
// Each position and width record swept in 80 steps that move every tail end over several
// channels: each step's change of chi^2 is the trapezoid of its analytic gradient at the two ends
// (a central difference at the step's middle) within 2e-3 of the largest change (a step at the
// tails' ends makes it as large as the change itself, a table's end falling within one table point
// a few per cent of it), and chi^2 has no minimum but the one of the data.
TEST_F(ProfileArea, LongTailsEndSmoothly) {
  KeepValues<double> ratio{&SpecialModelRatio, 1};
  SpecialModelRatio = 24;
  for (const int32_t model : {ModelConvExp, ModelLorentz, ModelPseudoVoigt}) {
    for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
      const bool tof = axis == AxisTimeOfFlight;
      SetUpProfileSpectrum({.axis = axis, .first = 480, .last = 1600});
      MainMode = 0, WidthMode = 0, PhaseCount = 1;
      ASSERT_TRUE(SetUpZincOxide(1));
      ASSERT_GT(FormProfileReflections(1), 5);
      if (model == ModelPseudoVoigt)
        SetPseudoVoigtShape(2);
      else
        SetShape(2, model);
      ASSERT_GT(PeakModels[2]->HalfWidth, 2.0);
      LayOutProfileParameters();
      const int32_t b = PhaseBase(1);
      // The Lorentz's width is its half width: a reach of 15 x 4 channels.
      const double w0 = model == ModelLorentz ? 4 : 9;
      SetRecord(4, 30), SetRecord(10, 0), SetRecord(b + 1, tof ? 40 : 400), SetRecord(b + 8, w0), SetRecord(b + 9, 0);
      SetRecord(b + 10, 0);
      TSpectrum& sp = CurrentProfileSpectrum();
      const int32_t n = sp.WorkLast - sp.WorkFirst + 1;
      for (int32_t point = 1; point <= n; ++point) {
        const int32_t ch = sp.WorkFirst + point - 1;
        sp.Y[ch] = ModelAt(&RietveldModel, point) * (1 + 0.05 * std::sin(0.21 * point));
        sp.E[ch] = std::sqrt(std::max(sp.Y[ch], 1.0));
      }
      // Records 1 (flight path or wavelength), 2 (detector angle, time of flight), 3 (delay or
      // zero shift), the cell's a and c terms, the widths W0 and W1 (and W2 on angular spectra).
      struct Sweep {
        int32_t record;
        double step;
      };
      std::vector<Sweep> sweeps = {{3, tof ? 0.013 : 0.0007}, {b + 2, 1e-5 * Rec(b + 2).value},
                                   {b + 4, 1e-5 * Rec(b + 4).value}, {1, 1e-5 * Rec(1).value},
                                   {b + 8, 4e-4 * w0}, {b + 9, 4e-4 * w0}};
      if (tof) sweeps.push_back({2, 0.0013});
      if (!tof) sweeps.push_back({b + 10, 2e-3 * w0});
      for (const Sweep& s : sweeps) {
        const std::string what = "model " + std::to_string(model) + " axis " + std::to_string(axis) + " record " +
                                 std::to_string(s.record);
        const Chi2Sweep c = SweepChi2(&RietveldModel, n, s.record, s.step);
        ASSERT_GT(c.scale, 0) << what;
        EXPECT_LT(c.worst, 2e-3 * c.scale) << what << " worst " << c.worst << " scale " << c.scale;
        EXPECT_LE(c.minima, 1) << what;
      }
    }
  }
}

// An angular spectrum whose calibration fields were never set by a fit (the reset slope 1 and
// offset 0): the model places every reflection at its two-theta's channel from the axis.
TEST_F(ProfileArea, AngularPositionsBeforeAnyFit) {
  SetUpProfileSpectrum({.axis = AxisAngular, .first = 1, .last = 3000, .slope = 20.0, .offset = -200.0});
  TSpectrum& sp = CurrentProfileSpectrum();
  sp.AngleToChannelSlope = 1, sp.AngleToChannelOffset = 0;
  MainMode = 0, WidthMode = 0, PhaseCount = 1;
  ASSERT_TRUE(SetUpAluminium(1));
  ASSERT_EQ(FormProfileReflections(1, 2.2, 2.5), 1);
  SetShape(2, ModelGauss);
  LayOutProfileParameters();
  SetRecord(10, 0), SetRecord(PhaseBase(1) + 8, 6), SetRecord(PhaseBase(1) + 9, 0), SetRecord(PhaseBase(1) + 10, 0);
  const double twoTheta = 2 * std::asin(1.54 / 2 / (4.0495 / std::sqrt(3.0))) * 180 / M_PI;
  const double expected = 20.0 * twoTheta - 200.0;  // channel of that two-theta on the axis
  int32_t top = 0;
  double best = 0;
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
    ModelAt(&RietveldModel, c - sp.WorkFirst + 1);
    if (ModelOutput[2] > best) best = ModelOutput[2], top = c;
  }
  EXPECT_NEAR(top, expected, 1.0);
}

// A time-of-flight spectrum on a logarithmic grid keeps its times in X; with "Use non-equidistant
// channels" set the Rietveld curve is still sampled at the channel numbers its reflections are
// placed on, and its peak stands on the reflection's channel.
TEST_F(ProfileArea, RietveldCurveOnChannelNumbersWhateverTheSwitch) {
  KeepValues<uint8_t> keep{&NonEquidistantChannels, 1};
  SetUpSingleReflection(AxisTimeOfFlight, 0, ModelGauss, 6);
  TSpectrum& sp = CurrentProfileSpectrum();
  for (int32_t c = 1; c <= MaxChannels; ++c) sp.X[c] = 10000 * std::pow(1.001, c);
  NonEquidistantChannels = 1;
  std::vector<TModelSample> out;
  SampleFittedCurve(sp.WorkFirst, sp.WorkLast, out);
  ASSERT_EQ(out.size(), 3u * (sp.WorkLast - sp.WorkFirst) + 1);
  TModelSample top;
  for (const TModelSample& p : out) {
    ASSERT_TRUE(p.x >= sp.WorkFirst && p.x <= sp.WorkLast) << p.x;
    if (p.model > top.model) top = p;
  }
  EXPECT_NEAR(top.x, sp.DToChannel(4.0495 / std::sqrt(3.0)), 0.5);
}

}  // namespace
