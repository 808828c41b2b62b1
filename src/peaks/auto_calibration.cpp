#include "peaks/auto_calibration.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/fit_reports.h"
#include "core/interpolation.h"
#include "core/line_fits.h"
#include "core/model_tables.h"
#include "core/numeric_arrays.h"
#include "core/peak_model.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/model_options.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_state.h"
#include "peaks/peak_areas.h"

int32_t CalibrationMode = 1;
uint8_t CalibrationLogScale = 0;
int32_t CalibrationTrialPoints = 6;
double BestCalibrationCriterion = 1e17;
std::unique_ptr<TParameter> CalibrationFit;
std::string CalibrationSpectrumName;
TCalibrationPoints CalibrationTrial;
TCalibrationBest BestCalibration;

namespace {

constexpr double MergeDistance = 2.0;      // channels: closer peaks are one
constexpr int32_t CleanedPeakLimit = 12;
constexpr double InnerErrorLimit = 10.0;   // channels of position error
constexpr double LineError = 5.0;          // error of a reference value in the line fit
constexpr double CalibrationWeight = 0.0025;
constexpr double MarkedLine = 4438.0;      // the line whose ratio goes to CalibrationResults

struct TCalibrationPeak {
  double position = 0, error = 0, amplitude = 0, ratio = 0;
  int32_t index = 0;  // the peak's number in the fitted array
  bool gone = false;
};
std::vector<TCalibrationPeak> peaks;  // the peak list of the run

// A refusal: a message box, or under the evolution driver (which runs without dialogs) a line
// of the result file.
void Refuse(const std::string& text) {
  if (TrevoAutoRun)
    LogLine(text);
  else
    ShowMsg(text);
}

void RemoveGone() { std::erase_if(peaks, [](const TCalibrationPeak& p) { return p.gone; }); }

// The cleaning of the phase-evolution run: merge close neighbours, keep at most 12 (the largest
// position errors go first), drop inner peaks with a large position error.
void CleanPeakList() {
  for (size_t i = 0; i + 1 < peaks.size(); ++i) {
    TCalibrationPeak &a = peaks[i], &b = peaks[i + 1];
    if (std::fabs(b.position - a.position) < MergeDistance) {
      b.position = (a.position + b.position) / 2;
      b.error = std::sqrt(a.error * a.error + b.error * b.error) / 2;
      a = TCalibrationPeak{.gone = true};
    }
  }
  RemoveGone();
  while (peaks.size() > CleanedPeakLimit) {
    auto worst = std::max_element(peaks.begin(), peaks.end(),
                                  [](const auto& a, const auto& b) { return a.error < b.error; });
    peaks.erase(worst);
  }
  for (size_t i = 1; i + 1 < peaks.size(); ++i)
    if (peaks[i].error > InnerErrorLimit) peaks[i].gone = true;
  RemoveGone();
}

// The peak table: background and width at each peak, and its ratio.
void PeakTable(int32_t n, int32_t first, int32_t last) {
  LogLine("Peak position  Error  Amplitude   Back   Width    Ratio ");
  for (TCalibrationPeak& p : peaks) {
    ModelChannel = p.position;
    ModelSpectrum = CurrentSpectrum;
    double y = 0, w = 0, f = 0;
    PeakFitModel(y, w, f, 1, 4);
    const double back = ModelOutput[0];
    const double t = NormalisedAbscissa(p.position, first, last);
    double width = 0;
    if (WidthMode == -1) {
      width = FittedValue(PeakRecordsOf(p.index, n).w0);  // the peak's own width
    } else {
      width = FittedValue(WidthW0Record(n, 1)) + FittedValue(WidthW1Record(n, 1)) * t;
    }
    p.ratio = p.amplitude * width / (3 * std::sqrt(std::fabs(back * width) + 1));
    LogLine(FormatNumber(9, 2, p.position) + FormatNumber(9, 2, p.error) + FormatNumber(9, 0, p.amplitude) +
            FormatNumber(9, 0, back) + FormatNumber(9, 1, width) + FormatNumber(9, 2, p.ratio));
  }
}

// The masks of K out of n items in increasing order (EnumerateCombinations writes NumberBuffer).
std::vector<int64_t> Masks(int32_t n, int32_t k) {
  int32_t count = 0;
  EnumerateCombinations(n, k, 0, count);
  std::vector<int64_t> m(static_cast<size_t>(std::max(count, 0)));
  for (int32_t i = 1; i <= count; ++i) m[static_cast<size_t>(i - 1)] = static_cast<int64_t>(NumberBuffer[i]);
  return m;
}

double Polynomial(const double* p, double x) { return p[1] + p[2] * x + p[3] * (1.5 * x * x - 0.5); }

// One trial; NaN when nothing was fitted.
double Trial(TCalibrationBest& result) {
  const TCalibrationPoints& t = CalibrationTrial;
  if (CalibrationMode == 2) {
    const double crit = RunCalibrationFit();
    for (int32_t k = 1; k <= 3; ++k) result.p[k] = CalibrationFit->Records[k].value;
    return crit;
  }
  const double scale = CalibrationLogScale ? std::numbers::ln2 : 1.0;
  for (int32_t i = 1; i <= t.count; ++i)
    LineFitPoints[i] = TLineFitPoint{t.x[i], t.y[i] * scale, 1.0 / (LineError * LineError)};
  TLineFit line;
  // Per-point lines only with the trace switch: up to 12870 trials would flood the result file.
  FitStraightLine(t.count, OptionFlags[8] ? 0 : 1, line, " Auto-calibr", LogFile);
  if (line.ok == 0) return std::numeric_limits<double>::quiet_NaN();
  result.a = line.slope, result.b = line.level, result.x0 = line.x0;
  result.aError = line.slopeError, result.bError = line.levelError;
  return line.chi;
}

// The calibrated value of abscissa x by the best trial.
double Calibrated(const TCalibrationBest& best, double x) {
  return CalibrationMode == 2 ? Polynomial(best.p, x) : (x - best.x0) * best.a + best.b;
}

// Spectrum 1's abscissae over the working range from the (position, reference) pairs, sorted by
// position with coincident positions merged (InterpolateTable needs ascending abscissae).
bool RewriteAxis(std::vector<std::pair<double, double>> pairs, int32_t first, int32_t last) {
  std::sort(pairs.begin(), pairs.end());
  std::vector<std::pair<double, double>> merged;
  std::vector<int32_t> counts;
  for (const auto& [x, y] : pairs) {
    if (!merged.empty() && merged.back().first == x) {
      merged.back().second += y;
      ++counts.back();
    } else {
      merged.emplace_back(x, y);
      counts.push_back(1);
    }
  }
  const int32_t n = static_cast<int32_t>(merged.size());
  TSpectrum* one = SpectrumOrNull(1);
  if (n < 2 || !one) return false;
  std::vector<double> table(static_cast<size_t>(2 * n + 1));
  for (int32_t i = 1; i <= n; ++i) {
    table[static_cast<size_t>(i)] = merged[static_cast<size_t>(i - 1)].second / counts[static_cast<size_t>(i - 1)];
    table[static_cast<size_t>(n + i)] = merged[static_cast<size_t>(i - 1)].first;
  }
  for (int32_t c = std::max(first, 1); c <= std::min(last, MaxChannels); ++c) {
    double y = 0;
    InterpolateTable(table.data(), 2 * n, n, y, c);
    one->X[c] = y;
  }
  return true;
}

}  // namespace

void SelectCalibrationPoints(int64_t mask, int32_t n) {
  TCalibrationPoints& t = CalibrationTrial;
  t.count = 0;
  for (int32_t i = 1; i <= std::min(n, CalibrationPointCapacity); ++i)
    if ((mask >> (i - 1)) & 1 && t.count < CalibrationTrialCapacity) t.y[++t.count] = CalibrationPoints[i];
}

void SelectCalibrationPeaks(int64_t mask, int32_t n) {
  TCalibrationPoints& t = CalibrationTrial;
  int32_t k = 0;
  for (int32_t i = 1; i <= std::min<int32_t>(n, static_cast<int32_t>(peaks.size())); ++i) {
    if (!((mask >> (i - 1)) & 1) || k >= CalibrationTrialCapacity) continue;
    const TCalibrationPeak& p = peaks[static_cast<size_t>(i - 1)];
    ++k;
    t.x[k] = CalibrationLogScale ? std::log(std::fabs(p.position) + 1e-6) : p.position;
    t.ratio[k] = p.ratio;
  }
  t.count = k;
}

void CalibrationModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage) {
  Y = W = F = 0;
  if (!CalibrationFit || Point < 1 || Point > CalibrationTrial.count) return;
  ParameterRecord* r = CalibrationFit->Records.data();
  const double x = CalibrationTrial.x[Point], q = 1.5 * x * x - 0.5;
  Y = CalibrationTrial.y[Point];
  W = CalibrationWeight;
  F = r[1].value + r[2].value * x + r[3].value * q;
  r[1].Derivative = 1, r[2].Derivative = x, r[3].Derivative = q;
}

void CreateCalibrationFit(int32_t k) {
  CalibrationFit = std::make_unique<TParameter>(3, k, 3);
  TParameter& f = *CalibrationFit;
  f.SetFitDefaults();
  f.ResetParameterRecords();
  f.GNIter = 10;
  f.PrintInterval = 0;
  f.Step = 0.5;
  f.Damp = 0.1;
  const double bounds[4][2] = {{}, {-1000001, 1e7}, {-10000001, 1e6}, {-1e6, 3e7}};
  for (int32_t i = 1; i <= 3; ++i) f.Records[i].lower = bounds[i][0], f.Records[i].upper = bounds[i][1];
}

double RunCalibrationFit() {
  if (!CalibrationFit) return std::numeric_limits<double>::quiet_NaN();
  TParameter& f = *CalibrationFit;
  f.NPoints = CalibrationTrial.count;
  f.Fit(CalibrationModel, NoProgress);
  PrintFitResults(f);
  double ymax = 0;
  PrintTextGraph(f, CalibrationModel, ymax);
  return f.Status == 0 ? std::numeric_limits<double>::quiet_NaN() : f.ChiDf;
}

void AutoCalibration(int32_t peakCount, int32_t referenceCount) {
  const int32_t n = std::clamp(peakCount, 0, MarkedPointCapacity);
  const int32_t l = std::min(referenceCount, CalibrationPointCapacity);
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!FitParameters || !sp || FitParameters->NPar < 2 * n + 6) {
    Refuse("First make the fitting");
    return;
  }
  int32_t first = 1, last = 1;
  WorkingRange(*sp, first, last);

  // The peaks, and the table cell from the sequence file name.
  peaks.assign(static_cast<size_t>(n), TCalibrationPeak{});
  for (int32_t i = 1; i <= n; ++i) {
    TCalibrationPeak& p = peaks[static_cast<size_t>(i - 1)];
    p.position = FittedValue(PositionRecord(n, i));
    p.error = FittedError(PositionRecord(n, i));
    p.amplitude = FittedValue(AmplitudeRecord(n, i));
    p.index = i;
  }
  std::string name = CalibrationSpectrumName;
  int32_t row = 0, column = 0;
  SplitAtUnderscore(name, row, column);
  Form2ClickMode = 4;

  // Cleaning, the peak table, model 1 made exponential (the evolution run relies on it).
  if (TrevoAutoRun) CleanPeakList();
  PeakTable(n, first, last);
  if (PeakModels[2]) {
    PeakModels[2]->ModelNumber = ModelExponential;
    PeakModels[2]->TabulatePeakModel();
  }

  // K and the masks.
  const int32_t count = static_cast<int32_t>(peaks.size());
  const int32_t k = std::min(l, count);
  CalibrationTrialPoints = k;
  BestCalibrationCriterion = 1e17;
  if (l < 1) {
    Refuse("No reference values for calibration");
    return;
  }
  if (k < (CalibrationMode == 2 ? 3 : 2)) {
    Refuse("Too few peaks for calibration");
    return;
  }
  std::vector<int64_t> referenceMasks, peakMasks;
  try {
    referenceMasks = Masks(l, k);
    peakMasks = Masks(count, k);
  } catch (const OperationAbandoned&) {
    return;  // more than 16 items: refused with its message, nothing changed
  }
  if (CalibrationMode == 2) CreateCalibrationFit(k);

  // The trials; a failed one never becomes the best.
  TCalibrationBest& best = BestCalibration;
  best = TCalibrationBest{};
  bool found = false;
  for (const int64_t m1 : referenceMasks)
    for (const int64_t m2 : peakMasks) {
      SelectCalibrationPoints(m1, l);
      SelectCalibrationPeaks(m2, count);
      if (OptionFlags[8]) {
        std::string line = "iserP peaks " + FormatInteger(static_cast<int32_t>(m2), 6);
        for (int32_t i = 1; i <= CalibrationTrial.count; ++i) line += FormatNumber(9, 2, CalibrationTrial.x[i]);
        LogLine(line);
      }
      TCalibrationBest trial{.references = m1, .peaks = m2};
      const double crit = Trial(trial);
      if (crit < BestCalibrationCriterion) {
        BestCalibrationCriterion = crit;
        best = trial;
        found = true;
      }
    }
  if (!found) {
    Refuse("Too few peaks for calibration");
    return;
  }

  // The best trial. Mode 2 gives p1, p2, p3 (14:5 each) in place of the line's a, b, x0.
  LogLine("THE BEST RESULTS for " + FormatInteger(k, 6) + " points");
  const std::string masks = FormatInteger(static_cast<int32_t>(best.references), 6) +
                            FormatInteger(static_cast<int32_t>(best.peaks), 6);
  if (CalibrationMode == 2) {
    const std::string p = FormatNumber(14, 5, best.p[1]) + FormatNumber(14, 5, best.p[2]) + FormatNumber(14, 5, best.p[3]);
    LogLine(FormatNumber(9, 2, BestCalibrationCriterion) + p + masks);
    LogLine("Short calibr pars " + p);
  } else {
    LogLine(FormatNumber(9, 2, BestCalibrationCriterion) + FormatNumber(9, 2, best.a) + FormatNumber(9, 2, best.b) +
            FormatNumber(9, 2, best.x0) + masks);
    LogLine("Short calibr pars " + FormatNumber(9, 5, best.a) + FormatNumber(9, 2, best.b - best.a * best.x0));
  }

  // The points of the best trial, their ratios, and the 4438 ratio in its cell.
  SelectCalibrationPoints(best.references, l);
  SelectCalibrationPeaks(best.peaks, count);
  InfoLines.count = 0;
  double ratioSum = 0;
  std::vector<std::pair<double, double>> pairs;
  int32_t selected = 0;
  for (int32_t i = 1; i <= count; ++i)
    if ((best.peaks >> (i - 1)) & 1) pairs.emplace_back(peaks[static_cast<size_t>(i - 1)].position, 0.0);
  for (int32_t i = 1; i <= CalibrationTrial.count; ++i) {
    const double x = CalibrationTrial.x[i], ref = CalibrationTrial.y[i], calc = Calibrated(best, x);
    const std::string line = FormatNumber(8, 2, x) + FormatNumber(12, 2, ref) + FormatNumber(12, 4, calc) +
                             FormatNumber(12, 4, ref - calc) + FormatNumber(12, 2, CalibrationTrial.ratio[i]);
    AddInfoLine(line);
    LogLine(line);
    ratioSum += CalibrationTrial.ratio[i];
    if (selected < static_cast<int32_t>(pairs.size())) pairs[static_cast<size_t>(selected++)].second = ref;
    if (std::fabs(ref - MarkedLine) <= 1.0 && row >= 1 && row <= CalibrationRows && column >= 1 &&
        column <= CalibrationColumns)
      CalibrationResults[row][column] = CalibrationTrial.ratio[i];
  }
  LogLine("Mean crit= " + FormatNumber(9, 2, ratioSum / std::max(1, k)));

  // The axis of spectrum 1.
  if (!RewriteAxis(pairs, first, last)) {
    Refuse("Too few peaks for calibration");
    return;
  }

  // The list.
  if (DialogWhileFitting) {
    ShowListBox(10, 10, 500, 350);
    ShowDialogModal();
  }
}
