// Smoothing and the envelope from below of the current spectrum's working interval, tuned by
// the user in the dialog " Graph of both spectra".
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/graph_drawing.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/numeric_arrays.h"
#include "core/smoothers.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "crystal/refinement_results.h"
#include "spectrum/spectrum_checks.h"
#include "spectrum/spectrum_functions.h"

namespace {

constexpr int32_t BlockLength = 16384;
constexpr double SmootherStep = 1.25;

// One pass over the snapshot y (channels i1..i2) into Y of r, in blocks of at most 16384; the
// first block of the first pass takes the library's proposed smoother. Returns the last block's
// length (its input and result stay in ScratchArray1 and ScratchArray2).
int32_t SmoothPass(int32_t mode, const std::vector<double>& y, int32_t i1, int32_t i2, TSpectrum& r, bool& first) {
  const bool blocked = i2 - i1 + 1 > BlockLength;
  int32_t b = i1, n = 0;
  do {
    int32_t e = std::min(b + BlockLength - 1, i2);
    n = e - b + 1;
    for (int32_t i = 1; i <= n; ++i) ScratchArray1[i] = y[static_cast<size_t>(b - i1 + i - 1)];
    if (blocked) {
      // Cut at the smallest value among the first two thirds, where the curve is least disturbed.
      const int32_t look = std::min(2 * (n / 3) + 1, n);
      const int32_t at = static_cast<int32_t>(std::min_element(ScratchArray1 + 1, ScratchArray1 + look + 1) - ScratchArray1);
      e = at + b - 1;
      n = e - b + 1;
    }
    if (first) {
      if (mode == 1) {
        LowerEnvelopeStart(n, 10, Smoother);
      } else {
        int32_t edge = 0;
        PrepareSmoothing(n, edge, 2.0, 1.0);
      }
      Smoother = ProposedSmoother;
      first = false;
    }
    if (mode == 1) {
      LowerEnvelope(n, 10, 0.5, 0.5, Smoother);
    } else {
      double fit = 0.0, roughness = 0.0;
      SmoothArray(n, 0, fit, roughness, Smoother);
    }
    std::copy(ScratchArray2 + 1, ScratchArray2 + n + 1, r.Y + b);
    b = e + 1;
  } while (b < i2);  // a final single channel stays as it was
  return n;
}

// Spectra c and r over i1..i2 as lines over the dots of the last block, on their joint range.
void DrawBothSpectra(const TSpectrum& c, const TSpectrum& r, int32_t i1, int32_t i2, int32_t n) {
  PlotScratchArrays(Form2.Image1, n);
  TImageCanvas& canvas = Form2.Image1.canvas;
  double lo = 0.0, hi = 0.0;
  for (int32_t j = i1; j <= i2; ++j)
    for (double v : {c.Y[j], r.Y[j]})
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  const double width = std::max(1, i2 - i1);
  for (const TSpectrum* s : {&c, &r}) {
    canvas.Pen.color = s == &c ? WhiteColor : RedColor;
    for (int32_t j = i1; j <= i2; ++j) {
      const int32_t x = Scaled(std::nearbyint((j - i1) * GraphPictureWidth / width));
      const int32_t row = Scaled(ValueToPixelRow(lo, hi, std::isfinite(s->Y[j]) ? s->Y[j] : 0.0));
      if (j == i1) canvas.MoveTo(x, row);
      else canvas.LineTo(x, row);
    }
  }
}

// The tuning dialog; returns the choice 1..3, or 0 after Cancel or a cell that is not a number.
int32_t AskSmoother(int32_t mode, int32_t r, int32_t previous, const TSpectrum& c, const TSpectrum& res, int32_t i1, int32_t i2,
                    int32_t n) {
  DialogCaption = " Graph of both spectra";
  PrepareDialog(530, 0, 450);  // as wide as the graph (5 + 516), the help kept
  PlaceLabel(Form2.Label1, 5, 5, " Set the smoother ", WhiteColor, TextBackgroundColor);
  static const char* const labels[1] = {" Smoother= "};
  const double values[1] = {Smoother};
  FillValueColumn(1, labels, values, 110, 100);
  ShowNumberGrid(35, 25, 1, 10, 1, 1);
  const std::string opened = Form2.StringGrid1.Cell(0, 0);
  const std::string put = " Quit + Put Res to Spec" + std::to_string(r);
  SetDialogOptions({" Less smoothing", " More smoothing", put.c_str()}, previous);
  ShowRadioGroup(1, 1, 255, 76, 265, 2);  // beside the grid, above the graph at row 80
  DrawBothSpectra(c, res, i1, i2, n);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  const int32_t choice = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 3);
  if (choice == 3) return 3;
  if (Form2.StringGrid1.Cell(0, 0) != opened) {
    double v[2] = {0.0, 0.0};
    if (!ReadGridValues(1, v)) return 0;
    Smoother = v[1];
  } else {
    // The envelope follows the data more with a larger smoother; SmoothArray smooths more.
    const bool larger = (choice == 1) == (mode == 1);
    Smoother = larger ? Smoother * SmootherStep : Smoother / SmootherStep;
  }
  return choice;
}

}  // namespace

void SmoothSpectrum(int32_t mode, int32_t r, int32_t target) {
  const int32_t c = CurrentSpectrum;
  TSpectrum* sc = SpectrumAt(c);
  TSpectrum* sr = SpectrumAt(r);
  if (!sc || !sr) return;
  int32_t i1 = 0, i2 = 0;
  WorkingRange(*sc, i1, i2);
  if (i2 < i1) return;
  IntervalFirst = i1;
  IntervalLast = i2;
  NChannels = i2 - i1 + 1;
  // Every pass smooths this snapshot: with r = c the result must not be smoothed again.
  const std::vector<double> y(sc->Y + i1, sc->Y + i2 + 1);
  bool first = true;
  int32_t choice = 3;
  for (;;) {
    const int32_t n = SmoothPass(mode, y, i1, i2, *sr, first);
    choice = AskSmoother(mode, r, choice, *sc, *sr, i1, i2, n);
    if (choice == 0) return;  // Cancel: r keeps the counts, its header stays
    if (choice == 3) break;
  }
  SmootherGiven = Smoother > 0.0 ? 1 : 0;
  StatusText = mode == 0 ? "The smooothed spectrum 1 put to spectrum " + std::to_string(r)
                         : "Envelope from below put to spectrum " + std::to_string(r);

  if (mode == 1 && SubtractEnvelope != 0 && target != 2) {
    const int32_t t = target == 0 ? 4 : c;
    TSpectrum* st = SpectrumAt(t);
    if (st) {
      for (int32_t j = i1; j <= i2; ++j) {
        const double d = y[static_cast<size_t>(j - i1)] - sr->Y[j];
        st->Y[j] = SmootherGiven != 0 ? std::max(d, 0.0) : d;
        st->E[j] = sc->E[j];
        st->X[j] = sc->X[j];
      }
      CopySpectrumHeader(c, t);
      st->WorkFirst = i1;
      st->WorkLast = i2;
      st->ComputeYRange();
    }
  }
  sr->WorkFirst = i1;
  sr->WorkLast = i2;
  sr->Present = 1;
  sr->ComputeYRange();
}
