// The fixture of the peak tests: fresh spectra, fresh peak models (model 1 Gauss), the search
// controls and results put back at the end, and the golden files of tools/gen_peaks_golden.py.
#pragma once
#include <memory>
#include <string>
#include <vector>
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "crystal/model_options.h"
#include "peaks/peak_search.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

class PeaksTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    for (int32_t k = 1; k <= PeakModelCount; ++k) PeakModels[k] = std::make_unique<TPeakModel>();
    CurrentSpectrum = 1;
    PeakSensitivity = PeakResolution = 1.0;
    SmallStatistics = 7.0, MaxPeakCount = 150, PeakSearchSectionLength = 256;
    OptionFlags[5] = 0;
  }
  void TearDown() override {
    for (int32_t k = 1; k <= PeakModelCount; ++k) PeakModels[k] = std::move(models_[k]);
    ScriptedTest::TearDown();
  }
  TSpectrum& Sp(int32_t i = 1) { return *SpectrumList[i]; }
  // Spectrum 1 with counts[0..] from channel first on, zeros elsewhere.
  TSpectrum& Load(const std::vector<double>& counts, int32_t first = 1) {
    TSpectrum& sp = Sp();
    for (int32_t c = 1; c <= MaxChannels; ++c) sp.Y[c] = 0.0, sp.E[c] = 1.0;
    for (size_t i = 0; i < counts.size(); ++i) sp.Y[first + static_cast<int32_t>(i)] = counts[i];
    sp.FirstChannel = 1, sp.LastChannel = first + static_cast<int32_t>(counts.size()) - 1;
    sp.WorkFirst = 1, sp.WorkLast = sp.LastChannel;
    return sp;
  }
  std::vector<double> Found() const { return {MarkedPoints + 1, MarkedPoints + 1 + MarkedPointCount}; }

private:
  FreshSpectra spectra_;
  std::unique_ptr<TPeakModel> models_[PeakModelCount + 1] = {};
  KeepValues<double> points_{MarkedPoints, MarkedPointCapacity + 1}, sens_{&PeakSensitivity, 1},
      res_{&PeakResolution, 1}, small_{&SmallStatistics, 1}, ratio_{&SpecialModelRatio, 1};
  KeepValues<int32_t> count_{&MarkedPointCount, 1}, max_{&MaxPeakCount, 1}, length_{&PeakSearchSectionLength, 1},
      current_{&CurrentSpectrum, 1}, selected_{&SelectedPeakModel, 1};
  KeepValues<uint8_t> flags_{OptionFlags, OptionFlagCount};
  KeepValues<TRealModelOptions> options_{&RealModelOptions, 1};

public:
  PeaksTest() {
    for (int32_t k = 1; k <= PeakModelCount; ++k) models_[k] = std::move(PeakModels[k]);
  }
};

// Numbers of a golden row from token `from` on.
inline std::vector<double> Numbers(const Tokens& row, size_t from = 1) {
  std::vector<double> v;
  for (size_t i = from; i < row.size(); ++i) {
    double x = 0.0;
    TokenNumber(row[i], x);
    v.push_back(x);
  }
  return v;
}
