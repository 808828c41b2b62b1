#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>
#include "core/cell_geometry.h"
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
  const int32_t nh = BoxHalf(phase.Cell[0], dmin), nk = BoxHalf(phase.Cell[1], dmin),
                nl = BoxHalf(phase.Cell[2], dmin);
  const bool empty = std::clamp(phase.AtomCount, 0, MaxAtoms) == 0 ||
                     std::clamp(phase.OperationCount, 0, MaxOperations) == 0;
  if (!empty && std::log(2.0 * nh + 1) + std::log(2.0 * nk + 1) + std::log(nl + 1.0) > 20 &&
      !Ui().AskYesNo("Too many tries for hkls. Continue?", MsgKind::Warning))
    return;
  for (int32_t i = 0; i < 3; ++i) phase.IndexNormalisers[i] = phase.Cell[i];

  std::vector<THklRecord> list;  // by d descending
  list.reserve(MaxFitReflections + 1);
  if (!empty) {
    const TRotations rot(phase);
    IndexSet handled;  // representatives met so far: listed, dropped, or without |F|
    IndexSet members;  // every image of those sets, when that decides their representative
    const double* rc = phase.ReciprocalCell;
    const double as = rc[0], bs = rc[1], cs = rc[2];
    const double ca = std::cos(rc[3] / RadToDeg), cb = std::cos(rc[4] / RadToDeg), cg = std::cos(rc[5] / RadToDeg);
    const int32_t type = phase.LatticeType, setting = phase.Setting;
    bool curtailed = false;
    TImages im;
    for (int32_t h = 1 - nh; h <= nh + 1; ++h) {
      const double x = h * as;
      for (int32_t k = 1 - nk; k <= nk + 1; ++k) {
        const double y = k * bs;
        const double xx = x * x, yy = y * y, xycg = x * y * cg;
        for (int32_t l = 0; l <= nl; ++l) {
          const double z = l * cs;
          // The terms in the order of HklInverseDSquared, so that both give the same bits.
          const double q = xx + yy + z * z + 2.0 * (z * x * cb + y * z * ca + xycg);
          if (!(q > 0)) continue;
          const double d = 1.0 / std::sqrt(q);
          if (d < dmin || d > dmax) continue;
          if (!CentringAllows(type, setting, h, k, l)) continue;
          if (rot.closed && members.Contains(IndexKey(h, k, l))) continue;

          rot.Images(h, k, l, im);
          bool unique = false;
          const int32_t r = Representative(im, unique);
          if (r < 0 || !handled.Insert(im.key[r])) continue;
          if (rot.closed && unique)
            for (int32_t i = 0; i < im.n; ++i) members.Insert(im.key[i]);

          const int32_t rh = im.h[r], rk = im.k[r], rl = im.l[r];
          const double qr = CellInverseDSquared(phase, rh, rk, rl);
          if (!(qr > 0)) continue;
          const double dr = 1.0 / std::sqrt(qr);
          // Once the list is full a record below its last d would only be dropped again.
          if (curtailed && int32_t(list.size()) == MaxFitReflections && dr < list.back().d) continue;
          THklRecord rec;
          Q0 = qr;
          CalcStructureFactor(0, p, rh, rk, rl, 1, 0, rec.A, rec.B, rec.q);
          if (!(std::sqrt(rec.A * rec.A + rec.B * rec.B) >= 1e-9)) continue;
          rec.h = rh, rec.k = rk, rec.l = rl;
          rec.Multiplicity = DistinctImages(im);
          rec.d = dr;
          // Before the first record with d <= dr: a new record goes before older ones of equal d.
          const auto at = std::lower_bound(list.begin(), list.end(), dr,
                                           [](const THklRecord& a, double v) { return a.d > v; });
          list.insert(at, rec);
          if (int32_t(list.size()) > MaxFitReflections) {
            list.pop_back();
            if (!curtailed) ShowMsg("Curtail the interval - too many hkls");
            curtailed = true;
          }
        }
      }
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
