// The results of an indexing search: cells with errors, the reduced cell, the centring types the
// indexed lines obey, the table of lines with their deviations, the count of visible reflections
// and the two figures of merit (the criterion and chi^2 / N(d)), on screen or into the result file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/model_tables.h"

// Per phase: lines assigned to it, mean and largest |d_exp - d_calc| (angstrom).
extern double PhaseMeanDeviation[MaxPhases + 1];
extern double PhaseMaxDeviation[MaxPhases + 1];

// Mode 2: page by page in the memo of the dialog window (Cancel ends); mode 3: into LogFile,
// once per Make. When the output ends, a reduced cell replaces the fitted one in the records, the
// lines are reassigned and the errors recomputed at it.
void ShowIndexingResults(int32_t mode);
// "  " + name + value (width 10) + "  +- " + error (width 7), both with the given decimals.
std::string ValueErrorLine(int32_t decimals, const std::string& name, double value, double error);
void ShowValueError(int32_t decimals, const std::string& name, double value, double error, int32_t mode);
// Error in degrees of an angle held as a cosine: sigma_cos x 57.2958 / sin; 0 where the cosine
// reaches +-1 (no finite value exists there).
double AngleErrorFromCosine(double cosine, double cosineError);
// prob[1..6] (A, B, C, F, I, R): the share of all lines whose indices obey each centring the
// system allows; 0 for the others.
void CentringProbabilities(int32_t system, double (&prob)[7]);
// PhaseLineCount, PhaseMeanDeviation, PhaseMaxDeviation from the indexed lines' phases.
void PhaseDeviations();
// Calculated reflections of phase p inside the measured d range, pairs closer than
// 1.4 x AverageDError merged: their count, and their d descending.
void CountVisibleReflections(int32_t& n, int32_t p);
void VisibleReflections(int32_t p, std::vector<double>& d);
// 1 / (max(|nVisible - lines|, 1) x max(meanDeviation, 1e-5)).
double IndexingCriterion(int32_t nVisible, int32_t lines, double meanDeviation);
// Free cell parameters of a crystal system (6 triclinic .. 1 cubic).
int32_t CellParameterCount(int32_t system);
// The abscissa of d by DSpacingDataType with the current spectrum's calibration, the inverse
// of ChannelToD: two-theta = true two-theta - zero shift, theta half of it, channel =
// 505.556 d sin(Bragg angle) L / cw - delay. d for type 0 or without a spectrum.
double CalculatedAbscissa(double d);
