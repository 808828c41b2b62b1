// The refinement menu of the Rietveld analysis and the powder match, and the refinement run: the
// checks before a fit, the fit with one cautious retry, the R-factors, the closing dialog with the
// repeat at half the step, and the parameter text for the clipboard.
#pragma once
#include <cstdint>
#include <string>

// StatusText, the menu's status line, is declared with the result texts (refinement_results.h).
// Eight blanks, for the column layouts of the result texts.
extern const std::string Blanks8;

// The menu loop; returns when the user leaves it (Cancel, item 6 or a refusal).
void FitActionMenu();
// One refinement run of MainMode 0 or 2. DialogOk is 0 afterwards when the run was refused
// before or by the fit, or when the closing dialog was cancelled.
void RunFitWithRepeat();
// Asks whether to fix record i of FitParameters when |error| >= 0.5 |value| (never for value 0
// or error 0); Yes fixes it at its value.
void AskFixParameter(int32_t i);
// AskFixParameter over the background records 4..9, the first nine anisotropy records of every
// anisotropic phase and the two m2 records.
void AskFixBadParameters();
// The parameter array as text, headed by the server and topic lines, onto the clipboard.
void MakeDdeParameterText();
