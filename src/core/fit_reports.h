// Judging and reporting a fit: the quality flags, the summary in the result file, cautious
// controls for a retry, the count of free parameters, a character graph of data and model, and
// the correlation matrix. All output goes to LogFile.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/fit_engine.h"

// Sets QualityFlags: Conv <> 1; MatInv <> 1; ChiDf > 3; Eps > the accuracy limit (EpsReq, see
// TParameter::AccuracyLimit); ChiPlus outside
// [0.25, 0.75] while ChiDf > 0.1. A value that is not a number counts as bad.
void EvaluateFitQuality(TParameter& fit);
// Status texts, quality lines, parameters on their bounds, conditioning, chi2/df and the list of
// parameters with their errors.
void PrintFitResults(TParameter& fit);
// The line that says a fit diverged and went back to its best point.
inline constexpr const char* DivergenceNote = "++++ The fit diverged: back to its best point";
// A record not fixed whose value sits on one of its bounds.
inline bool OnBound(const ParameterRecord& r) {
  return r.lower != r.upper && (r.value == r.lower || r.value == r.upper);
}
// "NAME lower|upper BOUND" of a record on a bound (the name left out when empty).
std::string BoundText(const ParameterRecord& r);
// "NUMBER NAME lower|upper BOUND" for every record (not fixed) that ends on one of its bounds.
std::vector<std::string> BoundLines(const TParameter& fit);
// Damp := min(0.1, 10 Damp), Step / 2, Skip 1, GNIter + 1 (unless 0), and 5 when that is 2..4.
void RelaxFitControls(TFitControls& controls);
// NPar minus the fixed records minus the dependent records.
void CountFreeParameters(const TParameter& fit, int32_t& n);
// Data, model and chi2 of every point with a 40-column character plot. Callers pass Ymax = 0
// (the data range is then taken from the model function).
void PrintTextGraph(TParameter& fit, TModelFunc ModelFunc, double& Ymax);
// Normalises the inverse left by the final pass to correlations, in place, and prints it.
void PrintCorrelationMatrix(TParameter& fit);
