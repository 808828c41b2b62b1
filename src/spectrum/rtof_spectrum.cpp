// RTOF difference spectrum: forming, adaptation, difference and the menu.
#include "spectrum/rtof_spectrum.h"
#include <algorithm>
#include <cmath>
#include <filesystem>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/mode_flags.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/info_windows.h"

namespace {

std::string Int(int32_t n) { return std::to_string(n); }

TSpectrum& Sp(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }

int32_t FileGroupCount = 0;

void ShowInfoList() {
  BeginDialog(1);
  ShowListBox(10, 40, 300, 200);
  ShowDialogModal();
}

}  // namespace

int32_t FormRtofSum(int32_t s, const std::vector<std::string>& names, int32_t first, int32_t last) {
  first = std::clamp(first, 1, MaxChannels);
  last = std::clamp(last, first, MaxChannels);
  // Every channel is summed: a group may reach beyond the 16384 values of NumberBuffer.
  std::vector<double> sum(MaxChannels + 1, 0.0);
  CurrentSpectrum = 1;
  int32_t read = 0;
  TSpectrum& s1 = Sp(1);
  for (const std::string& name : names) {
    s1.Name = name;
    if (!s1.ReadBinarySpectrum()) continue;
    first = std::clamp(s1.FirstChannel, 1, MaxChannels);
    last = std::clamp(s1.LastChannel, first, MaxChannels);
    for (int32_t k = first; k <= last; ++k) sum[static_cast<size_t>(k)] += s1.Y[k];
    ++read;
  }
  if (!names.empty())
    LogLine(std::string(s == 2 ? "Positive" : "Negative") + " spectra " + names.front() + ".." + names.back());
  TSpectrum& t = Sp(s);
  t.FirstChannel = first, t.LastChannel = last;
  t.WorkFirst = first + 1, t.WorkLast = last - 1;
  t.Present = 1;
  for (int32_t k = first; k <= last; ++k) t.Y[k] = t.E[k] = sum[static_cast<size_t>(k)] / std::max(1, read);
  return read;
}

void ReportFormedSpectrum(int32_t s, const std::string& word) {
  const TSpectrum& t = Sp(s);
  InfoLines.count = 0;
  AddInfoLine(word + " spectrum formed" + " as Sp" + Int(s));
  AddInfoLine("Range= " + Int(t.FirstChannel) + " - " + Int(t.LastChannel));
  LogLine(InfoLines.lines[1] + "; " + InfoLines.lines[2]);
}

void AdaptationPoint(int32_t k, int32_t m, int32_t n, double& p, double& q, double& w, double& x) {
  const TSpectrum &s2 = Sp(2), &s3 = Sp(3);
  p = s2.Y[k];
  q = s3.Y[k];
  w = 1.0 / std::max(s2.E[k] * s2.E[k] + s3.E[k] * s3.E[k], 1.0);
  x = double(2 * k - m) / n;  // m, not 2m: the abscissa the instrument software used
}

bool AdaptRtofSpectra(int32_t a, int32_t b, bool suppressLinear, int32_t first, int32_t last, TRtofAdaptation& r) {
  a = std::clamp(a, 1, MaxChannels);
  b = std::clamp(b, 0, MaxChannels);
  IntervalFirst = a, IntervalLast = b;
  Sp(2).WorkFirst = a, Sp(2).WorkLast = b;
  NChannels = b - a + 1;
  if (NChannels < 1) {
    ShowMsg("Error, interval less than 1");
    return false;
  }
  const int32_t m = (a + b) / 2;
  double S0 = 0, S1 = 0, S2 = 0, T0 = 0, T1 = 0, p, q, w, x;
  for (int32_t k = a; k <= b; ++k) {
    AdaptationPoint(k, m, NChannels, p, q, w, x);
    S0 += w * q * q, S1 += w * q * q * x, S2 += w * q * q * x * x;
    T0 += w * p * q, T1 += w * p * q * x;
  }
  const double det = S0 * S2 - S1 * S1;
  if (det == 0.0 || S0 == 0.0) {
    ShowMsg("Error, determinant zero-valued");
    return false;
  }
  if (suppressLinear) {
    r.k0 = T0 / S0, r.k1 = 0.0;
  } else {
    r.k0 = (T0 * S2 - S1 * T1) / det, r.k1 = (T1 * S0 - S1 * T0) / det;
  }
  TSpectrum& s3 = Sp(3);
  for (int32_t k = std::max(1, first); k <= std::min(MaxChannels, last); ++k) {
    const double f = r.k0 + r.k1 * double(2 * k - m) / NChannels;
    s3.Y[k] *= f, s3.E[k] *= f;
  }
  r.chi2 = 0.0;
  for (int32_t k = a; k <= b; ++k) {
    AdaptationPoint(k, m, NChannels, p, q, w, x);
    r.chi2 += w * (p - q) * (p - q);
  }
  r.chi2 /= NChannels;
  return true;
}

void FormRtofDifference(int32_t first, int32_t last) {
  first = std::clamp(first, 1, MaxChannels);
  last = std::clamp(last, first, MaxChannels);
  TSpectrum &s1 = Sp(1), &s2 = Sp(2), &s3 = Sp(3);
  for (int32_t k = first; k <= last; ++k) {
    s1.Y[k] = s2.Y[k] - s3.Y[k];
    s1.E[k] = std::min(46340.0, std::sqrt(std::fabs(s2.E[k] + s3.E[k])));
  }
  s1.FirstChannel = s1.WorkFirst = first;
  s1.LastChannel = s1.WorkLast = last;
  s1.Present = 1;
  s1.Name = "hrspec.spc";
  s1.VarianceName = "hrvar.spc";
  s1.NormalizedFlag = s1.AbsorptionCorrectedFlag = 0;
  s1.AxisKind = AxisTimeOfFlight;
  s1.ComputeYRange();
  SetParametersPending(1 | 4 | 8, 1);  // Rietveld, powder match, peak fitting
}

void MakeRtofSpectrum() {
  VarianceMode = 0;
  int32_t option = 1;
  InfoLines.count = 0;
  for (;;) {
    DialogCaption = "Make a Fourier spectrum";
    SetHelpLines(RtofHelp);
    BeginDialog(1);
    SetDialogOptions({" Form the positive spectrum", " Form the negative spectrum", " Adapt the both spectra",
                      " Form the Fourier difference", " Exit"},
                     option);
    ShowRadioGroup(1, 1, 20, 150, 280, 25);
    PlaceLabel(Form2.Label5, 10, 190, " Max of positive spectrum should be greater ", YellowColor, TextBackgroundColor);
    PlaceLabel(Form2.Label6, 10, 210, " than that of negative one ", YellowColor, TextBackgroundColor);
    ShowDialogModal();
    if (DialogOk != 1) return;
    const int32_t c = Form2.RadioGroup1.itemIndex + 1;
    if (c < 1 || c >= 5) return;
    if (c <= 2) {
      TFileDialog d;
      d.title = "      Select the file group";
      d.initialDir = SpectrumDir;
      d.filter = FileNameFilter;
      const auto files = Ui().OpenFilesDialog(d);
      if (!files) {
        DialogOk = 0;
        return;
      }
      FileGroupCount = std::min<int32_t>(200, static_cast<int32_t>(files->size()));
      for (int32_t n = 1; n <= FileGroupCount; ++n) SequenceFileNames[static_cast<size_t>(n)] = (*files)[static_cast<size_t>(n - 1)];
    }
    const int32_t first = Sp(1).FirstChannel, last = Sp(1).LastChannel;
    if (FileGroupCount > 0) SpectrumDir = std::filesystem::path(SequenceFileNames[1]).parent_path().string();
    if (c <= 2) {
      std::vector<std::string> names(SequenceFileNames.begin() + 1, SequenceFileNames.begin() + 1 + FileGroupCount);
      FormRtofSum(c + 1, names, first, last);
      ReportFormedSpectrum(c + 1, c == 1 ? "Positive" : "Negative");
      option = c + 1;
      ShowInfoList();
    } else if (c == 3) {
      const TSpectrum& s2 = Sp(2);
      DialogCaption = " Adapting positive and negative spectra";
      BeginDialog(1);
      PlaceLabel(Form2.Label5, 10, 10, "Interval = " + Int(s2.WorkFirst) + "   " + Int(s2.WorkLast), WhiteColor,
                 TextBackgroundColor);
      SetDialogOptions({"   Suppress the linear coefficient"});
      ShowCheckListBox(10, 40, 280, 25);
      Form2.CheckListBox1.SetChecked(0, true);
      PlaceLabel(Form2.Label6, 10, 80, "Enter the interval bounds for adaptation", YellowColor, TextBackgroundColor);
      const int32_t b = s2.WorkLast;
      DialogEditLabel1 = "Beginning = ";
      DialogEditText1 = Int(b - b / 3);
      DialogEditLabel2 = "End = ";
      DialogEditText2 = Int(b);
      ShowEditFields(10, 150, 110, 2, 80);
      NumberEdit(1), NumberEdit(2);
      ShowDialogModal();
      if (DialogOk != 1) return;
      double va = 0, vb = 0;
      StrToFloatChecked(Form2.Edit1.text, va);
      StrToFloatChecked(Form2.Edit2.text, vb);
      if (DialogOk != 1) return;
      TRtofAdaptation r;
      const int32_t a = RoundHalfEven(std::clamp(va, -1.0, double(MaxChannels)));
      const int32_t bb = RoundHalfEven(std::clamp(vb, -1.0, double(MaxChannels)));
      if (!AdaptRtofSpectra(a, bb, Form2.CheckListBox1.Checked(0), first, last, r)) return;
      InfoLines.count = 0;
      AddInfoLine(" ");
      AddInfoLine("Adaptation interval = " + Int(a) + "-" + Int(bb));
      AddInfoLine("Adaptation coefficients: = ");
      AddInfoLine("  k0 = " + FormatNumber(10, 5, r.k0));
      AddInfoLine("  k1 = " + FormatNumber(10, 5, r.k1));
      AddInfoLine("  chi2 = " + FormatNumber(10, 5, r.chi2));
      for (int32_t n = 1; n <= 6; ++n) LogLine(InfoLines.lines[static_cast<size_t>(n)]);
      AddInfoLine("Make graphs of spectrum2 on spectrum3");
      option = 4;
      ShowInfoList();
    } else {
      FormRtofDifference(first, last);
      std::string text = "Spectrum 1 = " + Sp(1).Name;
      uint8_t ok = 1;
      EditSpectrumInfo(text, 1, ok);
      if (DialogOk != 1 || ok == 0) return;
      ReportFormedSpectrum(1, "RTOF");
      option = 5;
      ShowInfoList();
    }
  }
}
