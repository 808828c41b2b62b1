// The zone method's start cells: reciprocal metrics built from the lines, scored in Q.
#include "indexing/zone_starts.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include "indexing/indexing_model.h"

namespace {

// The first lines that are not harmonics (Q = n^2 Q of an earlier line) may span a zone.
constexpr size_t BaseLines = 9;
// A screw axis or a glide leaves out the first line of an axis (010 of a 2_1 axis, 001 of a c
// glide): the first lines also stand as the axis's second order, at a quarter of their Q.
constexpr size_t HalvedLines = 6;
// The best zones are completed, each with the first lines they leave unindexed as Q(001).
constexpr size_t ZoneCount = 16;
constexpr size_t ThirdLines = 10;
constexpr size_t VotedThirds = 6;
// The best cross terms kept for a pair of lines.
constexpr size_t CrossTerms = 5;
// |cos| of a reciprocal angle at most this (angles of 26 to 154 degrees).
constexpr double MaxCosine = 0.9;
// Zones are scored by their lines h k 0 with |h|, k up to this.
constexpr int32_t ZoneIndex = 4;
// Lines out of the zone whose crossings vote for E and F, and the points kept.
constexpr size_t VoteSeeds = 3;
constexpr size_t VotedPoints = 4;
// A metric whose index box exceeds this many reflections is a cell far larger than the lines
// call for.
constexpr int64_t MaxBox = 200000;

struct Term {
  int32_t score;
  double value;  // |cross term| (A^-2)
};

struct Zone {
  int32_t score;
  size_t i, j;
  double d;
};

bool Indexed(const ZoneLine& line, double q) { return std::fabs(line.q - q) <= IndexedLineSigmas * line.sigma; }

// Lines indexed by the zone of Q(10) = a, Q(01) = b and cross term d: h^2 a + k^2 b + hk d.
int32_t ZoneScore(const std::vector<ZoneLine>& lines, double a, double b, double d, std::vector<double>& qz) {
  qz.clear();
  for (int32_t k = 0; k <= ZoneIndex; ++k)
    for (int32_t h = -ZoneIndex; h <= ZoneIndex; ++h)
      if (k > 0 || h > 0) qz.push_back(h * h * a + k * k * b + h * k * d);
  int32_t score = 0;
  for (const ZoneLine& line : lines)
    score += std::any_of(qz.begin(), qz.end(), [&](double q) { return Indexed(line, q); });
  return score;
}

// An axis of a zone: Q of its first lattice row, a line's Q or a quarter of it (order 2), and the
// line it comes from.
struct Axis {
  double q, sigma;
  size_t line;
};

// The cross terms |D| that some line gives the axes x, y as its 1 +-1, 1 +-2 or 2 +-1 line, each
// with the lines its zone indexes; the CrossTerms best distinct ones (none: 0).
std::vector<Term> PairTerms(const std::vector<ZoneLine>& lines, const Axis& x, const Axis& y, std::vector<double>& qz) {
  const double a = x.q, b = y.q;
  const double limit = 2 * std::sqrt(a * b) * MaxCosine;
  const double same = IndexedLineSigmas * (x.sigma + y.sigma);
  std::vector<Term> terms;
  for (size_t m = 0; m < lines.size(); ++m) {
    if (m == x.line || m == y.line) continue;
    const double q = lines[m].q;
    for (const double d : {q - a - b, 0.5 * (q - a - 4 * b), 0.5 * (q - 4 * a - b)}) {
      const double v = std::fabs(d);
      if (!(v <= limit)) continue;
      if (std::any_of(terms.begin(), terms.end(), [&](const Term& t) { return std::fabs(t.value - v) <= same; }))
        continue;
      terms.push_back({ZoneScore(lines, a, b, v, qz), v});
    }
  }
  std::stable_sort(terms.begin(), terms.end(), [](const Term& u, const Term& v) { return u.score > v.score; });
  if (terms.size() > CrossTerms) terms.resize(CrossTerms);
  if (terms.empty()) terms.push_back({0, 0});
  return terms;
}


// The pairs (E, F) that the lines out of the zone (A, B, D) vote for with c = Q(001): a line at
// Q(hk1) = Q(hk0) + c + hE + kF puts (E, F) on a straight line, two lines of small h, k cross at
// a point, and a point is worth the out-of-zone lines it indexes as h k 1 or h k 2 (|h|, |k| up
// to 3). The VotedTerms best distinct points, each worth at least two lines.
std::vector<std::pair<double, double>> VotedTerms(const std::vector<ZoneLine>& lines, const std::vector<size_t>& outside,
                                                  size_t third, const double (&zone)[3], double c) {
  constexpr int32_t Reach = 3;
  const auto zq = [&](int32_t h, int32_t k) { return h * h * zone[0] + k * k * zone[1] + h * k * zone[2]; };
  const double eLimit = 2 * std::sqrt(zone[0] * c) * MaxCosine, fLimit = 2 * std::sqrt(zone[1] * c) * MaxCosine;
  std::vector<size_t> seeds;
  for (size_t m : outside)
    if (m != third && seeds.size() < VoteSeeds) seeds.push_back(m);
  const auto worth = [&](double e, double f) {
    int32_t score = 0;
    for (size_t m : outside) {
      bool hit = false;
      for (int32_t l = 1; l <= 2 && !hit; ++l)
        for (int32_t h = -Reach; h <= Reach && !hit; ++h)
          for (int32_t k = -Reach; k <= Reach && !hit; ++k)
            hit = Indexed(lines[m], zq(h, k) + l * l * c + l * (h * e + k * f));
      score += hit;
    }
    return score;
  };
  struct Vote {
    int32_t score;
    double e, f;
  };
  std::vector<Vote> votes;
  for (size_t x = 0; x < seeds.size(); ++x)
    for (size_t y = x + 1; y < seeds.size(); ++y)
      for (int32_t h1 = -1; h1 <= 1; ++h1)
        for (int32_t k1 = -1; k1 <= 1; ++k1)
          for (int32_t h2 = -2; h2 <= 2; ++h2)
            for (int32_t k2 = -2; k2 <= 2; ++k2) {
              const int32_t det = h1 * k2 - h2 * k1;
              if (det == 0) continue;
              const double r1 = lines[seeds[x]].q - c - zq(h1, k1), r2 = lines[seeds[y]].q - c - zq(h2, k2);
              const double e = (r1 * k2 - r2 * k1) / det, f = (h1 * r2 - h2 * r1) / det;
              if (!(std::fabs(e) <= eLimit && std::fabs(f) <= fLimit)) continue;
              const double tol = IndexedLineSigmas * (lines[seeds[x]].sigma + lines[seeds[y]].sigma);
              if (std::any_of(votes.begin(), votes.end(),
                              [&](const Vote& v) { return std::fabs(v.e - e) <= tol && std::fabs(v.f - f) <= tol; }))
                continue;
              votes.push_back({worth(e, f), e, f});
            }
  std::stable_sort(votes.begin(), votes.end(), [](const Vote& u, const Vote& v) { return u.score > v.score; });
  std::vector<std::pair<double, double>> out;
  for (const Vote& v : votes)
    if (out.size() < VotedPoints && v.score >= 2) out.emplace_back(v.e, v.f);
  return out;
}

// With one cross term of the third axis known (E, the term with the zone's first axis, when
// eKnown), the other one that the lines out of the zone vote for: a line at
// Q(hk1) = Q(hk0) + c + hE + kF gives F for every small h, k (k != 0). A zone of the third axis
// with few lines of its own (a short cell edge leaves few lines at its first orders) gives
// PairTerms no sure term; the lines of all three indices still do. The VotedPoints values that the
// most distinct lines give, each at least two. A value carries the errors of the line and of the
// axes it is built from (sigma: those of the zone's axes and of c).
std::vector<double> VotedTerm(const std::vector<ZoneLine>& lines, const std::vector<size_t>& outside, size_t third,
                              const double (&zone)[3], double c, const double (&sigma)[3], bool eKnown, double known) {
  // The low orders only (l = 1, |h|, |k| up to 2): with more indices the votes of chance
  // coincidences outnumber the true one.
  constexpr int32_t Reach = 2;
  const double limit = 2 * std::sqrt(zone[eKnown ? 1 : 0] * c) * MaxCosine;
  struct Vote {
    double value, tolerance;
    size_t line;
  };
  thread_local std::vector<Vote> votes;
  votes.clear();
  for (const size_t m : outside) {
    if (m == third) continue;
    for (int32_t h = -Reach; h <= Reach; ++h)
      for (int32_t k = -Reach; k <= Reach; ++k) {
        const int32_t free = eKnown ? k : h, fixed = eKnown ? h : k;
        if (free == 0) continue;
        const double v = (lines[m].q - (h * h * zone[0] + k * k * zone[1] + h * k * zone[2]) - c - fixed * known) / free;
        const double error = lines[m].sigma + h * h * sigma[0] + k * k * sigma[1] + sigma[2];
        if (std::fabs(v) <= limit) votes.push_back({v, IndexedLineSigmas * error / std::abs(free), m});
      }
  }
  std::sort(votes.begin(), votes.end(), [](const Vote& x, const Vote& y) { return x.value < y.value; });
  std::vector<std::pair<int32_t, double>> counted;  // distinct lines, value
  std::vector<size_t> seen;
  for (size_t i = 0; i < votes.size(); ++i) {
    seen.clear();
    for (size_t j = i; j < votes.size() && votes[j].value - votes[i].value <= votes[i].tolerance; ++j)
      if (std::find(seen.begin(), seen.end(), votes[j].line) == seen.end()) seen.push_back(votes[j].line);
    if (seen.size() >= 2) counted.emplace_back(static_cast<int32_t>(seen.size()), votes[i].value);
  }
  std::stable_sort(counted.begin(), counted.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
  std::vector<double> out;
  for (const auto& vote : counted) {
    const double value = vote.second;
    if (out.size() >= VotedPoints) break;
    const double tolerance = IndexedLineSigmas * lines[third].sigma;
    if (std::none_of(out.begin(), out.end(), [&](double o) { return std::fabs(o - value) <= tolerance; }))
      out.push_back(value);
  }
  return out;
}

struct Scored {
  double merit, volume;
  ZoneCell cell;
};

}  // namespace

bool DirectCell(const double (&m)[6], ZoneCell& cell, double& volume) {
  const double g[3][3] = {{m[0], 0.5 * m[3], 0.5 * m[4]}, {0.5 * m[3], m[1], 0.5 * m[5]}, {0.5 * m[4], 0.5 * m[5], m[2]}};
  const double c00 = g[1][1] * g[2][2] - g[1][2] * g[1][2];
  const double c01 = g[0][2] * g[1][2] - g[0][1] * g[2][2];
  const double c02 = g[0][1] * g[1][2] - g[0][2] * g[1][1];
  const double det = g[0][0] * c00 + g[0][1] * c01 + g[0][2] * c02;
  // Reciprocal angles that leave the volume below 1e-3 of the edges' product are no cell.
  if (!(m[0] > 0 && m[1] > 0 && m[2] > 0 && c00 > 0 && det > 1e-6 * m[0] * m[1] * m[2])) return false;
  const double c11 = g[0][0] * g[2][2] - g[0][2] * g[0][2];
  const double c12 = g[0][1] * g[0][2] - g[0][0] * g[1][2];
  const double c22 = g[0][0] * g[1][1] - g[0][1] * g[0][1];
  const double a = std::sqrt(c00 / det), b = std::sqrt(c11 / det), c = std::sqrt(c22 / det);
  cell = {a, b, c, c12 / det / (b * c), c02 / det / (a * c), c01 / det / (a * b)};
  volume = 1 / std::sqrt(det);
  return std::isfinite(volume);
}

std::vector<double> ZoneCrossTerms(const std::vector<ZoneLine>& lines, size_t i, size_t j) {
  std::vector<double> qz, out;
  const Axis x{lines[i].q, lines[i].sigma, i}, y{lines[j].q, lines[j].sigma, j};
  for (const Term& t : PairTerms(lines, x, y, qz)) out.push_back(t.value);
  return out;
}

double ZoneMetricMerit(const std::vector<ZoneLine>& lines, const double (&m)[6], double volumeLimit, ZoneCell& cell,
                       double& volume) {
  constexpr double none = -std::numeric_limits<double>::infinity();
  if (lines.empty() || !DirectCell(m, cell, volume)) return none;
  if (volumeLimit > 0 && volume > volumeLimit) return none;
  double qMax = 0, sMax = 0;
  for (const ZoneLine& line : lines) qMax = std::max(qMax, line.q), sMax = std::max(sMax, line.sigma);
  const double qLimit = qMax + IndexedLineSigmas * sMax;
  // |h| <= |a| sqrt(Q): the index box of every reflection up to qLimit.
  const int32_t H = static_cast<int32_t>(cell[0] * std::sqrt(qLimit));
  const int32_t K = static_cast<int32_t>(cell[1] * std::sqrt(qLimit));
  const int32_t L = static_cast<int32_t>(cell[2] * std::sqrt(qLimit));
  if (int64_t{2 * H + 1} * (2 * K + 1) * (L + 1) > MaxBox) return none;
  thread_local std::vector<double> calc;
  calc.clear();
  for (int32_t l = 0; l <= L; ++l)
    for (int32_t k = l == 0 ? 0 : -K; k <= K; ++k)
      for (int32_t h = l == 0 && k == 0 ? 1 : -H; h <= H; ++h) {
        const double q = h * h * m[0] + k * k * m[1] + l * l * m[2] + h * k * m[3] + h * l * m[4] + k * l * m[5];
        if (q <= qLimit) calc.push_back(q);
      }
  if (calc.empty()) return none;
  std::sort(calc.begin(), calc.end());
  // Reflections equal within the errors are one line (as the search counts them): a metric of
  // higher symmetry pays nothing for its coinciding reflections. Merged within 1.4 sigma, the
  // lines' mean relative error in Q.
  double relative = 0;
  for (const ZoneLine& line : lines) relative += line.sigma / line.q;
  relative = 1.4 * relative / static_cast<double>(lines.size());
  size_t kept = 1;
  for (size_t k = 1; k < calc.size(); ++k)
    if (calc[k] - calc[kept - 1] > relative * calc[k]) calc[kept++] = calc[k];
  calc.resize(kept);
  double merit = 0;
  for (const ZoneLine& line : lines) {
    const auto above = std::lower_bound(calc.begin(), calc.end(), line.q);
    double miss = std::numeric_limits<double>::infinity();
    if (above != calc.end()) miss = *above - line.q;
    if (above != calc.begin()) miss = std::min(miss, line.q - above[-1]);
    if (!(miss <= IndexedLineSigmas * line.sigma)) {
      merit -= UnindexedLinePenalty;
      continue;
    }
    // Calculated lines per unit Q about q: N(<= Q) grows as Q^(3/2), so the density is 1.5 N / Q.
    const auto below = std::upper_bound(calc.begin(), calc.end(), line.q * (1 + 1e-12)) - calc.begin();
    const double density = 1.5 * std::max<double>(static_cast<double>(below), 1) / line.q;
    merit -= std::log(std::min(2 * std::max(miss, line.sigma) * density, 1.0));
  }
  return merit;
}

std::vector<ZoneCell> ZoneStartCells(const std::vector<ZoneLine>& lines, double volumeLimit, size_t count) {
  const size_t n = lines.size();
  std::vector<ZoneCell> out;
  if (n < 6 || count == 0) return out;
  std::vector<double> qz;
  // Harmonics (Q within the errors of 4 or 9 times an earlier line's) span no zone of their own.
  std::vector<bool> harmonic(n, false);
  for (size_t k = 0; k < n; ++k)
    for (size_t i = 0; i < k && !harmonic[k]; ++i)
      for (const double f : {4.0, 9.0})
        if (std::fabs(lines[k].q - f * lines[i].q) <= IndexedLineSigmas * (lines[k].sigma + f * lines[i].sigma))
          harmonic[k] = true;
  // Every line is an axis of order 1; the first HalvedLines also of order 2, unless a line lies at
  // that quarter already.
  std::vector<Axis> axes;
  for (size_t k = 0; k < n; ++k) axes.push_back({lines[k].q, lines[k].sigma, k});
  for (size_t k = 0; k < std::min(n, HalvedLines); ++k) {
    const double q = 0.25 * lines[k].q, sigma = 0.25 * lines[k].sigma;
    if (std::none_of(lines.begin(), lines.end(), [&](const ZoneLine& l) { return Indexed(l, q); }))
      axes.push_back({q, sigma, k});
  }
  const size_t na = axes.size();
  std::vector<size_t> base;
  for (size_t k = 0; k < n && base.size() < BaseLines; ++k)
    if (!harmonic[k]) base.push_back(k);
  for (size_t k = n; k < na; ++k) base.push_back(k);
  // The cross terms of every pair of axes, as they are asked for.
  std::vector<std::vector<Term>> terms(na * na);
  const auto pair = [&](size_t i, size_t j) -> const std::vector<Term>& {
    if (i > j) std::swap(i, j);
    std::vector<Term>& t = terms[i * na + j];
    if (t.empty()) t = PairTerms(lines, axes[i], axes[j], qz);
    return t;
  };
  std::vector<Zone> zones;
  // An axis may stand for two (or three): the reduced basis of a lattice of higher metric
  // symmetry has edges of equal length.
  for (size_t x = 0; x < base.size(); ++x)
    for (size_t y = x; y < base.size(); ++y)
      for (const Term& t : pair(base[x], base[y])) zones.push_back({t.score, base[x], base[y], t.value});
  std::stable_sort(zones.begin(), zones.end(), [](const Zone& u, const Zone& v) { return u.score > v.score; });
  if (zones.size() > ZoneCount) zones.resize(ZoneCount);
  std::vector<Scored> scored;
  const auto score = [&](const double (&m)[6]) {
    Scored s{};
    s.merit = ZoneMetricMerit(lines, m, volumeLimit, s.cell, s.volume);
    if (std::isfinite(s.merit)) scored.push_back(s);
  };
  std::vector<size_t> outside;
  for (const Zone& z : zones) {
    const double a = axes[z.i].q, b = axes[z.j].q;
    ZoneScore(lines, a, b, z.d, qz);
    outside.clear();
    for (size_t k = 0; k < n; ++k)
      if (k != axes[z.i].line && k != axes[z.j].line &&
          std::none_of(qz.begin(), qz.end(), [&](double q) { return Indexed(lines[k], q); }))
        outside.push_back(k);
    // The third axis: one of the zone's own, a line out of the zone, or a quarter of one.
    std::vector<size_t> candidates = {z.i};
    if (z.j != z.i) candidates.push_back(z.j);
    candidates.insert(candidates.end(), outside.begin(), outside.end());
    for (size_t k = n; k < na; ++k)
      if (std::find(outside.begin(), outside.end(), axes[k].line) != outside.end()) candidates.push_back(k);
    size_t thirds = 0;
    for (const size_t k : candidates) {
      if (k < n && harmonic[k]) continue;
      if (++thirds > ThirdLines) break;
      const double zone[3] = {a, b, z.d}, c = axes[k].q;
      if (thirds <= VotedThirds)
        for (const auto& [e, f] : VotedTerms(lines, outside, axes[k].line, zone, c)) score({a, b, c, z.d, e, f});
      const std::vector<Term>& es = pair(z.i, k);
      const std::vector<Term>& fs = pair(z.j, k);
      // The best term of one axis, the other one voted for by the lines of all three indices.
      const double sigmas[3] = {axes[z.i].sigma, axes[z.j].sigma, axes[k].sigma};
      for (const double sign : {1.0, -1.0}) {
        if (thirds > VotedThirds) break;
        const double e = sign * es.front().value, f = sign * fs.front().value;
        for (const double v : VotedTerm(lines, outside, axes[k].line, zone, c, sigmas, true, e))
          score({a, b, c, z.d, e, v});
        for (const double v : VotedTerm(lines, outside, axes[k].line, zone, c, sigmas, false, f))
          score({a, b, c, z.d, v, f});
      }
      for (const Term& e : es)
        for (const Term& f : fs)
          for (const double se : {1.0, -1.0})
            for (const double sf : {1.0, -1.0}) {
              // A term that is 0 has one sign.
              if ((e.value == 0 && se < 0) || (f.value == 0 && sf < 0)) continue;
              // D >= 0 loses nothing: reversing a reverses D and E.
              score({a, b, c, z.d, se * e.value, sf * f.value});
            }
    }
  }
  std::stable_sort(scored.begin(), scored.end(), [](const Scored& u, const Scored& v) { return u.merit > v.merit; });
  // One cell per lattice: metrics of one lattice index the same lines with the same volume.
  std::vector<const Scored*> kept;
  for (const Scored& s : scored) {
    if (kept.size() >= count) break;
    if (std::any_of(kept.begin(), kept.end(), [&](const Scored* k) {
          return std::fabs(k->volume - s.volume) <= 2e-3 * s.volume && std::fabs(k->merit - s.merit) <= 1;
        }))
      continue;
    kept.push_back(&s);
  }
  for (const Scored* s : kept) out.push_back(s->cell);
  return out;
}
