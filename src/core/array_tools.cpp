#include "core/array_tools.h"
#include <algorithm>
#include <cmath>
#include "core/messages.h"
#include "core/numeric_arrays.h"
#include "core/small_routines.h"

void RebinArray(int32_t n, int32_t& m, double factor) {
  if (n > 8192 || !(factor > 0.0)) {
    ShowMsg("Too long array");
    return;
  }
  n = MaxI(0, n);
  double bins = std::nearbyint(n / factor) + 2.0;
  if (!(bins <= ScratchSize)) {
    ShowMsg("Too long array");
    return;
  }
  m = static_cast<int32_t>(bins);
  std::fill(ScratchArray2 + 1, ScratchArray2 + m + 1, 0.0);
  for (int32_t i = 1; i <= n; ++i) {
    double part = ScratchArray1[i] / 1000.0;
    for (int32_t k = 0; k < 1000; ++k) {
      double bin = std::nearbyint((i + k / 1000.0) / factor) + 1.0;
      if (bin >= 1.0 && bin <= m) ScratchArray2[static_cast<int32_t>(bin)] += part;
    }
  }
}

void CompactBySign(double* a, int32_t size, int32_t& n, int32_t mode) {
  if (mode < -1 || mode > 1) return;
  int32_t count = MinI(n, size), kept = 0;
  for (int32_t i = 1; i <= count; ++i) {
    double x = a[i];
    bool keep = mode == -1 ? x >= 0.0 : (mode == 0 ? x != 0.0 : x <= 0.0);
    if (keep) a[++kept] = x;
  }
  n = kept;
}

void SortUnique(double* a, int32_t size, int32_t& n, int32_t mode) {
  int32_t count = MinI(n, size);
  if (count < 2) return;
  // NaN last both ways, so that the order is a strict weak one even for NaN.
  if (mode == 1) {
    std::stable_sort(a + 1, a + count + 1,
                     [](double x, double y) { return x < y || (!std::isnan(x) && std::isnan(y)); });
  } else if (mode == -1) {
    std::stable_sort(a + 1, a + count + 1,
                     [](double x, double y) { return x > y || (!std::isnan(x) && std::isnan(y)); });
  } else if (mode == 0) {
    constexpr double DroppedMarker = -0.123456789012;
    for (int32_t i = 1; i < count; ++i)
      if (a[i] == a[i + 1]) a[i] = DroppedMarker;
    int32_t kept = 0;
    for (int32_t i = 1; i <= count; ++i)
      if (a[i] != DroppedMarker) a[++kept] = a[i];
    n = kept;
  }
}

double FractionalPart(double x) {
  double r = x - std::nearbyint(x);
  if (r < 0.0) r += 1.0;
  if (1.0 - r <= 0.03) r = 0.0;
  return r;
}
