// Normalisation by the effective spectrum and its dialog, which also starts the absorption
// correction.
#include "spectrum/normalization.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "spectrum/absorption.h"
#include "spectrum/spectrum_checks.h"

namespace {

std::string Int(int32_t n) { return std::to_string(n); }

bool WidthUsable(double cw) { return std::isfinite(cw) && cw != 0.0; }

double TimeOf(const TSpectrum& s, double j) { return (j + s.Delay) * s.ChanWidth; }

// A real channel number held inside the channel arrays before it becomes an integer.
int32_t ChannelOf(double x) {
  return std::isnan(x) ? 0 : RoundHalfEven(std::clamp(x, -1.0, double(MaxChannels) + 1.0));
}

std::string GeneralText(double x) {
  std::string s;
  FormatNumberFit(15, s, x);
  return s;
}

}  // namespace

bool SpectraTimeOverlap(int32_t& I1, int32_t& I2) {
  const TSpectrum* sc = SpectrumOrNull(CurrentSpectrum);
  const TSpectrum* s0 = SpectrumOrNull(0);
  if (!sc || !s0) return false;
  if (!WidthUsable(sc->ChanWidth)) {
    ShowMsg("Error, channel width = 0");
    return false;
  }
  const double tlo = std::max(TimeOf(*s0, s0->FirstChannel), TimeOf(*sc, sc->FirstChannel));
  const double thi = std::min(TimeOf(*s0, s0->LastChannel), TimeOf(*sc, sc->LastChannel));
  I1 = ChannelOf(std::max(double(sc->FirstChannel), tlo / sc->ChanWidth - sc->Delay));
  I2 = ChannelOf(std::min(thi / sc->ChanWidth - sc->Delay, double(sc->LastChannel)));
  return true;
}

bool NormalizeByEffectiveSpectrum(int32_t i, int32_t I1, int32_t I2, int32_t effective) {
  TSpectrum* sp = SpectrumAt(i);
  const TSpectrum* s0 = SpectrumOrNull(effective);
  if (!sp || !s0) return false;
  if (!WidthUsable(s0->ChanWidth) || !std::isfinite(sp->ChanWidth)) {
    ShowMsg("Error, channel width = 0");
    return false;
  }
  const int32_t a = std::max(1, I1), b = std::min(MaxChannels, I2);
  double B = 1e17, S = 0.0;
  for (int32_t j = a; j <= b; ++j) {
    B = std::min(B, sp->Y[j]);
    S = std::max(S, s0->Y[j]);  // the effective counts at the same channel numbers: a scale only
  }
  B = std::max(0.0, B);
  S = std::max(1.0, S);
  const int32_t first0 = std::max(1, s0->FirstChannel), last0 = std::min(MaxChannels, s0->LastChannel);
  // The divisors first: a count or error that would overflow refuses the whole normalization.
  std::vector<double> divisor(static_cast<size_t>(std::max(0, b - a + 1)), 0.0);
  for (int32_t j = a; j <= b; ++j) {
    const double x = TimeOf(*sp, j) / s0->ChanWidth - s0->Delay;
    // Tested as a real: a channel far outside must not be truncated into an integer first.
    if (!(x >= first0 && x < last0)) continue;
    const int32_t k = static_cast<int32_t>(x);
    const double e = std::max(1e-9, s0->Y[k] + (s0->Y[k + 1] - s0->Y[k]) * (x - k));
    const double D = e / S;
    if (!(std::isfinite(D) && D > 0.0 && std::isfinite((sp->Y[j] - B) / D + B) && std::isfinite(sp->E[j] / D))) {
      ShowMsg("Error, effective spectrum not valid in channel " + Int(j) + ", no normalization");
      return false;
    }
    divisor[static_cast<size_t>(j - a)] = D;
  }
  for (int32_t j = a; j <= b; ++j) {
    const double D = divisor[static_cast<size_t>(j - a)];
    if (D == 0.0) continue;  // outside the effective spectrum
    sp->Y[j] = (sp->Y[j] - B) / D + B;
    sp->E[j] /= D;
  }
  sp->ComputeYRange();
  sp->NormalizedFlag = 1;
  return true;
}

bool NotTimeOfFlight(const TSpectrum& sp, bool say) {
  if (sp.AxisKind == AxisTimeOfFlight) return false;
  if (say) ShowMsg("Spectrum is angular, no normalization");
  return true;
}

void NormalizeSpectrum() {
  const int32_t c = CurrentSpectrum;
  if (c == 0) return ShowMsg("Error, Spectrum is effective");
  TSpectrum* sp = SpectrumAt(c);
  const TSpectrum* s0 = SpectrumAt(0);
  if (!sp || !s0) return;
  if (NotTimeOfFlight(*sp)) return;
  if (s0->Ymax == 0.0) return ShowMsg("Error! Zero-valued effective spectrum");

  SetHelpLines(NormalizationHelp);
  DialogCaption = "Spectrum normalization";
  BeginDialog(1);
  PlaceLabel(Form2.Label5, 10, 10, "Click if needed:", AquaColor, TextBackgroundColor);
  SetDialogOptions({"Correct for absorption", "Normalize the spectrum"});
  ShowCheckListBox(45, 30, 230, 38);
  Form2.CheckListBox1.SetChecked(1, true);
  ShowBevel(5, 5, 300, 1, 70);
  PlaceLabel(Form2.Label6, 10, 100, "Check the spectrum " + Int(c) + " and effective one", WhiteColor,
             TextBackgroundColor);
  DialogEditLabel1 = "Channel width (mks/deg) = ";
  DialogEditText1 = GeneralText(sp->ChanWidth);
  DialogEditLabel2 = "Spectrum delay(chan) = ";
  DialogEditText2 = GeneralText(sp->Delay);
  DialogEditLabel3 = "Effic.Channel width (mks)  = ";
  DialogEditText3 = GeneralText(s0->ChanWidth);
  DialogEditLabel4 = "Effec.Spectrum delay(chan) = ";
  DialogEditText4 = GeneralText(s0->Delay);
  ShowEditFields(10, 230, 125, 4, 80);
  for (int32_t i = 1; i <= 4; ++i) NumberEdit(i);
  ShowBevel(5, 95, 300, 2, 125);
  PlaceLabel(Form2.Label7, 10, 230, "Select the sample type", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" Cylinder", " Plane ", "Sphere"}, std::clamp(sp->SampleShape, 0, 2) + 1);
  ShowComboBox(10, 255, 150);
  PlaceLabel(Form2.Label8, 10, 295, "Specify the absorption parameters", WhiteColor, TextBackgroundColor);
  static const char* const labels[2] = {"Abs1 =", "Abs2 ="};
  const double values[2] = {sp->Abs1, sp->Abs2};
  FillValueColumn(2, labels, values, 90, 100);
  ShowNumberGrid(10, 315, 2, 10, 1, 2);
  ShowBevel(5, 225, 300, 3, 135);
  ShowDialogModal();
  if (DialogOk != 1) return;

  // Every value is stored as soon as it is read, even when a later step refuses.
  bool absorption = Form2.CheckListBox1.Checked(0);
  const bool normalize = Form2.CheckListBox1.Checked(1);
  double abs[3] = {};
  if (!ReadGridValues(2, abs)) return;
  sp->Abs1 = abs[1];
  sp->Abs2 = abs[2];
  if (std::fabs(abs[1]) + std::fabs(abs[2]) == 0.0 && absorption) {
    ShowMsg("Error, absorption coefficients = 0");
    absorption = false;
  }
  double v = 0.0;
  StrToFloatChecked(Form2.Edit1.text, v);
  if (DialogOk != 1) return;
  sp->ChanWidth = std::fabs(v);
  StrToFloatChecked(Form2.Edit2.text, v);
  if (DialogOk != 1) return;
  sp->Delay = v;
  TSpectrum& eff = *SpectrumList[0];
  StrToFloatChecked(Form2.Edit3.text, v);
  if (DialogOk != 1) return;
  eff.ChanWidth = std::fabs(v);
  StrToFloatChecked(Form2.Edit4.text, v);
  if (DialogOk != 1) return;
  eff.Delay = v;
  sp->SampleShape = std::clamp(Form2.ComboBox1.itemIndex, 0, 2);

  if (!(sp->ChanWidth * eff.ChanWidth != 0.0) || !std::isfinite(sp->ChanWidth * eff.ChanWidth))
    return ShowMsg("Error, channel width = 0");
  if (sp->NormalizedFlag != 0 && Ui().AskYesNo("Spectrum already normalized. Still proceed?", MsgKind::Warning))
    sp->NormalizedFlag = 0;
  if (absorption && sp->AbsorptionCorrectedFlag != 0 &&
      Ui().AskYesNo("Spectrum already corrected for absorption. Still proceed?", MsgKind::Warning))
    sp->AbsorptionCorrectedFlag = 0;
  int32_t I1 = sp->FirstChannel, I2 = sp->LastChannel;
  if (!SpectraTimeOverlap(I1, I2)) return;
  if (sp->NormalizedFlag == 0 && sp->AxisKind == AxisTimeOfFlight && normalize)
    NormalizeByEffectiveSpectrum(c, I1, I2);
  InputLine = " ";
  if (absorption && sp->AbsorptionCorrectedFlag == 0) CorrectForAbsorption(c, I1, I2);
  const std::string factors = InputLine;

  InfoLines.count = 0;
  AddInfoLine("    Spectrum " + Int(c) + ", range =   " + Int(I1) + " - " + Int(I2));
  AddInfoLine(" ");
  AddInfoLine(std::string("* ") + (sp->NormalizedFlag == 0 ? "NOT " : "") + "normalized;");
  AddInfoLine(std::string("* ") + (sp->AbsorptionCorrectedFlag == 0 ? "NOT " : "") + "corrected for absorption");
  if (sp->AbsorptionCorrectedFlag != 0) {
    AddInfoLine("  Min,max absorption correction:");
    AddInfoLine(factors);
  }
  BeginDialog(1);
  ShowListBox(10, 40, 290, 120);
  ShowDialogModal();
}
