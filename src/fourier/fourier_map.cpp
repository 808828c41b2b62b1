// The terms of the series and the map on its grid.
#include "fourier/fourier_map.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/numeric_arrays.h"
#include "core/text_file.h"
#include "crystal/fit_summary.h"
#include "crystal/structure_factor.h"

namespace {

struct Cx {
  double re = 0, im = 0;
};

// F of reflection r of the phase for the source, before any symmetry.
void ReflectionFactor(int32_t r, int32_t phase, int32_t source, double& A, double& B) {
  const THklRecord& rec = HklTable[r][phase];
  if (source == 1 || source == 3) {
    FourierAmplitude(r, phase, A, B);
    if (source == 3) {
      const double k = ObservedAmplitudeSum / std::max(1.0, CalculatedAmplitudeSum);
      A -= k * rec.A;
      B -= k * rec.B;
    }
  } else {
    A = rec.A;
    B = rec.B;
  }
}

void SetTerm(FOURIERTERM& t, double A, double B, double c, double s, int32_t conjugate) {
  if (conjugate == 1) B = -B;
  t.A = A * c - B * s;
  t.B = B * c + A * s;
}

// The distinct values of one index over the terms, and each term's place among them.
void DistinctIndices(const std::vector<FOURIERTERM>& terms, int32_t FOURIERTERM::*m, std::vector<int32_t>& values,
                     std::vector<int32_t>& place) {
  values.clear();
  for (const FOURIERTERM& t : terms) values.push_back(t.*m);
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  place.resize(terms.size());
  for (size_t i = 0; i < terms.size(); ++i)
    place[i] = static_cast<int32_t>(std::lower_bound(values.begin(), values.end(), terms[i].*m) - values.begin());
}

// e^(-2 pi i h (x0 + i s)) for every distinct h and grid point, h slowest.
void PhaseTable1D(const std::vector<int32_t>& values, int32_t n, double x0, double s, std::vector<Cx>& out) {
  out.resize(values.size() * static_cast<size_t>(n));
  for (size_t v = 0; v < values.size(); ++v)
    for (int32_t i = 0; i < n; ++i) {
      const double a = TwoPi * (values[v] * (x0 + i * s));
      out[v * static_cast<size_t>(n) + static_cast<size_t>(i)] = {std::cos(a), -std::sin(a)};
    }
}

}  // namespace

void GetReflectionFactor(int32_t reflection, int32_t phase, int32_t term, double cosPhi, double sinPhi,
                         int32_t source, int32_t conjugate) {
  if (phase < 1 || phase > MaxPhases || reflection < 1 || reflection > MaxReflections || term < 0 ||
      term >= static_cast<int32_t>(FourierIndexList.size()))
    return;
  double A = 0, B = 0;
  ReflectionFactor(reflection, phase, source, A, B);
  SetTerm(FourierIndexList[static_cast<size_t>(term)], A, B, cosPhi, sinPhi, conjugate);
}

void GenerateFourierTerms(int32_t phase, int32_t source) {
  FourierIndexList.clear();
  if (phase < 1 || phase > MaxPhases) return;
  TMapSymmetry s;
  MapSymmetryOf(phase, s);
  const bool rotate = s.ops >= 2;
  const int32_t nref = std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections);
  // Row vector times R, rounded half to even.
  const auto image = [&](const THklRecord& r, int32_t o, int32_t (&q)[3]) {
    if (!rotate) {
      q[0] = r.h, q[1] = r.k, q[2] = r.l;
      return;
    }
    for (int32_t c = 0; c < 3; ++c)
      q[c] = static_cast<int32_t>(std::nearbyint(r.h * s.R[o][0][c] + r.k * s.R[o][1][c] + r.l * s.R[o][2][c]));
  };
  int64_t hmax = 0, kmax = 0, lmax = 0;
  for (int32_t r = 1; r <= nref; ++r)
    for (int32_t o = 0; o < (rotate ? s.ops : 1); ++o) {
      int32_t q[3];
      image(HklTable[r][phase], o, q);
      hmax = std::max<int64_t>(hmax, std::abs(q[0]));
      kmax = std::max<int64_t>(kmax, std::abs(q[1]));
      lmax = std::max<int64_t>(lmax, std::abs(q[2]));
    }
  if ((lmax + 1) * (2 * kmax + 1) * (2 * hmax + 1) > 8125) {
    ShowMsg("Max indices too large; reduced.");
    hmax = std::min<int64_t>(hmax, 12), kmax = std::min<int64_t>(kmax, 12), lmax = std::min<int64_t>(lmax, 12);
  }
  // The box's cells point at their term (-1: none); at most 8125 cells.
  const int64_t nh = 2 * hmax + 1, nk = 2 * kmax + 1;
  std::vector<int32_t> slot(static_cast<size_t>(nh * nk * (lmax + 1)), -1);
  const auto cell = [&](int64_t h, int64_t k, int64_t l) -> int32_t* {
    if (std::abs(h) > hmax || std::abs(k) > kmax || l < 0 || l > lmax) return nullptr;
    return &slot[static_cast<size_t>((l * nk + (k + kmax)) * nh + (h + hmax))];
  };
  int64_t total = 0;
  for (int64_t l = 0; l <= lmax; ++l)
    for (int64_t k = -kmax; k <= kmax; ++k)
      for (int64_t h = -hmax; h <= hmax; ++h) {
        if (!(l > 0 || (l == 0 && k > 0) || (l == 0 && k == 0 && h > 0))) continue;
        ++total;
        if (static_cast<int64_t>(FourierIndexList.size()) >= MaxGeneratedTerms) continue;
        *cell(h, k, l) = static_cast<int32_t>(FourierIndexList.size());
        FourierIndexList.push_back({static_cast<int32_t>(h), static_cast<int32_t>(k), static_cast<int32_t>(l), 0, 0});
      }
  if (total > MaxGeneratedTerms) {
    FourierNotes.push_back("Only " + std::to_string(MaxGeneratedTerms) + " of " + std::to_string(total) +
                           " terms used");
    LogLine(FourierNotes.back());
  }
  for (int32_t r = 1; r <= nref; ++r) {
    const THklRecord& rec = HklTable[r][phase];
    double A = 0, B = 0;
    ReflectionFactor(r, phase, source, A, B);
    for (int32_t c = 0; c < s.centrings; ++c)
      for (int32_t o = 0; o < s.ops; ++o) {
        int32_t q[3];
        image(rec, o, q);
        double cp = 1, sp = 0;
        if (rotate) {
          const double phi = -TwoPi * (rec.h * (s.t[o][0] + s.c[c][0]) + rec.k * (s.t[o][1] + s.c[c][1]) +
                                       rec.l * (s.t[o][2] + s.c[c][2]));
          cp = std::cos(phi), sp = std::sin(phi);
        }
        if (const int32_t* t = cell(q[0], q[1], q[2]); t && *t >= 0)
          SetTerm(FourierIndexList[static_cast<size_t>(*t)], A, B, cp, sp, 0);
        // F(-h') = conj(F(h') ) = conj(F) e^(-i phi).
        if (const int32_t* t = cell(-q[0], -q[1], -q[2]); t && *t >= 0)
          SetTerm(FourierIndexList[static_cast<size_t>(*t)], A, B, cp, -sp, 1);
      }
  }
}

void SumSeriesOnGrid(const std::vector<FOURIERTERM>& terms, int32_t nx, int32_t ny, int32_t nz, double x0,
                     double y0, double z0, double sx, double sy, double sz, std::vector<double>& out) {
  const size_t NX = static_cast<size_t>(std::max(nx, 0)), NY = static_cast<size_t>(std::max(ny, 0)),
               NZ = static_cast<size_t>(std::max(nz, 0));
  out.assign(NX * NY * NZ, 0.0);
  if (terms.empty() || out.empty()) return;
  std::vector<int32_t> hv, kv, lv, hp, kp, lp;
  DistinctIndices(terms, &FOURIERTERM::h, hv, hp);
  DistinctIndices(terms, &FOURIERTERM::k, kv, kp);
  DistinctIndices(terms, &FOURIERTERM::l, lv, lp);
  std::vector<Cx> ex, ey, ez;
  PhaseTable1D(hv, nx, x0, sx, ex);
  PhaseTable1D(kv, ny, y0, sy, ey);
  PhaseTable1D(lv, nz, z0, sz, ez);
  // Terms grouped by (h, k).
  std::vector<size_t> order(terms.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return hp[a] != hp[b] ? hp[a] < hp[b] : (kp[a] != kp[b] ? kp[a] < kp[b] : a < b);
  });
  // Stage 1, per (h, k) group: G(z) = sum over l of F e^(-2 pi i l z).
  // Stage 2, per h: H(y, z) = sum over k of G(z) e^(-2 pi i k y).
  std::vector<Cx> G(NZ), H(hv.size() * NY * NZ);
  size_t g = 0;
  while (g < order.size()) {
    const int32_t h = hp[order[g]], k = kp[order[g]];
    std::fill(G.begin(), G.end(), Cx{});
    for (; g < order.size() && hp[order[g]] == h && kp[order[g]] == k; ++g) {
      const FOURIERTERM& t = terms[order[g]];
      const Cx* e = &ez[static_cast<size_t>(lp[order[g]]) * NZ];
      for (size_t z = 0; z < NZ; ++z) {
        G[z].re += t.A * e[z].re - t.B * e[z].im;
        G[z].im += t.A * e[z].im + t.B * e[z].re;
      }
    }
    Cx* Hh = &H[static_cast<size_t>(h) * NY * NZ];
    const Cx* e = &ey[static_cast<size_t>(k) * NY];
    for (size_t y = 0; y < NY; ++y)
      for (size_t z = 0; z < NZ; ++z) {
        Hh[y * NZ + z].re += G[z].re * e[y].re - G[z].im * e[y].im;
        Hh[y * NZ + z].im += G[z].re * e[y].im + G[z].im * e[y].re;
      }
  }
  // Stage 3, per x plane: the real part of sum over h of H(y, z) e^(-2 pi i h x).
  const size_t plane = NY * NZ;
  for (size_t x = 0; x < NX; ++x) {
    double* o = &out[x * plane];
    for (size_t h = 0; h < hv.size(); ++h) {
      const Cx e = ex[h * NX + x];
      const Cx* Hh = &H[h * plane];
      for (size_t p = 0; p < plane; ++p) o[p] += Hh[p].re * e.re - Hh[p].im * e.im;
    }
  }
}

void SumSeriesDirect(const std::vector<FOURIERTERM>& terms, int32_t nx, int32_t ny, int32_t nz, double x0,
                     double y0, double z0, double sx, double sy, double sz, std::vector<double>& out) {
  out.assign(static_cast<size_t>(std::max(nx, 0) * std::max(ny, 0) * std::max(nz, 0)), 0.0);
  size_t p = 0;
  for (int32_t i = 0; i < nx; ++i)
    for (int32_t j = 0; j < ny; ++j)
      for (int32_t k = 0; k < nz; ++k, ++p) {
        const double x = x0 + i * sx, y = y0 + j * sy, z = z0 + k * sz;
        double v = 0;
        for (const FOURIERTERM& t : terms) {
          const double a = TwoPi * (t.h * x + t.k * y + t.l * z);
          v += t.A * std::cos(a) + t.B * std::sin(a);
        }
        out[p] = v;
      }
}

double FourierSumAtPoint(bool withDerivatives, double x, double y, double z, int32_t n) {
  n = std::clamp(n, 0, static_cast<int32_t>(FourierIndexList.size()));
  double v = 0;
  if (withDerivatives) {
    for (int32_t a = 1; a <= 3; ++a) {
      WorkVector[a] = 0;
      for (int32_t b = 1; b <= 3; ++b) WorkMatrix[a][b] = 0;
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    const FOURIERTERM& t = FourierIndexList[static_cast<size_t>(i)];
    const double a = TwoPi * (t.h * x + t.k * y + t.l * z);
    const double c = std::cos(a), s = std::sin(a);
    const double w = t.A * c + t.B * s;
    v += w;
    if (!withDerivatives) continue;
    const double q[4] = {0, double(t.h), double(t.k), double(t.l)};
    const double gs = t.A * s - t.B * c;
    for (int32_t p = 1; p <= 3; ++p) {
      WorkVector[p] += q[p] * gs;
      for (int32_t r = 1; r <= 3; ++r) WorkMatrix[p][r] -= q[p] * q[r] * w * TwoPi;
      WorkMatrix[p][p] += 1e-5;
    }
  }
  return v;
}

void ComputeFourierMap(int32_t& n, int32_t phase, int32_t source) {
  if (source != 2) GenerateFourierTerms(phase, source);
  auto& list = FourierIndexList;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [](const FOURIERTERM& t) { return std::max(std::abs(t.A), std::abs(t.B)) < 1e-5; }),
             list.end());
  n = static_cast<int32_t>(list.size());
  FourierTermCount = n;
  int64_t hmin = 100, hmax = -100, kmin = 100, kmax = -100, lmin = 100, lmax = -100, first = 100;
  for (const FOURIERTERM& t : list) {
    hmin = std::min<int64_t>(hmin, t.h), hmax = std::max<int64_t>(hmax, t.h);
    kmin = std::min<int64_t>(kmin, t.k), kmax = std::max<int64_t>(kmax, t.k);
    lmin = std::min<int64_t>(lmin, t.l), lmax = std::max<int64_t>(lmax, t.l);
    const int64_t sum = std::abs(int64_t{t.h}) + std::abs(int64_t{t.k}) + std::abs(int64_t{t.l});
    if (sum != 0) first = std::min(first, sum);
  }
  ResolutionX = 1.0 / static_cast<double>(std::max<int64_t>(hmax - hmin + 1, 1)) / 1.4142136;
  ResolutionY = 1.0 / static_cast<double>(std::max<int64_t>(kmax - kmin + 1, 1)) / 1.4142136;
  ResolutionZ = 1.0 / static_cast<double>(std::max<int64_t>(2 * lmax + 1, 1)) / 1.4142136;
  LogLine(std::string(19 - 12, ' ') + "Sensitivity " + FormatNumber(7, 4, FourierSettings.threshold));
  LogLine(std::string(19 - 16, ' ') + "XYZ-Resolutions " + FormatNumber(9, 3, ResolutionX) +
          FormatNumber(6, 3, ResolutionY) + FormatNumber(6, 3, ResolutionZ));
  if (first != 1) ShowMsg("Warning!  No first reflections");

  const int32_t nx = std::clamp(MapNX, 1, MapPoints), ny = std::clamp(MapNY, 1, MapPoints),
                nz = std::clamp(MapNZ, 1, MapPoints);
  const TFourierSettings& f = FourierSettings;
  std::vector<double> sums;
  SumSeriesOnGrid(list, nx, ny, nz, f.xLow, f.yLow, f.zLow, f.xStep, f.yStep, f.zStep, sums);
  for (double v : sums)
    if (!std::isfinite(v)) {
      ShowMsg("The Fourier sums are not finite numbers; no map made");
      DialogOk = 0;
      return;
    }
  ResetDialogForm(300, 20);
  Form2.top = Scaled(250);
  double hi = -1e16, lo = 1e16;
  for (int32_t x = 0; x <= FourierGrid; ++x)
    for (int32_t y = 0; y <= FourierGrid; ++y)
      for (int32_t z = 0; z <= FourierGrid; ++z) FourierMap[x][y][z] = 0;
  size_t p = 0;
  for (int32_t i = 1; i <= nx; ++i) {
    Form2.caption = std::to_string(i) + " steps out of " + std::to_string(nx) + " done";
    ShowDialogModeless();
    for (int32_t j = 1; j <= ny; ++j)
      for (int32_t k = 1; k <= nz; ++k, ++p) {
        const double v = std::max(0.0, sums[p]);
        FourierMap[i][j][k] = v + 1e-7 * (((i - 1) * ny + j) * nz + k);
        hi = std::max(hi, v), lo = std::min(lo, v);
      }
  }
  Form2.Close();
  const double scale = 1000.0 / std::max(hi, 1.0);
  for (int32_t i = 1; i <= MapPoints; ++i)
    for (int32_t j = 1; j <= MapPoints; ++j)
      for (int32_t k = 1; k <= MapPoints; ++k) FourierMap[i][j][k] *= scale;
  MapMax = 1000, MapMin = 0;
}
