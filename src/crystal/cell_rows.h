// The cell records of a phase in the parameter array and the rows through which the user edits
// them as a, b, c, alpha, beta, gamma with bounds.
//
// The records of phase k begin after s = PhaseParameterOffset(k):
//   Rietveld and powder match (MainMode 0, 2): s + 2 .. s + 7 hold the metric coefficients of
//     1/d^2 in the order h^2, k^2, l^2, kl, hl, hk (A, B, C and the cross terms; the records
//     named "alpha", "beta", "gamma" hold kl, hl, hk);
//   powder indexing (MainMode 1): s + 1 .. s + 6 hold a, b, c and cos alpha, cos beta, cos gamma.
// The value row of the metric layout converts as the reciprocal cell a* = sqrt(A), cos alpha* =
// kl / (2 b* c*) ... into the direct cell of that reciprocal cell, and back. A bound converts one
// quantity at a time against the value cell: A's bound is A with a at its bound (A ~ 1/a^2), kl's
// bound kl with alpha at its bound, the other five at their values; so the bounds of an edge
// invert and come out crossed until they are put in order, and a cell's bounds come back as
// they went. A bound equal to its value stays equal to it.
#pragma once
#include <cstdint>
#include "core/fit_engine.h"

// Rows of CellWorkRows.
enum : int32_t { LowerCellRow = 0, ValueCellRow = 1, UpperCellRow = 2 };

// The lower bounds, the values and the upper bounds of the six cell quantities of one phase:
// the records as loaded (A..F, or the indexing edges and cosines), or a, b, c (angstrom) and
// alpha, beta, gamma (degrees) after a conversion.
extern double CellWorkRows[3][6];
// One cell (six doubles) for the conversions.
extern double CellScratch[6];

// The first of phase k's six cell records in the layout of MainMode, 0 when phase k or its six
// records lie outside the tables.
int32_t FirstCellRecord(int32_t k);

// CellWorkRows := lower, value and upper of phase k's six cell records of parar.
void LoadCellParameterRows(int32_t k);
// Loads the rows and turns them into a, b, c, alpha, beta, gamma (bounds one quantity at a time). Metric layout: cross terms of
// magnitude at most 1e-6 become 0; A, B, C bounds are swapped when crossed and a cross term's
// bounds when its upper one is negative; a bound of A, B or C that is not positive (a cell
// accuracy above 100 %) converts as 1e-6 of the value, which gives a large but finite edge
// bound. A value row with A, B or C not positive, or not finite, is a broken array: the message
// "Wrong cell records of phase " + k, the rows stay as loaded and the result is false.
// Indexing layout: a cosine's bounds are swapped when its upper one is negative; the cosines
// become angles.
bool MetricRowsToCell(int32_t k);
// Converts the rows back into phase k's records (loading them first when keepWork is 0).
// Metric layout: the value row's reciprocal cell gives A = a*^2 ... kl = 2 b* c* cos alpha* ...,
// each bound its own record's bound (above), cross terms of magnitude at most 1e-6 become 0,
// then OrderCellBounds(k). Indexing layout: the
// angles become cosines, a cosine's crossed bounds are swapped. A row
// with an edge that is not positive, or with a number that is not finite, stores nothing:
// false.
bool CellToMetricRows(int32_t k, int32_t keepWork);
// Puts each quantity's lower bound, value and upper bound in order (crossed bounds swapped, a
// bound beyond the value moved to it) and stores the rows as phase k's six records.
void OrderCellBounds(int32_t k);
// Lower, value and upper of record r := 0.
void ZeroCellRow(int32_t r);

// After an edit of phase k's rows (in CellWorkRows, as a, b, c, alpha, beta, gamma): stores
// them as CellToMetricRows(k, 1) does, except that a record none of whose cell quantities the
// user edited keeps, bit for bit, what it held before the display (original: the phase's six
// records then). valueEdited[q] and boundEdited[q] tell which values and bounds of a, b, c,
// alpha, beta, gamma were edited. In the metric layout A depends on a and the angles, kl on b, c
// and the angles and so on; in the indexing layout each record on its own quantity. The bounds are
// then put in order (metric layout). False (nothing stored) when the rows do not convert.
bool StoreEditedCellRows(int32_t k, const ParameterRecord* original, const bool (&valueEdited)[6],
                         const bool (&boundEdited)[6]);

// The dialog " Edit unit cell parameters if needed": per phase the six cell rows with their
// bounds and the crystal system, whose constraints then go on the metric records. An edge that
// is not a positive number or an angle outside (0, 180) shows "Wrong unit cell parameters" and
// the dialog starts again; Cancel keeps what the phases confirmed before.
void EditCellParameters();
