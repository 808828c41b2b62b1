// The reflection lists of the phases in HklTable: the symmetric list of a d-interval with
// multiplicities and structure factors (the refinement's list), the lists of integer index
// bounds (simulation and indexing), the removal of symmetry-equivalent reflections, the sort by
// d and the report of all lists.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

// Per spectrum 0..4: the working channel range for which the lists were last formed.
extern int32_t HklFormedFirst[5];
extern int32_t HklFormedLast[5];

// ---- symmetric list (symmetric_hkl_list.cpp) ----
// 1/d^2 (1/angstrom^2) of (h, k, l) from the phase's reciprocal cell a*, b*, c*, alpha*, beta*,
// gamma* (degrees): (h a*)^2 + (k b*)^2 + (l c*)^2 + 2 (l c* h a* cos beta* + k b* l c* cos alpha*
// + h a* k b* cos gamma*).
double CellInverseDSquared(const LATTICE& phase, double h, double k, double l);
// The list of phase p with dmin <= d <= dmax: one record per set of symmetry-equivalent
// reflections (its representative, multiplicity, d, and A, B, q at the representative's
// indices), sorted by d descending, a new record before older ones of equal d; at most 2000, the
// largest d of the whole interval kept ("Curtail the interval - too many hkls" once). The index
// box h = 1-nh .. nh+1, k = 1-nk .. nk+1, l = 0 .. nl with nh = round(3a) + 1, raised to
// ceil(a/dmin) + 1 when dmin > 0 (likewise k, l), visited in that order but only where d can
// reach the kept list; above e^20 box indices it asks "Too many tries for hkls. Continue?" (No:
// nothing changes). A search that runs longer than 0.1 s shows a STOP window (or uses the
// running fit's) and lets the window system run every 0.1 s; STOP abandons the command
// (OperationAbandoned, the list as it was). Sets L1..L3 := a, b, c, the phase's MaxF and
// MaxQ, and HklFormedFirst/Last of the current spectrum. A cell without positive edges or a
// reciprocal cell of no volume: "Wrong unit cell parameters" and nothing changes; a phase
// without atoms or operations gets an empty list.
void FormSymmetricHklList(int32_t p, double dmin, double dmax);
// The d range proposed by "Form hkl": from the current spectrum's working range; time of flight
// takes dmin at least 0.5; dmax < dmin gives dmax := 10 dmin. Into DMin and DMax.
void DefaultHklDRange();
// The forming of "Form hkl" once its dialog is answered: dmin < 0 refused with "Wrong d_min ",
// dmax < 0 with "Wrong d_max " (false, nothing formed); crossed bounds are swapped; then for
// each phase p with ticked[p] (1..PhaseCount) its saved edges, FormSymmetricHklList and
// PhaseReflectionAverage.
bool FormHklLists(double dmin, double dmax, const bool (&ticked)[MaxPhases + 1]);

// ---- index lists (index_hkl_lists.cpp) ----
// Index lists of all phases from HklBounds, or (IndexingMode 1) the indices of the d-spacings
// copied into phase 1. Per phase: h from h_min to h_max, k from k_min to k_max, l from 0 to
// l_max (non-negative h and k where the crystal system needs no others), the centring
// conditions, one index of each set that the crystal system's metric makes equal, at most 3999
// ("Phase" + k + " D-interval too large" ends that phase). Each record gets d from the phase's
// reciprocal cell (0 without one). With UseSpaceGroup then MarkEquivalentHkls and SortHklsByD,
// or "No space group set up" while NoCrystalInfo is set.
void GeneratePhaseHkls();
// Every phase's list by d descending; equal d keep their order.
void SortHklsByD();
// Removes from every phase's list the later members of each set of reflections related by the
// phase's operations (h R_o, no Friedel mates).
void MarkEquivalentHkls();
// The report of all phases' lists into InfoLines (logMode 1: also to LogFile), the two
// warnings, and each phase's MaxIndex4 and MaxIndex2.
void FormHklsOfPhases(int32_t logMode);
