// Shared by the peak-fit model, background and fit-summary tests: a fixture with fresh spectra,
// engine and peak models and the peak-fit switches put back at the end; the peak-fit layout
// laid out in FitParameters; and a derivative check of any model function against central
// differences of F through the model itself.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "core/model_test_support.h"
#include "crystal/phase_setup.h"

using ModelFn = void (*)(double& Y, double& W, double& F, int32_t Point, int32_t Stage);

// ModelTest (fresh spectra, model reset) with MainMode 3, a fresh engine, fresh Gauss peak models
// 1..7 and the peak-fit switches; everything put back at the end. Spectrum 1 has the working
// range 101..400, Y = 0, E = 2.
class PeakFitTest : public ModelTest {
protected:
  void SetUp() override {
    ModelTest::SetUp();
    for (int32_t m = 1; m <= PeakModelCount; ++m)
      savedModels_[m] = std::exchange(PeakModels[m], std::make_unique<TPeakModel>());
    savedFit_ = std::move(FitParameters);
    savedControls_ = DefaultFitControls;
    CreateFitParameters();
    MainMode = 3;
    TrevoAutoRun = 0, ExpFitMode = 0, ResolutionWidth = 0, ConvolutionType = 0;
    ModelSpectrum = 1, ModelChannel = 1;
    TSpectrum& sp = Sp(1);
    sp.WorkFirst = 101, sp.WorkLast = 400;
    for (int32_t c = 1; c <= MaxChannels; ++c) sp.Y[c] = 0, sp.E[c] = 2, sp.X[c] = c;
  }
  void TearDown() override {
    for (int32_t m = 1; m <= PeakModelCount; ++m) PeakModels[m] = std::move(savedModels_[m]);
    FitParameters = std::move(savedFit_);
    DefaultFitControls = savedControls_;
    ModelTest::TearDown();
  }

  // Shape of PeakModels[i] by model number, tabulated afresh.
  static void SetShape(int32_t i, int32_t model) {
    TPeakModel& m = *PeakModels[i];
    m.ModelNumber = model, m.Negate = 0;
    m.TabulatePeakModel();
  }

  static ParameterRecord& Rec(int32_t i) { return FitParameters->Records[i]; }
  // Records 1..n free with the given values, NPar := n.
  static void SetRecords(const std::vector<double>& values) {
    TParameter& f = *FitParameters;
    f.NPar = f.RecordCapacity();
    f.ResetParameterRecords();
    f.NPar = static_cast<int32_t>(values.size());
    for (int32_t i = 1; i <= f.NPar; ++i) f.Records[i].value = values[i - 1];
  }

  // The peak-fit layout for the peaks of models (MarkedPointModels), amplitudes, positions and
  // widths (own widths with WidthMode -1, else the W0 of each model with W1 = w1), background
  // records 1..6 and, with M2Mode, a0 and a1. Returns the record count.
  static int32_t LayOutPeaks(const std::vector<int32_t>& models, const std::vector<double>& amplitudes,
                             const std::vector<double>& positions, const std::vector<double>& widths,
                             const std::vector<double>& background, double w1 = 0, double a0 = 0, double a1 = 0) {
    const int32_t n = static_cast<int32_t>(models.size());
    MarkedPointCount = n;
    for (int32_t i = 1; i <= n; ++i) MarkedPointModels[i] = models[i - 1];
    std::vector<double> v(background);
    v.resize(6, 0.0);
    v.insert(v.end(), amplitudes.begin(), amplitudes.end());
    v.insert(v.end(), positions.begin(), positions.end());
    if (WidthMode == -1) {
      v.insert(v.end(), widths.begin(), widths.end());
    } else {
      for (int32_t m = 1; m <= 6; ++m) v.push_back(m <= static_cast<int32_t>(widths.size()) ? widths[m - 1] : 5.0);
      for (int32_t m = 1; m <= 6; ++m) v.push_back(w1);
    }
    if (M2Mode) {
      v.resize(2 * n + 18, 0.0);  // the pair follows the per-model widths of the layout
      v.push_back(a0), v.push_back(a1);
    }
    SetRecords(v);
    return static_cast<int32_t>(v.size());
  }

  // F of model at a point: stage 4 at ModelChannel = c when stage4, else at Point = c.
  static double ModelValue(ModelFn model, double c, bool stage4, double* W = nullptr) {
    double y = 0, w = 0, f = 0;
    if (stage4) ModelChannel = c;
    model(y, w, f, stage4 ? 1 : static_cast<int32_t>(c), stage4 ? 4 : 1);
    if (W) *W = w;
    return f;
  }

  // The largest |analytic - central difference| of each record over the points, as a fraction
  // of the largest |analytic| of that record over the points (or of 1e-300 for a zero column).
  // The step is 1e-6 max(1, |value|). Records listed in expectZero must have derivative 0.
  struct ColumnCheck {
    int32_t record = 0;
    double scale = 0;     // the largest |analytic derivative|
    double worst = 0;     // the largest |analytic - numerical|
  };
  static std::vector<ColumnCheck> CheckDerivatives(ModelFn model, const std::vector<double>& points, bool stage4,
                                                   const std::vector<int32_t>& records) {
    std::vector<ColumnCheck> out;
    for (int32_t r : records) out.push_back({r, 0, 0});
    TParameter& f = *FitParameters;
    for (double c : points) {
      ModelValue(model, c, stage4);
      std::vector<double> analytic;
      for (int32_t r : records) analytic.push_back(f.Records[r].Derivative);
      for (size_t k = 0; k < records.size(); ++k) {
        ParameterRecord& rec = f.Records[records[k]];
        const double v = rec.value, h = 1e-6 * std::max(1.0, std::fabs(v));
        rec.value = v + h;
        const double up = ModelValue(model, c, stage4);
        rec.value = v - h;
        const double down = ModelValue(model, c, stage4);
        rec.value = v;
        const double numeric = (up - down) / (2 * h);
        out[k].scale = std::max(out[k].scale, std::fabs(analytic[k]));
        out[k].worst = std::max(out[k].worst, std::fabs(analytic[k] - numeric));
      }
    }
    return out;
  }

private:
  std::unique_ptr<TPeakModel> savedModels_[PeakModelCount + 1];
  std::unique_ptr<TParameter> savedFit_;
  TFitControls savedControls_;
  KeepValues<uint8_t> trevo_{&TrevoAutoRun, 1};
  KeepValues<int32_t> expMode_{&ExpFitMode, 1}, arrayMode_{&ParameterArrayMode, 1};
  KeepValues<double> values_[4] = {{&ResolutionWidth, 1}, {&ConvolutionType, 1}, {&ModelSpectrum, 1},
                                   {&ModelChannel, 1}};
};

// Every column of a check within rel of its scale (and absolutely within abs when the scale is
// small); one failure message per column.
#define EXPECT_COLUMNS_AGREE(checks, rel, abs)                                                           \
  for (const auto& c_ : checks) {                                                                        \
    EXPECT_LE(c_.worst, std::max((rel) * c_.scale, (abs))) << "record " << c_.record << " scale " << c_.scale; \
  }
