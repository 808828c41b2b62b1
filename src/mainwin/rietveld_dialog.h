// The "&Rietveld " item of the menu bar: the dialog "Select the analysis" that leads to the
// crystal data, the Rietveld fit, the powder match, the Fourier synthesis, the analysis modes, the
// scale correction and the parameter array; and what the window shows after a fit.
#pragma once
#include <cstdint>

// The preselected item: 1 while no crystal data were entered, else 2 in MainMode 0, else 3.
int32_t AnalysisPreselection();
// The dialog loop: items 1, 5 and 6 come back to it, 2, 3, 4 and 7 leave it, as does Cancel.
void RietveldAnalysisDialog();
// After the fit menu of kind 1 (Rietveld) or 3 (powder match), kind = MainMode + 1: the status
// lines hidden and StatusMessage shown; when DialogOk is 1 and the fit of that kind is done,
// only the current spectrum is marked and the graph drawn again.
void ShowFitOutcome(int32_t kind);
