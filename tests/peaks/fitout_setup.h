// The Fitra fixture with record arrays set by hand; the calibration state is put back too.
#pragma once
#include <string>
#include <vector>
#include "fitra_setup.h"
#include "peaks/auto_calibration.h"
#include "core/toolbox.h"
#include "peaks/peak_areas.h"

// The rows under key of tests/peaks/data/fitout_golden.txt (tools/gen_fitout_golden.py), as numbers.
inline std::vector<std::vector<double>> FitoutRows(const std::string& key) {
  std::vector<std::vector<double>> out;
  for (const Tokens& row : GoldenRows("fitout_golden.txt", "peaks"))
    if (row[0] == key) out.push_back(Numbers(row));
  return out;
}

class FitoutTest : public FitraTest {
protected:
  void SetUp() override {
    FitraTest::SetUp();
    CalibrationMode = 1, TrevoAutoRun = DialogWhileFitting = 0, CalibrationSpectrumName.clear();
    Load(std::vector<double>(4000, 0.0));
  }
  ParameterRecord& R(int32_t k) { return FitParameters->Records[k]; }
  void Set(int32_t k, double v, double e = 0, double l = -1e9, double h = 1e9) { R(k) = {k, l, v, h, 1, 0, e, 0, {}}; }
  // Peaks a, p of models m (1); w[j] the W0 of model j + 1 (W1 = slope) or of peak j + 1 (WidthMode -1).
  void Layout(const std::vector<double>& a, const std::vector<double>& p, const std::vector<double>& w,
              double slope = 0, const std::vector<int32_t>& m = {}) {
    const int32_t n = MarkedPointCount = static_cast<int32_t>(a.size());
    FitParameters->NPar = WidthMode == -1 ? 3 * n + 6 : 2 * n + 18;
    for (int32_t k = 1; k <= FitParameters->NPar; ++k) Set(k, WidthMode != -1 && k > 12 + 2 * n ? slope : 0);
    for (int32_t i = 1; i <= n; ++i) MarkedPointModels[i] = m.empty() ? 1 : m[i - 1], Set(6 + i, a[i - 1]);
    for (int32_t i = 1; i <= n; ++i) Set(6 + n + i, p[i - 1]);
    for (size_t j = 0; j < w.size(); ++j) Set(7 + 2 * n + static_cast<int32_t>(j), w[j]);
  }

private:
  KeepValues<int32_t> exp_{&ExpFitMode, 1}, limit_{&CalibrationPointCount, 1}, cal_{&CalibrationMode, 1},
      first_{&IntervalFirst, 1}, last_{&IntervalLast, 1};
  KeepValues<uint8_t> trevo_{&TrevoAutoRun, 1}, dialog_{&DialogWhileFitting, 1};
  KeepValues<double> refs_{CalibrationPoints, CalibrationPointCapacity + 1},
      results_{&CalibrationResults[0][0], (CalibrationRows + 1) * (CalibrationColumns + 1)};
};
