// The count tables of the built-in test data sets, written by tools/gen_test_data.py into
// test_data_tables.cpp (the build does not run the generator).
#pragma once
#include <array>

// ZrO2 with 2 % Hf, time of flight: channels 60..805 of the refinement test spectrum.
extern const std::array<double, 746> ZrO2Counts;
// The spectra of the peak-analysis sets, channels 1..size.
extern const std::array<double, 1619> SmallPeakCounts;
extern const std::array<double, 390> VismCounts;
extern const std::array<double, 415> AsymmetricPeakCounts;
extern const std::array<double, 277> PelinCounts;
