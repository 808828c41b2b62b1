// The spectrum-input commands of the File menu and what follows an input: the choice of the
// shown spectrum and the summary of what was read (status lines and result file).
#pragma once
#include <cstdint>
#include <string>

// Spectrum i (0..4) becomes the shown one: the interval := its working range, GraphMode 1,
// CurrentSpectrum := i, SpectrumSlots marks only i, SideButtonMask "000011111111".
void SelectSpectrum(int32_t i);
// The summary of spectrum i (0..4) after an input: the first two information lines in the
// status lines (the second "  2thetas, channel width=const" for an angular spectrum); the input
// line and the count range in the result file, with withCalibration = 1 also the calibration.
void ShowSpectrumSummary(const std::string& title, int32_t withCalibration, int32_t i);
