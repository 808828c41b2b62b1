// The physics of the indexing fit: the d-spacing of a reflection from a trial cell, the
// assignment of every measured line of DSpacingList to its nearest calculated reflection, and the
// derivatives of d by the six cell records.
//
// A cell is held as in the indexing records: a, b, c (angstrom) and the cosines of alpha, beta,
// gamma. The d of every phase comes from one quadratic form S(h, k, l) per crystal system,
// d = t / sqrt(S), evaluated in a contiguous per-phase workspace so that the search recomputes
// hundreds of reflections per iteration without branches on the system.
#pragma once
#include <cstdint>
#include <vector>
#include "core/model_tables.h"

// Per phase: the reflection with the smallest d (below 100) and the one with the largest d; these
// two are never marked taken, so they may serve any number of lines.
extern int32_t SmallestDIndex[MaxPhases + 1];
extern int32_t LargestDIndex[MaxPhases + 1];

// The d of the reflection in HklScratch[0] from the six cell records of phase p of CelixFitter,
// by the crystal system of phase p, into HklScratch[0].d. Systems 1, 2, 7 give 0 when S <= 0; a
// system outside 1..7 (or no fitter) leaves d unchanged.
void HklDSpacing(int32_t p);
// The same d for a cell given directly (a, b, c, cos alpha, cos beta, cos gamma); for a system
// outside 1..7 returns d unchanged.
double CellDSpacing(int32_t system, const double (&cell)[6], double h, double k, double l, double d);
// dd/da, dd/db, dd/dc, dd/dcos alpha, dd/dcos beta, dd/dcos gamma of d = sqrt(D / Q) (the general
// triclinic form, valid for every system through its ties), at the d already computed.
void CellDSpacingDerivatives(const double (&cell)[6], double h, double k, double l, double d, double (&deriv)[6]);

// Every d of every phase (into HklTable), the extreme indices, every taken flag cleared.
void RecalcHklD();
// Assigns lines first..DSpacingCount (first = 0: all lines) to reflections, in list order: each
// line to its nearest reflection over all phases (the first smallest difference in phase then
// reflection order); when an earlier line holds it, the line nearer to it keeps it and the other
// takes its nearest free reflection. Then the UnindexedLineLimit lines farthest from their
// reflection, when beyond three sigma (the line's error, else AverageDError), are left
// unindexed: Assigned 0, their reflection kept. In unit-cell determination (IndexingMode 1) line
// i is tied to reflection i of phase 1.
void AssignLines(int32_t first);
// How many lines may stay unindexed: about one in ten, at least one; none with fewer than six
// lines or in unit-cell determination.
int32_t UnindexedLineLimit();
// The sigma of a line in the outlier tests: its own error, else the mean error.
double LineSigma(const TDSpacingRecord& line);
// The mean of LineSigma / d over the measured lines (0 without lines).
double MeanRelativeLineError();
// A line farther than this many sigma from its reflection is not indexed by the cell.
constexpr double IndexedLineSigmas = 3;
// What a line the cell leaves unindexed costs a trial's merit (natural log): a line from elsewhere
// than the phase is taken as a chance of about 1 in 150.
constexpr double UnindexedLinePenalty = 5;
// The lines 1..last (of phase p; 0: of every phase) the current assignment leaves unindexed or
// beyond IndexedLineSigmas sigma from their reflection.
int32_t MissedLines(int32_t p = 0, int32_t last = MaxDSpacings);
// RecalcHklD, then AssignLines over all lines.
void RecalcIndexingData();

// The search keeps the reflections in its workspace while it runs: d and the taken flags reach
// HklTable when it ends. Outside a search every routine above reads and writes HklTable itself.
void BeginWorkspaceSearch();
void EndWorkspaceSearch();
// True while a search holds the reflections in its workspace.
bool WorkspaceActive();
// d of reflection j of phase p as the workspace holds it (the search's current value).
double WorkspaceD(int32_t p, int32_t j);
// d (A) of every reflection of phase p (the workspace's during a search) from the reciprocal
// metric m = (A, B, C, D, E, F), Q = h^2 A + k^2 B + l^2 C + hk D + hl E + kl F; 0 where Q <= 0.
void MetricD(int32_t p, const double (&m)[6], std::vector<double>& d);
// Weighted least squares in Q = 1/d^2 of the reciprocal metric sum p_k basis_k (k of the six
// rows) over the lines indexed within IndexedLineSigmas by their assigned indices: the metric,
// chi^2 in Q and the lines used. False when the equations are singular or too few lines.
bool FitMetric(const double (&basis)[6][6], int32_t k, double (&metric)[6], double& chi, int32_t& used);
// Whether a metric of k parameters (basis rows) fits the lines FitMetric takes as well as the six
// free parameters do, within what the parameters it saves explain (byErrors: or within the lines'
// errors, but for the line it fits worst); its metric into metric.
bool TiesFitTheLines(const double (&basis)[6][6], int32_t k, double (&metric)[6], bool byErrors);
// Stores a recomputed d of reflection j of phase p (HklTable and, during a search, the workspace).
void StoreReflectionD(int32_t p, int32_t j, double d);
