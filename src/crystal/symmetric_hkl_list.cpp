#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include "core/cell_geometry.h"
#include "core/cpu_dispatch.h"
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"
#include "core/spectra_utilities.h"

int32_t HklFormedFirst[5] = {};
int32_t HklFormedLast[5] = {};

namespace {

// Index components stay inside +-2^20 so that three of them pack exactly into one key. The box
// is held to 2^18 per side: images under rotations with entries -1, 0, 1 stay below 3 * 2^18.
constexpr int32_t IndexLimit = (1 << 20) - 1;
constexpr int32_t MaxBoxHalf = 1 << 18;

inline uint64_t IndexKey(int32_t h, int32_t k, int32_t l) {
  constexpr uint64_t Offset = uint64_t{1} << 20;
  return ((uint64_t(int64_t(h) + Offset)) << 42) | ((uint64_t(int64_t(k) + Offset)) << 21) |
         uint64_t(int64_t(l) + Offset);
}

// A set of packed indices: open addressing over a power-of-two table, no allocation per entry.
class IndexSet {
public:
  explicit IndexSet(size_t expected = 1024) { Rehash(std::bit_ceil(std::max<size_t>(64, 2 * expected))); }
  bool Contains(uint64_t key) const {
    for (size_t i = Slot(key);; i = (i + 1) & mask_) {
      if (slots_[i] == Empty) return false;
      if (slots_[i] == key) return true;
    }
  }
  // True when the key was not there yet.
  bool Insert(uint64_t key) {
    if (2 * (size_ + 1) > slots_.size()) Rehash(2 * slots_.size());
    for (size_t i = Slot(key);; i = (i + 1) & mask_) {
      if (slots_[i] == key) return false;
      if (slots_[i] == Empty) {
        slots_[i] = key;
        ++size_;
        return true;
      }
    }
  }

private:
  static constexpr uint64_t Empty = ~uint64_t{0};  // no packed index has every bit set
  size_t Slot(uint64_t key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> 17) & mask_; }
  void Rehash(size_t capacity) {
    std::vector<uint64_t> old = std::move(slots_);
    slots_.assign(capacity, Empty);
    mask_ = capacity - 1;
    size_ = 0;
    for (uint64_t k : old)
      if (k != Empty) Insert(k);
  }
  std::vector<uint64_t> slots_;
  size_t mask_ = 0, size_ = 0;
};

// The images h R_o and -h R_o of one index under the listed operations, in the order
// operation 1, its negative, operation 2, ...
struct TImages {
  int32_t n = 0;
  int32_t h[2 * MaxOperations], k[2 * MaxOperations], l[2 * MaxOperations];
  uint64_t key[2 * MaxOperations];
};

// The rotations of a phase as integers when every entry is -1, 0 or 1 (every table group and
// every parsed formula), and whether {R_o, -R_o} is closed under products: then the images of
// any member of a set are the whole set.
struct TRotations {
  int32_t count = 0;
  bool integral = true;
  bool closed = false;
  int32_t r[MaxOperations][3][3] = {};  // [operation][row][column]
  double rd[MaxOperations][3][3] = {};

  explicit TRotations(const LATTICE& p) {
    count = std::clamp(p.OperationCount, 0, MaxOperations);
    for (int32_t o = 0; o < count; ++o)
      for (int32_t c = 0; c < 3; ++c)
        for (int32_t m = 0; m < 3; ++m) {
          const double v = p.Rotations[c][m][o + 1];
          rd[o][c][m] = v;
          r[o][c][m] = (v == -1.0 || v == 0.0 || v == 1.0) ? int32_t(v) : 0;
          if (!(v == -1.0 || v == 0.0 || v == 1.0)) integral = false;
        }
    closed = integral && count > 0 && Closed();
  }

  void Images(int32_t h, int32_t k, int32_t l, TImages& out) const {
    out.n = 2 * count;
    for (int32_t o = 0; o < count; ++o) {
      int32_t x[3];
      if (integral) {
        for (int32_t m = 0; m < 3; ++m) x[m] = h * r[o][0][m] + k * r[o][1][m] + l * r[o][2][m];
      } else {
        for (int32_t m = 0; m < 3; ++m) {
          const double v = std::nearbyint(h * rd[o][0][m] + k * rd[o][1][m] + l * rd[o][2][m]);
          x[m] = std::isfinite(v) ? int32_t(std::clamp(v, double(-IndexLimit), double(IndexLimit))) : 0;
        }
      }
      const int32_t a = 2 * o, b = a + 1;
      out.h[a] = x[0], out.k[a] = x[1], out.l[a] = x[2];
      out.h[b] = -x[0], out.k[b] = -x[1], out.l[b] = -x[2];
      out.key[a] = IndexKey(x[0], x[1], x[2]);
      out.key[b] = IndexKey(-x[0], -x[1], -x[2]);
    }
  }

private:
  // Every product s_a s_b R_a R_b is again some s R_o.
  bool Closed() const {
    auto find = [&](const int32_t (&m)[3][3]) {
      for (int32_t o = 0; o < count; ++o) {
        bool plus = true, minus = true;
        for (int32_t i = 0; i < 3; ++i)
          for (int32_t j = 0; j < 3; ++j) plus &= r[o][i][j] == m[i][j], minus &= r[o][i][j] == -m[i][j];
        if (plus || minus) return true;
      }
      return false;
    };
    for (int32_t a = 0; a < count; ++a)
      for (int32_t b = 0; b < count; ++b) {
        int32_t m[3][3];
        for (int32_t i = 0; i < 3; ++i)
          for (int32_t j = 0; j < 3; ++j)
            m[i][j] = r[a][i][0] * r[b][0][j] + r[a][i][1] * r[b][1][j] + r[a][i][2] * r[b][2][j];
        if (!find(m)) return false;
      }
    return true;
  }
};

// The representative's score: k' >= 0 first, then l' >= 0, then the magnitude order.
inline int32_t Score(int32_t h, int32_t k, int32_t l) {
  const int32_t ah = std::abs(h), ak = std::abs(k), al = std::abs(l);
  return (k >= 0 ? 100 : 0) + (l >= 0 ? 10 : 0) + (al < ah ? 5 : 0) + (ak < ah ? 3 : 0) + (al < ak ? 1 : 0);
}

// Among the images with h' >= 0 the first of the highest score; unique := no other distinct
// image reaches that score, so that every member of the set picks the same one.
int32_t Representative(const TImages& im, bool& unique) {
  int32_t best = -1, bestScore = -1;
  for (int32_t i = 0; i < im.n; ++i) {
    if (im.h[i] < 0) continue;
    const int32_t s = Score(im.h[i], im.k[i], im.l[i]);
    if (s > bestScore) best = i, bestScore = s;
  }
  unique = true;
  for (int32_t i = 0; i < im.n && best >= 0; ++i)
    if (im.h[i] >= 0 && im.key[i] != im.key[best] && Score(im.h[i], im.k[i], im.l[i]) == bestScore) unique = false;
  return best;
}

// The number of distinct images.
int32_t DistinctImages(const TImages& im) {
  uint64_t keys[2 * MaxOperations];
  std::copy(im.key, im.key + im.n, keys);
  std::sort(keys, keys + im.n);
  return int32_t(std::unique(keys, keys + im.n) - keys);
}

// Whether the lattice type lets (h, k, l) through; R only on hexagonal axes (setting 2).
inline bool CentringAllows(int32_t type, int32_t setting, int32_t h, int32_t k, int32_t l) {
  switch (type) {
    case 1: return ((k + l) & 1) == 0;
    case 2: return ((h + l) & 1) == 0;
    case 3: return ((h + k) & 1) == 0;
    case 4: return ((h + k) & 1) == 0 && ((k + l) & 1) == 0;
    case 5: return ((h + k + l) & 1) == 0;
    case 6: return setting != 2 || (-h + k + l) % 3 == 0;
    default: return true;
  }
}

// nh of one edge: round(3 edge) + 1, raised to reach edge/dmin (|h| <= a/d for any reflection).
int32_t BoxHalf(double edge, double dmin) {
  double n = std::nearbyint(3.0 * edge) + 1.0;
  if (dmin > 0) n = std::max(n, std::ceil(edge / dmin) + 1.0);
  return int32_t(std::min(n, double(MaxBoxHalf)));
}

bool FiniteAndPositive(const double* v, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (!(std::isfinite(v[i]) && v[i] > 0)) return false;
  return true;
}

// The reciprocal metric g (1/angstrom^2) and the pieces that bound the visits: 1/d^2 =
// (h k l) g (h k l)^T <= qMax confines h, then k at given h (g minimised over l), then l.
struct TReciprocalMetric {
  double g[3][3];
  explicit TReciprocalMetric(const double* rc) {
    const double as = rc[0], bs = rc[1], cs = rc[2];
    const double ca = std::cos(rc[3] / RadToDeg), cb = std::cos(rc[4] / RadToDeg), cg = std::cos(rc[5] / RadToDeg);
    g[0][0] = as * as, g[1][1] = bs * bs, g[2][2] = cs * cs;
    g[0][1] = g[1][0] = as * bs * cg;
    g[0][2] = g[2][0] = as * cs * cb;
    g[1][2] = g[2][1] = bs * cs * ca;
  }
  double Determinant() const {
    return g[0][0] * (g[1][1] * g[2][2] - g[1][2] * g[1][2]) - g[0][1] * (g[0][1] * g[2][2] - g[1][2] * g[0][2]) +
           g[0][2] * (g[0][1] * g[1][2] - g[1][1] * g[0][2]);
  }
  // The real x with a x^2 + 2 b x + c <= 0, as [lo, hi]; false when there are none.
  static bool Roots(double a, double b, double c, double& lo, double& hi) {
    const double disc = b * b - a * c;
    if (!(disc >= 0) || !(a > 0)) return false;
    const double s = std::sqrt(disc);
    lo = (-b - s) / a, hi = (-b + s) / a;
    return true;
  }
  // |h| bound of the ellipsoid q <= qMax: h^2 <= qMax a^2 with a^2 = (g^-1)_00.
  double HReach(double qMax) const {
    return std::sqrt(qMax * (g[1][1] * g[2][2] - g[1][2] * g[1][2]) / Determinant());
  }
  // k at given h: the minimum over l of q is s00 h^2 + 2 s01 h k + s11 k^2.
  bool KRange(double h, double qMax, double& lo, double& hi) const {
    const double s00 = g[0][0] - g[0][2] * g[0][2] / g[2][2], s01 = g[0][1] - g[0][2] * g[1][2] / g[2][2],
                 s11 = g[1][1] - g[1][2] * g[1][2] / g[2][2];
    return Roots(s11, s01 * h, s00 * h * h - qMax, lo, hi);
  }
  bool LRange(double h, double k, double qMax, double& lo, double& hi) const {
    return Roots(g[2][2], g[0][2] * h + g[1][2] * k, g[0][0] * h * h + 2 * g[0][1] * h * k + g[1][1] * k * k - qMax,
                 lo, hi);
  }
};

// The integers of [lo, hi] widened by a hair, inside [first, last].
inline void IntegerRange(double lo, double hi, int32_t first, int32_t last, int32_t& from, int32_t& to) {
  const double slack = 1e-9 * (1 + std::max(std::fabs(lo), std::fabs(hi)));
  from = lo - slack > first ? int32_t(std::ceil(lo - slack)) : first;
  to = hi + slack < last ? int32_t(std::floor(hi + slack)) : last;
}

// The columns (h, k0 + stride i), i < n, of a convex q(l) = a l^2 + 2 b l + c that may hold an l in
// [0, nl] with qInner <= q(l) <= qMax get flag 1. The floor of the upper root and the ceiling of
// the lower one (held to [0, nl]) are tested and their neighbours, so a root off by less than one
// still flags; nearly tangent columns, whose roots are unsure, are always flagged.
struct TColumnShell {
  double g[3][3], qMax, qInner;
  int32_t nl;
};

void ColumnFlagsBaseline(const TColumnShell& s, int32_t h, int32_t k0, int32_t stride, int32_t n, uint64_t* flags) {
  std::fill(flags, flags + (n + 63) / 64, 0);
  const double a = s.g[2][2], inverseA = 1.0 / a, top = s.nl;
  for (int32_t i = 0; i < n; ++i) {
    const double k = double(k0) + double(stride) * i;
    const double b = s.g[0][2] * h + s.g[1][2] * k;
    const double c = (s.g[0][0] * h + 2.0 * s.g[0][1] * k) * h + s.g[1][1] * k * k;
    const double disc = b * b - a * (c - s.qMax);
    const double tolerance = 1e-8 * (b * b + a * (std::fabs(c) + s.qMax));
    const double root = std::sqrt(std::max(disc, 0.0));
    const double u = std::floor(std::clamp((root - b) * inverseA, -1.0, top));
    const double w = std::ceil(std::clamp((-root - b) * inverseA, 0.0, top + 1.0));
    auto q = [&](double l) { return (a * l + 2.0 * b) * l + c; };
    const bool upper = u >= 0 && ((u < top && q(u + 1) <= s.qMax) || q(u) >= s.qInner);
    const bool lower = w <= top && ((w > 0 && q(w - 1) <= s.qMax) || q(w) >= s.qInner);
    if (disc >= -tolerance && (disc <= tolerance || upper || lower)) flags[i >> 6] |= uint64_t{1} << (i & 63);
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
  const __m256d top = _mm256_set1_pd(s.nl), topPlus = _mm256_set1_pd(s.nl + 1.0);
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  const __m256d two = _mm256_set1_pd(2.0), sign = _mm256_set1_pd(-0.0);
  const __m256d qMax = _mm256_set1_pd(s.qMax), qInner = _mm256_set1_pd(s.qInner);
  const __m256d g02h = _mm256_set1_pd(s.g[0][2] * h), g12 = _mm256_set1_pd(s.g[1][2]);
  const __m256d ch = _mm256_set1_pd(s.g[0][0] * h * h), g01h2 = _mm256_set1_pd(2.0 * s.g[0][1] * h);
  const __m256d g11 = _mm256_set1_pd(s.g[1][1]);
  const __m256d step = _mm256_set_pd(3.0 * stride, 2.0 * stride, stride, 0);
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d k = _mm256_add_pd(_mm256_set1_pd(double(k0) + double(stride) * i), step);
    const __m256d b = _mm256_add_pd(g02h, _mm256_mul_pd(g12, k));
    const __m256d c = _mm256_add_pd(ch, _mm256_mul_pd(k, _mm256_add_pd(g01h2, _mm256_mul_pd(g11, k))));
    const __m256d disc = _mm256_sub_pd(_mm256_mul_pd(b, b), _mm256_mul_pd(a, _mm256_sub_pd(c, qMax)));
    const __m256d root = _mm256_sqrt_pd(_mm256_max_pd(disc, zero));
    // A column that misses the ellipsoid may be flagged: it is entered and holds nothing.
    const __m256d u = _mm256_floor_pd(_mm256_min_pd(_mm256_mul_pd(_mm256_sub_pd(root, b), inverseA), top));
    const __m256d twoB = _mm256_mul_pd(two, b);
    const __m256d uUp = _mm256_add_pd(u, one);
    const __m256d qU = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a, u), twoB), u), c);
    const __m256d qUUp = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a, uUp), twoB), uUp), c);
    const __m256d upper = _mm256_and_pd(
        _mm256_cmp_pd(u, zero, _CMP_GE_OQ),
        _mm256_or_pd(_mm256_and_pd(_mm256_cmp_pd(u, top, _CMP_LT_OQ),
                                   _mm256_cmp_pd(qUUp, qMax, _CMP_LE_OQ)),
                     _mm256_cmp_pd(qU, qInner, _CMP_GE_OQ)));
    // Where b >= 0 the centre is at l <= 0, so is the lower root, and its test is that of l = 0.
    __m256d lower = _mm256_cmp_pd(c, qInner, _CMP_GE_OQ);
    if (_mm256_movemask_pd(_mm256_cmp_pd(b, zero, _CMP_LT_OQ)) != 0) {
      const __m256d w = _mm256_ceil_pd(_mm256_min_pd(
          _mm256_max_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_xor_pd(root, sign), b), inverseA), zero), topPlus));
      const __m256d wDown = _mm256_sub_pd(w, one);
      const __m256d qW = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a, w), twoB), w), c);
      const __m256d qWDown =
          _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a, wDown), twoB), wDown), c);
      lower = _mm256_and_pd(
          _mm256_cmp_pd(w, top, _CMP_LE_OQ),
          _mm256_or_pd(_mm256_and_pd(_mm256_cmp_pd(w, zero, _CMP_GT_OQ),
                                     _mm256_cmp_pd(qWDown, qMax, _CMP_LE_OQ)),
                       _mm256_cmp_pd(qW, qInner, _CMP_GE_OQ)));
    }
    const __m256d flag = _mm256_or_pd(_mm256_cmp_pd(disc, tolerance, _CMP_LE_OQ), _mm256_or_pd(upper, lower));
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

// A set of equivalent reflections met for the first time: its representative, d and
// multiplicity, and when it was met (the visit's place in the box order).
struct TCandidate {
  int32_t h, k, l, multiplicity;
  double d;
  int64_t met;
};

// Visits the box h = 1-nh .. nh+1, k = 1-nk .. nk+1, l = 0 .. nl in that order, but only the
// indices with dmin <= d <= dmax and d >= dCut, and lists every set met there for the first time.
// The box order is kept, so the sets come in the order a visit of the whole box finds them.
void CollectCandidates(const LATTICE& phase, const TRotations& rot, const int32_t (&box)[3], double dmin,
                       double dmax, double dCut, std::vector<TCandidate>& out) {
  out.clear();
  const double* rc = phase.ReciprocalCell;
  const double as = rc[0], bs = rc[1], cs = rc[2];
  const double ca = std::cos(rc[3] / RadToDeg), cb = std::cos(rc[4] / RadToDeg), cg = std::cos(rc[5] / RadToDeg);
  const int32_t type = phase.LatticeType, setting = phase.Setting;
  const int32_t nh = box[0], nk = box[1], nl = box[2];
  const TReciprocalMetric metric(rc);
  // The ellipsoid of d >= max(dmin, dCut) bounds the visits, the one of d > dmax is passed over;
  // both a little generous, the test of every visit is exact.
  const double dLow = std::max(dmin, dCut);
  const double qMax = dLow > 0 ? 1.0 / (dLow * dLow) * (1 + 1e-7) : HUGE_VAL;
  const double qInner = dmax > 0 && std::isfinite(dmax) ? 1.0 / (dmax * dmax) * (1 - 1e-7) : 0.0;
  const bool bounded = std::isfinite(qMax) && metric.Determinant() > 0;

  IndexSet handled;  // representatives met so far
  IndexSet members;  // every image of those sets, when that decides their representative
  TImages im;
  int64_t met = 0;
  int32_t hFrom = 1 - nh, hTo = nh + 1;
  if (bounded) {
    const double reach = metric.HReach(qMax);
    if (!std::isfinite(reach)) return;
    IntegerRange(-reach, reach, hFrom, hTo, hFrom, hTo);
  }
  auto visit = [&](int32_t h, int32_t k, int32_t l) {
    if (!CentringAllows(type, setting, h, k, l)) return;
    const double x = h * as, y = k * bs, z = l * cs;
    // The terms in the order of HklInverseDSquared, so that both give the same bits.
    const double q = x * x + y * y + z * z + 2.0 * (z * x * cb + y * z * ca + x * y * cg);
    if (!(q > 0)) return;
    const double d = 1.0 / std::sqrt(q);
    if (d < dmin || d > dmax || d < dCut) return;
    ++met;
    if (rot.closed && members.Contains(IndexKey(h, k, l))) return;

    rot.Images(h, k, l, im);
    bool unique = false;
    const int32_t r = Representative(im, unique);
    if (r < 0 || !handled.Insert(im.key[r])) return;
    if (rot.closed && unique)
      for (int32_t i = 0; i < im.n; ++i) members.Insert(im.key[i]);
    const int32_t rh = im.h[r], rk = im.k[r], rl = im.l[r];
    const double qr = CellInverseDSquared(phase, rh, rk, rl);
    if (!(qr > 0)) return;
    out.push_back({rh, rk, rl, DistinctImages(im), 1.0 / std::sqrt(qr), met});
  };

  const double (&g)[3][3] = metric.g;
  const double inverseG22 = 1.0 / g[2][2];
  TColumnShell shell{};
  std::copy(&g[0][0], &g[0][0] + 9, &shell.g[0][0]);
  shell.qMax = qMax, shell.qInner = qInner, shell.nl = nl;
  uint64_t flags[8];  // 512 columns
  for (int32_t h = hFrom; h <= hTo; ++h) {
    int32_t kFrom = 1 - nk, kTo = nk + 1;
    if (!bounded) {
      for (int32_t k = kFrom; k <= kTo; ++k) {
        int32_t skipFrom = nl + 1, skipTo = nl;
        double lo, hi;
        if (qInner > 0 && metric.LRange(h, k, qInner, lo, hi)) {
          // Strictly inside the ellipsoid of d > dmax: nothing there is listed.
          const double slack = 1e-9 * (1 + std::max(std::fabs(lo), std::fabs(hi)));
          const double from = std::ceil(lo + slack), to = std::floor(hi - slack);
          if (from <= to && to >= 0 && from <= nl)
            skipFrom = int32_t(std::max(from, 0.0)), skipTo = int32_t(std::min(to, double(nl)));
        }
        for (int32_t l = 0; l <= nl; ++l) {
          if (l == skipFrom) {
            l = skipTo;
            continue;
          }
          visit(h, k, l);
        }
      }
      continue;
    }
    double lo, hi;
    if (!metric.KRange(h, qMax, lo, hi)) continue;
    IntegerRange(lo, hi, kFrom, kTo, kFrom, kTo);
    // Along a column q(l) = g22 l^2 + 2 b l + c is convex about l = -b / g22. Only the flagged
    // columns are entered: there the ends of the part with q <= qMax, held inside [-1, nl + 1],
    // are found from the roots and corrected by steps, and from each end inwards the indices are
    // visited until q falls below qInner.
    const int64_t floorL = -1, ceilL = int64_t(nl) + 1;
    // C and F centring: only the columns of even h + k hold indices.
    const int32_t stride = type == 3 || type == 4 ? 2 : 1;
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
        metric.LRange(h, k, qMax, rlo, rhi);
        int64_t top = int64_t(std::clamp(std::floor(rhi), double(floorL), double(ceilL)));
        int64_t bottom = int64_t(std::clamp(std::ceil(rlo), double(floorL), double(ceilL)));
        while (top < ceilL && (double(top + 1) <= centre || q(top + 1) <= qMax)) ++top;
        while (top > floorL && double(top) > centre && q(top) > qMax) --top;
        while (bottom > floorL && (double(bottom - 1) >= centre || q(bottom - 1) <= qMax)) --bottom;
        while (bottom < ceilL && double(bottom) < centre && q(bottom) > qMax) ++bottom;
        const int64_t from = std::max<int64_t>(bottom, 0), to = std::min<int64_t>(top, nl);
        if (from > to) continue;
        int64_t l = from;
        for (; l <= to && q(l) >= qInner; ++l) visit(h, k, int32_t(l));
        const int64_t lowerEnd = l - 1;
        int64_t start = to + 1;
        while (start - 1 > lowerEnd && q(start - 1) >= qInner) --start;
        for (l = start; l <= to; ++l) visit(h, k, int32_t(l));
      }
    }
  }
}

// The d above which some 2 x 2000 sets of the interval are expected: the lattice points of
// 1/d^2 <= q number (4 pi / 3) V q^1.5; one set in (centrings x distinct images) of them.
double ExpectedCut(const LATTICE& phase, const TRotations& rot, double dmax) {
  const TReciprocalMetric metric(phase.ReciprocalCell);
  const double det = metric.Determinant();
  if (!(det > 0) || rot.count == 0) return 0;
  TImages im;
  rot.Images(101, 37, 11, im);  // a general index
  double centring = 1;
  switch (phase.LatticeType) {
    case 1: case 2: case 3: case 5: centring = 2; break;
    case 4: centring = 4; break;
    case 6: centring = phase.Setting == 2 ? 3 : 1; break;
    default: break;
  }
  const double points = 2.0 * (MaxFitReflections + 1) * centring * DistinctImages(im);
  double inverseCube = points * std::sqrt(det) / (4.0 / 3.0 * M_PI);
  if (dmax > 0 && std::isfinite(dmax)) inverseCube += 1.0 / (dmax * dmax * dmax);
  return 1.0 / std::cbrt(inverseCube);
}

}  // namespace

double CellInverseDSquared(const LATTICE& phase, double h, double k, double l) {
  const double* r = phase.ReciprocalCell;
  const double x = h * r[0], y = k * r[1], z = l * r[2];
  return x * x + y * y + z * z +
         2.0 * (z * x * std::cos(r[4] / RadToDeg) + y * z * std::cos(r[3] / RadToDeg) +
                x * y * std::cos(r[5] / RadToDeg));
}

void FormSymmetricHklList(int32_t p, double dmin, double dmax) {
  if (!TableIndexOk(p, 1, MaxPhases, "phase")) return;
  LATTICE& phase = PhaseTable[p];
  if (!FiniteAndPositive(phase.Cell, 3) || !FiniteAndPositive(phase.ReciprocalCell, 3) ||
      !(CellVolume(phase.ReciprocalCell) > 0)) {
    ShowMsg("Wrong unit cell parameters");
    return;
  }
  const int32_t box[3] = {BoxHalf(phase.Cell[0], dmin), BoxHalf(phase.Cell[1], dmin), BoxHalf(phase.Cell[2], dmin)};
  const bool empty = std::clamp(phase.AtomCount, 0, MaxAtoms) == 0 ||
                     std::clamp(phase.OperationCount, 0, MaxOperations) == 0;
  if (!empty && std::log(2.0 * box[0] + 1) + std::log(2.0 * box[1] + 1) + std::log(box[2] + 1.0) > 20 &&
      !Ui().AskYesNo("Too many tries for hkls. Continue?", MsgKind::Warning))
    return;
  for (int32_t i = 0; i < 3; ++i) phase.IndexNormalisers[i] = phase.Cell[i];

  // The list keeps the 2000 largest d (a later set before an earlier one of equal d), so only the
  // indices above a d that some 2000 sets with |F| reach need a visit. The box itself reaches no
  // lower than 1/(|h|max a* + |k|max b* + |l|max c*); a cut above that and above dmin is binding,
  // and when it yields too few sets it is lowered and the box visited again.
  std::vector<THklRecord> list;  // by d descending
  list.reserve(MaxFitReflections);
  if (!empty) {
    const TRotations rot(phase);
    const double* rc = phase.ReciprocalCell;
    const double boxFloor = 1.0 / ((box[0] + 1.0) * rc[0] + (box[1] + 1.0) * rc[1] + box[2] * rc[2]);
    double cut = ExpectedCut(phase, rot, dmax);
    std::vector<TCandidate> candidates;
    std::unordered_map<uint64_t, std::array<double, 3>> known;  // A, B, q of earlier rounds
    for (;;) {
      const bool binding = cut > dmin && cut > boxFloor;
      // Sets below the cut can lack members (round-off at its edge): they are not trusted.
      CollectCandidates(phase, rot, box, dmin, dmax, binding ? cut * (1 - 1e-9) : 0.0, candidates);
      std::sort(candidates.begin(), candidates.end(), [](const TCandidate& a, const TCandidate& b) {
        return a.d > b.d || (a.d == b.d && a.met > b.met);
      });
      list.clear();
      bool more = false;
      for (const TCandidate& c : candidates) {
        if (binding && c.d < cut) break;
        THklRecord rec;
        const uint64_t key = IndexKey(c.h, c.k, c.l);
        if (const auto f = known.find(key); f != known.end()) {
          rec.A = f->second[0], rec.B = f->second[1], rec.q = f->second[2];
        } else {
          Q0 = CellInverseDSquared(phase, c.h, c.k, c.l);
          CalcStructureFactor(0, p, c.h, c.k, c.l, 1, 0, rec.A, rec.B, rec.q);
          known.emplace(key, std::array<double, 3>{rec.A, rec.B, rec.q});
        }
        if (!(std::sqrt(rec.A * rec.A + rec.B * rec.B) >= 1e-9)) continue;
        if (int32_t(list.size()) == MaxFitReflections) {
          more = true;
          break;
        }
        rec.h = c.h, rec.k = c.k, rec.l = c.l;
        rec.Multiplicity = c.multiplicity;
        rec.d = c.d;
        list.push_back(rec);
      }
      if (more) ShowMsg("Curtail the interval - too many hkls");
      if (more || !binding) break;
      // Too few sets above the cut: lower it by the shortfall (points grow as 1/d^3).
      const double shortfall = (list.size() + 1.0) / (2.0 * (MaxFitReflections + 1));
      cut *= std::clamp(std::cbrt(shortfall), 0.3, 0.8);
    }
  }

  const int32_t n = int32_t(list.size());
  for (int32_t i = 1; i <= n; ++i) HklTable[i][p] = list[i - 1];
  phase.ReflectionCount = n;
  MaxStructureFactors(phase.MaxF, phase.MaxQ, p);
  if (const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum)) {
    HklFormedFirst[CurrentSpectrum] = sp->WorkFirst;
    HklFormedLast[CurrentSpectrum] = sp->WorkLast;
  }
}

void DefaultHklDRange() {
  DRangeToChannels(DMin, DMax);
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (sp && sp->AxisKind == AxisTimeOfFlight)
    DMin = std::max(DMin, 0.5);
  if (DMax < DMin) DMax = 10.0 * DMin;
}

bool FormHklLists(double dmin, double dmax, const bool (&ticked)[MaxPhases + 1]) {
  auto text = [](double v) {
    std::string s;
    FormatNumberFit(6, s, v);
    return s;
  };
  if (!(dmin >= 0) || !std::isfinite(dmin)) {
    ShowMsg("Wrong d_min " + text(dmin));
    return false;
  }
  DMin = dmin;
  if (!(dmax >= 0) || !std::isfinite(dmax)) {
    ShowMsg("Wrong d_max " + text(dmax));
    return false;
  }
  DMax = dmax;
  if (DMin > DMax) std::swap(DMin, DMax);
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    if (!ticked[p]) continue;
    LATTICE& phase = PhaseTable[p];
    for (int32_t i = 0; i < 3; ++i) phase.IndexNormalisers[i] = phase.Cell[i];
    FormSymmetricHklList(p, DMin, DMax);
    PhaseReflectionAverage(p);
  }
  return true;
}
