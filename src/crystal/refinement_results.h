// The results of a finished Rietveld or powder-match refinement as text: the res-file beside the
// spectrum, the saved results and interatomic distances appended to the result file, and the
// page-by-page display. All are built from the same blocks of lines: fit statistics (S), unit
// cells (C), moment directions (M), anisotropy (A), powder-match reflections (R), atoms (T) and
// distances.
//
// A block goes through OutputLine: dest 2 the dialog window's memo, any other dest the result
// file (or the res-file while WriteResFile writes). Distances use the direct metric of the fitted
// cell, Q = a^2 dx^2 + b^2 dy^2 + c^2 dz^2 + 2bc cos(alpha) dy dz + 2ac cos(beta) dx dz
// + 2ab cos(gamma) dx dy, d = sqrt(Q), with first-order errors from the six cell errors and the
// coordinate errors of both atoms.
#pragma once
#include <cstdint>
#include <string>

// The one-line status the refinement menu shows.
extern std::string StatusText;

// The res-file of the current results: <current folder>/<spectrum name without its last
// extension, at most 75 characters>.res, written under a temporary name and renamed when whole.
// Also sets TraceCaption to the name. A name that would replace the spectrum file or the open
// result file gets "_fit.res" instead. A file that cannot be created: "Wrong spectrum-related
// file" in the result file and IoOk := 0. Changes no flag.
void WriteResFile();
// The path WriteResFile would write for the current spectrum (also sets TraceCaption); "" for a
// spectrum without a file name.
std::string ResFilePath();
// Mode 0: the full results appended to the result file; mode 1: the interatomic distances.
void SaveRietveldResults(int32_t mode);
// The results page by page in the dialog window's memo.
void ShowRietveldResults();

void OutputFitStatistics(int32_t dest);
void OutputUnitCells(int32_t p, int32_t dest);
// lines[0..3] := the title and the three "Phi_" lines of magnetic phase p (n is not used).
void OutputPhaseLinks(int32_t p, std::string* lines, int32_t n);
void OutputAnisotropy(int32_t p, int32_t dest);
void OutputPowderReflections(int32_t p, int32_t dest);  // block R
void OutputAtoms(int32_t p, int32_t dest);              // block T
void OutputAtomDistances(int32_t p);
// x := the number of efficient peaks: sum over reflections of 1 / (1 + s_i), s_i the Gaussian
// overlap exp(-((x_i - x_j) / W)^2 / 2) summed over the other reflections closer than 3W.
void FormatResultNumber(double& x);

// The two test sums of the last OutputUnitCells under OptionFlags[1].
extern double CellLinkSum, CellAngleSum;
