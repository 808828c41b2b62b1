#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>
#include "core/abandon.h"
#include "core/cell_geometry.h"
#include "core/dialog_model.h"
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/index_shell_columns.h"
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
  // The top bits of the product: each depends on every bit of the key (h sits in the top ones).
  size_t Slot(uint64_t key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> shift_); }
  void Rehash(size_t capacity) {
    std::vector<uint64_t> old = std::move(slots_);
    slots_.assign(capacity, Empty);
    mask_ = capacity - 1;
    shift_ = 64 - std::countr_zero(capacity);
    size_ = 0;
    for (uint64_t k : old)
      if (k != Empty) Insert(k);
  }
  std::vector<uint64_t> slots_;
  size_t mask_ = 0, size_ = 0;
  int32_t shift_ = 64;
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

// How far the rotation r (rows, h' = h r) changes 1/d^2 = h g h^T at most, relative: the largest
// |x (r g r^T - g) x^T| / (x g x^T), the largest |eigenvalue| of E = L^-1 (r g r^T - g) L^-T with
// g = L L^T. Operations of the lattice change it by the round-off of the angles (some 1e-8).
double MetricChange(const int32_t (&r)[3][3], const double (&g)[3][3]) {
  double L[3][3] = {}, D[3][3];
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j <= i; ++j) {
      double v = g[i][j];
      for (int32_t m = 0; m < j; ++m) v -= L[i][m] * L[j][m];
      if (i == j) {
        if (!(v > 0)) return HUGE_VAL;
        L[i][i] = std::sqrt(v);
      } else {
        L[i][j] = v / L[j][j];
      }
    }
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j) {
      double v = -g[i][j];
      for (int32_t a = 0; a < 3; ++a)
        for (int32_t b = 0; b < 3; ++b) v += r[i][a] * g[a][b] * r[j][b];
      D[i][j] = v;
    }
  // Y = L^-1 D, then E = L^-1 Y^T, column by column by forward substitution.
  auto solve = [&](const double (&in)[3][3], double (&out)[3][3], bool transpose) {
    for (int32_t c = 0; c < 3; ++c)
      for (int32_t i = 0; i < 3; ++i) {
        double v = transpose ? in[c][i] : in[i][c];
        for (int32_t m = 0; m < i; ++m) v -= L[i][m] * out[m][c];
        out[i][c] = v / L[i][i];
      }
  };
  double Y[3][3], E[3][3];
  solve(D, Y, false);
  solve(Y, E, true);
  // The eigenvalues of the symmetric E in closed form (trigonometric).
  const double off = E[0][1] * E[0][1] + E[0][2] * E[0][2] + E[1][2] * E[1][2];
  if (off == 0) return std::max({std::fabs(E[0][0]), std::fabs(E[1][1]), std::fabs(E[2][2])});
  const double mean = (E[0][0] + E[1][1] + E[2][2]) / 3;
  const double p = std::sqrt(((E[0][0] - mean) * (E[0][0] - mean) + (E[1][1] - mean) * (E[1][1] - mean) +
                              (E[2][2] - mean) * (E[2][2] - mean) + 2 * off) / 6);
  double B[3][3];
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j) B[i][j] = (E[i][j] - (i == j ? mean : 0)) / p;
  const double det = B[0][0] * (B[1][1] * B[2][2] - B[1][2] * B[2][1]) - B[0][1] * (B[1][0] * B[2][2] - B[1][2] * B[2][0]) +
                     B[0][2] * (B[1][0] * B[2][1] - B[1][1] * B[2][0]);
  const double phi = std::acos(std::clamp(det / 2, -1.0, 1.0)) / 3;
  const double largest = mean + 2 * p * std::cos(phi), smallest = mean + 2 * p * std::cos(phi + 2 * M_PI / 3);
  return std::max(std::fabs(largest), std::fabs(smallest));
}

// Whether every operation maps the indices the lattice type lets through onto such indices: the
// conditions hold modulo 2 or 3, so the residues modulo 6 decide.
bool CentringKept(const TRotations& rot, int32_t type, int32_t setting) {
  TImages im;
  for (int32_t h = 0; h < 6; ++h)
    for (int32_t k = 0; k < 6; ++k)
      for (int32_t l = 0; l < 6; ++l) {
        rot.Images(h, k, l, im);
        const bool allowed = CentringAllows(type, setting, h, k, l);
        for (int32_t i = 0; i < im.n; ++i)
          if (CentringAllows(type, setting, im.h[i], im.k[i], im.l[i]) != allowed) return false;
      }
  return true;
}

// A set of equivalent reflections met for the first time: its representative, d and
// multiplicity, and the packed index of the member met first (the visit's place in the box order).
struct TCandidate {
  int32_t h, k, l, multiplicity;
  double d;
  uint64_t met;
};

// The visit of the box h = 1-nh .. nh+1, k = 1-nk .. nk+1, l = 0 .. nl in that order, at the
// indices with dmin <= d <= dmax and d >= dCut: every set met there for the first time.
class TCollection {
public:
  TCollection(const LATTICE& phase, const TRotations& rot, const int32_t (&box)[3], double dmin, double dmax,
              double dCut, std::vector<TCandidate>& out)
      : phase_(phase), rot_(rot), box_{box[0], box[1], box[2]}, dmin_(dmin), dmax_(dmax), dCut_(dCut), out_(out) {
    const double* rc = phase.ReciprocalCell;
    as_ = rc[0], bs_ = rc[1], cs_ = rc[2];
    ca_ = std::cos(rc[3] / RadToDeg), cb_ = std::cos(rc[4] / RadToDeg), cg_ = std::cos(rc[5] / RadToDeg);
  }

  // 1/d^2 as CellInverseDSquared gives it, bit for bit.
  double InverseDSquared(int32_t h, int32_t k, int32_t l) const {
    const double x = h * as_, y = k * bs_, z = l * cs_;
    return x * x + y * y + z * z + 2.0 * (z * x * cb_ + y * z * ca_ + x * y * cg_);
  }
  // Whether the box visit lists (h, k, l), the box itself aside.
  bool Listed(int32_t h, int32_t k, int32_t l) const {
    if (!CentringAllows(phase_.LatticeType, phase_.Setting, h, k, l)) return false;
    const double q = InverseDSquared(h, k, l);
    if (!(q > 0)) return false;
    const double d = 1.0 / std::sqrt(q);
    return !(d < dmin_ || d > dmax_ || d < dCut_);
  }
  bool InBox(int32_t h, int32_t k, int32_t l) const {
    return h >= 1 - box_[0] && h <= box_[0] + 1 && k >= 1 - box_[1] && k <= box_[1] + 1 && l >= 0 && l <= box_[2];
  }

  // One index of the box visit, in its order.
  void Visit(int32_t h, int32_t k, int32_t l) {
    if (!Listed(h, k, l)) return;
    const uint64_t key = IndexKey(h, k, l);
    if (rot_.closed && members_.Contains(key)) return;
    rot_.Images(h, k, l, im_);
    bool unique = false;
    const int32_t r = Representative(im_, unique);
    if (r < 0 || !handled_.Insert(im_.key[r])) return;
    if (rot_.closed && unique)
      for (int32_t i = 0; i < im_.n; ++i) members_.Insert(im_.key[i]);
    Add(im_, r, key);
  }

  // Any index of a closed set of operations, in any order: its set as the box visit lists it.
  // The member met first is the first of the listed members in the box order; where the
  // representative depends on the member (two images share the highest score), each listed
  // member in that order names its own, and each new one is listed.
  void VisitSet(int32_t h, int32_t k, int32_t l) {
    if (!CentringAllows(phase_.LatticeType, phase_.Setting, h, k, l)) return;  // so is every image
    const uint64_t key = IndexKey(h, k, l);
    if (members_.Contains(key)) return;
    rot_.Images(h, k, l, im_);
    std::pair<uint64_t, int32_t> listed[2 * MaxOperations];
    int32_t n = 0;
    for (int32_t i = 0; i < im_.n; ++i)
      if (InBox(im_.h[i], im_.k[i], im_.l[i]) && Listed(im_.h[i], im_.k[i], im_.l[i])) listed[n++] = {im_.key[i], i};
    if (n == 0) return;  // not kept: the set may be met again, but the memory stays that of the list
    for (int32_t i = 0; i < im_.n; ++i) members_.Insert(im_.key[i]);
    std::sort(listed, listed + n);
    bool unique = false;
    const int32_t r = Representative(im_, unique);
    if (unique) {
      if (handled_.Insert(im_.key[r])) Add(im_, r, listed[0].first);
      return;
    }
    for (int32_t j = 0; j < n; ++j) {
      if (j > 0 && listed[j].first == listed[j - 1].first) continue;
      const int32_t i = listed[j].second;
      rot_.Images(im_.h[i], im_.k[i], im_.l[i], other_);
      const int32_t s = Representative(other_, unique);
      if (s >= 0 && handled_.Insert(other_.key[s])) Add(other_, s, listed[j].first);
    }
  }

private:
  void Add(const TImages& im, int32_t r, uint64_t met) {
    const int32_t rh = im.h[r], rk = im.k[r], rl = im.l[r];
    const double qr = InverseDSquared(rh, rk, rl);
    if (!(qr > 0)) return;
    out_.push_back({rh, rk, rl, DistinctImages(im), 1.0 / std::sqrt(qr), met});
  }

  const LATTICE& phase_;
  const TRotations& rot_;
  int32_t box_[3];
  double dmin_, dmax_, dCut_;
  double as_, bs_, cs_, ca_, cb_, cg_;
  std::vector<TCandidate>& out_;
  IndexSet handled_;  // representatives met so far
  IndexSet members_;  // every image of those sets, when that decides their representative
  TImages im_, other_;
};

// Keeps a long search stoppable: once it has run 0.1 s the STOP window shows (a fit's own window,
// when one is up, serves instead), and every 0.1 s the window system runs once; STOP abandons
// the command.
class TSearchPace {
public:
  TSearchPace() : next_(Clock::now() + Interval) {}
  ~TSearchPace() {
    if (window_) Form2.Close();
  }
  TSearchPace(const TSearchPace&) = delete;
  TSearchPace& operator=(const TSearchPace&) = delete;
  void Row() {
    const auto now = Clock::now();
    if (now < next_) return;
    if (!window_ && !Form2.visible) {
      ClearFitStopRequest();
      const uint8_t option = StopButtonOption;
      StopButtonOption = 1;  // this window always offers STOP
      ShowStopWindow();
      StopButtonOption = option;
      Form2.caption = " Form hkl";
      ShowDialogModeless();
      window_ = true;
    }
    TimerYield();
    next_ = Clock::now() + Interval;
    if (!FitStopRequested()) return;
    if (window_) ClearFitStopRequest();
    AbandonOperation();
  }

private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds Interval{100};
  Clock::time_point next_;
  bool window_ = false;
};

// The box visit's own order.
class TBoxOrderVisitor final : public TShellVisitor {
public:
  TBoxOrderVisitor(TCollection& c, TSearchPace& pace) : c_(c), pace_(pace) {}
  void Visit(int32_t h, int32_t k, int32_t l) override { c_.Visit(h, k, l); }
  void Row() override { pace_.Row(); }

private:
  TCollection& c_;
  TSearchPace& pace_;
};

// Sets from any member; the search's (x, y, z) is the index with component axis[i] = x_i.
class TSetVisitor final : public TShellVisitor {
public:
  TSetVisitor(TCollection& c, TSearchPace& pace, const int32_t (&axis)[3])
      : c_(c), pace_(pace), axis_{axis[0], axis[1], axis[2]} {}
  void Visit(int32_t x, int32_t y, int32_t z) override {
    int32_t index[3];
    index[axis_[0]] = x, index[axis_[1]] = y, index[axis_[2]] = z;
    c_.VisitSet(index[0], index[1], index[2]);
  }
  void Row() override { pace_.Row(); }

private:
  TCollection& c_;
  TSearchPace& pace_;
  int32_t axis_[3];
};

// Whether the centring lets only columns of even x + y through, columns running along axis z.
bool EvenColumnsOnly(int32_t type, int32_t z) {
  switch (type) {
    case 1: return z == 0;  // A: k + l even
    case 2: return z == 1;  // B: h + l even
    case 3: return z == 2;  // C: h + k even
    case 4: return true;    // F: every pair even
    default: return false;
  }
}

// Lists every set met for the first time by the box visit at the indices with dmin <= d <= dmax
// and d >= dCut, as that visit would; the order of the list is free (met gives the visit's).
// Where the d bound a shell, only the columns of indices through it are searched: for a closed
// set of operations that keeps the centring, columns along the axis of the ellipsoid's longest
// reach (the fewest columns), one column of each orbit under the operations that act on the
// other two indices alone and keep d (to 6e-8), with every index along it; else every column with
// l >= 0 in the box order.
void CollectCandidates(const LATTICE& phase, const TRotations& rot, const int32_t (&box)[3], double dmin,
                       double dmax, double dCut, TSearchPace& pace, std::vector<TCandidate>& out) {
  out.clear();
  const int32_t type = phase.LatticeType, nh = box[0], nk = box[1], nl = box[2];
  const TReciprocalMetric metric(phase.ReciprocalCell);
  // The ellipsoid of d >= max(dmin, dCut) bounds the visits, the one of d > dmax is passed over;
  // both a little generous, the test of every visit is exact.
  const double dLow = std::max(dmin, dCut);
  const double qMax = dLow > 0 ? 1.0 / (dLow * dLow) * (1 + 1e-7) : HUGE_VAL;
  const double qInner = dmax > 0 && std::isfinite(dmax) ? 1.0 / (dmax * dmax) * (1 - 1e-7) : 0.0;
  TCollection collection(phase, rot, box, dmin, dmax, dCut, out);

  if (!(std::isfinite(qMax) && metric.Determinant() > 0)) {
    for (int32_t h = 1 - nh; h <= nh + 1; ++h)
      for (int32_t k = 1 - nk; k <= nk + 1; ++k) {
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
          collection.Visit(h, k, l);
        }
      }
    return;
  }

  TShellColumns shell;
  shell.qMax = qMax, shell.qInner = qInner;
  if (!(rot.closed && CentringKept(rot, type, phase.Setting))) {
    shell.hFrom = 1 - nh, shell.hTo = nh + 1, shell.kFirst = 1 - nk, shell.kLast = nk + 1;
    shell.lMin = 0, shell.lMax = nl;
    shell.evenHK = EvenColumnsOnly(type, 2);
    TBoxOrderVisitor visitor(collection, pace);
    VisitShellColumns(metric, shell, visitor);
    return;
  }
  // The reach of axis i is sqrt(qMax (g^-1)_ii): the largest cofactor of g. Ties keep l.
  auto cofactor = [&](int32_t i) {
    const int32_t a = (i + 1) % 3, b = (i + 2) % 3;
    return metric.g[a][a] * metric.g[b][b] - metric.g[a][b] * metric.g[a][b];
  };
  int32_t z = 2;
  for (int32_t i : {0, 1})
    if (cofactor(i) > cofactor(z)) z = i;
  const int32_t axis[3] = {(z + 1) % 3, (z + 2) % 3, z};
  TReciprocalMetric columns = metric;
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j) columns.g[i][j] = metric.g[axis[i]][axis[j]];
  // Every image of a listed index stays within 3 box edges (entries -1, 0, 1).
  constexpr int32_t Reach = 3 * (MaxBoxHalf + 1);
  shell.hFrom = shell.kFirst = shell.lMin = -Reach;
  shell.hTo = shell.kLast = shell.lMax = Reach;
  shell.evenHK = EvenColumnsOnly(type, z);
  int32_t blocks[2 * MaxOperations][2][2];
  int32_t n = 0;
  double change = 0;
  for (int32_t o = 0; o < rot.count; ++o) {
    const auto& r = rot.r[o];
    if (r[z][axis[0]] != 0 || r[z][axis[1]] != 0) continue;  // z enters x' or y'
    // An operation that the cell does not keep moves d: its images may leave the shell.
    const double moved = MetricChange(r, metric.g);
    if (!(moved <= 6e-8)) continue;
    change = std::max(change, moved);
    for (int32_t s : {1, -1}) {
      for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 2; ++j) blocks[n][i][j] = s * r[axis[i]][axis[j]];
      ++n;
    }
  }
  // Some operations of a group that the cell keeps only in part may leave a set that is no group:
  // then the inversion alone.
  auto find = [&](const int32_t (&m)[2][2]) {
    for (int32_t i = 0; i < n; ++i)
      if (std::equal(&m[0][0], &m[0][0] + 4, &blocks[i][0][0])) return true;
    return false;
  };
  bool group = true;
  for (int32_t a = 0; a < n && group; ++a)
    for (int32_t b = 0; b < n && group; ++b) {
      int32_t m[2][2];
      for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 2; ++j) m[i][j] = blocks[a][i][0] * blocks[b][0][j] + blocks[a][i][1] * blocks[b][1][j];
      group = find(m);
    }
  if (!group) {
    n = 2, change = 0;
    const int32_t inversion[2][2][2] = {{{1, 0}, {0, 1}}, {{-1, 0}, {0, -1}}};
    std::copy(&inversion[0][0][0], &inversion[0][0][0] + 8, &blocks[0][0][0]);
  }
  SetColumnDomain(shell, blocks, n);
  // The shell searched: the listed one widened by what the operations move d and a margin far
  // above the round-off of the search, so that one image of every listed index lies in it.
  const double margin = change + 1e-9;
  shell.qMax = (1 + margin) / (dLow * dLow);
  shell.qInner = dmax > 0 && std::isfinite(dmax) ? (1 - margin) / (dmax * dmax) : 0.0;
  TSetVisitor visitor(collection, pace, axis);
  VisitShellColumns(columns, shell, visitor);
}

// 1/d^3 of d = dmax (0 without an upper bound).
double InverseCube(double dmax) { return dmax > 0 && std::isfinite(dmax) ? 1.0 / (dmax * dmax * dmax) : 0.0; }

// The d above which some 2 x 2000 sets of the interval are expected: the lattice points of
// 1/d^2 <= q number (4 pi / 3) V q^1.5; one set in (centrings x distinct images) of them. Cells
// of a high metric but low symmetry (a cube in P-1) hold their d in steps of min(g_ii) in 1/d^2,
// each step with many sets: the shell above the cut spans at least two steps.
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
  const double above = InverseCube(dmax);
  double shell = points * std::sqrt(det) / (4.0 / 3.0 * M_PI);
  if (above > 0) {
    const double step = std::min({metric.g[0][0], metric.g[1][1], metric.g[2][2]});
    shell = std::max(shell, std::pow(1.0 / (dmax * dmax) + 2.0 * step, 1.5) - above);
  }
  return 1.0 / std::cbrt(above + shell);
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
    TSearchPace pace;
    std::unordered_map<uint64_t, std::array<double, 3>> known;  // A, B, q of earlier rounds
    for (;;) {
      const bool binding = cut > dmin && cut > boxFloor;
      // Sets below the cut can lack members (round-off at its edge): they are not trusted.
      CollectCandidates(phase, rot, box, dmin, dmax, binding ? cut * (1 - 1e-9) : 0.0, pace, candidates);
      // By d descending, a later set first: the head that the list is likely to take, the rest
      // only when it is reached.
      auto before = [](const TCandidate& a, const TCandidate& b) {
        return a.d > b.d || (a.d == b.d && a.met > b.met);
      };
      size_t sorted = std::min(candidates.size(), size_t(2 * MaxFitReflections + 2));
      std::nth_element(candidates.begin(), candidates.begin() + sorted, candidates.end(), before);
      std::sort(candidates.begin(), candidates.begin() + sorted, before);
      list.clear();
      bool more = false;
      for (size_t i = 0; i < candidates.size(); ++i) {
        if (i == sorted) std::sort(candidates.begin() + i, candidates.end(), before), sorted = candidates.size();
        const TCandidate& c = candidates[i];
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
      // Too few sets above the cut: widen the shell between it and dmax by the shortfall (points
      // grow as 1/d^3), at least twice and at most 16 times.
      const double shortfall = (list.size() + 1.0) / (2.0 * (MaxFitReflections + 1));
      const double above = InverseCube(dmax);
      cut = 1.0 / std::cbrt(above + (1.0 / (cut * cut * cut) - above) * std::clamp(1.0 / shortfall, 2.0, 16.0));
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
