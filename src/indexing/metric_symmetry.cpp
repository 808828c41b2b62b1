// Metric symmetry: a greedy (Minkowski) reduction of the basis, whose lattice rotations map each
// basis vector onto one of the 26 vectors of indices -1, 0, 1; of those maps the ones that keep
// the metric, and the metric averaged over them.
#include "indexing/metric_symmetry.h"
#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Mat = std::array<std::array<double, 3>, 3>;
using IMat = std::array<std::array<int64_t, 3>, 3>;

// M G M^T of integer rows M.
Mat Transform(const IMat& M, const Mat& G) {
  Mat out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) s += static_cast<double>(M[i][k] * M[j][l]) * G[k][l];
      out[i][j] = s;
    }
  return out;
}

double Norm(const std::array<int64_t, 3>& v, const Mat& G) {
  double s = 0;
  for (int k = 0; k < 3; ++k)
    for (int l = 0; l < 3; ++l) s += static_cast<double>(v[k] * v[l]) * G[k][l];
  return s;
}

int64_t Det(const IMat& M) {
  return M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) - M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
         M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
}

// Inverse of a symmetric positive matrix; false when it is singular.
bool Invert(const Mat& G, Mat& out) {
  const double det = InvertMatrix3(G, out);
  return det > 0 && std::isfinite(det);
}

// Rows of M replaced by shorter lattice vectors until none is: b_j - round(g_ij / g_ii) b_i, then
// b_k + s b_i + t b_j (s, t in -1..1). Rows stay a basis (unimodular steps).
void Reduce(const Mat& G, IMat& M) {
  M = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  for (int pass = 0; pass < 64; ++pass) {
    bool changed = false;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        if (i == j) continue;
        const Mat g = Transform(M, G);
        const double m = std::nearbyint(g[i][j] / g[i][i]);
        if (m == 0 || !std::isfinite(m) || std::fabs(m) > 1e6) continue;
        for (int k = 0; k < 3; ++k) M[j][k] -= static_cast<int64_t>(m) * M[i][k];
        changed = true;
      }
    for (int k = 0; k < 3; ++k) {
      const int i = (k + 1) % 3, j = (k + 2) % 3;
      double best = Norm(M[k], G);
      std::array<int64_t, 3> keep = M[k];
      for (int s = -1; s <= 1; ++s)
        for (int t = -1; t <= 1; ++t) {
          std::array<int64_t, 3> v;
          for (int c = 0; c < 3; ++c) v[c] = M[k][c] + s * M[i][c] + t * M[j][c];
          if (const double n = Norm(v, G); n < best * (1 - 1e-12)) best = n, keep = v;
        }
      if (keep != M[k]) M[k] = keep, changed = true;
    }
    if (!changed) return;
  }
}

IMat Product(const IMat& A, const IMat& B) {
  IMat out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) out[i][j] += A[i][k] * B[k][j];
  return out;
}

// The adjugate: the inverse of a matrix of determinant 1.
IMat Adjugate(const IMat& M) {
  IMat out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
      out[i][j] = M[i1][j1] * M[i2][j2] - M[i1][j2] * M[i2][j1];
    }
  return out;
}

}  // namespace

double InvertMatrix3(const Matrix3& g, Matrix3& inverse) {
  Matrix3& r = inverse;
  r[0][0] = g[1][1] * g[2][2] - g[1][2] * g[2][1];
  r[0][1] = g[0][2] * g[2][1] - g[0][1] * g[2][2];
  r[0][2] = g[0][1] * g[1][2] - g[0][2] * g[1][1];
  r[1][0] = g[1][2] * g[2][0] - g[1][0] * g[2][2];
  r[1][1] = g[0][0] * g[2][2] - g[0][2] * g[2][0];
  r[1][2] = g[0][2] * g[1][0] - g[0][0] * g[1][2];
  r[2][0] = g[1][0] * g[2][1] - g[1][1] * g[2][0];
  r[2][1] = g[0][1] * g[2][0] - g[0][0] * g[2][1];
  r[2][2] = g[0][0] * g[1][1] - g[0][1] * g[1][0];
  const double det = g[0][0] * r[0][0] + g[0][1] * r[1][0] + g[0][2] * r[2][0];
  for (auto& row : r)
    for (double& x : row) x /= det;
  return det;
}

bool FindMetricSymmetry(const double (&cell)[6], double tolerance, MetricSymmetry& out) {
  out = MetricSymmetry{};
  const double a = cell[0], b = cell[1], c = cell[2];
  const Mat G = {{{a * a, a * b * cell[5], a * c * cell[4]},
                  {a * b * cell[5], b * b, b * c * cell[3]},
                  {a * c * cell[4], b * c * cell[3], c * c}}};
  Mat inverse;
  if (!Invert(G, inverse)) return false;
  IMat M;
  Reduce(G, M);
  const Mat g = Transform(M, G);
  // The 26 vectors of indices -1, 0, 1 on the reduced basis, and the images of each basis vector
  // among them: vectors of its length.
  std::array<std::array<int64_t, 3>, 26> images[3];
  int32_t count[3] = {0, 0, 0};
  for (int code = 0; code < 27; ++code) {
    const std::array<int64_t, 3> v = {code % 3 - 1, code / 3 % 3 - 1, code / 9 - 1};
    if (v[0] == 0 && v[1] == 0 && v[2] == 0) continue;
    const double n = Norm(v, g);
    for (int i = 0; i < 3; ++i)
      if (std::fabs(n - g[i][i]) <= tolerance * g[i][i]) images[i][count[i]++] = v;
  }
  Mat sum{};
  int32_t order = 0;
  for (int32_t i0 = 0; i0 < count[0]; ++i0)
    for (int32_t i1 = 0; i1 < count[1]; ++i1)
      for (int32_t i2 = 0; i2 < count[2]; ++i2) {
        const IMat R = {images[0][i0], images[1][i1], images[2][i2]};
        if (Det(R) != 1) continue;
        const Mat h = Transform(R, g);
        bool keeps = true;
        for (int i = 0; i < 3 && keeps; ++i)
          for (int j = i + 1; j < 3 && keeps; ++j)
            keeps = std::fabs(h[i][j] - g[i][j]) <= tolerance * std::sqrt(g[i][i] * g[j][j]);
        if (!keeps) continue;
        // On the cell's own basis the rotation is M^-1 R M (M unimodular: its adjugate).
        if (order < 24) {
          const IMat A = Adjugate(M), RM = Product(R, M), own = Product(A, RM);
          for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) out.rotations[order][i][j] = static_cast<int32_t>(own[i][j]);
        }
        ++order;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) sum[i][j] += h[i][j];
      }
  if (order < 1) return false;  // the identity is always kept; not found: not a cell
  out.order = order;
  out.freeParameters = order >= 24 ? 1 : order >= 6 ? 2 : order >= 4 ? 3 : order >= 2 ? 4 : 6;
  // The averaged metric back on the cell's own basis: G = M^-1 g M^-T; its inverse is the
  // reciprocal metric, M^T g^-1 M.
  Mat averaged{}, gInverse;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) averaged[i][j] = sum[i][j] / order;
  if (!Invert(averaged, gInverse)) return false;
  Mat r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) r[i][j] += static_cast<double>(M[k][i] * M[l][j]) * gInverse[k][l];
  out.reciprocal[0] = r[0][0], out.reciprocal[1] = r[1][1], out.reciprocal[2] = r[2][2];
  out.reciprocal[3] = 2 * r[0][1], out.reciprocal[4] = 2 * r[0][2], out.reciprocal[5] = 2 * r[1][2];
  return true;
}

int32_t KeptMetricBasis(const MetricSymmetry& symmetry, double (&basis)[6][6]) {
  // The average of R^T r R over the rotations projects a reciprocal metric r onto the kept ones
  // (r^-1 kept by R means r kept by R^-T, and the group holds every inverse). The images of the
  // six unit metrics span the kept space; Gram-Schmidt keeps an orthonormal basis of them.
  static constexpr int Pair[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}};
  const int32_t order = std::min(symmetry.order, 24);
  int32_t count = 0;
  for (int u = 0; u < 6 && order > 0; ++u) {
    Mat r{};
    r[Pair[u][0]][Pair[u][1]] = r[Pair[u][1]][Pair[u][0]] = 1;
    Mat sum{};
    for (int32_t n = 0; n < order; ++n) {
      const auto& R = symmetry.rotations[n];
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
          double s = 0;
          for (int k = 0; k < 3; ++k)
            for (int l = 0; l < 3; ++l) s += R[k][i] * r[k][l] * R[l][j];
          sum[i][j] += s;
        }
    }
    // As A..F: the cross terms D, E, F are twice the off-diagonal elements.
    double v[6];
    for (int m = 0; m < 6; ++m) v[m] = sum[Pair[m][0]][Pair[m][1]] * (m < 3 ? 1 : 2) / order;
    for (int32_t b = 0; b < count; ++b) {
      double dot = 0;
      for (int m = 0; m < 6; ++m) dot += v[m] * basis[b][m];
      for (int m = 0; m < 6; ++m) v[m] -= dot * basis[b][m];
    }
    double norm = 0;
    for (int m = 0; m < 6; ++m) norm += v[m] * v[m];
    if (norm < 1e-18) continue;
    norm = std::sqrt(norm);
    for (int m = 0; m < 6; ++m) basis[count][m] = v[m] / norm;
    if (++count == 6) break;
  }
  return count;
}
