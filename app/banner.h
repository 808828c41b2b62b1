#pragma once
// The caption of the main window and the start dialog.
inline constexpr const char* kBanner =
    "vkest 2026: Rietveld analysis, powder indexing and peak fitting of powder diffraction spectra";
