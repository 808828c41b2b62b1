// Auto-calibration of the abscissa from the peaks of a Fitra fit: every assignment of K peaks to
// K reference values (both in ascending order) is fitted with a calibration curve, the one with
// the smallest criterion wins, and the abscissae of spectrum 1 over the working range become the
// calibrated values. AutoCalibration is declared in peaks/fitra_state.h.
//
// The references are CalibrationPoints[1..L] (default the gamma-line energies 4438, 5617, 6129,
// 7117 keV); L is the core's CalibrationPointCount. Mode 1 fits y = a (x - x0) + b through the
// pairs (FitStraightLine, error 5 per point), mode 2 y = p1 + p2 x + p3 (1.5 x^2 - 0.5) with ten
// damped steps of its own engine (weight 0.0025).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "core/fit_engine.h"
#include "core/neighbour_services.h"

// The length L of the reference list under the name the INI command uses.
inline int32_t& CalibrationPointLimit = CalibrationPointCount;

extern int32_t CalibrationMode;        // 1 straight line, 2 three Legendre terms
extern uint8_t CalibrationLogScale;    // x := ln(|x| + 1e-6); mode 1's y times ln 2
extern int32_t CalibrationTrialPoints;  // K of the last run (6 before any run)
extern double BestCalibrationCriterion;  // 1e17 at the start of a run
// The engine of mode 2, created for each run.
extern std::unique_ptr<TParameter> CalibrationFit;
// The sequence file name of the spectrum being calibrated ("row_column.ext"), set by the phase
// evolution before it calls AutoCalibration; empty from the Fitra menu.
extern std::string CalibrationSpectrumName;

// The point lists of one trial, [1..K]: x the peak positions (or their logarithms), y the
// reference values, ratio the peaks' significance.
constexpr int32_t CalibrationTrialCapacity = 16;
struct TCalibrationPoints {
  int32_t count = 0;
  double x[CalibrationTrialCapacity + 1] = {};
  double y[CalibrationTrialCapacity + 1] = {};
  double ratio[CalibrationTrialCapacity + 1] = {};
};
extern TCalibrationPoints CalibrationTrial;

// The best trial of the last run: its masks (bit 0 the first reference or peak), mode 1's line
// y = a (x - x0) + b with the errors of a and b, mode 2's p[1..3].
struct TCalibrationBest {
  int64_t references = 0, peaks = 0;
  double a = 0, b = 0, x0 = 0, aError = 0, bError = 0;
  double p[4] = {};
};
extern TCalibrationBest BestCalibration;

// The reference values whose bit is set in mask (bit 0 the first of n) into CalibrationTrial.y.
void SelectCalibrationPoints(int64_t mask, int32_t n);
// The peaks whose bit is set into CalibrationTrial.x and .ratio (the peak list of the run).
void SelectCalibrationPeaks(int64_t mask, int32_t n);
// The model of mode 2 on CalibrationTrial for CalibrationFit.
void CalibrationModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage);
// CalibrationFit for K points: 3 records with their bounds, 10 iterations, Step 0.5, Damp 0.1.
void CreateCalibrationFit(int32_t k);
// Fits CalibrationTrial with CalibrationFit; the criterion is chi^2 per degree of freedom, NaN
// when the engine failed.
double RunCalibrationFit();
