#include "core/envelope_solve.h"
#include <algorithm>
#include <cmath>

namespace {
constexpr double LargestElement = 1e150;     // beyond: products might overflow in a full sweep
constexpr double MaxInflation = 1e6;          // variance inflation C_ii A_ii of any parameter
constexpr double MinEigenvalue = 1e-10;       // beyond: the full inversion decides
constexpr double MinPivotShare = 1e-7;        // a pivot keeps at least this share of its diagonal

// sum a[k] b[k], k < count.
double Dot(const double* a, const double* b, int32_t count) {
  double s0 = 0, s1 = 0;
  int32_t k = 0;
  for (; k + 1 < count; k += 2) {
    s0 += a[k] * b[k];
    s1 += a[k + 1] * b[k + 1];
  }
  if (k < count) s0 += a[k] * b[k];
  return s0 + s1;
}
}  // namespace

// The new order perm_[1..n] (old row of each new row) and where_ (its inverse): rows shared by
// many others last in their order, the rest by reverse Cuthill-McKee from
// a row of least degree in each connected part. The graph is in adjStart_/adj_.
void TEnvelopeSolver::Order(int32_t n) {
  // Shared rows: more than twice the median degree, and more than a quarter of the rows.
  where_.assign(degree_.begin() + 1, degree_.begin() + n + 1);
  std::nth_element(where_.begin(), where_.begin() + n / 2, where_.end());
  const int32_t denseDegree = std::max(n / 4, 2 * where_[static_cast<size_t>(n / 2)]);
  auto dense = [&](int32_t i) { return degree_[static_cast<size_t>(i)] > denseDegree; };
  perm_.assign(static_cast<size_t>(n) + 1, 0);
  seen_.assign(static_cast<size_t>(n) + 1, 0);
  // The starts: the sparse rows by ascending degree (the first of equal ones first).
  where_.clear();
  for (int32_t i = 1; i <= n; ++i)
    if (!dense(i)) where_.push_back(i);
  std::stable_sort(where_.begin(), where_.end(), [&](int32_t a, int32_t b) {
    return degree_[static_cast<size_t>(a)] < degree_[static_cast<size_t>(b)];
  });
  queue_.clear();
  int32_t placed = 0;
  for (size_t next = 0;;) {
    while (next < where_.size() && seen_[static_cast<size_t>(where_[next])]) ++next;
    if (next == where_.size()) break;
    const int32_t startRow = where_[next];
    seen_[static_cast<size_t>(startRow)] = 1;
    queue_.assign(1, startRow);
    for (size_t head = 0; head < queue_.size(); ++head) {
      const int32_t v = queue_[head];
      perm_[static_cast<size_t>(++placed)] = v;
      const size_t from = queue_.size();
      for (int32_t a = adjStart_[static_cast<size_t>(v)]; a < adjStart_[static_cast<size_t>(v) + 1]; ++a) {
        const int32_t w = adj_[static_cast<size_t>(a)];
        if (seen_[static_cast<size_t>(w)] || dense(w)) continue;
        seen_[static_cast<size_t>(w)] = 1;
        queue_.push_back(w);
      }
      // The few new neighbours by ascending degree, equal ones in their order: an insertion
      // sort, stable like std::stable_sort but without its buffer from the heap.
      for (size_t k = from + 1; k < queue_.size(); ++k) {
        const int32_t w = queue_[k];
        size_t at = k;
        for (; at > from && degree_[static_cast<size_t>(queue_[at - 1])] > degree_[static_cast<size_t>(w)]; --at)
          queue_[at] = queue_[at - 1];
        queue_[at] = w;
      }
    }
  }
  std::reverse(perm_.begin() + 1, perm_.begin() + placed + 1);
  for (int32_t i = 1; i <= n; ++i)
    if (dense(i)) perm_[static_cast<size_t>(++placed)] = i;
  where_.assign(static_cast<size_t>(n) + 1, 0);
  for (int32_t k = 1; k <= n; ++k) where_[static_cast<size_t>(perm_[static_cast<size_t>(k)])] = k;
}

bool TEnvelopeSolver::Solve(const double* mat, int32_t n, const double* rhs, double* step, double* inverseDiagonal) {
  if (n < 2) return false;
  auto A = [&](int32_t i, int32_t j) { return mat[static_cast<size_t>(i) + static_cast<size_t>(j - 1) * n]; };
  // The pattern of the upper triangle, column by column (edgeStart_[j] .. edgeStart_[j + 1] - 1
  // in edges_: the rows i < j of the non-zeros); a dense matrix is declined on the way.
  const size_t limit = static_cast<size_t>(n) * n / 4;  // half the upper triangle
  edges_.resize(limit + static_cast<size_t>(n) + 1);
  edgeStart_.assign(static_cast<size_t>(n) + 2, 0);
  size_t nonZeros = 0;
  bool bad = false;
  for (int32_t j = 1; j <= n; ++j) {
    const double* col = mat + static_cast<size_t>(j - 1) * n;
    const double d = col[j];
    bad |= !(d > 0 && d < LargestElement);
    // The non-zeros, four rows at a time: most groups of a sparse column are all zero. Only a
    // group with a non-zero (a NaN or an infinity is one) can hold a huge or non-finite element.
    int32_t* e = edges_.data() + nonZeros;
    int32_t c = 0, i = 1;
    auto take = [&](int32_t k) {
      e[c] = k;
      c += col[k] != 0;
      bad |= !(std::fabs(col[k]) < LargestElement);
    };
    for (; i + 3 < j; i += 4) {
      if (((col[i] != 0) | (col[i + 1] != 0) | (col[i + 2] != 0) | (col[i + 3] != 0)) == 0) continue;
      for (int32_t k = i; k < i + 4; ++k) take(k);
    }
    for (; i < j; ++i) take(i);
    nonZeros += static_cast<size_t>(c);
    edgeStart_[static_cast<size_t>(j) + 1] = static_cast<int32_t>(nonZeros);
    if (bad || nonZeros > limit) return false;
  }
  // Degrees and the symmetric adjacency.
  degree_.assign(static_cast<size_t>(n) + 1, 0);
  for (int32_t j = 1; j <= n; ++j)
    for (int32_t a = edgeStart_[static_cast<size_t>(j)]; a < edgeStart_[static_cast<size_t>(j) + 1]; ++a)
      ++degree_[static_cast<size_t>(edges_[static_cast<size_t>(a)])], ++degree_[static_cast<size_t>(j)];
  adjStart_.assign(static_cast<size_t>(n) + 2, 0);
  for (int32_t i = 1; i <= n; ++i)
    adjStart_[static_cast<size_t>(i) + 1] = adjStart_[static_cast<size_t>(i)] + degree_[static_cast<size_t>(i)];
  adj_.resize(2 * nonZeros);
  queue_.assign(adjStart_.begin(), adjStart_.end());
  for (int32_t j = 1; j <= n; ++j)
    for (int32_t a = edgeStart_[static_cast<size_t>(j)]; a < edgeStart_[static_cast<size_t>(j) + 1]; ++a) {
      const int32_t i = edges_[static_cast<size_t>(a)];
      adj_[static_cast<size_t>(queue_[static_cast<size_t>(i)]++)] = j;
      adj_[static_cast<size_t>(queue_[static_cast<size_t>(j)]++)] = i;
    }
  Order(n);

  // The envelope of each new row: from its first non-zero column to the diagonal.
  first_.assign(static_cast<size_t>(n) + 1, 0);
  start_.assign(static_cast<size_t>(n) + 2, 0);
  double cost = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t old = perm_[static_cast<size_t>(i)];
    int32_t f = i;
    for (int32_t a = adjStart_[static_cast<size_t>(old)]; a < adjStart_[static_cast<size_t>(old) + 1]; ++a)
      f = std::min(f, where_[static_cast<size_t>(adj_[static_cast<size_t>(a)])]);
    first_[static_cast<size_t>(i)] = f;
    start_[static_cast<size_t>(i) + 1] = start_[static_cast<size_t>(i)] + (i - f + 1);
    for (int32_t j = f; j < i; ++j) cost += j - std::max(f, first_[static_cast<size_t>(j)]);
  }
  // Beyond half a dense factorisation (with the recurrences a third of the full sweep's work) the
  // full inversion is as good.
  if (cost > double(n) * n * n / 12) return false;
  const size_t size = static_cast<size_t>(start_[static_cast<size_t>(n) + 1]);
  factor_.assign(size, 0.0);
  inverse_.assign(size, 0.0);
  work_.assign(3 * (static_cast<size_t>(n) + 1), 0.0);  // the step, L(k, j) of a column, its sums

  // Cholesky, row by row: L(i, j) = (A(i, j) - sum_k L(i, k) L(j, k)) / L(j, j).
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t oi = perm_[static_cast<size_t>(i)], fi = first_[static_cast<size_t>(i)];
    double* row = &L(i, fi);
    for (int32_t j = fi; j < i; ++j) {
      const int32_t fj = first_[static_cast<size_t>(j)], k0 = std::max(fi, fj);
      const double s = A(oi, perm_[static_cast<size_t>(j)]) - Dot(&L(i, k0), &L(j, k0), j - k0);
      row[j - fi] = s / L(j, j);
    }
    const double a = A(oi, oi);
    const double d = a - Dot(row, row, i - fi);
    if (!(d > MinPivotShare * a)) return false;
    L(i, i) = std::sqrt(d);
  }
  // The step: L y = b, then L^T x = y.
  double* x = work_.data();
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t fi = first_[static_cast<size_t>(i)];
    x[i] = (rhs[perm_[static_cast<size_t>(i)]] - Dot(&L(i, fi), x + fi, i - fi)) / L(i, i);
  }
  for (int32_t i = n; i >= 1; --i) {
    const int32_t fi = first_[static_cast<size_t>(i)];
    x[i] /= L(i, i);
    const double* row = &L(i, fi);
    for (int32_t k = fi; k < i; ++k) x[k] -= row[k - fi] * x[i];
  }
  // The rows k > j of each column j of the factor, ascending.
  colStart_.assign(static_cast<size_t>(n) + 2, 0);
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = first_[static_cast<size_t>(i)]; j < i; ++j) ++colStart_[static_cast<size_t>(j) + 1];
  for (int32_t j = 1; j <= n; ++j) colStart_[static_cast<size_t>(j) + 1] += colStart_[static_cast<size_t>(j)];
  colRows_.resize(static_cast<size_t>(colStart_[static_cast<size_t>(n) + 1]));
  std::vector<int32_t>& fill = queue_;
  fill.assign(colStart_.begin(), colStart_.end());
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = first_[static_cast<size_t>(i)]; j < i; ++j) colRows_[static_cast<size_t>(fill[static_cast<size_t>(j)]++)] = i;
  // Takahashi: Z = A^-1 on the envelope, from the last column back,
  // Z(i, j) = -sum_k Z(i, k) L(k, j) / L(j, j), Z(j, j) = 1 / L(j, j)^2 - sum_k Z(j, k) L(k, j) / L(j, j).
  // Z(i, k) = inverse_[zRow_[i] + k] for first_[i] <= k <= i; the column's L(k, j) gathered in lk,
  // its sums in sums: Z(R, R) lk over the lower triangle of the symmetric block, each element
  // read once.
  zRow_.resize(static_cast<size_t>(n) + 1);
  for (int32_t i = 1; i <= n; ++i) zRow_[static_cast<size_t>(i)] = start_[static_cast<size_t>(i)] - first_[static_cast<size_t>(i)];
  const double* zBase = inverse_.data();
  double* lk = work_.data() + n + 1;
  double* sums = lk + n + 1;
  double trace = 0;
  for (int32_t j = n; j >= 1; --j) {
    const int32_t* rows = colRows_.data() + colStart_[static_cast<size_t>(j)];
    const int32_t count = colStart_[static_cast<size_t>(j) + 1] - colStart_[static_cast<size_t>(j)];
    const double inv = 1 / L(j, j);
    for (int32_t a = 0; a < count; ++a) lk[a] = L(rows[a], j), sums[a] = 0;
    for (int32_t a = 0; a < count; ++a) {
      const int64_t za = zRow_[static_cast<size_t>(rows[a])];
      double sa = zBase[za + rows[a]] * lk[a];
      for (int32_t b = 0; b < a; ++b) {
        const double zab = zBase[za + rows[b]];
        sa += zab * lk[b];
        sums[b] += zab * lk[a];
      }
      sums[a] += sa;
    }
    double s = 0;
    for (int32_t a = 0; a < count; ++a) {
      const double zij = -sums[a] * inv;
      Z(rows[a], j) = zij;
      s += zij * lk[a];
    }
    const double zjj = (inv - s) * inv;
    Z(j, j) = zjj;
    const int32_t oj = perm_[static_cast<size_t>(j)];
    if (!(zjj > 0 && zjj * A(oj, oj) <= MaxInflation) || !std::isfinite(x[j])) return false;
    trace += zjj;
  }
  if (!(trace * MinEigenvalue <= 1)) return false;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t oi = perm_[static_cast<size_t>(i)];
    step[oi] = x[i];
    inverseDiagonal[oi] = Z(i, i);
  }
  return true;
}
