// The instrument constants fitted to the measured lines.
#include "indexing/flight_path.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/line_fits.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/numeric_arrays.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"

namespace {

constexpr double Degrees = 57.2958;
constexpr double StepFactor = 0.15;

int32_t Lines() { return std::clamp(DSpacingCount, 0, MaxDSpacings); }

// Two-theta (degrees) of line k of an angular list: a theta counts twice, a channel reads the
// spectrum's abscissa.
double LineTwoTheta(const TSpectrum& sp, const TDSpacingRecord& line) {
  if (DSpacingDataType == 1) return 2 * line.X;
  if (DSpacingDataType == 2) return line.X;
  const int32_t c = static_cast<int32_t>(std::nearbyint(std::clamp(line.X, 1.0, double(MaxChannels))));
  return sp.X[c];
}

}  // namespace

double TofDerivatives(int32_t k, const TSpectrum& sp, const TFlightPathFit& fit, double (&g)[3]) {
  g[0] = g[1] = g[2] = 0;
  if (k < 1 || k > Lines()) return 0;
  const TDSpacingRecord& line = DSpacingList[k];
  const double* P = fit.value;
  if (fit.angular) {
    // Calculated two-theta = true two-theta - zero shift: theta = (2theta_obs + shift) / 2.
    const double theta = 0.5 * (LineTwoTheta(sp, line) + P[2]) / Degrees;
    const double s = std::sin(theta);
    if (!(s > 0) || P[0] == 0) return 0;
    const double d = P[0] / (2 * s);
    g[0] = d / P[0];
    g[2] = -d * std::cos(theta) / s * 0.5 / Degrees;
    return d;
  }
  const double s = std::sin(P[1] / Degrees);
  const double w = sp.ChanWidth;
  const double q = TofConstant * P[0] * s;
  if (q == 0) return 0;
  const double d = (line.X + P[2]) * w / q;
  g[0] = -d / P[0];
  g[1] = -d * std::cos(P[1] / Degrees) / (s * Degrees);
  g[2] = w / q;
  return d;
}

void IterateFlightPath(const TSpectrum& sp, TFlightPathFit& fit) {
  fit.iterations = 0;
  fit.inverted = true;
  for (int32_t i = 0; i < 3; ++i)
    if (fit.fixed[i]) fit.lower[i] = fit.upper[i] = fit.value[i];
  for (;;) {
    double M[3][3] = {}, g[3] = {};
    fit.chi2 = 0;
    for (int32_t k = 1; k <= Lines(); ++k) {
      const TDSpacingRecord& line = DSpacingList[k];
      const double v = line.Error == 0 ? 0 : 1 / line.Error;
      double dd[3];
      const double d = TofDerivatives(k, sp, fit, dd);
      for (int32_t i = 0; i < 3; ++i)
        if (fit.fixed[i]) dd[i] = 0;
      const double r = line.d - d;
      for (int32_t i = 0; i < 3; ++i) {
        g[i] += r * v * dd[i];
        for (int32_t l = 0; l < 3; ++l) M[i][l] += v * dd[i] * dd[l];
      }
      fit.chi2 += r * r * v;
    }
    for (int32_t i = 0; i < 3; ++i) {
      if (!fit.fixed[i]) continue;
      for (int32_t l = 0; l < 3; ++l) M[i][l] = M[l][i] = 0;
      M[i][i] = 1;
    }
    for (int32_t i = 0; i < 3; ++i) M[i][i] *= 1.1;
    for (int32_t i = 0; i < 3; ++i)
      for (int32_t l = 0; l < 3; ++l) WorkMatrix[i + 1][l + 1] = M[i][l];
    int32_t ok = 0;
    double det = 0;
    Invert3x3(ok, 0, det);
    if (ok == 0 || !std::isfinite(det)) {
      fit.inverted = false;
      fit.determinant = det;
      return;
    }
    double norm = 0;
    for (int32_t i = 0; i < 3; ++i) {
      double step = 0;
      for (int32_t l = 0; l < 3; ++l) step += WorkMatrix[i + 1][l + 1] * g[l];
      fit.value[i] = std::clamp(fit.value[i] + StepFactor * step, fit.lower[i], fit.upper[i]);
      norm += step * step;
    }
    fit.eps = std::sqrt(norm);
    ++fit.iterations;
    if (!(fit.chi2 <= 1e10) || fit.eps < 0.001 || fit.iterations >= 100) return;
  }
}

void RefineFlightPath() {
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp || sp->Present == 0) {
    ShowMsg("No spectrum (or any) " + std::to_string(CurrentSpectrum));
    return;
  }
  if (Lines() == 0) {
    ShowMsg("No d-spacing array");
    return;
  }
  double sum = 0;
  for (int32_t k = 1; k <= Lines(); ++k) sum += std::fabs(DSpacingList[k].X);
  if (sum <= 1.0) {
    ShowMsg("No channels in d-spacing array");
    return;
  }
  TFlightPathFit fit;
  fit.angular = sp->AxisKind == AxisAngular;
  DialogCaption = fit.angular ? "Fitting Lambda, Zero_shift" : "Fitting FPath, Theta, Delay";
  SetHelpLines(FlightPathHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "Select parameters to be fitted (only 2)", WhiteColor, TextBackgroundColor);
  if (fit.angular)
    SetDialogOptions({" Fit  Lambda", " Fit  Zero_shift "});
  else
    SetDialogOptions({" Fit  FlightPath and Delay", " Fit  Theta and Delay"});
  ShowRadioGroup(1, 1, 10, 60, 300, 25);
  PlaceLabel(Form2.Label2, 10, 95, "Enter parameters and their bounds", BlackColor, AquaColor);
  PlaceLabel(Form2.Label3, 90, 115, " Lower           Initial             Upper", WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label4, 90, 130, " Bound         Parameter      Bound", WhiteColor, TextBackgroundColor);
  const double initial[3] = {fit.angular ? sp->Lambda : sp->FlightPath, fit.angular ? 0.0 : sp->Theta, sp->Delay};
  const double spread[3] = {0.1, fit.angular ? 0.0 : 3.0, 1.0};
  static const char* const tofRows[3] = {" F-Path(m)", " Theta(deg)", " Delay(chan)"};
  static const char* const angularRows[3] = {" Lambda(A)", " (not used)", " Zero_shift"};
  DialogColumnWidths[0] = 90;
  for (int32_t c = 1; c <= 3; ++c) DialogColumnWidths[c] = 75;
  for (int32_t i = 1; i <= 3; ++i) {
    DialogFieldLabels[i] = fit.angular ? angularRows[i - 1] : tofRows[i - 1];
    DialogFieldValues[i][1] = initial[i - 1] - spread[i - 1];
    DialogFieldValues[i][2] = initial[i - 1];
    DialogFieldValues[i][3] = initial[i - 1] + spread[i - 1];
  }
  ShowNumberGrid(10, 150, 3, 10, 3, 3);
  ShowDialogModal();
  if (DialogOk != 1) return;
  for (int32_t i = 0; i < 3; ++i) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i), fit.lower[i]);
    StrToFloatChecked(Form2.StringGrid1.Cell(1, i), fit.value[i]);
    StrToFloatChecked(Form2.StringGrid1.Cell(2, i), fit.upper[i]);
    if (!std::isfinite(fit.lower[i]) || !std::isfinite(fit.value[i]) || !std::isfinite(fit.upper[i])) DialogOk = 0;
  }
  if (DialogOk != 1) return;
  const bool second = Form2.RadioGroup1.itemIndex == 1;
  if (fit.angular) {
    // The angular relation: wavelength and zero shift; the middle row has no meaning there.
    fit.fixed[0] = second;
    fit.fixed[1] = true;
  } else {
    fit.fixed[second ? 0 : 1] = true;
  }
  for (int32_t i = 0; i < 3; ++i)
    if (fit.fixed[i]) fit.lower[i] = fit.upper[i] = fit.value[i];
  // The relation divides by sin(theta) and by L (or lambda): bounds reaching 0 are refused.
  const bool thetaBad = !fit.angular && (fit.lower[1] <= 0 || fit.upper[1] >= 180);
  if (thetaBad || fit.lower[0] <= 0) {
    ShowMsg(fit.angular ? "Wrong bounds: Lambda must be above 0"
                        : "Wrong bounds: FPath above 0 and Theta between 0 and 180 (deg)");
    return;
  }
  IterateFlightPath(*sp, fit);
  if (!fit.inverted) {
    std::string det;
    FormatNumberFit(12, det, fit.determinant);
    ShowMsg("Determinant not ok = " + det);
  }
  DialogCaption = fit.angular ? "Fitting Lambda, Zero_shift" : "Fitting FPath, Theta, Delay";
  BeginDialog(1);
  InfoLines.count = 0;
  AddInfoLine(" Fitting finished.");
  AddInfoLine(" Chi2= " + FormatNumber(10, 2, fit.chi2 / 2) + "   Eps= " + FormatNumber(10, 2, fit.eps));
  if (fit.angular) {
    AddInfoLine("    Lambda= " + FormatNumber(10, 5, fit.value[0]));
    AddInfoLine("    Zero_shift= " + FormatNumber(10, 3, fit.value[2]));
  } else {
    AddInfoLine("    FPath = " + FormatNumber(10, 5, fit.value[0]));
    AddInfoLine("    Theta = " + FormatNumber(10, 3, fit.value[1]));
    AddInfoLine("    Delay = " + FormatNumber(10, 3, fit.value[2]));
  }
  ShowListBox(10, 10, 350, 120);
  Form2.CheckBox1.caption = " UpDate the fitted parameters";
  Form2.CheckBox1.checked = false;
  Form2.CheckBox1.visible = true;
  Form2.CheckBox1.SetBounds(Scaled(10), Scaled(150), Scaled(300), Scaled(20));
  ShowDialogModal();
  if (DialogOk != 1 || !Form2.CheckBox1.checked) return;
  if (fit.angular) {
    sp->Lambda = fit.value[0];
    sp->Delay = fit.value[2];
  } else {
    sp->FlightPath = fit.value[0];
    sp->Theta = fit.value[1];
    sp->Delay = fit.value[2];
  }
}
