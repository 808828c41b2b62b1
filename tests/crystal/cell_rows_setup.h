// Shared by the cell-row and parameter-editor tests: cell records as a preparation makes them,
// record comparison bit for bit, and a fixture that puts back parar and the editor's switches.
#pragma once
#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include "core/neighbour_services.h"
#include "crystal/cell_rows.h"
#include "crystal/parameter_editor.h"
#include "crystal/profile_setup.h"

using Six = std::array<double, 6>;

// Phase k's six cell records of parar := lower, value, upper, each independent.
inline void SetCellRecords(int32_t k, const Six& lower, const Six& value, const Six& upper) {
  for (int32_t q = 0, first = FirstCellRecord(k); q < 6; ++q)
    parar[first + q] = ParameterRecord{first + q, lower[q], value[q], upper[q], 1, 0, 0, 0, parar[first + q].Name};
}

// Phase k's metric records as the preparation forms them: value x (1 -+ accuracy / 100), the
// cross terms' bounds in ascending order.
inline void SetPreparedCellRecords(int32_t k, double accuracy) {
  const auto g = MetricRecordOrder(PhaseTable[k].Metric);
  Six lo, v, hi;
  for (int32_t q = 0; q < 6; ++q) {
    v[q] = g[q], lo[q] = g[q] * (1 - accuracy / 100), hi[q] = g[q] * (1 + accuracy / 100);
    if (q >= 3 && lo[q] > hi[q]) std::swap(lo[q], hi[q]);
  }
  SetCellRecords(k, lo, v, hi);
}

inline bool SameRecord(const ParameterRecord& x, const ParameterRecord& y) {
  const auto bits = [](double v) { return std::bit_cast<uint64_t>(v); };
  return x.n == y.n && bits(x.lower) == bits(y.lower) && bits(x.value) == bits(y.value) &&
         bits(x.upper) == bits(y.upper) && bits(x.a) == bits(y.a) && bits(x.b) == bits(y.b) &&
         bits(x.Error) == bits(y.Error) && x.Name == y.Name;
}

// ProfileTest (a time-of-flight spectrum) with parar, the array mode and the editor's switches
// put back at the end.
class CellRowsTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    ParameterArrayMode = 0, CynematicFit = 0, MarkedPointCount = 0, ExponentialCount = 0, UsedPeakModelCount = 1;
    FiveParameterFit = 0, CelixFitterCreated = 0, ParameterValuesOnly = 0, PairedPeakMode = 0;
    SetUpProfileSpectrum(ProfileSpectrum{});
  }

private:
  KeepValues<ParameterRecord> parar_{parar, MaxParameters + 1};
  KeepValues<int32_t> ints_[6] = {{&ParameterArrayMode, 1}, {&CynematicFit, 1},       {&MarkedPointCount, 1},
                                  {&ExponentialCount, 1},   {&UsedPeakModelCount, 1}, {MarkedPointModels, MarkedPointModelCount + 1}};
  KeepValues<uint8_t> bytes_[4] = {{&FiveParameterFit, 1}, {&CelixFitterCreated, 1}, {&ParameterValuesOnly, 1}, {&PairedPeakMode, 1}};
  KeepValues<std::string> status_{&StatusMessage, 1};
};
