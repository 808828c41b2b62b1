// FindPeaksInArray: peaks of a periodogram in NumberBuffer and the periods they stand for,
// with the merge of peaks whose periods lie closer than the resolution allows.
#include <algorithm>
#include <cmath>
#include "core/local_analysis.h"
#include "core/neighbour_services.h"
#include "core/toolbox.h"

TPeriodPeak PeriodPeaks[PeriodPeakCapacity + 1];
int32_t PeriodPeakCount = 0;

namespace {
double LowestValues[NumberBufferSize + 1];

// The count level of the noise: the mean of the lowest tenth of y[1..N] (at least one value).
double LowCountLevel(const double* y, int32_t N) {
  std::copy(y + 1, y + N + 1, LowestValues);
  const int32_t k = MaxI(1, N / 10);
  std::nth_element(LowestValues, LowestValues + (k - 1), LowestValues + N);
  double sum = 0.0;
  for (int32_t i = 0; i < k; ++i) sum += LowestValues[i];
  return sum / k;
}

void Append(double area, double position, double width, double N, double Scale) {
  if (PeriodPeakCount >= PeriodPeakCapacity) return;
  PeriodPeaks[++PeriodPeakCount] = {area, position, width, 2.0 * N * Scale / (position - 1.0)};
}
}  // namespace

void FindPeaksInArray(int32_t n, double MergeFactor, double MinRatio, double Scale) {
  PeakResolution = 1.0;
  PeriodPeakCount = 0;
  n = MinI(n, NumberBufferSize);
  const int32_t N = n - 2;
  if (N < 4) return;
  double* y = NumberBuffer;
  double ymin = y[1], ymax = y[1];
  for (int32_t i = 2; i <= N; ++i) {
    ymin = std::fmin(ymin, y[i]);
    ymax = std::fmax(ymax, y[i]);
  }
  if (!(ymax > ymin) || !std::isfinite(ymax) || !std::isfinite(ymin)) return;
  for (int32_t i = 1; i <= n; ++i) y[i] += 1e-10 * i;
  const double T = 3.0 * std::sqrt(std::fabs(LowCountLevel(y, N))) * PeakSensitivity;

  for (int32_t i = 2; i <= N - 1; ++i) {
    if (i <= 3) {
      const double sum = y[2] + y[3];
      if (y[i] - ymin >= T && y[i] >= y[i + 1] && sum != 0.0) Append(sum, y[3] / sum + 2.0, 1.0, N, Scale);
      continue;
    }
    if (!(y[i] >= y[i - 1] && y[i] >= y[i + 1])) continue;
    const double s3 = (y[i + 1] - y[i - 1]) / 2.0, s4 = (y[i + 2] - y[i - 1]) / 2.0;
    const double q3 = (y[i + 1] - 2.0 * y[i] + y[i - 1]) / std::sqrt(s3 * s3 + 1.0);
    const double q4 = (y[i + 2] - y[i] - y[i + 1] + y[i - 1]) / std::sqrt(s4 * s4 + 1.0);
    if (!(std::fmin(q3, q4) <= -3.0) || !(y[i] - ymin >= T)) continue;
    double h;
    PeakHalfWidthAt(y, NumberBufferSize, i, h, N);
    if (h == -1.0) h = 2.0;
    if (!(std::fabs(h) <= 8.0)) continue;
    h /= 2.0;
    const int32_t a = RoundMax(1.0, i - h), b = RoundMin(N - 1, i + h);
    double area = 0.0, moment = 0.0;
    for (int32_t j = a; j <= b; ++j) {
      const double v = std::fmax(0.0, y[j] - ymin);
      area += v;
      moment += v * (j - i);
    }
    const double position = std::fmax(2.0, i + moment / std::fmax(area, 1.0));
    if (!(std::fabs(y[i] - (y[i - 1] + y[i + 1]) / 2.0) >= T) || !(N / (position - 1.0) > MinRatio)) continue;
    Append(area, position, h, N, Scale);
  }

  // Merge the pair of nearest periods while it lies within the resolution.
  while (PeriodPeakCount >= 2) {
    double best = 1e15;
    int32_t k = 0;
    for (int32_t j = 1; j < PeriodPeakCount; ++j) {
      const double p1 = PeriodPeaks[j].position - 1.0, p2 = PeriodPeaks[j + 1].position - 1.0;
      const double D = N * (p2 - p1) * Scale / (p2 * p1);
      if (D <= best) {
        best = D;
        k = j;
      }
    }
    if (k == 0 || PeakResolution * MergeFactor <= best) break;
    TPeriodPeak& a = PeriodPeaks[k];
    const TPeriodPeak& b = PeriodPeaks[k + 1];
    const double area = a.area + b.area;
    a.position = area != 0.0 ? (a.area * a.position + b.area * b.position) / area : (a.position + b.position) / 2.0;
    a.area = area;
    a.width = std::fmax(a.width, b.width);
    a.period = 2.0 * N * Scale / (a.position - 1.0);
    std::copy(PeriodPeaks + k + 2, PeriodPeaks + PeriodPeakCount + 1, PeriodPeaks + k + 1);
    --PeriodPeakCount;
  }
}
