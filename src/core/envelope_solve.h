// The step of a damped Gauss-Newton iteration from a sparse normal matrix: a symmetric ordering
// (rows coupled to most others last, the rest by reverse Cuthill-McKee), a Cholesky factor in
// envelope (skyline) storage and the diagonal of the inverse by the Takahashi recurrences on the
// same envelope. A peak fit's matrix couples each peak only to its overlapping neighbours and to
// a few rows shared by all (background, width law), so this costs about n (b + s)^2 instead of
// the n^3 of a full inversion (b the band, s the shared rows).
//
// The solver declines (returns false) where its answer might part from the full inversion's by
// more than rounding, or where the full inversion might find the matrix singular: a dense
// matrix, a non-finite or huge element, a pivot that loses most of its diagonal, a parameter
// whose variance inflation exceeds 1e6, or a smallest eigenvalue that cannot be shown above
// 1e-10 (1 / trace of the inverse bounds it from below).
#pragma once
#include <cstdint>
#include <vector>

class TEnvelopeSolver {
public:
  // mat: the symmetric matrix of order n, element (i, j) at mat[i + (j - 1) n], i, j = 1..n
  // (both triangles); rhs[1..n]. On success step[1..n] = A^-1 rhs and inverseDiagonal[1..n] =
  // diag(A^-1); nothing is written on a decline.
  bool Solve(const double* mat, int32_t n, const double* rhs, double* step, double* inverseDiagonal);

private:
  void Order(int32_t n);
  double& L(int32_t i, int32_t j) { return factor_[start_[i] + (j - first_[i])]; }
  double& Z(int32_t i, int32_t j) { return inverse_[start_[i] + (j - first_[i])]; }

  std::vector<int32_t> degree_, perm_, where_, first_, start_, queue_;
  std::vector<int32_t> edgeStart_, edges_;     // the non-zeros above the diagonal by column
  std::vector<int32_t> adjStart_, adj_;        // the graph of the off-diagonal non-zeros
  std::vector<int32_t> colStart_, colRows_;    // per column j of the factor: rows k > j reaching it
  std::vector<uint8_t> seen_;
  std::vector<double> factor_, inverse_, work_;
  std::vector<int64_t> zRow_;
};
