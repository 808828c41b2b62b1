#include "core/fit_reports.h"
#include <algorithm>
#include <charconv>
#include <cmath>
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/text_file.h"

void EvaluateFitQuality(TParameter& fit) {
  // Negated comparisons, so that NaN never passes for a good value.
  fit.QualityFlags[0] = fit.Conv != 1;
  fit.QualityFlags[1] = fit.MatInv != 1;
  fit.QualityFlags[2] = !(fit.ChiDf <= 3.0);
  fit.QualityFlags[3] = !(fit.Eps <= fit.AccuracyLimit());
  fit.QualityFlags[4] = !(fit.ChiPlus >= 0.25 && fit.ChiPlus <= 0.75) && !(fit.ChiDf <= 0.1);
}

void PrintFitResults(TParameter& fit) {
  EvaluateFitQuality(fit);
  for (const std::string* text : {&fit.WrongArrayError, &fit.NoFreeParametersError, &fit.CompressionNote,
                                  &fit.ContradictionWarning})
    if (!text->empty()) LogLine(*text);
  if (fit.Status != 1) return;
  const uint8_t* q = fit.QualityFlags;
  if (fit.Diverged) LogLine(DivergenceNote);
  if (q[0]) LogLine("++++ The process hasn't converged");
  if (q[1]) LogLine("++++ The matrix can't be inverted");
  if (q[2] || q[4]) LogLine(".... The fitting quality is not good");
  if (q[3]) LogLine(".... Min. accuracy not reached");
  if (fit.ParOnB == 1) LogLine(".... Parameter(s) hit the boundary:");
  for (const std::string& line : BoundLines(fit)) LogLine(line);
  const int32_t last = std::min(fit.NPar, fit.RecordCapacity());
  LogLine("The number of conditionnedness = " + FormatNumber(15, 2, fit.Conditioning));
  LogLine(" Ch2/df=" + FormatNumber(7, 2, fit.ChiDf) + "  eps= " + FormatNumber(5, 1, fit.Eps) + "   " +
          FormatInteger(fit.Iterations, 3) + " iterations" + "  Ch+=" + FormatNumber(4, 2, fit.ChiPlus));
  LogLine(std::string(20, ' ') + "Parameters and their errors");
  for (int32_t i = 1; i <= last; ++i) {
    const ParameterRecord& r = fit.Records[i];
    const char* note = fit.ErrorNote(i);
    std::string error = FormatNumber(15, 3, r.Error);
    if (fit.ErrorUndeterminedAt(i)) note = nullptr, error = std::string(14, ' ') + "?";
    LogLine(FormatNumber(15, 3, r.value) + (note ? std::string("   ") + note : "   +-" + error));
  }
}

std::string BoundText(const ParameterRecord& r) {
  std::string name = r.Name;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(name.begin());
  const bool lower = r.value == r.lower;
  // Ten significant digits at most, always with ".": a bound derived as a * master + b shows as
  // it was meant, not with the last bit of its rounding.
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, lower ? r.lower : r.upper, std::chars_format::general, 10).ptr;
  return (name.empty() ? std::string() : name + " ") + (lower ? "lower " : "upper ") + std::string(text, end);
}

std::vector<std::string> BoundLines(const TParameter& fit) {
  std::vector<std::string> lines;
  const int32_t last = std::min(fit.NPar, fit.RecordCapacity());
  for (int32_t i = 1; i <= last; ++i) {
    const ParameterRecord& r = fit.Records[i];
    if (OnBound(r))
      lines.push_back(FormatInteger(i, 5) + FormatNumber(10, 3, r.value) + " " + BoundText(r));
  }
  return lines;
}

void RelaxFitControls(TFitControls& controls) {
  controls.Damp = std::min(0.1, 10 * controls.Damp);
  controls.Step = controls.Step / 2;
  controls.Skip = 1;
  if (controls.GNIter != 0) {
    controls.GNIter += 1;
    if (controls.GNIter >= 2 && controls.GNIter <= 4) controls.GNIter = 5;
  }
}

void CountFreeParameters(const TParameter& fit, int32_t& n) {
  const int32_t last = std::min(fit.NPar, fit.RecordCapacity());
  n = fit.NPar;
  for (int32_t i = 1; i <= last; ++i) {
    const ParameterRecord& r = fit.Records[i];
    if (r.lower == r.upper) --n;
    if (r.n != i) --n;
  }
}

namespace {
// The plot column of v: max(1, min(40, Round((v - ymin) / scale + 0.5) + 1)); 0 for no mark.
int32_t GraphColumn(double v, double ymin, double scale) {
  double x = (v - ymin) / scale + 0.5;
  if (std::isnan(x)) return 0;
  x = std::clamp(x, -100.0, 100.0);
  return MaxI(1, MinI(40, RoundHalfEven(x) + 1));
}
}  // namespace

void PrintTextGraph(TParameter& fit, TModelFunc ModelFunc, double& Ymax) {
  // Without points there is no range to plot.
  if (fit.NPoints <= 0) return;
  LogLine("  Data(+)   Fit(*)      Chi2             Graph");
  double Y = 0, W = 0, F = 0;
  double ymin = 1e15;
  if (Ymax == 0) {
    Ymax = -1e15;
    for (int32_t i = 1; i <= fit.NPoints; ++i) {
      ModelFunc(Y, W, F, i, 3);
      Ymax = std::max(Ymax, Y);
      ymin = std::min(ymin, Y);
    }
  }
  ymin = std::min(ymin, 0.0);
  double span = Ymax - ymin + 1;
  int32_t decimals = 1;
  if (span > 0 && std::isfinite(span)) {
    switch (RoundHalfEven(std::clamp(0.434 * std::log(span), -10.0, 10.0))) {
      case 0: decimals = 4; break;
      case 1: decimals = 3; break;
      case 2: decimals = 2; break;
      default: decimals = 1; break;
    }
  }
  Ymax = Ymax + std::sqrt(std::fabs(Ymax));
  const double scale = std::max(0.001, (Ymax - ymin) / 40);
  for (int32_t i = 1; i <= fit.NPoints; ++i) {
    ModelFunc(Y, W, F, i, 3);
    double chi = (Y - F) * (Y - F) * W;
    std::string row(40, ' ');
    if (int32_t c = GraphColumn(Y, ymin, scale)) row[c - 1] = '+';
    if (int32_t c = GraphColumn(F, ymin, scale)) row[c - 1] = '*';
    LogLine(FormatNumber(9, decimals, Y) + FormatNumber(9, decimals, F) + FormatNumber(9, decimals, chi) + row);
  }
}

void PrintCorrelationMatrix(TParameter& fit) {
  if (fit.CompressedMatrix != 0) {
    LogLine("Invalid operation for compressed matrix");
    return;
  }
  // After a failed inversion the matrix is partly swept: no correlations to show.
  if (fit.Status != 1 || fit.MatInv != 1) return;
  const int32_t n = fit.NFree;
  std::vector<double> s(static_cast<size_t>(n) + 1);
  for (int32_t i = 1; i <= n; ++i) {
    double c;
    fit.GetMatrixElement(i, i, c);
    s[i] = std::sqrt(std::fabs(c));
  }
  double cmax = 0, sum = 0;
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) {
      double c;
      fit.GetMatrixElement(i, j, c);
      double d = s[i] * s[j];
      c = d < 1e-12 ? 1.0 : c / d;
      fit.SetMatrixElement(i, j, c);
      if (i != j) {
        cmax = std::max(cmax, std::fabs(c));
        sum += std::fabs(c);
      }
    }
  }
  const double sp = sum / std::max(n, 1);
  LogLine("Correlation matrix,  c_max= " + FormatNumber(8, 5, cmax) + " sp=" + FormatNumber(8, 4, sp));
  for (int32_t i = 1; i <= n; ++i) {
    std::string line;
    for (int32_t j = 1; j <= n; ++j) {
      double c;
      fit.GetMatrixElement(i, j, c);
      line += FormatNumber(7, 3, c);
    }
    LogLine(line);
  }
}
