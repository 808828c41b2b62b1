// Spectrum arithmetic: the compute routine and the two-dialog loop of the Transform menu.
#include "spectrum/spectrum_arithmetic.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"

int32_t LastArithmeticItem = 1;
uint8_t SuppressNegativeDifference = 0, ApplyConstantToErrors = 0;

namespace {

constexpr std::array<const char*, 12> Captions = {
    "Move the spectra", "   Add the spectra", "   Subtract the spectra", "   Multiply the spectra",
    "   Divide the spectra", "Make constant spectrum / errors", "Operation: spectrum * constant",
    "   Exchange 2 spectra", "Turn errors to counts", "LN of the spectrum", "  Make Poisson variance",
    "           E X I T "};
constexpr std::array<const char*, 11> Formulas = {
    "sp_i  - > sp_j",      "sp_i * sp_j -> sp_4", "sp_i * sp_j -> sp_4",  "sp_i * sp_j -> sp_4",
    "sp_i * sp_j -> sp_4", " c  - > sp_i",        "sp_i * c  - > sp_i",   "sp_i < - > sp_j",
    "sp_i.e < - > sp_j.y", "ln( sp_i)  - > sp_i", "sqrt( sp_i)  - > err_i"};

bool UsesJ(int32_t item) { return item <= ArDivide || item == ArExchange || item == ArErrorsToCounts; }

TSpectrum& Sp(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }

// Peaks of height 1000 and 1/e half width 6 channels, centred at w1, w1 + 300, w1 + 600, ...
// inside the working range (the centres are counted from its first channel).
void GaussPattern(TSpectrum& s, int32_t w1, int32_t w2) {
  for (int32_t c = w1; c <= w2; c += 300)
    for (int32_t p = std::max(w1, c - 150); p <= std::min(w2, c + 150); ++p) {
      const double u = (c - p) / 6.0;
      s.Y[p] = 1000.0 * std::exp(-u * u);
    }
}

// Channels of w1..w2 moved by s; the old place is cleared, a channel moved past 1..last is lost.
void ShiftChannels(TSpectrum& sp, int32_t w1, int32_t w2, int32_t s) {
  if (s == 0) return;
  const int32_t last = std::min(MaxChannels, sp.LastChannel);
  for (int32_t k = w1; k <= w2; ++k) {
    const int32_t p = s < 0 ? k : w1 + w2 - k;  // from the top when moving up
    const double y = sp.Y[p], e = sp.E[p];
    sp.Y[p] = 0.0, sp.E[p] = 0.0;
    if (p + s >= 1 && p + s <= last) sp.Y[p + s] = y, sp.E[p + s] = e;
  }
}

void ApplyConstantOperation(TSpectrum& sp, const TArithmeticRequest& r, int32_t w1, int32_t w2) {
  if (r.operation == CoShift) return ShiftChannels(sp, w1, w2, RoundHalfEven(std::clamp(r.C, -1e6, 1e6)));
  if (r.operation == CoReverse) {
    for (int32_t k = w1; k <= (w1 + w2) / 2; ++k) {
      std::swap(sp.Y[k], sp.Y[w1 + w2 - k]);
      std::swap(sp.E[k], sp.E[w1 + w2 - k]);
    }
    return;
  }
  double ymin = 1e15;
  for (int32_t k = w1; k <= w2; ++k) ymin = std::min(ymin, sp.Y[k]);
  const double C = r.C;
  for (int32_t k = w1; k <= w2; ++k) {
    double y = sp.Y[k], e = sp.E[k];
    switch (r.operation) {
      case CoAdd: y += C; break;
      case CoSubtractPositive: y = std::max(0.0, y - C); break;
      case CoMultiply: y *= C, e *= std::fabs(C); break;  // an error stays a positive width
      case CoDivide:
        if (C != 0.0) y /= C, e /= std::fabs(C);
        break;
      default: y = std::max(0.0, y - ymin); break;
    }
    if (!r.applyToErrors) sp.Y[k] = y;
    sp.E[k] = e;
  }
}

}  // namespace

bool ApplySpectrumArithmetic(const TArithmeticRequest& r) {
  const int32_t item = r.item;
  if (item < ArMove || item > ArPoisson || r.i < 0 || r.i > 4 || r.j < 0 || r.j > 4) return false;
  if (item != ArConstant && SpectrumMissing(r.i)) return false;
  if ((item <= ArDivide && item >= ArAdd) || item == ArExchange)
    if (SpectrumMissing(r.j)) return false;
  TSpectrum& si = Sp(r.i);
  int32_t w1 = 1, w2 = 1;
  WorkingRange(si, w1, w2);
  TSpectrum& sj = Sp(r.j);
  if (item >= ArAdd && item <= ArDivide) {
    // The second operand is read from a copy: with j = 4 the copy of i to 4 overwrites it.
    const size_t n = static_cast<size_t>(std::max(0, w2 - w1 + 1));
    std::vector<double> yj(sj.Y + w1, sj.Y + w1 + n), ej(sj.E + w1, sj.E + w1 + n);
    CopySpectrum(r.i, 4);
    TSpectrum& s4 = Sp(4);
    for (int32_t k = w1; k <= w2; ++k) {
      const double a = si.Y[k], sa = si.E[k], b = yj[static_cast<size_t>(k - w1)], sb = ej[static_cast<size_t>(k - w1)];
      double y = 0.0, e = 0.0;
      switch (item) {
        case ArAdd: y = a + b, e = std::hypot(sa, sb); break;
        case ArSubtract:
          y = r.suppressNegative ? std::max(0.0, a - b) : a - b;
          e = std::hypot(sa, sb);
          break;
        case ArMultiply: y = a * b, e = std::hypot(b * sa, a * sb); break;
        default:
          // first-order propagation of a / b
          if (b != 0.0) y = a / b, e = std::hypot(b * sa, a * sb) / (b * b);
          break;
      }
      s4.Y[k] = y, s4.E[k] = e;
    }
    s4.ComputeYRange();
  } else {
    switch (item) {
      case ArMove:
        CopySpectrum(r.i, r.j);
        sj.Present = 1;
        si.ComputeYRange();
        sj.ComputeYRange();
        sj.FirstChannel = si.FirstChannel, sj.LastChannel = si.LastChannel;
        sj.WorkFirst = si.WorkFirst, sj.WorkLast = si.WorkLast;
        break;
      case ArConstant:
      case ArTimesConstant:
        if (r.pattern == 'g') {
          GaussPattern(si, w1, w2);
        } else if (item == ArConstant) {
          for (int32_t k = w1; k <= w2; ++k) {
            if (r.applyToErrors && r.pattern != 'z') {
              si.E[k] = r.C;
            } else {
              si.Y[k] = r.pattern == 'z' ? k - w1 : r.C;
              si.E[k] = 1.0;
            }
          }
        } else {
          TArithmeticRequest q = r;
          if (r.pattern == 'z') q.C = 0.0;  // the saw belongs to the constant spectrum only
          ApplyConstantOperation(si, q, w1, w2);
        }
        if (item == ArConstant) si.Present = 1;
        si.ComputeYRange();
        break;
      case ArExchange:
        for (int32_t k = w1; k <= w2; ++k) {
          std::swap(si.Y[k], sj.Y[k]);
          std::swap(si.E[k], sj.E[k]);
          std::swap(si.X[k], sj.X[k]);
        }
        [[fallthrough]];
      case ArErrorsToCounts:
        if (item == ArErrorsToCounts)
          for (int32_t k = w1; k <= w2; ++k) sj.Y[k] = si.E[k];
        sj.Present = 1;
        si.ComputeYRange();
        sj.ComputeYRange();
        break;
      case ArLog:
        for (int32_t k = w1; k <= w2; ++k) {
          const double a = std::fabs(si.Y[k]) + 1.0;
          si.Y[k] = std::log(a);
          si.E[k] /= a;
        }
        si.ComputeYRange();
        break;
      default:
        for (int32_t k = w1; k <= w2; ++k) si.E[k] = std::sqrt(std::fabs(si.Y[k]) + 1.0);
        si.ComputeYRange();
        break;
    }
  }
  LastArithmeticItem = 12;
  LogLine("I1,I2= " + std::to_string(r.i) + "," + std::to_string(r.j) + "  " + Formulas[static_cast<size_t>(item)]);
  return true;
}

void SpectrumArithmetic() {
  for (;;) {
    SetHelpLines(SpectrumArithmeticHelp);
    DialogCaption = "Spectrum arithmetic";
    BeginDialog(1);
    PlaceLabel(Form2.Label5, 5, 5, " Select the Option ", AquaColor, TextBackgroundColor);
    SetDialogOptions({Captions[0], Captions[1], Captions[2], Captions[3], Captions[4], Captions[5], Captions[6],
                      Captions[7], Captions[8], Captions[9], Captions[10], Captions[11]},
                     std::clamp(LastArithmeticItem, 1, 12));
    ShowRadioGroup(1, 1, 20, 300, 280, 25);
    ShowDialogModal();
    if (DialogOk != 1) return;
    TArithmeticRequest r;
    r.item = Form2.RadioGroup1.itemIndex;
    if (r.item == ArExit || r.item < 0) {
      CurrentSpectrum = 1;
      return;
    }
    DialogCaption = Captions[static_cast<size_t>(r.item)];
    BeginDialog(1);
    PlaceLabel(Form2.Label5, 10, 5, std::string("  ") + Formulas[static_cast<size_t>(r.item)] + "  ", WhiteColor,
               TextBackgroundColor);
    const auto spectra = {"Spectrum    Eff.", "Spectrum 1", "Spectrum 2", "Spectrum 3", "Spectrum 4"};
    PlaceLabel(Form2.Label6, 10, 30, "Select sp i", WhiteColor, TextBackgroundColor);
    SetDialogOptions(spectra, std::clamp(CurrentSpectrum, 0, 4) + 1);
    ShowRadioGroup(1, 1, 10, 120, 140, 50);
    if (r.item == ArTimesConstant) {
      PlaceLabel(Form2.Label7, 160, 30, " Select operation ", WhiteColor, BlueColor);
      SetDialogOptions({" + const", " - const (res>0)", " * const", " / const", " - min", " shift C",
                        " reverse s(k) -> s(m-k)"},
                       5);
      ShowRadioGroup(2, 1, 160, 170, 200, 50);
    } else if (UsesJ(r.item)) {
      PlaceLabel(Form2.Label7, 160, 30, "Select sp j", WhiteColor, TextBackgroundColor);
      SetDialogOptions(spectra, 3);
      ShowRadioGroup(2, 1, 160, 120, 140, 50);
    }
    if (r.item == ArSubtract) {
      Form2.CheckBox1.caption = "Suppress negative values in difference";
      Form2.CheckBox1.checked = SuppressNegativeDifference != 0;
      Form2.CheckBox1.visible = true;
      Form2.CheckBox1.SetBounds(Scaled(10), Scaled(230), Scaled(330), Scaled(20));
    }
    if (r.item == ArConstant || r.item == ArTimesConstant) {
      DialogEditLabel1 = " Constant = ";
      DialogEditText1 = "1";
      ShowEditFields(10, 120, 240, 1, 80);
      Form2.CheckBox1.caption = " Apply operation to errors";
      Form2.CheckBox1.checked = ApplyConstantToErrors != 0;
      Form2.CheckBox1.visible = true;
      Form2.CheckBox1.SetBounds(Scaled(10), Scaled(265), Scaled(330), Scaled(20));
      PlaceLabel(Form2.Label8, 10, 290, "If(const=z) -> make saw-like spectrum;   g -> Gauss one", AquaColor,
                 TextBackgroundColor);
    }
    ShowDialogModal();
    if (DialogOk != 1) return;
    r.i = std::clamp(Form2.RadioGroup1.itemIndex, 0, 4);
    if (r.item == ArTimesConstant)
      r.operation = std::clamp(Form2.RadioGroup2.itemIndex, 0, 6);
    else if (UsesJ(r.item))
      r.j = std::clamp(Form2.RadioGroup2.itemIndex, 0, 4);
    if (r.item == ArSubtract) SuppressNegativeDifference = Form2.CheckBox1.checked ? 1 : 0;
    r.suppressNegative = SuppressNegativeDifference != 0;
    if (r.item == ArConstant || r.item == ArTimesConstant) {
      ApplyConstantToErrors = Form2.CheckBox1.checked ? 1 : 0;
      std::string t = Form2.Edit1.text;
      DeleteSpaces(t);
      if (t == "z" || t == "Z") {
        r.pattern = 'z';
      } else if (t == "g" || t == "G") {
        r.pattern = 'g';
      } else {
        StrToFloatChecked(t, r.C);
        if (DialogOk != 1) return;
      }
    }
    r.applyToErrors = ApplyConstantToErrors != 0;
    ApplySpectrumArithmetic(r);
  }
}
