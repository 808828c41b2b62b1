// Forming and editing the list of measured d-spacings of the powder indexing: from a file, marked
// points, the peak search, typed lines or a phase's reflections; the error transformations, the
// removal of close lines, the free-text editor and the conversion of abscissae to d.
#pragma once
#include <cstdint>
#include <string>

class TSpectrum;

// The largest count within c - 3 .. c + 3 (a later channel only when strictly larger), then the
// centroid p over +-2 channels of |count| around it (the sum of weights at least 1); c := Round(p).
void RefineMarkedPoint(const TSpectrum& sp, int32_t& c, double& p);
// The dialog "Form the d-distribution" and the list from the chosen source.
void FormDSpacings();
// Four transformations of the errors (multiply, intensities to errors, constant, part of d).
void TransformDErrors();
// Removes the later line of the closest pairs, at least 7 lines kept.
void DeleteCloseDSpacings();
// The information editor, then the free-text editor.
void EditDSpacings();
// One line per entry: d, error, x, h, k, l, phase; up to seven numbers read back per line.
void EditDSpacingList();
// The text of entry i in the editor.
std::string DSpacingEditorLine(int32_t i);
// Abscissae to d by DSpacingDataType: angles by Bragg's law (true two-theta = x + zero shift),
// channels through the spectrum's ChannelToD.
void TwoThetasToD();
