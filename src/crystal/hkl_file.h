// The reflection list of a phase read from an hkl file ("Input hkl set from a file").
//
// File: plain text, free-field numbers separated by blanks, commas or tabs, any number per line;
// five per reflection, h, k, l, multiplicity, intensity factor, running on across lines (the
// rest of the line that completes a reflection is dropped); "*" starts a comment, a line
// beginning with "/" ends the list. When the list ends after the first reflection's fourth
// number, that reflection takes the intensity factor 1; any other incomplete reflection at the
// end is dropped. Indices and multiplicity are rounded to integers (half to even); the
// intensity factor stays real.
#pragma once
#include <cstdint>

// Reflections an hkl file may give a phase; later ones in the d range are not stored.
inline constexpr int32_t MaxHklFileReflections = 1000;

// The menu operation: the dialog (phase, d range, file name), the checks, the question for a
// phase without atoms, the reading (the file order kept; d from the reciprocal cell; structure
// factors, zero for a phase without atoms), the report of all lists in a list box and the
// Rietveld and powder-match arrays marked for preparation. The phase's list is replaced only
// when the whole file has been read.
void InputHklFile();
