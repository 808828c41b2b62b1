// The analysis-mode dialogs (width law, anisotropy, deconvolution, background) and the two-theta
// axis of angular spectra.
#pragma once
#include <cstdint>

void SetAnalysisModes();
// A grid of n rows (column widths 220, 80); the cells into DialogNumbers[1..n].
void ShowItemDialog(int32_t n);
void FillTwoThetaAxis(int32_t s);
void AssignTwoThetas(int32_t s);
