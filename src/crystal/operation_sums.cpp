#include "crystal/operation_sums.h"
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>
#include "core/cpu_dispatch.h"

namespace {

// A phase's tables stay below this size (8 MB); larger indices take the sin/cos path.
constexpr int64_t MaxTableDoubles = int64_t(1) << 20;
// A table first covers indices 0..MinIndex and grows by half at a time past that.
constexpr int32_t MinIndex = 8;

// exp(2 pi i n u) for n = 0..N of coordinate c (x, y, z) of every atom. Row (c, n) holds the
// real parts of atoms 0..stride-1, then their imaginary parts; padding atoms hold 0.
struct TPhaseTable {
  int32_t atoms = -1, stride = 0, N = -1;
  std::vector<double> rows;
  std::vector<double> made;  // [c * stride + a]: the coordinate column (c, a) holds
  bool filled[3] = {};       // whether the columns of coordinate c hold any
  double* Row(int32_t c, int32_t n) { return rows.data() + (int64_t(c) * (N + 1) + n) * 2 * stride; }
};

thread_local TPhaseTable Tables[MaxPhases + 1];

// Column (c, a) for coordinate u. u is reduced to r in [-1/2, 1/2] and split into a high part
// of 26 significant bits (n rHi is exact for n < 2^27) and the rest, so that the phase n u mod 1
// carries one rounding of n rLo only: the entries do not drift with n.
void MakeColumn(TPhaseTable& t, int32_t c, int32_t a, double u) {
  const double r = u - std::nearbyint(u);
  const double hi = std::bit_cast<double>(std::bit_cast<uint64_t>(r) & ~((uint64_t(1) << 27) - 1));
  const double lo = r - hi;
  for (int32_t n = 0; n <= t.N; ++n) {
    constexpr double Round = 0x1.8p52;  // as in SinCosTurns: p - round(p), exact
    const double p = n * hi;
    double s, cs;
    SinCosTurns((p - ((p + Round) - Round)) + n * lo, s, cs);
    double* row = t.Row(c, n);
    row[a] = cs;
    row[t.stride + a] = s;
  }
}

// Makes the tables of p hold the atoms and indices 0..need; false where they may not grow so far.
bool HoldTables(TPhaseTable& t, const double* const (&u)[3], int32_t atoms, int32_t need) {
  const int32_t stride = (atoms + 3) & ~3;
  if (need > t.N || atoms != t.atoms) {
    const int64_t most = MaxTableDoubles / (6 * std::max(stride, 4)) - 1;
    if (need > most) return false;
    t.N = int32_t(std::min<int64_t>(most, std::max({need, t.N + t.N / 2, MinIndex})));
    t.atoms = atoms, t.stride = stride;
    t.rows.assign(size_t(t.N + 1) * 6 * stride, 0.0);
    t.made.assign(3 * size_t(stride), 0);
    t.filled[0] = t.filled[1] = t.filled[2] = false;
  }
  for (int32_t c = 0; c < 3; ++c) {
    double* made = t.made.data() + c * stride;
    // Bit for bit, so that a NaN coordinate is held as well.
    if (t.filled[c] && std::memcmp(made, u[c], atoms * sizeof(double)) == 0) continue;
    for (int32_t a = 0; a < atoms; ++a) {
      if (t.filled[c] && std::memcmp(made + a, u[c] + a, sizeof(double)) == 0) continue;
      MakeColumn(t, c, a, u[c][a]);
      made[a] = u[c][a];
    }
    t.filled[c] = true;
  }
  return true;
}

typedef double V4 __attribute__((vector_size(32)));
// Four doubles at p into v (the vector as an out-parameter: no vector return outside AVX code).
[[gnu::always_inline]] inline void Load(V4& v, const double* p) { std::memcpy(&v, p, sizeof v); }
[[gnu::always_inline]] inline void Store(double* p, const V4& v) { std::memcpy(p, &v, sizeof v); }

// What the table kernel reads per operation: the rows of |hr|, |kr|, |lr|, the signs of the
// imaginary parts (-1 for a negative index: the conjugate) and the offset factor.
struct TOperationRows {
  int32_t plain = 0;  // operations 0..plain-1 have the offset factor 1: taken first
  int32_t op[MaxOperations];  // the operation's place in r
  const double* x[MaxOperations];
  const double* y[MaxOperations];
  const double* z[MaxOperations];
  double sx[MaxOperations], sy[MaxOperations], sz[MaxOperations];
  double cRe[MaxOperations], cIm[MaxOperations];
  double n[3][MaxOperations];  // hr, kr, lr
};

// The term of operation o (in the order of w) for atoms a..a+3, added to the sums.
template <bool Positions, bool Terms, bool Shifted>
[[gnu::always_inline]] inline void AddTerm(const TOperationRows& w, int32_t o, int32_t a, int32_t stride, V4& sRe,
                                           V4& sIm, V4 (&pRe)[3], V4 (&pIm)[3], TOperationSums& out) {
  const double *x = w.x[o] + a, *y = w.y[o] + a, *z = w.z[o] + a;
  V4 xa, xb, ya, yb, za, zb;
  Load(xa, x), Load(xb, x + stride), Load(ya, y), Load(yb, y + stride), Load(za, z), Load(zb, z + stride);
  xb *= w.sx[o], yb *= w.sy[o], zb *= w.sz[o];
  const V4 pa = xa * ya - xb * yb, pb = xa * yb + xb * ya;
  V4 ea = pa * za - pb * zb, eb = pa * zb + pb * za;
  if constexpr (Shifted) {
    const double cr = w.cRe[o], ci = w.cIm[o];
    const V4 qa = ea, qb = eb;
    ea = cr * qa - ci * qb, eb = cr * qb + ci * qa;
  }
  sRe += ea;
  sIm += eb;
  if constexpr (Positions)
    for (int32_t c = 0; c < 3; ++c) pRe[c] += w.n[c][o] * ea, pIm[c] += w.n[c][o] * eb;
  if constexpr (Terms) {
    const int32_t at = w.op[o] * stride + a;
    Store(out.termRe + at, ea), Store(out.termIm + at, eb);
  }
}

// The sums from the tables, a vector of atoms at a time. No fused multiply-adds in either build:
// the same operations in the same order, the same bits.
template <bool Positions, bool Terms>
[[gnu::always_inline]] inline void TableSumsBody(TPhaseTable& t, const TOperationIndices& r, TOperationSums& out) {
  const int32_t stride = t.stride;
  double cIm[MaxOperations], cRe[MaxOperations];
  for (int32_t o = 0; o < r.ops; ++o) SinCosTurns(r.offset[o], cIm[o], cRe[o]);
  TOperationRows w;
  w.plain = 0;
  for (int32_t o = 0; o < r.ops; ++o) w.plain += cRe[o] == 1.0 && cIm[o] == 0.0;
  for (int32_t o = 0, first = 0, second = w.plain; o < r.ops; ++o) {
    const int32_t i = cRe[o] == 1.0 && cIm[o] == 0.0 ? first++ : second++;
    const int32_t n[3] = {int32_t(r.hr[o]), int32_t(r.kr[o]), int32_t(r.lr[o])};
    w.op[i] = o;
    w.x[i] = t.Row(0, std::abs(n[0]));
    w.y[i] = t.Row(1, std::abs(n[1]));
    w.z[i] = t.Row(2, std::abs(n[2]));
    w.sx[i] = n[0] < 0 ? -1.0 : 1.0;
    w.sy[i] = n[1] < 0 ? -1.0 : 1.0;
    w.sz[i] = n[2] < 0 ? -1.0 : 1.0;
    w.cRe[i] = cRe[o], w.cIm[i] = cIm[o];
    w.n[0][i] = r.hr[o], w.n[1][i] = r.kr[o], w.n[2][i] = r.lr[o];
  }
  // A vector of four atoms at a time over every operation, the sums held in registers.
  for (int32_t a = 0; a < stride; a += 4) {
    V4 sRe = {}, sIm = {}, pRe[3] = {}, pIm[3] = {};
    for (int32_t o = 0; o < w.plain; ++o) AddTerm<Positions, Terms, false>(w, o, a, stride, sRe, sIm, pRe, pIm, out);
    for (int32_t o = w.plain; o < r.ops; ++o)
      AddTerm<Positions, Terms, true>(w, o, a, stride, sRe, sIm, pRe, pIm, out);
    Store(out.re + a, sRe);
    Store(out.im + a, sIm);
    if constexpr (Positions)
      for (int32_t c = 0; c < 3; ++c) Store(out.pRe[c] + a, pRe[c]), Store(out.pIm[c] + a, pIm[c]);
  }
}

using TTableSums = void (*)(TPhaseTable&, const TOperationIndices&, TOperationSums&);

template <bool Positions, bool Terms>
void TableSumsBaseline(TPhaseTable& t, const TOperationIndices& r, TOperationSums& out) {
  TableSumsBody<Positions, Terms>(t, r, out);
}
template <bool Positions, bool Terms>
VKEST_AVX2 void TableSumsAvx2(TPhaseTable& t, const TOperationIndices& r, TOperationSums& out) {
  TableSumsBody<Positions, Terms>(t, r, out);
}
template <bool Positions, bool Terms>
TTableSums ChooseTableSums() {
  return ChooseByProcessor<TTableSums>(TableSumsBaseline<Positions, Terms>, TableSumsAvx2<Positions, Terms>,
                                       false);
}
// [positions][terms]
const TTableSums TableSums[2][2] = {{ChooseTableSums<false, false>(), ChooseTableSums<false, true>()},
                                    {ChooseTableSums<true, false>(), ChooseTableSums<true, true>()}};

// sin and cos of the phase of atom (x, y, z) under every operation: a loop without sums, so
// that it runs a vector of operations at a time.
[[gnu::always_inline]] inline void OperationSinCosBody(const TOperationIndices& t, double x, double y, double z,
                                                       double* sn, double* cs) {
  for (int32_t o = 0; o < t.ops; ++o)
    SinCosTurns(t.hr[o] * x + t.kr[o] * y + t.lr[o] * z + t.offset[o], sn[o], cs[o]);
}
void OperationSinCosBaseline(const TOperationIndices& t, double x, double y, double z, double* sn, double* cs) {
  OperationSinCosBody(t, x, y, z, sn, cs);
}
VKEST_AVX2 void OperationSinCosAvx2(const TOperationIndices& t, double x, double y, double z, double* sn,
                                    double* cs) {
  OperationSinCosBody(t, x, y, z, sn, cs);
}
const auto OperationSinCos = ChooseByProcessor(OperationSinCosBaseline, OperationSinCosAvx2, false);

// The sums with a sin/cos per term, atom by atom.
void DirectSums(const TOperationIndices& r, const double* x, const double* y, const double* z, int32_t atoms,
                bool positions, bool terms, TOperationSums& out) {
  for (int32_t a = 0; a < atoms; ++a) {
    double sn[MaxOperations], cs[MaxOperations];
    OperationSinCos(r, x[a], y[a], z[a], sn, cs);
    double sRe = 0, sIm = 0, pr[3] = {0, 0, 0}, pi[3] = {0, 0, 0};
    for (int32_t o = 0; o < r.ops; ++o) {
      sRe += cs[o], sIm += sn[o];
      if (positions) {
        pr[0] += r.hr[o] * cs[o], pi[0] += r.hr[o] * sn[o];
        pr[1] += r.kr[o] * cs[o], pi[1] += r.kr[o] * sn[o];
        pr[2] += r.lr[o] * cs[o], pi[2] += r.lr[o] * sn[o];
      }
      if (terms) out.termRe[o * out.stride + a] = cs[o], out.termIm[o * out.stride + a] = sn[o];
    }
    out.re[a] = sRe, out.im[a] = sIm;
    for (int32_t c = 0; c < 3; ++c) out.pRe[c][a] = pr[c], out.pIm[c][a] = pi[c];
  }
}

// The largest |index| of r; false where an index is not an integer (or beyond 2^26).
// Branch-free over the operations: a vector at a time.
bool TableIndices(const TOperationIndices& r, int32_t& need) {
  double most = 0;
  bool whole = true;
  for (int32_t o = 0; o < r.ops; ++o)
    for (const double v : {r.hr[o], r.kr[o], r.lr[o]}) {
      constexpr double Round = 0x1.8p52;
      whole &= ((v + Round) - Round) == v;
      most = std::max(most, std::fabs(v));
    }
  if (!whole || !(most <= 0x1p26)) return false;
  need = int32_t(most);
  return true;
}

}  // namespace

void SumOverOperations(int32_t p, const TOperationIndices& r, const double* x, const double* y,
                       const double* z, int32_t atoms, bool positions, bool terms, TOperationSums& out) {
  atoms = std::clamp(atoms, 0, MaxAtoms);
  out.atoms = atoms;
  out.stride = (atoms + 3) & ~3;
  int32_t need = 0;
  TPhaseTable& t = Tables[std::clamp(p, 0, MaxPhases)];
  const double* const u[3] = {x, y, z};
  if (atoms == 0 || !TableIndices(r, need) || !HoldTables(t, u, atoms, need)) {
    DirectSums(r, x, y, z, atoms, positions, terms, out);
    return;
  }
  TableSums[positions][terms](t, r, out);
}
