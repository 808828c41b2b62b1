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
  std::vector<uint64_t> made;  // [c * stride + a]: the bits of the coordinate column (c, a) holds
  std::vector<char> valid;     // [c * stride + a]: whether it holds one at all
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
    t.valid.assign(3 * size_t(stride), 0);
  }
  for (int32_t c = 0; c < 3; ++c)
    for (int32_t a = 0; a < atoms; ++a) {
      const uint64_t bits = std::bit_cast<uint64_t>(u[c][a]);
      const int32_t i = c * stride + a;
      if (t.valid[i] && t.made[i] == bits) continue;
      MakeColumn(t, c, a, u[c][a]);
      t.made[i] = bits, t.valid[i] = 1;
    }
  return true;
}

// What the table kernel reads per operation: the rows of |hr|, |kr|, |lr|, the signs of the
// imaginary parts (-1 for a negative index: the conjugate) and the offset factor.
struct TOperationRows {
  const double* x[MaxOperations];
  const double* y[MaxOperations];
  const double* z[MaxOperations];
  double sx[MaxOperations], sy[MaxOperations], sz[MaxOperations];
  double cRe[MaxOperations], cIm[MaxOperations];
};

// The sums from the tables, a vector of atoms at a time. No fused multiply-adds in either build:
// the same operations in the same order, the same bits.
template <bool Positions, bool Terms>
[[gnu::always_inline]] inline void TableSumsBody(TPhaseTable& t, const TOperationIndices& r, TOperationSums& out) {
  const int32_t stride = t.stride;
  TOperationRows w;
  for (int32_t o = 0; o < r.ops; ++o) SinCosTurns(r.offset[o], w.cIm[o], w.cRe[o]);
  for (int32_t o = 0; o < r.ops; ++o) {
    const int32_t n[3] = {int32_t(r.hr[o]), int32_t(r.kr[o]), int32_t(r.lr[o])};
    w.x[o] = t.Row(0, std::abs(n[0]));
    w.y[o] = t.Row(1, std::abs(n[1]));
    w.z[o] = t.Row(2, std::abs(n[2]));
    w.sx[o] = n[0] < 0 ? -1.0 : 1.0;
    w.sy[o] = n[1] < 0 ? -1.0 : 1.0;
    w.sz[o] = n[2] < 0 ? -1.0 : 1.0;
  }
  double* __restrict re = out.re;
  double* __restrict im = out.im;
  for (int32_t a = 0; a < stride; ++a) re[a] = im[a] = 0;
  if constexpr (Positions)
    for (int32_t c = 0; c < 3; ++c)
      for (int32_t a = 0; a < stride; ++a) out.pRe[c][a] = out.pIm[c][a] = 0;
  for (int32_t o = 0; o < r.ops; ++o) {
    const double* __restrict xr = w.x[o];
    const double* __restrict yr = w.y[o];
    const double* __restrict zr = w.z[o];
    const double* __restrict xi = xr + stride;
    const double* __restrict yi = yr + stride;
    const double* __restrict zi = zr + stride;
    const double sx = w.sx[o], sy = w.sy[o], sz = w.sz[o], cr = w.cRe[o], ci = w.cIm[o];
    double* __restrict tr = out.termRe + o * stride;
    double* __restrict ti = out.termIm + o * stride;
    const double rh = r.hr[o], rk = r.kr[o], rl = r.lr[o];
    double* __restrict p0r = out.pRe[0];
    double* __restrict p1r = out.pRe[1];
    double* __restrict p2r = out.pRe[2];
    double* __restrict p0i = out.pIm[0];
    double* __restrict p1i = out.pIm[1];
    double* __restrict p2i = out.pIm[2];
    for (int32_t a = 0; a < stride; ++a) {
      const double xa = xr[a], xb = sx * xi[a], ya = yr[a], yb = sy * yi[a], za = zr[a], zb = sz * zi[a];
      const double pa = xa * ya - xb * yb, pb = xa * yb + xb * ya;
      const double qa = pa * za - pb * zb, qb = pa * zb + pb * za;
      const double ea = cr * qa - ci * qb, eb = cr * qb + ci * qa;
      re[a] += ea;
      im[a] += eb;
      if constexpr (Positions) {
        p0r[a] += rh * ea, p0i[a] += rh * eb;
        p1r[a] += rk * ea, p1i[a] += rk * eb;
        p2r[a] += rl * ea, p2i[a] += rl * eb;
      }
      if constexpr (Terms) tr[a] = ea, ti[a] = eb;
    }
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
bool TableIndices(const TOperationIndices& r, int32_t& need) {
  need = 0;
  for (int32_t o = 0; o < r.ops; ++o)
    for (const double v : {r.hr[o], r.kr[o], r.lr[o]}) {
      if (!(std::fabs(v) <= 0x1p26) || double(int32_t(v)) != v) return false;
      need = std::max(need, std::abs(int32_t(v)));
    }
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
