#include "indexing/indexing_model.h"
#include <algorithm>
#include <cmath>
#include <limits>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include "core/cpu_dispatch.h"
#include "core/neighbour_services.h"
#include "indexing/taulsm.h"

int32_t SmallestDIndex[MaxPhases + 1];
int32_t LargestDIndex[MaxPhases + 1];

namespace {

constexpr double Taken = std::numeric_limits<double>::infinity();

// d = t / sqrt(S) with S = s[0] h^2 + s[1] k^2 + s[2] l^2 + s[3] hk + s[4] hl + s[5] kl. Systems 1, 2
// and 7 hold sqrt(D) in t and give 0 for S <= 0 (guard).
struct DForm {
  double s[6] = {};
  double t = 1;
  bool guard = false;
  bool valid = false;  // false: a system outside 1..7, d stays
};

DForm MakeForm(int32_t system, const double (&cell)[6]) {
  const double a = cell[0], b = cell[1], c = cell[2], c1 = cell[3], c2 = cell[4], c3 = cell[5];
  DForm f;
  f.valid = system >= 1 && system <= 7;
  switch (system) {
    case 1: {
      const double D = std::max(1 - c1 * c1 - c2 * c2 - c3 * c3 + 2 * c1 * c2 * c3, 0.0);
      const double abc2 = 2 * a * b * c;
      f.s[0] = b * b * c * c * (1 - c1 * c1);
      f.s[1] = a * a * c * c * (1 - c2 * c2);
      f.s[2] = a * a * b * b * (1 - c3 * c3);
      f.s[3] = abc2 * c * (c1 * c2 - c3);
      f.s[4] = abc2 * b * (c1 * c3 - c2);
      f.s[5] = abc2 * a * (c2 * c3 - c1);
      f.t = a * b * c * std::sqrt(D);
      f.guard = true;
      break;
    }
    case 2: {
      const double D = std::max(1 - c2 * c2, 0.0);
      f.s[0] = b * b * c * c;
      f.s[1] = a * a * c * c * (1 - c2 * c2);
      f.s[2] = a * a * b * b;
      f.s[4] = -2 * a * b * b * c * c2;
      f.t = a * b * c * std::sqrt(D);
      f.guard = true;
      break;
    }
    case 3:
    case 4:
      f.s[0] = 1 / (a * a), f.s[1] = 1 / (b * b), f.s[2] = 1 / (c * c);
      break;
    case 5:
      f.s[0] = f.s[1] = f.s[2] = 1;
      f.t = a;
      break;
    case 6: {
      const double q = 4.0 / 3.0 / (a * a);
      f.s[0] = f.s[1] = f.s[3] = q;
      f.s[2] = 1 / (c * c);
      break;
    }
    case 7: {
      const double D = std::max(1 - 3 * c1 * c1 + 2 * c1 * c1 * c1, 0.0);
      f.s[0] = f.s[1] = f.s[2] = 1 - c1 * c1;
      f.s[3] = f.s[4] = f.s[5] = 2 * (c1 * c1 - c1);
      f.t = a * std::sqrt(D);
      f.guard = true;
      break;
    }
    default:
      break;
  }
  return f;
}

// One evaluation; the search's batch and the single reflection go through this same expression,
// so both give the same bits.
inline double FormD(const DForm& f, double hh, double kk, double ll, double hk, double hl, double kl) {
  const double S = f.s[0] * hh + f.s[1] * kk + f.s[2] * ll + f.s[3] * hk + f.s[4] * hl + f.s[5] * kl;
  return (S > 0 || !f.guard) ? f.t / std::sqrt(S) : 0.0;
}

constexpr int32_t MaxBuckets = MaxReflections / 2;

// The reflections of one phase, contiguous: index products, d and the taken flag.
struct PhaseWork {
  int32_t count = 0;
  double hh[MaxReflections + 1], kk[MaxReflections + 1], ll[MaxReflections + 1];
  double hk[MaxReflections + 1], hl[MaxReflections + 1], kl[MaxReflections + 1];
  double d[MaxReflections + 1];
  int32_t h[MaxReflections + 1], k[MaxReflections + 1], l[MaxReflections + 1];
  uint8_t taken[MaxReflections + 1];
  int32_t owner[MaxReflections + 1];  // the line holding a taken reflection (0: unknown)
  // The reflections of finite d in buckets of equal width in 1/d^2 about the lines' range and one
  // bucket each side beyond, each bucket in rising j, with its d range: the nearest-reflection
  // look-ups visit a few buckets about a line. The last bucket, where most reflections of a trial
  // cell fall, keeps only its count and d range: a look-up that reaches it (seldom) reads every
  // reflection. PhaseD sorts the others out with the d (classified); buckets rebuilt after a d
  // change.
  int32_t buckets = 0;
  double qLow = 0, qScale = 0;
  double dEdge = 0;  // the last bucket: d of 0 or less, or below this
  int32_t bucketStart[MaxBuckets + 1];
  double bucketMin[MaxBuckets], bucketMax[MaxBuckets];
  bool classified = false;
  int32_t nearCount = 0;        // the reflections of finite d outside the last bucket
  int32_t nearJ[MaxReflections];  // their j, rising
  int32_t lastCount = 0;
  double lastLow = 0, lastHigh = 0;
  int32_t bucketJ[MaxReflections];
  double bucketD[MaxReflections];
  bool bucketed = false;
};
PhaseWork Work[MaxPhases + 1];
bool searching = false;

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }

void LoadPhase(int32_t p) {
  PhaseWork& w = Work[p];
  w.count = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
  w.bucketed = w.classified = false;
  for (int32_t j = 1; j <= w.count; ++j) {
    const THklRecord& r = HklTable[j][p];
    const double h = r.h, k = r.k, l = r.l;
    w.h[j] = r.h, w.k[j] = r.k, w.l[j] = r.l;
    w.hh[j] = h * h, w.kk[j] = k * k, w.ll[j] = l * l;
    w.hk[j] = h * k, w.hl[j] = h * l, w.kl[j] = k * l;
    w.d[j] = r.d;
    w.taken[j] = r.Taken;
    w.owner[j] = 0;
  }
}

void LoadAll() {
  for (int32_t p = 1; p <= Phases(); ++p) LoadPhase(p);
}

void StoreAll() {
  for (int32_t p = 1; p <= Phases(); ++p) {
    const PhaseWork& w = Work[p];
    for (int32_t j = 1; j <= w.count; ++j) {
      HklTable[j][p].d = w.d[j];
      HklTable[j][p].Taken = w.taken[j];
    }
  }
}

// The six cell values of phase p from CelixFitter; false when the records do not exist.
bool PhaseCell(int32_t p, double (&cell)[6]) {
  const TAULSM* fit = CelixFitter.get();
  if (!fit || p < 1) return false;
  const int32_t first = 6 * (p - 1);
  if (first + 6 > fit->RecordCapacity()) return false;
  for (int32_t i = 0; i < 6; ++i) cell[i] = fit->Records[first + 1 + i].value;
  return true;
}

double BucketQ(double d) { return d > 0 ? 1 / (d * d) : 0; }

// Buckets of equal width in q = 1/d^2 cover the lines' range of q widened by this fraction each
// way, and as much again beyond its short-d end, about BucketsPerLine of them a line; one bucket
// each side holds the reflections beyond.
constexpr double LineRangeMargin = 0.1;
constexpr int32_t BucketsPerLine = 1;

// Whether a finite d falls in the last bucket.
inline bool InLastBucket(const PhaseWork& w, double d) { return !(d > 0 && d >= w.dEdge); }

// The bucket of a finite d: 0 beyond the covered range of q = 1/d^2 (larger d), the last beyond
// its other end (smaller d, and d of 0 or less); nonincreasing in d, so the buckets keep the order
// of d.
int32_t BucketOf(const PhaseWork& w, double d) {
  const int32_t last = w.buckets - 1;
  if (InLastBucket(w, d)) return last;
  const double q = BucketQ(d);
  if (q < w.qLow) return 0;
  const double u = (q - w.qLow) * w.qScale;
  return u < last - 1 ? 1 + static_cast<int32_t>(u) : last - 1;
}

// The bucket range from the lines' d.
void SetBucketRange(PhaseWork& w) {
  const int32_t lines = std::clamp(DSpacingCount, 0, MaxDSpacings);
  double dLow = std::numeric_limits<double>::infinity(), dHigh = 0;
  for (int32_t i = 1; i <= lines; ++i)
    if (const double d = DSpacingList[i].d; d > 0 && d < std::numeric_limits<double>::infinity())
      dLow = std::min(dLow, d), dHigh = std::max(dHigh, d);
  if (!(dHigh >= dLow)) dLow = dHigh = 1;
  const double qA = BucketQ(dHigh) * (1 - LineRangeMargin);
  const double qB = std::min(BucketQ(dLow) * (1 + LineRangeMargin), 0.5 * std::numeric_limits<double>::max());
  const int32_t inner = std::clamp(BucketsPerLine * lines, 1, (MaxBuckets - 2) / 2);
  w.buckets = 2 * inner + 2;
  w.qLow = qA;
  w.qScale = qB > qA ? inner / (qB - qA) : 0;
  if (!std::isfinite(w.qScale)) w.qScale = 0;
  w.dEdge = w.qScale > 0 ? 1 / std::sqrt(qA + (w.buckets - 2) / w.qScale) : 0;
}

// What the classification of d gathers: PhaseD's extreme reflections (the first smallest d below
// 100, the last largest from 0 on; j 0: none) and the last bucket's d range.
struct DRanges {
  double small = 100, large = 0, lastLow = std::numeric_limits<double>::infinity(), lastHigh = -lastLow;
  int32_t smallJ = 0, largeJ = 0;
};

// Reflection j of d: into the near list or counted in the last bucket; the ranges widened.
inline void Classify(PhaseWork& w, int32_t j, double d, DRanges& r) {
  if (d < r.small) r.small = d, r.smallJ = j;
  if (d >= r.large) r.large = d, r.largeJ = j;
  if (!std::isfinite(d)) return;
  if (!InLastBucket(w, d)) {
    w.nearJ[w.nearCount++] = j;
    return;
  }
  ++w.lastCount, r.lastLow = std::min(r.lastLow, d), r.lastHigh = std::max(r.lastHigh, d);
}

// d (FormD) of reflections 1..n, classified. Division and square root are correctly rounded in
// either width, and no multiply-add is fused: the AVX2 build gives the same bits as the scalar one.
void FormRange(const DForm& f, PhaseWork& w, int32_t first, int32_t n, DRanges& r) {
  for (int32_t j = first; j <= n; ++j) {
    w.d[j] = FormD(f, w.hh[j], w.kk[j], w.ll[j], w.hk[j], w.hl[j], w.kl[j]);
    Classify(w, j, w.d[j], r);
  }
}
DRanges FormBatchBaseline(const DForm& f, PhaseWork& w, int32_t n) {
  DRanges r;
  FormRange(f, w, 1, n, r);
  return r;
}

#if defined(__x86_64__) && defined(__GNUC__)
VKEST_AVX2 DRanges FormBatchAvx2(const DForm& f, PhaseWork& w, int32_t n) {
  const __m256d s0 = _mm256_set1_pd(f.s[0]), s1 = _mm256_set1_pd(f.s[1]), s2 = _mm256_set1_pd(f.s[2]);
  const __m256d s3 = _mm256_set1_pd(f.s[3]), s4 = _mm256_set1_pd(f.s[4]), s5 = _mm256_set1_pd(f.s[5]);
  const __m256d t = _mm256_set1_pd(f.t), zero = _mm256_setzero_pd();
  const __m256d inf = _mm256_set1_pd(std::numeric_limits<double>::infinity());
  const __m256d hundred = _mm256_set1_pd(100), four = _mm256_set1_pd(4);
  const __m256d dEdge = _mm256_set1_pd(w.dEdge);
  const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
  __m256d small = hundred, large = zero, lastLow = inf, lastHigh = _mm256_sub_pd(zero, inf);
  // Per lane the first smallest and the last largest d, with their j (0: none yet).
  __m256d smallJ = zero, largeJ = zero, jv = _mm256_set_pd(4, 3, 2, 1);
  int32_t j = 1;
  for (; j + 3 <= n; j += 4) {
    __m256d S = _mm256_mul_pd(s0, _mm256_loadu_pd(w.hh + j));
    S = _mm256_add_pd(S, _mm256_mul_pd(s1, _mm256_loadu_pd(w.kk + j)));
    S = _mm256_add_pd(S, _mm256_mul_pd(s2, _mm256_loadu_pd(w.ll + j)));
    S = _mm256_add_pd(S, _mm256_mul_pd(s3, _mm256_loadu_pd(w.hk + j)));
    S = _mm256_add_pd(S, _mm256_mul_pd(s4, _mm256_loadu_pd(w.hl + j)));
    S = _mm256_add_pd(S, _mm256_mul_pd(s5, _mm256_loadu_pd(w.kl + j)));
    __m256d d = _mm256_div_pd(t, _mm256_sqrt_pd(S));
    if (f.guard) d = _mm256_and_pd(d, _mm256_cmp_pd(S, zero, _CMP_GT_OQ));  // S <= 0 or NaN: +0
    _mm256_storeu_pd(w.d + j, d);
    const __m256d smaller = _mm256_cmp_pd(d, small, _CMP_LT_OQ), larger = _mm256_cmp_pd(d, large, _CMP_GE_OQ);
    small = _mm256_blendv_pd(small, d, smaller), smallJ = _mm256_blendv_pd(smallJ, jv, smaller);
    large = _mm256_blendv_pd(large, d, larger), largeJ = _mm256_blendv_pd(largeJ, jv, larger);
    jv = _mm256_add_pd(jv, four);
    // InLastBucket: the lanes of finite d out of the last bucket go to the near list.
    const __m256d finite = _mm256_cmp_pd(_mm256_and_pd(d, absMask), inf, _CMP_LT_OQ);
    const __m256d nearer = _mm256_and_pd(_mm256_and_pd(finite, _mm256_cmp_pd(d, zero, _CMP_GT_OQ)),
                                         _mm256_cmp_pd(d, dEdge, _CMP_GE_OQ));
    const __m256d inLast = _mm256_andnot_pd(nearer, finite);
    lastLow = _mm256_min_pd(lastLow, _mm256_blendv_pd(inf, d, inLast));
    lastHigh = _mm256_max_pd(lastHigh, _mm256_blendv_pd(_mm256_sub_pd(zero, inf), d, inLast));
    w.lastCount += __builtin_popcount(_mm256_movemask_pd(inLast));
    if (const int32_t m = _mm256_movemask_pd(nearer))
      for (int32_t k = 0; k < 4; ++k)
        if (m & (1 << k)) w.nearJ[w.nearCount++] = j + k;
  }
  double lanes[8][4];
  _mm256_storeu_pd(lanes[0], small), _mm256_storeu_pd(lanes[1], large);
  _mm256_storeu_pd(lanes[2], lastLow), _mm256_storeu_pd(lanes[3], lastHigh);
  _mm256_storeu_pd(lanes[4], smallJ), _mm256_storeu_pd(lanes[5], largeJ);
  DRanges r;
  for (int32_t k = 0; k < 4; ++k) {
    r.lastLow = std::min(r.lastLow, lanes[2][k]), r.lastHigh = std::max(r.lastHigh, lanes[3][k]);
    // Equal d in several lanes: the smallest j of the smallest d, the largest j of the largest.
    const int32_t sj = static_cast<int32_t>(lanes[4][k]), lj = static_cast<int32_t>(lanes[5][k]);
    if (sj > 0 && (lanes[0][k] < r.small || (lanes[0][k] == r.small && (r.smallJ == 0 || sj < r.smallJ))))
      r.small = lanes[0][k], r.smallJ = sj;
    if (lj > 0 && (lanes[1][k] > r.large || (lanes[1][k] == r.large && lj > r.largeJ)))
      r.large = lanes[1][k], r.largeJ = lj;
  }
  FormRange(f, w, j, n, r);
  return r;
}
const auto FormBatch = ChooseByProcessor(FormBatchBaseline, FormBatchAvx2, false);
#else
const auto FormBatch = FormBatchBaseline;
#endif

// The near list and the last bucket of the d as they stand.
DRanges ClassifyAll(PhaseWork& w) {
  SetBucketRange(w);
  w.nearCount = w.lastCount = 0;
  DRanges r;
  for (int32_t j = 1; j <= w.count; ++j) Classify(w, j, w.d[j], r);
  return r;
}

// d of every reflection of phase p, nothing taken; the smallest d below 100 (the first of equal
// ones, else reflection 1) and the largest from 0 on (the last of equal ones, else reflection n).
void PhaseD(int32_t p) {
  PhaseWork& w = Work[p];
  double cell[6];
  DForm f;
  if (PhaseCell(p, cell)) f = MakeForm(PhaseTable[p].CrystalSystem, cell);
  const int32_t n = w.count;
  DRanges r;
  if (f.valid) {
    SetBucketRange(w);
    w.nearCount = w.lastCount = 0;
    r = FormBatch(f, w, n);
  } else {
    r = ClassifyAll(w);
  }
  w.lastLow = r.lastLow, w.lastHigh = r.lastHigh;
  w.classified = true;
  w.bucketed = false;
  std::fill(w.taken + 1, w.taken + n + 1, uint8_t{0});
  std::fill(w.owner + 1, w.owner + n + 1, 0);
  SmallestDIndex[p] = r.smallJ > 0 ? r.smallJ : 1;
  LargestDIndex[p] = r.largeJ > 0 ? r.largeJ : n;
}

// The buckets of phase p from its near list: a counting sort that keeps the order of j within each
// bucket.
void FillBuckets(PhaseWork& w) {
  if (!w.classified) {
    const DRanges r = ClassifyAll(w);
    w.lastLow = r.lastLow, w.lastHigh = r.lastHigh, w.classified = true;
  }
  const int32_t last = w.buckets - 1;
  for (int32_t b = 0; b <= w.buckets; ++b) w.bucketStart[b] = 0;
  for (int32_t k = 0; k < w.nearCount; ++k) ++w.bucketStart[BucketOf(w, w.d[w.nearJ[k]]) + 1];
  for (int32_t b = 0; b < last; ++b) w.bucketStart[b + 1] += w.bucketStart[b];
  int32_t fill[MaxBuckets];
  for (int32_t b = 0; b < last; ++b) fill[b] = w.bucketStart[b];
  for (int32_t k = 0; k < w.nearCount; ++k) {
    const int32_t j = w.nearJ[k];
    const int32_t b = BucketOf(w, w.d[j]);
    w.bucketJ[fill[b]] = j, w.bucketD[fill[b]++] = w.d[j];
  }
  // The d range of each bucket from its run of bucketD (empty: +inf, -inf).
  for (int32_t b = 0; b < last; ++b) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (int32_t k = w.bucketStart[b]; k < w.bucketStart[b + 1]; ++k)
      low = std::min(low, w.bucketD[k]), high = std::max(high, w.bucketD[k]);
    w.bucketMin[b] = low, w.bucketMax[b] = high;
  }
  w.bucketMin[last] = w.lastLow, w.bucketMax[last] = w.lastHigh;
  w.bucketed = true;
}

// The nearest reflection to x over every phase among those line may take (0: among all): free
// ones, or ones within IndexedLineSigmas of x held by a line farther from them; the first in phase
// and reflection order with the smallest difference; NaN differences never win. Returns the
// difference and the reflection in p, j. The buckets before x's hold larger d, those after it
// smaller: a walk each way ends at a bucket whose d range lies farther than the best.
double Nearest(double x, int32_t line, int32_t& bp, int32_t& bj) {
  const double reach = line > 0 ? IndexedLineSigmas * LineSigma(DSpacingList[line]) : 0;
  double m = Taken;
  bp = 1, bj = 1;
  for (int32_t p = 1; p <= Phases(); ++p) {
    PhaseWork& w = Work[p];
    if (!w.bucketed) FillBuckets(w);
    double best = Taken;
    int32_t bestJ = 0;
    const int32_t last = w.buckets - 1;
    const auto consider = [&](int32_t j, double d) {
      const double a = std::fabs(d - x);
      if (line > 0 && w.taken[j] && !(a <= reach && w.owner[j] > 0 && a < std::fabs(DSpacingList[w.owner[j]].d - d)))
        return;
      if (a < best || (a == best && j < bestJ)) best = a, bestJ = j;
    };
    const auto filled = [&](int32_t b) { return b == last ? w.lastCount > 0 : w.bucketStart[b] < w.bucketStart[b + 1]; };
    const auto scan = [&](int32_t b) {
      if (b == last) {
        for (int32_t j = 1; j <= w.count; ++j)
          if (std::isfinite(w.d[j]) && InLastBucket(w, w.d[j])) consider(j, w.d[j]);
      } else {
        for (int32_t k = w.bucketStart[b]; k < w.bucketStart[b + 1]; ++k) consider(w.bucketJ[k], w.bucketD[k]);
      }
    };
    const int32_t at = std::isfinite(x) ? BucketOf(w, x) : last;
    scan(at);
    for (int32_t b = at - 1; b >= 0; --b)
      if (filled(b)) {
        if (w.bucketMin[b] - x > best) break;
        scan(b);
      }
    for (int32_t b = at + 1; b < w.buckets; ++b)
      if (filled(b)) {
        if (x - w.bucketMax[b] > best) break;
        scan(b);
      }
    if (bestJ > 0 && best < m) m = best, bp = p, bj = bestJ;
  }
  return m;
}

// d of reflection j of phase 1 for unit-cell determination and for a line that finds nothing.
double PhaseOneD(int32_t j) {
  if (j >= 1 && j <= Work[1].count) return Work[1].d[j];
  return j >= 1 && j <= MaxReflections ? HklTable[j][1].d : 0.0;
}

// Line i takes reflection j of phase p: the two extreme reflections of a phase, and every
// reflection with BadReflectionMeasures, stay free for further lines.
void Take(int32_t i, int32_t bp, int32_t bj) {
  TDSpacingRecord& line = DSpacingList[i];
  PhaseWork& w = Work[bp];
  line.Phase = bp;
  line.ReflectionIndex = bj;
  line.Assigned = 1;
  if (bj > w.count) {  // phase 1 without reflections: whatever its first record holds
    const THklRecord& r = HklTable[1][1];
    line.DCalc = r.d, line.h = r.h, line.k = r.k, line.l = r.l;
    return;
  }
  const bool extreme = bj == SmallestDIndex[bp] || bj == LargestDIndex[bp];
  const bool take = !extreme && BadReflectionMeasures == 0;
  w.taken[bj] = take;
  w.owner[bj] = take ? i : 0;
  line.DCalc = w.d[bj];
  line.h = w.h[bj], line.k = w.k[bj], line.l = w.l[bj];
}

// Line i goes to its nearest reflection; when an earlier line holds it, the one nearer to it keeps
// it. The line left without one takes its nearest reflection that is free or that it indexes
// (within IndexedLineSigmas) while the line holding it lies farther, and a line it displaces does
// the same in turn: a line far from every reflection (an impurity) cannot push the lines after it
// off theirs, however long the chain. Lines far from every reflection, as on the cells of random
// trials, take free ones and start no chain.
void Place(int32_t i) {
  int32_t bp = 1, bj = 1;
  const double r = Nearest(DSpacingList[i].d, 0, bp, bj);
  int32_t holder = bj <= Work[bp].count && Work[bp].taken[bj] ? Work[bp].owner[bj] : -1;
  if (holder < 0 || (holder > 0 && r < std::fabs(DSpacingList[holder].d - DSpacingList[holder].DCalc))) {
    Take(i, bp, bj);
    i = holder;
  }
  // Each step moves a line to a reflection whose holder only ever comes nearer: the chain ends;
  // the guard only bounds it.
  for (int32_t step = 0; i > 0 && step < 4 * MaxDSpacings; ++step) {
    Nearest(DSpacingList[i].d, i, bp, bj);
    holder = bj <= Work[bp].count && Work[bp].taken[bj] ? Work[bp].owner[bj] : 0;
    Take(i, bp, bj);
    i = holder != i ? holder : 0;
  }
}

// Neighbouring lines whose reflections cross (the larger d on the smaller reflection), as noise
// of a few sigma leaves two lines of close reflections, exchange their reflections when that
// lowers the sum of their squared misses in sigma, each capped at 4 sigma so that an impurity
// never trades its miss for a measured line's reflection: in one dimension the least-squares
// pairing keeps the order.
void Uncross(int32_t first, int32_t n) {
  const auto cost = [](double miss, double sigma) { return std::min(miss * miss / (sigma * sigma), 16.0); };
  for (int32_t pass = 0; pass < n; ++pass) {
    bool swapped = false;
    for (int32_t i = first; i < n; ++i) {
      TDSpacingRecord& a = DSpacingList[i];
      TDSpacingRecord& b = DSpacingList[i + 1];
      if (!(a.d >= 0 && b.d >= 0 && a.Assigned && b.Assigned && a.Phase == b.Phase)) continue;
      PhaseWork& w = Work[std::clamp(a.Phase, 1, MaxPhases)];
      const int32_t ja = a.ReflectionIndex, jb = b.ReflectionIndex;
      if (ja < 1 || jb < 1 || ja > w.count || jb > w.count || !(a.d > b.d && a.DCalc < b.DCalc)) continue;
      const double sa = LineSigma(a), sb = LineSigma(b);
      if (!(cost(a.d - b.DCalc, sa) + cost(b.d - a.DCalc, sb) < cost(a.d - a.DCalc, sa) + cost(b.d - b.DCalc, sb)))
        continue;
      Take(i, a.Phase, jb);
      Take(i + 1, b.Phase, ja);
      swapped = true;
    }
    if (!swapped) return;
  }
}

// MarkUnindexed's lines and their distances to their reflections.
int32_t Order[MaxDSpacings + 1];
double Distance[MaxDSpacings + 1];

// The first lines, the low-angle ones from which a trial's cell is set, stay indexed while a
// trial fits its window of the largest d: a half cell that could drop one of them would be
// reached as easily as the true one. With every line in the fit any line may be an impurity.
constexpr int32_t KeptFirstLines = 3;

// At most UnindexedLineLimit lines, those farthest from their reflection and beyond three sigma,
// leave the fit: Assigned 0, the nearest reflection kept for the tables.
void MarkUnindexed(int32_t first, int32_t n) {
  const TAULSM* fit = CelixFitter.get();
  const bool window = fit && fit->WindowLines > 0 && fit->KeepFirstLines;
  if (window) n = std::min(n, fit->WindowLines);
  const int32_t limit = UnindexedLineLimit();
  int32_t count = 0;
  for (int32_t i = window ? std::max(first, KeptFirstLines + 1) : first; i <= n; ++i)
    if (DSpacingList[i].d >= 0) {
      const double r = std::fabs(DSpacingList[i].d - DSpacingList[i].DCalc);
      Distance[i] = r == r ? r : Taken;
      Order[count++] = i;
    }
  const int32_t worst = std::min(limit, count);
  std::partial_sort(Order, Order + worst, Order + count, [](int32_t a, int32_t b) {
    return Distance[a] > Distance[b] || (Distance[a] == Distance[b] && a < b);
  });
  for (int32_t m = 0; m < worst; ++m) {
    TDSpacingRecord& line = DSpacingList[Order[m]];
    if (!(Distance[Order[m]] <= IndexedLineSigmas * LineSigma(line))) line.Assigned = 0;
  }
}

}  // namespace

double LineSigma(const TDSpacingRecord& line) { return line.Error > 0 ? line.Error : AverageDError; }

double MeanRelativeLineError() {
  double sum = 0;
  int32_t measured = 0;
  for (int32_t i = 1, n = std::clamp(DSpacingCount, 0, MaxDSpacings); i <= n; ++i)
    if (DSpacingList[i].d > 0) sum += LineSigma(DSpacingList[i]) / DSpacingList[i].d, ++measured;
  return measured > 0 ? sum / measured : 0;
}

int32_t MissedLines(int32_t p, int32_t last) {
  int32_t missed = 0;
  for (int32_t i = 1, n = std::min(std::clamp(DSpacingCount, 0, MaxDSpacings), last); i <= n; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    if (line.d < 0 || (p != 0 && line.Phase != p)) continue;
    missed += !(line.Assigned && std::fabs(line.d - line.DCalc) <= IndexedLineSigmas * LineSigma(line));
  }
  return missed;
}

double PoissonAtMost(int32_t k, double mu) {
  double term = std::exp(-mu), sum = term;
  for (int32_t j = 1; j <= k; ++j) sum += term *= mu / j;
  return sum;
}

int32_t UnindexedLineLimit() {
  const int32_t n = std::clamp(DSpacingCount, 0, MaxDSpacings);
  if (IndexingMode == 1 || n < 6) return 0;
  return std::max(1, static_cast<int32_t>(std::nearbyint(0.1 * n)));
}

bool WorkspaceActive() { return searching; }

double CellDSpacing(int32_t system, const double (&cell)[6], double h, double k, double l, double d) {
  const DForm f = MakeForm(system, cell);
  return f.valid ? FormD(f, h * h, k * k, l * l, h * k, h * l, k * l) : d;
}

void HklDSpacing(int32_t p) {
  double cell[6];
  if (p < 1 || p > MaxPhases || !PhaseCell(p, cell)) return;
  THklRecord& r = HklScratch[0];
  r.d = CellDSpacing(PhaseTable[p].CrystalSystem, cell, r.h, r.k, r.l, r.d);
}

void CellDSpacingDerivatives(const double (&cell)[6], double h, double k, double l, double d, double (&deriv)[6]) {
  const double a = cell[0], b = cell[1], c = cell[2], c1 = cell[3], c2 = cell[4], c3 = cell[5];
  const double hh = (h / a) * (h / a), kk = (k / b) * (k / b), ll = (l / c) * (l / c);
  const double hk = h * k / (a * b), hl = h * l / (a * c), kl = k * l / (b * c);
  const double D = 1 - c1 * c1 - c2 * c2 - c3 * c3 + 2 * c1 * c2 * c3;
  const double e12 = c1 * c2 - c3, e13 = c1 * c3 - c2, e23 = c2 * c3 - c1;
  const double Q = hh * (1 - c1 * c1) + kk * (1 - c2 * c2) + ll * (1 - c3 * c3) + 2 * (hk * e12 + hl * e13 + kl * e23);
  // d = sqrt(D / Q): dd/dx = d/2 (D'/D - Q'/Q). The edges enter Q only, as 1/a^2 and 1/a.
  const double r = d / Q;
  deriv[0] = r / a * (hh * (1 - c1 * c1) + hk * e12 + hl * e13);
  deriv[1] = r / b * (kk * (1 - c2 * c2) + hk * e12 + kl * e23);
  deriv[2] = r / c * (ll * (1 - c3 * c3) + hl * e13 + kl * e23);
  const double den = std::max(Q * std::sqrt(Q) * std::sqrt(D), 1e-10);
  deriv[3] = (Q * e23 + D * (hh * c1 - hk * c2 - hl * c3 + kl)) / den;
  deriv[4] = (Q * e13 + D * (kk * c2 - hk * c1 + hl - kl * c3)) / den;
  deriv[5] = (Q * e12 + D * (ll * c3 + hk - hl * c1 - kl * c2)) / den;
}

void RecalcHklD() {
  if (!searching) LoadAll();
  for (int32_t p = 1; p <= Phases(); ++p) PhaseD(p);
  if (!searching) StoreAll();
}

void AssignLines(int32_t first) {
  if (!searching) LoadAll();
  const int32_t n = std::clamp(DSpacingCount, 0, MaxDSpacings);
  first = std::max(first, 1);
  if (IndexingMode == 1) {
    for (int32_t i = first; i <= n; ++i) {
      TDSpacingRecord& line = DSpacingList[i];
      line.Assigned = 1;
      line.Phase = 1;
      line.DCalc = PhaseOneD(i);
    }
  } else {
    for (int32_t i = first; i <= n; ++i)
      if (DSpacingList[i].d >= 0) Place(i);
    Uncross(first, n);
    MarkUnindexed(first, n);
  }
  if (!searching) StoreAll();
}

void RecalcIndexingData() {
  if (!searching) LoadAll();
  const bool outside = !searching;
  searching = true;  // one load and one store for both steps
  RecalcHklD();
  AssignLines(0);
  searching = !outside;
  if (outside) StoreAll();
}

void BeginWorkspaceSearch() {
  LoadAll();
  searching = true;
}

void EndWorkspaceSearch() {
  if (!searching) return;
  searching = false;
  StoreAll();
}

double WorkspaceD(int32_t p, int32_t j) {
  if (p < 1 || p > MaxPhases || j < 1 || j > Work[p].count) return 0;
  return Work[p].d[j];
}

void MetricD(int32_t p, const double (&m)[6], std::vector<double>& d) {
  d.clear();
  if (p < 1 || p > MaxPhases) return;
  const auto of = [&](double hh, double kk, double ll, double hk, double hl, double kl) {
    const double q = hh * m[0] + kk * m[1] + ll * m[2] + hk * m[3] + hl * m[4] + kl * m[5];
    return q > 0 ? 1 / std::sqrt(q) : 0.0;
  };
  if (searching) {
    const PhaseWork& w = Work[p];
    for (int32_t j = 1; j <= w.count; ++j) d.push_back(of(w.hh[j], w.kk[j], w.ll[j], w.hk[j], w.hl[j], w.kl[j]));
    return;
  }
  for (int32_t j = 1, n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); j <= n; ++j) {
    const double h = HklTable[j][p].h, k = HklTable[j][p].k, l = HklTable[j][p].l;
    d.push_back(of(h * h, k * k, l * l, h * k, h * l, k * l));
  }
}

void StoreReflectionD(int32_t p, int32_t j, double d) {
  if (p < 1 || p > MaxPhases || j < 1 || j > MaxReflections) return;
  HklTable[j][p].d = d;
  if (!searching || j > Work[p].count) return;
  PhaseWork& w = Work[p];
  if (!(w.d[j] == d)) w.bucketed = w.classified = false;
  w.d[j] = d;
}
