// The spectrum functions menu: choose a function, the result spectrum and its numbers, copy the
// current spectrum there and run the function; back to the choice until EXIT or Cancel.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/neighbour_services.h"
#include "core/outlier_correction.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/refinement_results.h"
#include "spectrum/spectrum_checks.h"
#include "spectrum/spectrum_functions.h"

namespace {

enum Function : int32_t {
  FnCompress, FnMarkedOutliers, FnSmooth, FnEnvelope, FnFourier, FnInterpolate, FnSpecial, FnAutoOutliers, FnExit
};
constexpr std::array<const char*, 9> Options = {
    "Compress the spectrum",  "Correct the marked outliers", "Smooth the spectrum",
    "Build the envelope from below", "Make Fourier transform", "Interpolate the spectrum",
    "Special analysis", "Automatic outlier correction", "       E X I T"};

// A grid value as an integer, held in double first so that 1e20 or NaN cannot overflow.
int32_t RoundedChannel(double v) { return std::isnan(v) ? 0 : RoundHalfEven(std::clamp(v, -1.0, 1e6)); }

// The new first and last channel from two grid values; false after "Wrong new spectrum bounds".
bool NewBounds(double first, double last) {
  NewFirstChannel = std::max(1, RoundedChannel(first));
  NewLastChannel = std::min(MaxChannels, RoundedChannel(last));  // cut before the comparison
  if (NewLastChannel <= NewFirstChannel) {
    ShowMsg("Wrong new spectrum bounds");
    return false;
  }
  return true;
}

int32_t GridRows(int32_t f) {
  if (f == FnMarkedOutliers) return 4;
  return f == FnInterpolate || f == FnSpecial || f == FnAutoOutliers ? 5 : 3;
}

}  // namespace

void SpectrumFunctions() {
  for (;;) {
    const int32_t c = CurrentSpectrum;
    if (SpectrumMissing(c)) return;
    TSpectrum* sp = SpectrumAt(c);
    if (!sp) return;
    SetHelpLines(SpectrumFunctionsHelp);
    DialogCaption = "Function of Spectrum " + std::to_string(c);
    BeginDialog(1);
    PlaceLabel(Form2.Label5, 5, 5, " Select the Option ", WhiteColor, TextBackgroundColor);
    if (!StatusText.empty()) PlaceLabel(Form2.Label6, 5, 320, StatusText, WhiteColor, BlueColor);
    SetDialogOptions({Options[0], Options[1], Options[2], Options[3], Options[4], Options[5], Options[6], Options[7],
                      Options[8]},
                     LastSpectrumFunction);
    ShowRadioGroup(1, 1, 20, 240, 280, 25);
    PlaceLabel(Form2.Label7, 5, 300, "To convert Sp(chan) to Sp(d) click on Interpolate", WhiteColor,
               TextBackgroundColor);
    ShowDialogModal();
    const int32_t f = Form2.RadioGroup1.itemIndex;
    if (DialogOk != 1 || f < 0 || f >= FnExit) return;

    DialogCaption = Options[static_cast<size_t>(f)];
    BeginDialog(1);
    PlaceLabel(Form2.Label5, 50, 20, " Put the result to Spectrum: ", WhiteColor, TextBackgroundColor);
    SetDialogOptions({" 1", " 2", " 3", " 4"}, LastResultSpectrum);
    ShowRadioGroup(2, 1, 245, 100, 70, 0);
    PlaceLabel(Form2.Label6, 50, 100, " Enter auxiliary data ", WhiteColor, TextBackgroundColor);
    const int32_t rows = GridRows(f);
    const bool channels = f == FnCompress || f == FnInterpolate || f == FnSpecial;
    std::array<std::string, 5> labels = {" ", " Interval_I1 ", " Interval_I2 ", " ", " "};
    std::array<double, 5> values = {0.0, double(channels ? sp->FirstChannel : sp->WorkFirst),
                                    double(channels ? sp->LastChannel : sp->WorkLast), 0.0, 0.0};
    switch (f) {
      case FnCompress: labels[0] = " Compressor= ", values[0] = 2; break;
      case FnMarkedOutliers:
        labels[0] = " Marked points= ", values[0] = MarkedPointCount;
        labels[3] = " Value to insert = ", values[3] = InsertValue;
        break;
      case FnSmooth:
      case FnEnvelope: labels[0] = " Smoother= ", values[0] = Smoother; break;
      case FnFourier: labels[0] = " Fraction for smooth ", values[0] = FourierSmoothFraction; break;
      case FnInterpolate:
      case FnSpecial:
        labels[3] = " New I1 = ", values[3] = sp->FirstChannel;
        labels[4] = " New I2 = ", values[4] = sp->LastChannel;
        break;
      default:
        labels[3] = " chibc = ", values[3] = Chibc;
        labels[4] = " order = ", values[4] = OutlierOrder;
        break;
    }
    const char* const captions[5] = {labels[0].c_str(), labels[1].c_str(), labels[2].c_str(), labels[3].c_str(),
                                     labels[4].c_str()};
    FillValueColumn(rows, captions, values.data(), 150, 90);
    ShowNumberGrid(10, 118, rows, 10, 1, rows);
    // The interval lies in the spectrum's channels (the automatic correction holds its bounds
    // to 1..32768 itself).
    if (f != FnAutoOutliers)
      for (int32_t k : {2, 3}) LimitGridRow(k, sp->FirstChannel, sp->LastChannel);
    if (f == FnEnvelope) {
      PlaceLabel(Form2.Label7, 5, 250, " Subtract the envelope, send the result to:", WhiteColor, TextBackgroundColor);
      SetDialogOptions({" Spectrum 4", " Current spectrum", " No subtraction"}, 3);
      ShowRadioGroup(1, 1, 5, 80, 250, 270);
    } else if (f == FnFourier) {
      SetDialogOptions({" Find periodicities", " Smooth the data", " Make Real of Fourier"});
      ShowCheckListBox(5, 250, 315, 58);
      Form2.CheckListBox1.SetChecked(0, FourierFindPeriods != 0);
      Form2.CheckListBox1.SetChecked(1, FourierSmooth != 0);
      Form2.CheckListBox1.SetChecked(2, FourierMakeReal != 0);
    } else if (f == FnInterpolate) {
      PlaceLabel(Form2.Label7, 50, 233, " Select the interpolation mode ", WhiteColor, TextBackgroundColor);
      SetDialogOptions({" Simple interpolation", " Spectrum(d) -> Spectrum(chan)", " Spectrum(chan) -> Spectrum(d)",
                        " Build the background by marked points"},
                       1);
      ShowRadioGroup(1, 1, 10, 100, 290, 250);
    }
    ShowDialogModal();
    if (DialogOk != 1) return;
    const int32_t r = std::clamp(Form2.RadioGroup2.itemIndex + 1, 1, 4);
    double v[6] = {};
    if (!ReadGridValues(rows, v)) return;
    for (int32_t k = 1; k <= rows; ++k) DialogNumbers[k] = v[k];
    const int32_t m = std::max(1, RoundedChannel(v[1]));
    const int32_t option = std::max(0, Form2.RadioGroup1.itemIndex);
    switch (f) {
      case FnMarkedOutliers: InsertValue = v[4]; break;
      case FnSmooth:
      case FnEnvelope:
        Smoother = v[1];  // the smoothing routines read it directly
        SmootherGiven = Smoother > 0.0 ? 1 : 0;
        if (f == FnEnvelope) SubtractEnvelope = option != 2 ? 1 : 0;
        break;
      case FnFourier:
        FourierSmoothFraction = std::min(1.0, v[1]);
        FourierFindPeriods = Form2.CheckListBox1.Checked(0) ? 1 : 0;
        FourierSmooth = Form2.CheckListBox1.Checked(1) ? 1 : 0;
        FourierMakeReal = Form2.CheckListBox1.Checked(2) ? 1 : 0;
        break;
      case FnAutoOutliers:
        Chibc = std::max(v[4], 0.0);
        OutlierOrder = std::max(v[5], 0.0);
        break;
      default: break;
    }
    LastResultSpectrum = r;
    LastSpectrumFunction = f + 1;
    if ((f == FnInterpolate || f == FnSpecial) && !NewBounds(v[4], v[5])) return;
    if (f == FnAutoOutliers && !NewBounds(v[2], v[3])) return;

    CopySpectrum(c, r);
    switch (f) {
      case FnCompress: CompressSpectrum(m, r, 1); break;
      case FnMarkedOutliers: CorrectMarkedOutliers(); break;  // acts on c, already copied to r
      case FnSmooth: SmoothSpectrum(0, r, option); break;
      case FnEnvelope: SmoothSpectrum(1, r, option); break;
      case FnFourier: FourierPeriodicities(r); break;
      case FnInterpolate:
        if (option == 0) SimpleInterpolation(r, NewFirstChannel, NewLastChannel);
        else if (option == 3) BuildBackgroundByMarkedPoints();
        else InterpolateChanToD(r, NewFirstChannel, NewLastChannel, option - 1);
        break;
      case FnSpecial: SpecialAnalysis(r, NewFirstChannel, NewLastChannel); break;
      default: {
        int32_t zeroCount = 0, count = 0;
        CorrectOutliers(*SpectrumList[static_cast<size_t>(r)], NewFirstChannel, NewLastChannel, zeroCount, count);
        StatusText = std::to_string(count) + " outliers corrected";
        LogLine(StatusText);
        break;
      }
    }
    LastSpectrumFunction = 9;
  }
}
