// The tests of one search section: quasi-curvature, weak peaks, width calibration with splitting,
// hidden peaks under the found ones, and the merge of close peaks.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/array_tools.h"
#include "core/local_analysis.h"
#include "core/numeric_arrays.h"
#include "core/peak_model.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/model_options.h"
#include "peaks/peak_search.h"

namespace {
bool Protocolling() { return OptionFlags[5] != 0; }
void Protocol(const std::string& line) { LogLine(line); }

double* const QcOfPeak = WorkArrays[4];  // quasi-curvature, then class code, per peak
double* const Gaps = WorkArrays[3];      // gaps, or found widths, per peak

// Per-peak storage of the calibration beside the shared arrays.
double ExpectedWidths[ScratchSize + 2];
double AddedPeaks[ScratchSize + 2];
uint8_t Significant[ScratchSize + 2], Agrees[ScratchSize + 2], Isolated[ScratchSize + 2];

const TPeakModel& ModelOne() { return *PeakModels[2]; }

double ModelCentreValue() {
  double f, d1, d2;
  ModelOne().PeakModelValue(f, d1, d2, 0.0);
  return f;
}

int32_t Round(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

double Channel(double p, double f) { return SectionPointChannel(p, f); }

void ClearPeakFlags(int32_t j) { Significant[j] = Agrees[j] = Isolated[j] = 0; }
}  // namespace

double SectionPointChannel(double p, double f) {
  return f > 1.0 ? PeakSearchFirst + (p - 1.0) * f - 1.5 : PeakSearchFirst + p - 1.0;
}

double* TPeakSection::Y() { return ScratchArray1; }
double* TPeakSection::Errors() { return WorkArrays[1]; }
double* TPeakSection::Positions() { return WorkArrays[2]; }

double TPeakSection::WidthAt(double p) const {
  const double w = (PeakWidthIntercept + PeakWidthSlope * Channel(p, f)) / f;
  return std::isfinite(w) ? std::fmax(1.0, w) : 1.0;
}

void TPeakSection::RemoveDeleted() {
  double* pos = Positions();
  int32_t k = 0;
  for (int32_t j = 1; j <= n; ++j)
    if (pos[j] != 0.0) {
      ++k;
      pos[k] = pos[j];
      QcOfPeak[k] = QcOfPeak[j];
    }
  n = k;
}

void TPeakSection::SortPositions() { SortUnique(Positions(), ScratchSize, n, 1); }

void TPeakSection::QuasiCurvatureTest(double w) {
  double* y = Y();
  const double* e = Errors();
  double* qc = Positions();  // point curvatures first; peak j is written at j < its point
  n = 0;
  if (m < 3) return;
  for (int32_t i = 2; i <= m - 1; ++i) {
    const double slope3 = (y[i + 1] - y[i - 1]) / 2.0;
    const double curv3 = y[i - 1] - 2.0 * y[i] + y[i + 1];
    double v, slope5, curv5;
    LocalDerivativesOf(y, m, i, v, slope5, curv5);
    qc[i] = 1e-6 * i + (curv5 / std::sqrt(slope5 * slope5 + 1.0) + curv3 / std::sqrt(slope3 * slope3 + 1.0)) / 2.0;
  }
  qc[1] = qc[m] = 0.0;
  const double kw = w < 5.0 ? 2.0 : 1.0;
  for (int32_t i = 2; i <= m - 1; ++i) {
    const double yi = y[i];
    bool shape = i >= 3 && i <= m - 2 && yi > y[i - 2] && yi > y[i - 1] && yi > y[i + 1] && yi > y[i + 2] &&
                 yi > kw * e[i];
    if (!shape)
      shape = i >= 4 && i <= m - 3 && yi > y[i - 3] && yi > (y[i - 2] + y[i - 1]) / 2.0 && yi > y[i + 3] &&
              yi > (y[i + 1] + y[i + 2]) / 2.0 && yi > kw * e[i];
    if (!shape) continue;
    const double q = qc[i];
    if (!(q < -1.5 && q < qc[i - 1] && q < qc[i + 1])) continue;
    if (!(yi > e[i] * sensitivity && y[i + 1] > kw * e[i + 1] && y[i - 1] > kw * e[i - 1])) continue;
    // Peaks are never neighbours (each is above both neighbours), so n < i - 1 here.
    ++n;
    QcOfPeak[n] = q;
    qc[n] = i;
  }
  double* pos = Positions();

  // Constant test: a peak whose neighbourhood varies less than its counting noise.
  if (sectionMax < std::fmax(3.0 * SmallStatistics, MaxPeakCount)) {
    for (int32_t j = 1; j <= n; ++j) {
      const double p = pos[j];
      const int32_t a = MaxI(2, Round(p - 3.0)), b = MinI(m - 1, Round(p + 3.0));
      double s1 = 0.0, s2 = 0.0;
      for (int32_t i = a; i <= b; ++i) {
        s1 += std::fabs(y[i] - y[i - 1]);
        s2 += std::sqrt(std::fabs(y[i - 1]));
      }
      if (s1 < 0.33 * s2 * sensitivity) {
        if (Protocolling())
          Protocol("Peak " + FormatNumber(8, 1, p) + " is constant; deleted" + FormatNumber(10, 2, s1) +
                   FormatNumber(10, 2, s2));
        pos[j] = 0.0;
      }
    }
    RemoveDeleted();
  }

  if (Protocolling()) Protocol("New Npeaks=" + FormatInteger(n, 5));
}

void TPeakSection::DeleteWeakPeaks(double k, double w) {
  double* y = Y();
  const double* e = Errors();
  double* pos = Positions();
  pos[n + 1] = m;  // sentinel
  for (int32_t j = 1; j <= n + 1; ++j) Gaps[j] = pos[j] - (j == 1 ? 1.0 : pos[j - 1]);
  if (Protocolling()) Protocol("         pos     qc      ampl   err     area     err  w   sensed");
  for (int32_t j = 1; j <= n; ++j) {
    const int32_t p = std::clamp(Round(pos[j]), 1, m);
    int32_t a = MaxI(1, p - RoundMin(Gaps[j] / 2.0, 0.75 * w));
    int32_t b = MinI(m, p + RoundMin(Gaps[j + 1] / 2.0, 0.75 * w));
    if (b - a < 2) a = MaxI(1, p - 1), b = MinI(m, p + 1);
    double area = 0.0, var = 0.0;
    for (int32_t i = a; i <= b; ++i) {
      area += y[i];
      var += e[i] * e[i];
    }
    const double threshold = std::sqrt(var) * sensitivity * 3.0 * k;
    const bool kept = area > threshold;
    if (Protocolling())
      Protocol("SensA" + FormatNumber(8, 1, Channel(pos[j], f)) + FormatNumber(8, 2, QcOfPeak[j]) +
               FormatNumber(9, 1, y[p]) + FormatNumber(7, 1, e[p]) + FormatNumber(9, 1, area) +
               FormatNumber(8, 1, threshold) + FormatNumber(4, 0, w) + "  sensed= " + (kept ? "1" : "0"));
    if (!kept) pos[j] = 0.0;
  }
  for (int32_t i = 1; i <= m; ++i)
    if (e[i] * sensitivity * k > y[i]) y[i] = 0.0;
  RemoveDeleted();
  if (Protocolling()) Protocol("weak peaks deleted npeaks=" + FormatInteger(n, 5));
}

bool TPeakSection::CanSplitPeak(int32_t peak, int32_t point, int32_t count, const double* found) {
  const double* pos = Positions();
  int32_t h = Round(found[peak]);
  if (peak > 1) h = MaxI(h, Round(found[peak - 1]));
  if (peak < count) h = MaxI(h, Round(found[peak + 1]));
  const double left = peak > 1 ? pos[peak - 1] : 1.0;
  const double right = peak < count ? pos[peak + 1] : m;
  return point - h - left >= 1.0 && right - point - h >= 1.0;
}

void TPeakSection::CalibrateWidths() {
  double* y = Y();
  const double* e = Errors();
  double* pos = Positions();
  double* found = Gaps;
  const double res = std::fabs(PeakResolution);
  for (int32_t j = 1; j <= n; ++j) ExpectedWidths[j] = WidthAt(pos[j]);
  int32_t added = 0;
  if (n > 1) {
    double sumFound = 0.0, sumExpected = 0.0;
    for (int32_t j = 1; j <= n; ++j) {
      PeakHalfWidthAt(y, ScratchSize, std::clamp(Round(pos[j]), 1, m), found[j], m);
      sumFound += found[j] == -1.0 ? ExpectedWidths[j] : found[j];
      sumExpected += ExpectedWidths[j];
    }
    // The median of the found widths, the expected width standing in for one not measured.
    for (int32_t j = 1; j <= n; ++j) AddedPeaks[j] = found[j] == -1.0 ? ExpectedWidths[j] : found[j];
    double median = 0.0;
    Median(AddedPeaks, ScratchSize, n, median);
    if (Protocolling()) {
      Protocol("WidthA      real= " + FormatNumber(8, 2, sumFound / n) + "  median= " + FormatNumber(8, 2, median) +
               "  calib = " + FormatNumber(8, 2, sumExpected / n) + "  dw= " + FormatNumber(8, 2, widthAccuracy));
      Protocol("ResA ");
      Protocol("     pos     counts   error  w_calib w_found");
    }

    for (int32_t j = 1; j <= n; ++j) {
      const int32_t p = std::clamp(Round(pos[j]), 1, m);
      const double t = std::fabs(e[p]) * 3.0 * sensitivity;
      const double wf = found[j], we = ExpectedWidths[j];
      Significant[j] = y[p] >= t;
      Agrees[j] = wf != -1.0 && std::fabs(wf - we) <= widthAccuracy * f * res;
      if (wf == -1.0) {
        Isolated[j] = 0;
      } else {
        const bool leftFree = j == 1 || pos[j] - pos[j - 1] > 2.0 * we;
        const bool rightFree = j == n || pos[j + 1] - pos[j] > 2.0 * we;
        Isolated[j] = leftFree && rightFree;
      }
      if ((wf >= 0.5 && wf <= 1.5) || (y[p] < t && wf < we) || y[p] < t / 2.0 ||
          (!Significant[j] && !Agrees[j] && y[p] <= 200.0))
        ClearPeakFlags(j);
      if (Protocolling())
        Protocol(FormatNumber(8, 1, Channel(pos[j], f)) + FormatNumber(11, 1, y[p]) + FormatNumber(8, 1, e[p]) +
                 FormatNumber(9, 2, we) + FormatNumber(8, 2, wf));

      // A broad isolated peak may be two.
      if (Significant[j] && Isolated[j] && !Agrees[j] && wf - we > widthAccuracy * 1.5 * f * res &&
          widthAccuracy / we < 0.25 && y[p] > 200.0) {
        const bool ok = CanSplitPeak(j, p, n, found);
        const int32_t d = MaxI(3, Round(we / 2.0));
        if (Protocolling())
          Protocol(std::string(ok ? "" : "un") + "resolved" +
                   (ok ? " replaced by " + FormatNumber(9, 1, Channel(p - d, f)) + FormatNumber(9, 1, Channel(p + d, f))
                       : ""));
        if (ok) {
          pos[j] = p - d;
          AddedPeaks[++added] = p + d;
        }
      }
      QcOfPeak[j] = 4 * Significant[j] + 2 * Agrees[j] + Isolated[j];
    }

    // Spurious peaks of poor sections: too few points of the window differ from the peak.
    for (int32_t j = 1; j <= n; ++j) {
      if (QcOfPeak[j] == 0.0) {
        pos[j] = 0.0;
        continue;
      }
      if (!(rawMax < 20.0) || Agrees[j]) continue;
      const int32_t p = std::clamp(Round(pos[j]), 1, m);
      // Each half at most one expected width.
      const double limit = ExpectedWidths[j];
      const double next = j < n && found[j + 1] != -1.0 ? found[j + 1] : median;
      const int32_t a = MaxI(1, Round(p - std::fmin(median / 2.0, limit)));
      const int32_t b = MinI(m, Round(p + std::fmin(next / 2.0, limit)));
      int32_t differing = 0;
      for (int32_t i = a; i <= b; ++i)
        if (std::fabs(y[i] - y[p]) > e[i] * sensitivity) ++differing;
      if (differing < 3 && b - a > 4) {
        if (Protocolling()) Protocol("spur " + FormatNumber(9, 1, Channel(pos[j], f)));
        pos[j] = 0.0;
      }
    }
    for (int32_t k = 1; k <= added; ++k) {
      pos[n + k] = AddedPeaks[k];
      QcOfPeak[n + k] = 5.0;
    }
    n += added;
    RemoveDeleted();
    SortPositions();
    for (int32_t j = 1; j <= n; ++j) ExpectedWidths[j] = WidthAt(pos[j]);
  }

  for (int32_t j = 1; j <= n; ++j) SubtractPeakShape(j, 1, m, ExpectedWidths[j]);

  // Residual clean-up: single positive points, then pairs, between zeros.
  for (int32_t i = 2; i <= m - 1; ++i)
    if (y[i] > 0.0 && y[i - 1] == 0.0 && y[i + 1] == 0.0) y[i] = 0.0;
  for (int32_t i = 2; i <= m - 2; ++i)
    if (y[i] > 0.0 && y[i + 1] > 0.0 && y[i - 1] == 0.0 && y[i + 2] == 0.0) y[i] = y[i + 1] = 0.0;
}

void TPeakSection::SubtractPeakShape(int32_t peak, int32_t from, int32_t to, double width) {
  double* y = Y();
  const double w = std::isfinite(width) ? std::fmax(1.0, width) : 1.0;
  int32_t p = std::clamp(Round(Positions()[peak]), 1, m);
  if (p > 1 && y[p - 1] > y[p])
    --p;
  else if (p < m && y[p + 1] > y[p])
    ++p;
  const double centre = ModelCentreValue();
  if (!(centre > 0.0)) return;
  const double scale = y[p] / centre;
  const double r = 1.0 / std::fmax(w, 1.0);
  const TPeakModel& model = ModelOne();
  // The table is zero beyond its half width: only points within reach change.
  const double reach = (model.HalfWidth + r) * w + 1.0;
  from = MaxI(MaxI(from, 1), static_cast<int32_t>(std::floor(p - reach)));
  to = MinI(MinI(to, m), static_cast<int32_t>(std::ceil(p + reach)));
  for (int32_t i = from; i <= to; ++i) {
    const double u = (i - p) / w;
    double v0, v1, v2, d1, d2;
    model.ShapeValue(v0, d1, d2, u);
    model.ShapeValue(v1, d1, d2, u + r);
    model.ShapeValue(v2, d1, d2, u - r);
    y[i] = std::fmax(0.0, y[i] - scale * Max3D(v0, v1, v2));
  }
}

void TPeakSection::AddHiddenPeaks(double k) {
  double* y = Y();
  const double* e = Errors();
  double* pos = Positions();
  const int32_t W = Round(MiddleWidth());
  const double centre = ModelCentreValue();
  const TPeakModel& model = ModelOne();
  int32_t added = 0;
  for (;;) {
    int32_t imin, i;
    double lo, top;
    MinMaxOfRange(y, ScratchSize, 1, imin, i, lo, top, m);
    if (!(top >= 16.0)) break;
    int32_t a = i, b = i;
    while (a > MaxI(1, i - W) && y[a] != 0.0) --a;
    while (b < MinI(m, i + W) && y[b] != 0.0) ++b;
    double s = 0.0;
    int32_t c = 0;
    for (int32_t j = a; j <= b; ++j) {
      s += y[j];
      if (y[j] > 0.0) ++c;
    }
    const double t = (b - a + 1) * std::fabs(e[i]) * 2.0 * sensitivity * k;

    // Peak model 1 of the local width, its centre scaled to y[i], leaves the residual.
    const double width = WidthAt(i) + 0.5;
    const double scale = centre > 0.0 ? y[i] / centre : 0.0;
    const double reach = model.ModelNumber == ModelLorentz || model.ModelNumber == ModelExponential
                             ? m
                             : model.HalfWidth * width + 1.0;
    const int32_t first = MaxI(1, static_cast<int32_t>(std::floor(i - reach)));
    const int32_t last = MinI(m, static_cast<int32_t>(std::ceil(i + reach)));
    for (int32_t j = first; j <= last; ++j) {
      double v, d1, d2;
      model.PeakModelValue(v, d1, d2, (j - i) / width);
      y[j] = std::fmax(0.0, y[j] - scale * v);
    }
    y[i] = 0.0;  // the scaled centre took it; exact zero keeps the loop finite

    if (t < s && W <= c + 1 && n + added < ScratchSize - 1) {
      AddedPeaks[++added] = i;
      if (Protocolling())
        Protocol("Hidda ip,ass,e,k,iw " + FormatNumber(9, 1, Channel(i, f)) + FormatNumber(10, 1, s) +
                 FormatNumber(10, 1, t) + FormatInteger(c, 5) + FormatInteger(W, 5) + "    Added " +
                 FormatNumber(9, 1, Channel(i, f)));
    }
  }
  for (int32_t j = 1; j <= added; ++j) {
    pos[n + j] = AddedPeaks[j];
    QcOfPeak[n + j] = 0.0;
  }
  n += added;
  SortPositions();
}

void TPeakSection::MergeClosePeaks(double w) {
  if (n < 2) return;
  const double* e = Errors();
  double* pos = Positions();
  const int32_t passes = n - 1;
  for (int32_t pass = 1; pass <= passes && n >= 2; ++pass) {
    int32_t j = 1;
    for (int32_t i = 1; i < n; ++i) {
      Gaps[i] = pos[i + 1] - pos[i];
      if (Gaps[i] < Gaps[j]) j = i;
    }
    const int32_t a = std::clamp(Round(pos[j]), 1, m), b = std::clamp(Round(pos[j + 1]), 1, m);
    const double d = std::fmax(1.0, w * 2.0 * std::fabs(1.0 / e[a] + 1.0 / e[b]) * std::fabs(PeakResolution));
    if (Gaps[j] >= d && Gaps[j] >= 2.0) break;
    const double merged = (pos[j] + pos[j + 1]) / 2.0;
    if (Protocolling())
      Protocol("ChesrA  Merged " + FormatNumber(9, 1, Channel(pos[j], f)) + FormatNumber(9, 1, Channel(pos[j + 1], f)) +
               " to " + FormatNumber(9, 1, Channel(merged, f)) + " err= " + FormatNumber(8, 2, d));
    pos[j] = merged;
    pos[j + 1] = 0.0;
    RemoveDeleted();
    SortPositions();
  }
}
