// Start cells of the lattices of higher symmetry: conventional metrics from index assignments of
// the first lines, each made primitive in the centrings of its system and scored in Q.
#include "indexing/lattice_starts.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_set>
#include "indexing/indexing_model.h"
#include "indexing/metric_symmetry.h"

namespace {

enum class Family { Cubic, Tetragonal, Hexagonal, Orthorhombic };

// Lines that give a metric its terms, and lines that it must index before it is scored.
constexpr size_t CubicLines = 3;
constexpr size_t AxialLines = 5;
constexpr size_t SecondLines = 7;
// The first lines out of an orthorhombic zone hk0 that close C, looked for among OutsideLines.
constexpr size_t ThirdLines = 2;
constexpr size_t OutsideLines = 10;
constexpr size_t CheckedLines = 8;
constexpr size_t CheckedMisses = 2;
// The rough merit that ranks the metrics of a family counts the first lines only.
constexpr size_t RoughLines = 24;
// Cubic N = h^2 + k^2 + l^2 of a first line up to this; highest l of a line that closes C.
constexpr int32_t CubicN = 24;
constexpr int32_t AxialL = 6;
// Conventional metrics of a family scored in all their centrings.
constexpr size_t Kept = 6;
// Index sums beyond this are no small indices: the line is not indexed.
constexpr int32_t MaxSum = 4096;

using Matrix = std::array<std::array<double, 3>, 3>;

struct Sums {
  std::array<bool, MaxSum + 1> two{}, hex{}, three{};
  Sums() {
    for (int32_t h = 0; h * h <= MaxSum; ++h)
      for (int32_t k = 0; h * h + k * k <= MaxSum; ++k) {
        two[h * h + k * k] = true;
        for (int32_t l = 0; h * h + k * k + l * l <= MaxSum; ++l) three[h * h + k * k + l * l] = true;
      }
    for (int32_t h = 0; h * h <= MaxSum; ++h)
      for (int32_t k = 0; h * h + h * k + k * k <= MaxSum; ++k) hex[h * h + h * k + k * k] = true;
  }
};

const Sums& SmallSums() {
  static const Sums sums;
  return sums;
}

struct Metric {
  Family family;
  double a, b, c;  // conventional reciprocal terms A, B, C (A^-2)
  double merit;    // the rough merit of the primitive lattice
};

// |Q - nearest calculated Q| of the conventional primitive lattice; +infinity when none is within
// tol.
double Miss(const Metric& m, double q, double tol) {
  const Sums& s = SmallSums();
  double best = std::numeric_limits<double>::infinity();
  const auto take = [&](double r, double unit, const std::array<bool, MaxSum + 1>& table, bool zeroAllowed) {
    const double n = std::nearbyint(r / unit);
    if (n < (zeroAllowed ? 0 : 1) || n > MaxSum || !table[static_cast<size_t>(n)]) return;
    best = std::min(best, std::fabs(r - n * unit));
  };
  if (m.family == Family::Cubic) {
    take(q, m.a, s.three, false);
  } else {
    for (int32_t l = 0; l * l * m.c <= q + tol; ++l) {
      const double r = q - l * l * m.c;
      if (m.family == Family::Tetragonal) take(r, m.a, s.two, l > 0);
      else if (m.family == Family::Hexagonal) take(r, m.a, s.hex, l > 0);
      else
        for (int32_t k = 0; k * k * m.b <= r + tol; ++k) {
          const double r2 = r - k * k * m.b;
          const double h = std::nearbyint(std::sqrt(std::max(r2, 0.0) / m.a));
          if (h > 0 || k > 0 || l > 0) best = std::min(best, std::fabs(r2 - h * h * m.a));
        }
    }
  }
  return best <= tol ? best : std::numeric_limits<double>::infinity();
}

double Volume(const Metric& m) {
  // The reciprocal volume: sqrt(A B C), and sqrt(3)/2 A sqrt(C) for the hexagonal metric.
  switch (m.family) {
  case Family::Cubic: return 1 / std::sqrt(m.a * m.a * m.a);
  case Family::Tetragonal: return 1 / (m.a * std::sqrt(m.c));
  case Family::Hexagonal: return 2 / (std::sqrt(3.0) * m.a * std::sqrt(m.c));
  default: return 1 / std::sqrt(m.a * m.b * m.c);
  }
}

// A merit as ZoneMetricMerit counts it, the density of the calculated lines taken from the
// volume: (4 pi / 3) Q^(3/2) V reflections up to Q, one line for each Laue class orbit; over the
// first RoughLines lines. -infinity when more than CheckedMisses of the first CheckedLines lines
// stay unindexed.
double RoughMerit(const std::vector<ZoneLine>& lines, const Metric& m) {
  const double orbit = m.family == Family::Cubic ? 48 : m.family == Family::Hexagonal ? 24
                       : m.family == Family::Tetragonal ? 16 : 8;
  const double perQ = 4.18879 * Volume(m) / orbit;
  size_t misses = 0;
  for (size_t i = 0; i < std::min(lines.size(), CheckedLines); ++i)
    if (!std::isfinite(Miss(m, lines[i].q, IndexedLineSigmas * lines[i].sigma)) && ++misses > CheckedMisses)
      return -std::numeric_limits<double>::infinity();
  double merit = 0;
  for (size_t i = 0; i < std::min(lines.size(), RoughLines); ++i) {
    const ZoneLine& line = lines[i];
    const double miss = Miss(m, line.q, IndexedLineSigmas * line.sigma);
    if (!std::isfinite(miss)) {
      merit -= UnindexedLinePenalty;
      continue;
    }
    const double density = 1.5 * std::max(perQ * line.q * std::sqrt(line.q), 1.0) / line.q;
    merit -= std::log(std::min(2 * std::max(miss, line.sigma) * density, 1.0));
  }
  return merit;
}

Matrix Inverse(const Matrix& g) {
  Matrix r;
  InvertMatrix3(g, r);
  return r;
}

// Primitive bases of the centrings, rows in conventional coordinates.
constexpr double H = 0.5, T = 1.0 / 3;
constexpr Matrix Primitive = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
constexpr Matrix BodyCentred = {{{-H, H, H}, {H, -H, H}, {H, H, -H}}};
constexpr Matrix FaceCentred = {{{0, H, H}, {H, 0, H}, {H, H, 0}}};
constexpr Matrix CCentred = {{{H, H, 0}, {-H, H, 0}, {0, 0, 1}}};
constexpr Matrix ACentred = {{{1, 0, 0}, {0, H, H}, {0, -H, H}}};
constexpr Matrix BCentred = {{{H, 0, H}, {0, 1, 0}, {-H, 0, H}}};
// Rhombohedral, obverse, on hexagonal axes.
constexpr Matrix Rhombohedral = {{{2 * T, T, T}, {-T, T, T}, {-T, -2 * T, T}}};

// The reciprocal metric (A, B, C, D, E, F) of the lattice of basis p (rows) in the conventional
// lattice of reciprocal metric r.
void PrimitiveMetric(const Matrix& r, const Matrix& p, double (&m)[6]) {
  const Matrix g = Inverse(r);
  Matrix gp{};
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j)
      for (int32_t k = 0; k < 3; ++k)
        for (int32_t l = 0; l < 3; ++l) gp[i][j] += p[i][k] * g[k][l] * p[j][l];
  const Matrix rp = Inverse(gp);
  m[0] = rp[0][0], m[1] = rp[1][1], m[2] = rp[2][2];
  m[3] = 2 * rp[0][1], m[4] = 2 * rp[0][2], m[5] = 2 * rp[1][2];
}

bool SameMetric(const Metric& x, const Metric& y) {
  constexpr double close = 1e-3;
  return x.family == y.family && std::fabs(x.a - y.a) <= close * x.a && std::fabs(x.b - y.b) <= close * x.b &&
         std::fabs(x.c - y.c) <= close * x.c;
}

// The conventional metrics of every family that index the first lines, best rough merit first.
std::vector<Metric> FamilyMetrics(const std::vector<ZoneLine>& lines, double volumeLimit) {
  const size_t n = lines.size();
  const auto& sums = SmallSums();
  std::vector<Metric> found;
  // Metrics already scored, by their terms rounded to 5e-4 relative: many assignments give one.
  std::unordered_set<uint64_t> seen;
  const auto consider = [&](Metric m) {
    // Conventional edges up to 4 times the largest d (a centred cell's twice its primitive one),
    // c up to 6 times on hexagonal axes (of a rhombohedral lattice: 003 is often the first line).
    const double shortest = lines[0].q / 16;
    const double longest = m.family == Family::Hexagonal ? shortest * 16 / 36 : shortest;
    if (!std::isfinite(m.a + m.b + m.c) || !(std::min(m.a, m.b) >= shortest && m.c >= longest)) return;
    // A centred cell is at least a quarter of the conventional one.
    if (volumeLimit > 0 && Volume(m) > 4 * volumeLimit) return;
    if (m.family == Family::Orthorhombic) {
      double t[3] = {m.a, m.b, m.c};
      std::sort(t, t + 3);
      m.a = t[0], m.b = t[1], m.c = t[2];
    }
    uint64_t key = static_cast<uint64_t>(m.family);
    for (const double x : {m.a, m.b, m.c})
      key = key * 1000003 + static_cast<uint64_t>(static_cast<int64_t>(std::nearbyint(std::log(x) / 5e-4)) & 0xfffff);
    if (!seen.insert(key).second) return;
    m.merit = RoughMerit(lines, m);
    if (std::isfinite(m.merit)) found.push_back(m);
  };
  // Cubic: the first lines as N = 1 .. CubicN.
  for (size_t i = 0; i < std::min(n, CubicLines); ++i)
    for (int32_t s = 1; s <= CubicN; ++s)
      if (sums.three[s]) {
        const double a = lines[i].q / s;
        consider({Family::Cubic, a, a, a, 0});
      }
  // Tetragonal and hexagonal: A from a line h k 0 of small indices, C from another line as
  // s A + l^2 C (the axial 00l first where screw axes take out 001).
  for (const Family f : {Family::Tetragonal, Family::Hexagonal}) {
    const std::vector<int32_t> small = f == Family::Tetragonal ? std::vector<int32_t>{1, 2, 4, 5}
                                                               : std::vector<int32_t>{1, 3, 4, 7};
    for (size_t i = 0; i < std::min(n, AxialLines); ++i)
      for (const int32_t u : small) {
        const double a = lines[i].q / u;
        for (size_t j = 0; j < std::min(n, SecondLines); ++j) {
          if (j == i) continue;
          for (const int32_t s : {0, 1, 2, 3, 4})
            if (s == 0 || (f == Family::Tetragonal ? sums.two[s] : sums.hex[s]))
              for (int32_t l = 1; l <= AxialL; ++l) {
                const double c = (lines[j].q - s * a) / (l * l);
                consider({f, a, a, c, 0});
              }
        }
        // C from an axial line, A from another as (s A + l^2 C): the first hk0 line of a
        // rhombohedral lattice on hexagonal axes comes late (110 after 003, 101, 012, 104).
        for (int32_t l = 1; l <= AxialL; ++l) {
          const double c = lines[i].q / (l * l);
          for (size_t j = 0; j < std::min(n, SecondLines); ++j)
            if (j != i)
              for (int32_t k = 0; k <= 3; ++k) {
                const double t = (lines[j].q - k * k * c) / u;
                consider({f, t, t, c, 0});
              }
        }
      }
  }
  // Orthorhombic: A from a line h00, B from another as h^2 A + k^2 B (the zone hk0), C from the
  // first lines that zone leaves unindexed as h^2 A + k^2 B + l^2 C; every index 0 .. 2.
  std::vector<size_t> outside;
  for (size_t i = 0; i < std::min(n, SecondLines); ++i)
    for (const int32_t u : {1, 4}) {
      const double a = lines[i].q / u;
      for (size_t j = 0; j < std::min(n, SecondLines); ++j) {
        if (j == i) continue;
        for (const int32_t hj : {0, 1, 4})
          for (const int32_t kj : {1, 4}) {
            const double b = (lines[j].q - hj * a) / kj;
            if (!(b > 0)) continue;
            const Metric zone{Family::Orthorhombic, a, b, std::numeric_limits<double>::max(), 0};
            outside.clear();
            for (size_t k = 0; k < std::min(n, OutsideLines) && outside.size() < ThirdLines; ++k)
              if (!std::isfinite(Miss(zone, lines[k].q, IndexedLineSigmas * lines[k].sigma))) outside.push_back(k);
            for (const size_t k : outside)
              for (const int32_t hk : {0, 1, 4})
                for (const int32_t kk : {0, 1, 4})
                  for (const int32_t lk : {1, 4})
                    consider({Family::Orthorhombic, a, b, (lines[k].q - hk * a - kk * b) / lk, 0});
          }
      }
    }
  // Orthorhombic F whose glides take out the axial lines (Fddd: h00 with h = 4n): 111 on one
  // of the first lines, two more as 220 or 311 in any order, solved for A, B, C.
  constexpr int32_t Faces[6][3] = {{4, 4, 0}, {4, 0, 4}, {0, 4, 4}, {9, 1, 1}, {1, 9, 1}, {1, 1, 9}};
  for (size_t i = 0; i < std::min(n, CubicLines); ++i)
    for (size_t j = 0; j < std::min(n, SecondLines); ++j)
      for (size_t k = j + 1; k < std::min(n, SecondLines); ++k) {
        if (j == i || k == i) continue;
        for (const auto& u : Faces)
          for (const auto& v : Faces) {
            // A + B + C = q_i, u.(A, B, C) = q_j, v.(A, B, C) = q_k (a singular system: no metric).
            const Matrix inv = Inverse({{{1, 1, 1}, {double(u[0]), double(u[1]), double(u[2])},
                                         {double(v[0]), double(v[1]), double(v[2])}}});
            const double q[3] = {lines[i].q, lines[j].q, lines[k].q};
            double t[3];
            for (int32_t r = 0; r < 3; ++r) t[r] = inv[r][0] * q[0] + inv[r][1] * q[1] + inv[r][2] * q[2];
            consider({Family::Orthorhombic, t[0], t[1], t[2], 0});
          }
      }
  std::stable_sort(found.begin(), found.end(), [](const Metric& x, const Metric& y) { return x.merit > y.merit; });
  return found;
}

// The best cell per lattice: metrics of one lattice index the same lines with the same volume.
std::vector<LatticeStart> Distinct(std::vector<LatticeStart> scored, size_t count) {
  std::stable_sort(scored.begin(), scored.end(),
                   [](const LatticeStart& u, const LatticeStart& v) { return u.merit > v.merit; });
  std::vector<LatticeStart> out;
  for (const LatticeStart& s : scored) {
    if (out.size() >= count) break;
    if (std::none_of(out.begin(), out.end(), [&](const LatticeStart& k) {
          return std::fabs(k.volume - s.volume) <= 2e-3 * s.volume && std::fabs(k.merit - s.merit) <= 1;
        }))
      out.push_back(s);
  }
  return out;
}

// The conventional reciprocal metric of m (hexagonal: a* b* at 60 degrees).
Matrix Conventional(const Metric& m) {
  Matrix r = {{{m.a, 0, 0}, {0, m.b, 0}, {0, 0, m.c}}};
  if (m.family == Family::Hexagonal) r[0][1] = r[1][0] = 0.5 * m.a;
  return r;
}

}  // namespace

std::vector<LatticeStart> LatticeStartCells(const std::vector<ZoneLine>& lines, double volumeLimit, size_t count) {
  if (lines.size() < 6 || count == 0) return {};
  const std::vector<Metric> found = FamilyMetrics(lines, volumeLimit);
  // The best distinct metrics of each family (orthorhombic ones sorted: one lattice in any order).
  std::vector<LatticeStart> scored;
  std::array<size_t, 4> kept{};
  std::vector<Metric> used;
  for (const Metric& m : found) {
    size_t& k = kept[static_cast<size_t>(m.family)];
    if (k >= Kept || std::any_of(used.begin(), used.end(), [&](const Metric& u) { return SameMetric(u, m); })) continue;
    ++k;
    used.push_back(m);
    const Matrix r = Conventional(m);
    std::vector<const Matrix*> bases = {&Primitive};
    switch (m.family) {
    case Family::Cubic: bases.insert(bases.end(), {&BodyCentred, &FaceCentred}); break;
    case Family::Tetragonal: bases.push_back(&BodyCentred); break;
    case Family::Hexagonal: bases.push_back(&Rhombohedral); break;
    case Family::Orthorhombic:
      bases.insert(bases.end(), {&BodyCentred, &FaceCentred, &CCentred, &ACentred, &BCentred});
      break;
    }
    for (const Matrix* p : bases) {
      double metric[6];
      PrimitiveMetric(r, *p, metric);
      LatticeStart s{};
      s.merit = ZoneMetricMerit(lines, metric, volumeLimit, s.cell, s.volume);
      if (std::isfinite(s.merit)) scored.push_back(s);
    }
  }
  return Distinct(std::move(scored), count);
}

std::vector<LatticeStart> SystemStartCells(const std::vector<ZoneLine>& lines, int32_t system, int32_t type,
                                           double volumeLimit, size_t count) {
  if (lines.size() < 6 || count == 0 || system < 3 || system > 7) return {};
  const Family family = system == 3 ? Family::Orthorhombic : system == 4 ? Family::Tetragonal
                        : system == 5 ? Family::Cubic : Family::Hexagonal;
  const Matrix* basis = system == 7 ? &Rhombohedral : type == 1 ? &ACentred : type == 2 ? &BCentred
                        : type == 3 ? &CCentred : type == 4 ? &FaceCentred : type == 5 ? &BodyCentred : &Primitive;
  std::vector<LatticeStart> scored;
  size_t metrics = 0;
  for (Metric m : FamilyMetrics(lines, volumeLimit)) {
    if (m.family != family || metrics >= Kept * count) continue;
    ++metrics;
    // The axes of an A, B or C cell are not interchangeable: every order of the orthorhombic terms.
    std::array<double, 3> t = {m.a, m.b, m.c};
    if (family == Family::Orthorhombic) std::sort(t.begin(), t.end());
    do {
      m.a = t[0], m.b = t[1], m.c = t[2];
      double metric[6];
      PrimitiveMetric(Conventional(m), *basis, metric);
      LatticeStart s{};
      s.merit = ZoneMetricMerit(lines, metric, volumeLimit, s.cell, s.volume);
      if (!std::isfinite(s.merit)) continue;
      // The conventional cell, but on rhombohedral axes the primitive one.
      if (system != 7) {
        s.cell = {1 / std::sqrt(m.a), 1 / std::sqrt(m.b), 1 / std::sqrt(m.c), 0, 0, 0};
        if (family == Family::Hexagonal) s.cell[0] = s.cell[1] = 2 / std::sqrt(3 * m.a), s.cell[5] = -0.5;
      }
      scored.push_back(s);
    } while (family == Family::Orthorhombic && type >= 1 && type <= 3 && std::next_permutation(t.begin(), t.end()));
  }
  return Distinct(std::move(scored), count);
}
