#include "crystal/index_shell_columns.h"
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include "core/cell_geometry.h"
#include "core/cpu_dispatch.h"

TReciprocalMetric::TReciprocalMetric(const double* rc) {
  const double as = rc[0], bs = rc[1], cs = rc[2];
  const double ca = std::cos(rc[3] / RadToDeg), cb = std::cos(rc[4] / RadToDeg), cg = std::cos(rc[5] / RadToDeg);
  g[0][0] = as * as, g[1][1] = bs * bs, g[2][2] = cs * cs;
  g[0][1] = g[1][0] = as * bs * cg;
  g[0][2] = g[2][0] = as * cs * cb;
  g[1][2] = g[2][1] = bs * cs * ca;
}

double TReciprocalMetric::Determinant() const {
  return g[0][0] * (g[1][1] * g[2][2] - g[1][2] * g[1][2]) - g[0][1] * (g[0][1] * g[2][2] - g[1][2] * g[0][2]) +
         g[0][2] * (g[0][1] * g[1][2] - g[1][1] * g[0][2]);
}

bool TReciprocalMetric::Roots(double a, double b, double c, double& lo, double& hi) {
  const double disc = b * b - a * c;
  if (!(disc >= 0) || !(a > 0)) return false;
  const double s = std::sqrt(disc);
  lo = (-b - s) / a, hi = (-b + s) / a;
  return true;
}

double TReciprocalMetric::HReach(double qMax) const {
  return std::sqrt(qMax * (g[1][1] * g[2][2] - g[1][2] * g[1][2]) / Determinant());
}

bool TReciprocalMetric::KRange(double h, double qMax, double& lo, double& hi) const {
  const double s00 = g[0][0] - g[0][2] * g[0][2] / g[2][2], s01 = g[0][1] - g[0][2] * g[1][2] / g[2][2],
               s11 = g[1][1] - g[1][2] * g[1][2] / g[2][2];
  return Roots(s11, s01 * h, s00 * h * h - qMax, lo, hi);
}

bool TReciprocalMetric::LRange(double h, double k, double qMax, double& lo, double& hi) const {
  return Roots(g[2][2], g[0][2] * h + g[1][2] * k, g[0][0] * h * h + 2 * g[0][1] * h * k + g[1][1] * k * k - qMax, lo,
               hi);
}

void IntegerRange(double lo, double hi, int32_t first, int32_t last, int32_t& from, int32_t& to) {
  const double slack = 1e-9 * (1 + std::max(std::fabs(lo), std::fabs(hi)));
  from = lo - slack > first ? int32_t(std::ceil(lo - slack)) : first;
  to = hi + slack < last ? int32_t(std::floor(hi + slack)) : last;
}

void SetColumnDomain(TShellColumns& s, const int32_t (*m)[2][2], int32_t n) {
  // Distinct matrices only, so that S = sum m m^T is kept by the group: B(x, y) = x S y^T.
  int32_t distinct[2 * MaxOperations][2][2];
  int32_t count = 0;
  for (int32_t i = 0; i < n && count < 2 * MaxOperations; ++i) {
    bool seen = false;
    for (int32_t j = 0; j < count && !seen; ++j)
      seen = std::equal(&m[i][0][0], &m[i][0][0] + 4, &distinct[j][0][0]);
    if (!seen) std::copy(&m[i][0][0], &m[i][0][0] + 4, &distinct[count++][0][0]);
  }
  double S[2][2] = {};
  for (int32_t i = 0; i < count; ++i)
    for (int32_t r = 0; r < 2; ++r)
      for (int32_t c = 0; c < 2; ++c) S[r][c] += distinct[i][r][0] * distinct[i][c][0] + distinct[i][r][1] * distinct[i][c][1];
  // x is nearer to p0 than to any image p0 m: x S (p0 - p0 m)^T >= 0. p0 has an irrational slope,
  // so no matrix but the identity keeps it.
  const double p0[2] = {1.0, 0.2718281828459045};
  s.planes = 0;
  for (int32_t i = 0; i < count; ++i) {
    const double d0 = p0[0] - (p0[0] * distinct[i][0][0] + p0[1] * distinct[i][1][0]);
    const double d1 = p0[1] - (p0[0] * distinct[i][0][1] + p0[1] * distinct[i][1][1]);
    const double wa = S[0][0] * d0 + S[0][1] * d1, wb = S[1][0] * d0 + S[1][1] * d1;
    if (wa == 0 && wb == 0) continue;
    s.wa[s.planes] = wa, s.wb[s.planes] = wb, ++s.planes;
  }
}

namespace {

// The k of row h inside every half-plane, widened by one column at each edge; false when the row
// misses one of them.
bool DomainRow(const TShellColumns& s, int32_t h, double& lo, double& hi) {
  lo = -HUGE_VAL, hi = HUGE_VAL;
  for (int32_t i = 0; i < s.planes; ++i) {
    const double wa = s.wa[i], wb = s.wb[i];
    if (std::fabs(wb) <= 1e-12 * std::fabs(wa)) {
      // A boundary along k: |wb k| stays below |wa| for every k searched.
      if (wa * h < 0) return false;
      continue;
    }
    const double bound = -wa * h / wb;
    if (wb > 0)
      lo = std::max(lo, bound - 1);
    else
      hi = std::min(hi, bound + 1);
  }
  return lo <= hi;
}

// The columns (h, k0 + stride i), i < n, of a convex q(l) = a l^2 + 2 b l + c that may hold an l in
// [lMin, lMax] with qInner <= q(l) <= qMax get flag 1. The integers with q <= qMax run from w, the
// ceiling of the lower root, to u, the floor of the upper one (held to [lMin, lMax]), and the
// largest q among them is met at an end. The generous qMax and qInner put every index of the
// exact shell far (some 1e-7 q) inside both, so rounding cannot move w or u past it; nearly
// tangent columns, whose roots are unsure, are always flagged.
struct TColumnShell {
  double g[3][3], qMax, qInner, lMin, lMax;
};

void ColumnFlagsBaseline(const TColumnShell& s, int32_t h, int32_t k0, int32_t stride, int32_t n, uint64_t* flags) {
  std::fill(flags, flags + (n + 63) / 64, 0);
  const double a = s.g[2][2], inverseA = 1.0 / a;
  for (int32_t i = 0; i < n; ++i) {
    const double k = double(k0) + double(stride) * i;
    const double b = s.g[0][2] * h + s.g[1][2] * k;
    const double c = (s.g[0][0] * h + 2.0 * s.g[0][1] * k) * h + s.g[1][1] * k * k;
    const double disc = b * b - a * (c - s.qMax);
    const double tolerance = 1e-8 * (b * b + a * (std::fabs(c) + s.qMax));
    const double root = std::sqrt(std::max(disc, 0.0));
    const double u = std::floor(std::min((root - b) * inverseA, s.lMax));
    const double w = std::ceil(std::max((-root - b) * inverseA, s.lMin));
    auto q = [&](double l) { return (a * l + 2.0 * b) * l + c; };
    const bool inside = w <= u && (q(u) >= s.qInner || q(w) >= s.qInner);
    if (disc >= -tolerance && (disc <= tolerance || inside)) flags[i >> 6] |= uint64_t{1} << (i & 63);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same tests four columns at a time.
VKEST_AVX2 void ColumnFlagsAvx2(const TColumnShell& s, int32_t h, int32_t k0, int32_t stride, int32_t n, uint64_t* flags) {
  std::fill(flags, flags + (n + 63) / 64, 0);
  // One tolerance for the block, at least that of each column: the largest |b| and |c| are met
  // at an end of the block.
  const double kFar = std::max(std::fabs(double(k0)), std::fabs(double(k0) + double(stride) * (n - 1)));
  const double bFar = std::fabs(s.g[0][2] * h) + std::fabs(s.g[1][2]) * kFar;
  const double cFar = std::fabs(s.g[0][0] * h * h) + 2.0 * std::fabs(s.g[0][1] * h) * kFar + s.g[1][1] * kFar * kFar;
  const __m256d tolerance = _mm256_set1_pd(1e-8 * (bFar * bFar + s.g[2][2] * (cFar + s.qMax)));
  const __m256d a = _mm256_set1_pd(s.g[2][2]), inverseA = _mm256_set1_pd(1.0 / s.g[2][2]);
  const __m256d lMin = _mm256_set1_pd(s.lMin), lMax = _mm256_set1_pd(s.lMax);
  const __m256d zero = _mm256_setzero_pd(), sign = _mm256_set1_pd(-0.0);
  const __m256d qMax = _mm256_set1_pd(s.qMax), qInner = _mm256_set1_pd(s.qInner);
  const __m256d g02h = _mm256_set1_pd(s.g[0][2] * h), g12 = _mm256_set1_pd(s.g[1][2]);
  const __m256d ch = _mm256_set1_pd(s.g[0][0] * h * h), g01h2 = _mm256_set1_pd(2.0 * s.g[0][1] * h);
  const __m256d g11 = _mm256_set1_pd(s.g[1][1]);
  const __m256d kStep = _mm256_set1_pd(4.0 * stride);
  __m256d k = _mm256_add_pd(_mm256_set1_pd(double(k0)), _mm256_set_pd(3.0 * stride, 2.0 * stride, stride, 0));
  int32_t i = 0;
  for (; i + 4 <= n; i += 4, k = _mm256_add_pd(k, kStep)) {
    const __m256d b = _mm256_add_pd(g02h, _mm256_mul_pd(g12, k));
    const __m256d c = _mm256_add_pd(ch, _mm256_mul_pd(k, _mm256_add_pd(g01h2, _mm256_mul_pd(g11, k))));
    const __m256d disc = _mm256_sub_pd(_mm256_mul_pd(b, b), _mm256_mul_pd(a, _mm256_sub_pd(c, qMax)));
    const __m256d root = _mm256_sqrt_pd(_mm256_max_pd(disc, zero));
    const __m256d minusB = _mm256_xor_pd(b, sign);
    // A column that misses the ellipsoid may be flagged: it is entered and holds nothing.
    const __m256d u = _mm256_floor_pd(_mm256_min_pd(_mm256_mul_pd(_mm256_add_pd(minusB, root), inverseA), lMax));
    const __m256d w = _mm256_ceil_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_sub_pd(minusB, root), inverseA), lMin));
    const __m256d twoB = _mm256_add_pd(b, b);
    const __m256d qU = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a, u), twoB), u), c);
    const __m256d qW = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a, w), twoB), w), c);
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(w, u, _CMP_LE_OQ),
                                         _mm256_cmp_pd(_mm256_max_pd(qU, qW), qInner, _CMP_GE_OQ));
    const __m256d flag = _mm256_or_pd(_mm256_cmp_pd(disc, tolerance, _CMP_LE_OQ), inside);
    flags[i >> 6] |= uint64_t(_mm256_movemask_pd(flag)) << (i & 63);
  }
  if (i < n) {
    uint64_t tail[1];
    ColumnFlagsBaseline(s, h, k0 + stride * i, stride, n - i, tail);
    flags[i >> 6] |= tail[0] << (i & 63);
  }
}
#else
void ColumnFlagsAvx2(const TColumnShell& s, int32_t h, int32_t k0, int32_t stride, int32_t n, uint64_t* flags) {
  ColumnFlagsBaseline(s, h, k0, stride, n, flags);
}
#endif
const auto ColumnFlags = ChooseByProcessor(ColumnFlagsBaseline, ColumnFlagsAvx2, false);

}  // namespace

void VisitShellColumns(const TReciprocalMetric& metric, const TShellColumns& s, TShellVisitor& visitor) {
  const double (&g)[3][3] = metric.g;
  const double reach = metric.HReach(s.qMax);
  if (!std::isfinite(reach)) return;
  int32_t hFrom = s.hFrom, hTo = s.hTo;
  IntegerRange(-reach, reach, hFrom, hTo, hFrom, hTo);
  const double inverseG22 = 1.0 / g[2][2];
  TColumnShell shell{};
  std::copy(&g[0][0], &g[0][0] + 9, &shell.g[0][0]);
  shell.qMax = s.qMax, shell.qInner = s.qInner, shell.lMin = s.lMin, shell.lMax = s.lMax;
  const int32_t stride = s.evenHK ? 2 : 1;
  uint64_t flags[8];  // 512 columns
  for (int32_t h = hFrom; h <= hTo; ++h) {
    visitor.Row();
    double lo, hi, domainLo, domainHi;
    if (!metric.KRange(h, s.qMax, lo, hi) || !DomainRow(s, h, domainLo, domainHi)) continue;
    int32_t kFrom, kTo;
    IntegerRange(std::max(lo, domainLo), std::min(hi, domainHi), s.kFirst, s.kLast, kFrom, kTo);
    // Along a column q(l) = g22 l^2 + 2 b l + c is convex about l = -b / g22. Only the flagged
    // columns are entered: there the ends of the part with q <= qMax, held inside [lMin - 1,
    // lMax + 1], are found from the roots and corrected by steps, and from each end inwards the
    // indices are visited until q falls below qInner.
    const int64_t floorL = int64_t(s.lMin) - 1, ceilL = int64_t(s.lMax) + 1;
    if (stride == 2 && ((kFrom + h) & 1) != 0) ++kFrom;
    for (int64_t kBlock = kFrom; kBlock <= kTo; kBlock += 512 * stride) {
      const int32_t n = int32_t(std::min<int64_t>((kTo - kBlock) / stride + 1, 512));
      ColumnFlags(shell, h, int32_t(kBlock), stride, n, flags);
      for (int32_t word = 0; word < (n + 63) / 64; ++word)
        for (uint64_t bits = flags[word]; bits != 0; bits &= bits - 1) {
          const int32_t k = int32_t(kBlock) + stride * (64 * word + std::countr_zero(bits));
          const double b = g[0][2] * h + g[1][2] * k;
          const double c = (g[0][0] * h + 2.0 * g[0][1] * k) * h + g[1][1] * double(k) * k;
          const double centre = -b * inverseG22;
          auto q = [&](int64_t l) { return (g[2][2] * double(l) + 2.0 * b) * double(l) + c; };
          // top: the last l with l <= centre or q(l) <= qMax; bottom: the first with l >= centre
          // or q(l) <= qMax; both clamped to [floorL, ceilL].
          double rlo = centre, rhi = centre;
          metric.LRange(h, k, s.qMax, rlo, rhi);
          int64_t top = int64_t(std::clamp(std::floor(rhi), double(floorL), double(ceilL)));
          int64_t bottom = int64_t(std::clamp(std::ceil(rlo), double(floorL), double(ceilL)));
          while (top < ceilL && (double(top + 1) <= centre || q(top + 1) <= s.qMax)) ++top;
          while (top > floorL && double(top) > centre && q(top) > s.qMax) --top;
          while (bottom > floorL && (double(bottom - 1) >= centre || q(bottom - 1) <= s.qMax)) --bottom;
          while (bottom < ceilL && double(bottom) < centre && q(bottom) > s.qMax) ++bottom;
          const int64_t from = std::max<int64_t>(bottom, s.lMin), to = std::min<int64_t>(top, s.lMax);
          if (from > to) continue;
          int64_t l = from;
          for (; l <= to && q(l) >= s.qInner; ++l) visitor.Visit(h, k, int32_t(l));
          const int64_t lowerEnd = l - 1;
          int64_t start = to + 1;
          while (start - 1 > lowerEnd && q(start - 1) >= s.qInner) --start;
          for (l = start; l <= to; ++l) visitor.Visit(h, k, int32_t(l));
        }
    }
  }
}
