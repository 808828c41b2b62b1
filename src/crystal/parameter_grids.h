// The fillers of the parameter-array grid (Form2.StringGrid1), one per analysis mode: the name
// column and, through ShowParameterRow, the numbers of every row of the mode's layout with the
// decimals of its kind. Rows past the grid (the array's count) are left out.
#pragma once

// MainMode 0: global, phase and atom rows (an atom's first row signed by its moment in a
// magnetic phase, X, Y, Z named with the atom), the magnetic block, then the anisotropy rows.
void FillRietveldGrid();
// MainMode 1: six rows per phase (edges 5 decimals, angles 6) and the three instrument rows.
void FillIndexingGrid();
// MainMode 2: global and phase rows, one intensity row per reflection, then the anisotropy rows.
void FillMatchGrid();
// MainMode 3: background, amplitudes, positions and widths by the Fitra variant.
void FillFitraGrid();
// With AnisotropyOn the twelve anisotropy rows of every phase (4 decimals; the first name empty
// for a phase that is not anisotropic), with M2Mode the two M2 rows (5 decimals).
void FillAnisotropyGridRows();
