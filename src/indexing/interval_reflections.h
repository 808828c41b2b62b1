// Two displays of the powder indexing: every calculated reflection of a d interval beside the
// nearest measured line, and the fit plot of measured against calculated d-spacings; the
// conventional order of Miller indices that both lists and the results use.
#pragma once
#include <cstdint>
#include <string>

void SwapIntegers(int32_t& a, int32_t& b);
// Tetragonal, hexagonal, rhombohedral: h and k exchanged when |k| > |h|; cubic the same, then k
// and l exchanged when |k| < l (signed l); the other systems unchanged.
void OrderIndexTriple(int32_t h, int32_t k, int32_t l, int32_t system, int32_t& ho, int32_t& ko, int32_t& lo);
// One row of the interval list: ordered indices, the phase (blank with one phase), d, and the
// nearest measured line under "d_exp." when it lies within 1.4 x its error, else under "d_out".
std::string IntervalRow(int32_t p, int32_t j);
// The interval dialog, then per phase the list in the information window (and the result file).
void ShowAllReflections();
// The measured lines as fuchsia triangles and the calculated ones as ticks in their phase's colour
// on the dialog window's picture, with the cells of phases 1 to 4 and the true cell.
void PlotCurrentFit();
