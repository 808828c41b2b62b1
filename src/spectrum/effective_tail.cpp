// Tail fit of the effective spectrum and its dialog.
#include "spectrum/effective_tail.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/line_fits.h"
#include "core/model_switches.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "spectrum/spectrum_checks.h"

namespace {

constexpr double TailWeight = 0.01;  // every channel counts alike

void Bounds0(int32_t& first0, int32_t& last0) {
  const TSpectrum& s0 = *SpectrumList[0];
  first0 = std::clamp(s0.FirstChannel, 1, MaxChannels);
  last0 = std::clamp(s0.LastChannel, first0, MaxChannels);
}

std::string NoBlanks(int32_t width, int32_t decimals, double x) {
  std::string s = FormatNumber(width, decimals, x);
  DeleteSpaces(s);
  return s;
}

}  // namespace

double EffectiveTailModel(int32_t j, int32_t J0, int32_t J2, const double* p, double* d) {
  const double x = double(j - J0) / double(J2 - J0 + 1);
  const double ex = std::exp(-x * p[3]);
  d[1] = 1.0;
  d[2] = ex;
  d[3] = -x * p[2] * ex;
  return p[1] + p[2] * ex;
}

int32_t ProposedTailBeginning() {
  const TSpectrum& s0 = *SpectrumList[0];
  int32_t first0 = 1, last0 = 1;
  Bounds0(first0, last0);
  double ymax = 0.0;
  for (int32_t j = first0; j <= last0; ++j) ymax = std::max(ymax, s0.Y[j]);
  for (int32_t j = first0 + 250; j <= last0; ++j)
    if (s0.Y[j] < 0.05 * ymax) return j;
  return std::max(2, last0 - 4);  // leaves at least three channels up to last0 - 2
}

bool StartTailFit(int32_t beginning, TTailFit& f) {
  const TSpectrum& s0 = *SpectrumList[0];
  int32_t first0 = 1, last0 = 1;
  Bounds0(first0, last0);
  f.J0 = std::clamp(beginning, 2, last0);
  f.J2 = std::min(last0, std::max(s0.WorkLast, last0 - 2));
  if (f.J2 - f.J0 + 1 < 3) return false;
  double ymin = 1e300;
  for (int32_t j = first0; j <= last0; ++j) ymin = std::min(ymin, s0.Y[j]);
  f.p[1] = ymin;
  f.p[2] = std::max(s0.Y[f.J0] - ymin, ymin);
  f.p[3] = 3.0;
  f.singular = false;
  return true;
}

void IterateTailFit(TTailFit& f, int32_t n, double s) {
  const TSpectrum& s0 = *SpectrumList[0];
  double d[4] = {};
  for (int32_t it = 1; it <= n; ++it) {
    double chi2 = 0.0, g[4] = {};
    for (int32_t k = 1; k <= 3; ++k)
      for (int32_t l = 1; l <= 3; ++l) WorkMatrix[k][l] = 0.0;
    for (int32_t j = f.J0; j <= f.J2; ++j) {
      const double r = s0.Y[j] - EffectiveTailModel(j, f.J0, f.J2, f.p, d);
      for (int32_t k = 1; k <= 3; ++k) {
        g[k] += r * TailWeight * d[k];
        for (int32_t l = 1; l <= 3; ++l) WorkMatrix[k][l] += TailWeight * d[k] * d[l];
      }
      chi2 += r * r * TailWeight;
    }
    f.chi2 = chi2 / std::max(1, f.J2 - f.J0 - 1);
    for (int32_t k = 1; k <= 3; ++k) WorkMatrix[k][k] *= 1.1;
    int32_t ok = 0;
    double det = 0.0;
    Invert3x3(ok, 0, det);
    if (ok == 0) {
      // Invert3x3 leaves the matrix as it was: no step can be taken from it.
      std::string t;
      FormatNumberFit(15, t, det);
      ShowMsg("not ok  det= " + t);
      f.singular = true;
      return;
    }
    double norm = 0.0;
    for (int32_t k = 1; k <= 3; ++k) {
      double delta = 0.0;
      for (int32_t l = 1; l <= 3; ++l) delta += WorkMatrix[k][l] * g[l];
      f.p[k] += s * delta;
      norm += delta * delta;
    }
    f.norm = std::sqrt(norm);
    if (f.p[1] < 0.0) f.p[1] = 0.0;
    if (f.p[2] < 0.1) f.p[2] = 0.1;
    if (chi2 > 1e10 || f.norm < 0.001 || !std::isfinite(f.norm)) return;
  }
}

void ApplyTailFit(const TTailFit& f, bool replace) {
  int32_t first0 = 1, last0 = 1;
  Bounds0(first0, last0);
  CopySpectrum(0, 4);
  CopySpectrum(0, 3);
  TSpectrum& s3 = *SpectrumList[3];
  TSpectrum& s4 = *SpectrumList[4];
  double d[4] = {};
  for (int32_t j = first0; j <= last0; ++j) {
    s3.Y[j] = std::max(1e-4, s3.Y[j] - f.p[1]);
    if (j >= f.J0) s4.Y[j] = EffectiveTailModel(j, f.J0, f.J2, f.p, d);
    s4.Y[j] = std::max(1e-4, s4.Y[j] - f.p[1]);
  }
  s4.ComputeYRange();
  s4.Present = 1;
  if (replace) CopySpectrum(4, 0);
  for (int32_t i = 1; i <= 4; ++i) SpectrumList[static_cast<size_t>(i)]->NormalizedFlag = 0;
}

void FitEffectiveSpectrumTail() {
  double s = 0.5;
  const TSpectrum* s0 = SpectrumOrNull(0);
  if (!s0 || s0->Present == 0) return ShowMsg("No eff. spectrum");
  if (GraphMode != 0 && CurrentSpectrum != 0) ShowMsg("Warning, the graphed spectrum is not effective");
  SetHelpLines(EffectiveTailHelp);
  DialogCaption = "Fitting Effective Spectrum Tail";
  BeginDialog(1);
  SetDialogOptions({"Replace the tail of eff. spectrum"});
  ShowCheckListBox(10, 150, 280, 30);
  static const char* const labels[3] = {" Tail beginning (chan.)= ", " Number of iterations= ", " Step in iterations= "};
  const double values[3] = {double(ProposedTailBeginning()), 25.0, s};
  FillValueColumn(3, labels, values, 180, 100);
  ShowNumberGrid(10, 210, 3, 10, 1, 3);
  ShowDialogModal();
  double v[4] = {};
  if (DialogOk != 1 || !ReadGridValues(3, v)) return;
  const bool replace = Form2.CheckListBox1.Checked(0);
  // Clamped as reals: 1e20 or a negative count must not overflow the integer.
  const int32_t beginning = RoundHalfEven(std::clamp(v[1], -1.0, double(MaxChannels)));
  const int32_t n = RoundHalfEven(std::clamp(v[2], 0.0, 100000.0));
  s = std::max(1e-5, std::min(1.0, v[3]));
  TTailFit f;
  if (!StartTailFit(beginning, f)) return ShowMsg("Error, the tail needs at least 3 channels");
  do {
    IterateTailFit(f, n, s);
  } while (!f.singular && Ui().AskYesNo("Chi^2= " + FormatNumber(10, 2, f.chi2) + "; Continue?", MsgKind::Warning));
  ApplyTailFit(f, replace);

  InfoLines.count = 0;
  // The text says exp(-x/p_3) while the model is exp(-x p3): kept as the users know it.
  AddInfoLine("   The formula= p_1 + p_2*exp(-x/p_3)");
  AddInfoLine("");
  AddInfoLine(" Chi^2= " + NoBlanks(10, 2, f.chi2) + "   " + "Eps= " + FormatNumber(10, 5, f.norm));
  AddInfoLine(" The fitted parameters p_i:");
  AddInfoLine("  " + NoBlanks(10, 1, f.p[1]) + "  " + NoBlanks(10, 1, f.p[2]) + "  " + NoBlanks(10, 1, f.p[3]) + "  ");
  AddInfoLine(" Eff.sp. with fitted tail.-> Spectrum 4.");
  AddInfoLine(" Eff.sp. without const    -> Spectrum 3");
  if (replace) {
    for (const char* line : {" ", " ", " ", "   Tail replaced.", "Enter and normalize the spectrum anew.",
                             "Recommend: save eff.spectrum for further use"})
      AddInfoLine(line);
  } else {
    AddInfoLine(" Graph both them and if OK,");
    AddInfoLine(" repeat fitting with replace.");
  }
  PrepareDialog(400, 0, 430);
  ShowListBox(3, 40, 380, 300);
  ShowDialogModal();
}
