// The normal equations of the fit engine: accumulation over the non-zero derivatives of a point,
// mirroring and folding, damping, the Gauss-Jordan inversion, the step, the errors and the traces.
#include <algorithm>
#include <cmath>
#include <string_view>
#include "core/fit_engine.h"
#include "core/number_format.h"
#include "core/text_file.h"

namespace {
// The texts of items 1..count to LogFile, perLine to a line, each line ending with suffix.
template <class Text>
void LogRows(int32_t count, int32_t perLine, Text text, std::string_view suffix = {}) {
  std::string line;
  for (int32_t k = 1; k <= count; ++k) {
    line += text(k);
    if (k % perLine == 0 || k == count) {
      line += suffix;
      LogLine(line);
      line.clear();
    }
  }
}
}  // namespace

// Over all engines, so that no two sweeps share a number.
uint64_t TParameter::NextSweepSerial() {
  static uint64_t sweeps = 0;
  return ++sweeps;
}

void TParameter::ClearNormalEquations() {
  SweepSerial = NextSweepSerial();
  ZeroWeightCount = 0;
  DerivativeHintCount = -1;
  skipFixedRows_ = FullOrder && FoldRhsOnly == 0;
  for (int32_t i = 0; i <= NPar && i < static_cast<int32_t>(Records.size()); ++i) {
    RightSide[i] = 0;
    Diagonal[i] = 0;
    Records[i].Derivative = 0;
    fixedRow_[static_cast<size_t>(i)] = i >= 1 && Fixed(i);
  }
  std::fill(Matrix.begin(), Matrix.begin() + (static_cast<size_t>(NFree) * NFree + 1), 0.0);
  std::fill(stepVector_.begin(), stepVector_.begin() + NFree + 1, 0.0);
  block_.Reset(NFree);
  MaxDerivativeDifference = 0;
  MaxDerivativeIndex = 0;
}

void TParameter::AccumulatePoint(double w, double rw, double r) {
  const int32_t n = NFree;
  // The derivatives: the model's own array (DerivativeArray) or the records'.
  double* const array = DerivativeArray;
  DerivativeArray = nullptr;  // used once
  ParameterRecord* const rec = Records.data();
  int32_t* idx = nzIndex_.data();
  double* val = nzValue_.data();
  int32_t nz = 0;
  auto gather = [&](auto D) {
    if (!FullOrder)
      for (int32_t i : dependents_) D(rec[i].n) += rec[i].a * D(i);
    // The derivatives of the matrix rows that are not zero at this point, four rows at a time:
    // in a sparse fit most groups are all zero and are passed over at once; the rest are
    // compacted without branches (all of them when the last point had mostly non-zero ones).
    auto compact = [&](auto recordOf) {
      auto keep = [&](int32_t k, double d) {
        idx[nz] = k;
        val[nz] = d;
        nz += d != 0;
      };
      int32_t k = 1;
      if (lastNz_ == n) {
        // Every row non-zero at the last point: one plain pass (it vectorises), compacted in
        // place only when a zero turns up.
        int32_t zeros = 0;
        for (; k <= n; ++k) {
          const double d = D(recordOf(k));
          idx[k - 1] = k;
          val[k - 1] = d;
          zeros += d == 0;
        }
        nz = n;
        if (zeros > 0) {
          nz = 0;
          for (int32_t a = 1; a <= n; ++a) keep(a, val[a - 1]);
        }
      } else if (2 * lastNz_ > n) {
        for (; k <= n; ++k) keep(k, D(recordOf(k)));
      }
      for (; k + 3 <= n; k += 4) {
        const double d0 = D(recordOf(k)), d1 = D(recordOf(k + 1)), d2 = D(recordOf(k + 2)), d3 = D(recordOf(k + 3));
        if (((d0 != 0) | (d1 != 0) | (d2 != 0) | (d3 != 0)) == 0) continue;
        keep(k, d0);
        keep(k + 1, d1);
        keep(k + 2, d2);
        keep(k + 3, d3);
      }
      for (; k <= n; ++k) keep(k, D(recordOf(k)));
    };
    // With the model's hint only the named rows are read (ascending rows, as the full scan gives).
    bool hinted = DerivativeHintCount >= 0 &&
                  DerivativeHintCount <= static_cast<int32_t>(DerivativeHint.size()) && dependents_.empty() &&
                  !hessianActive_;
    // A record's row is itself in full order, else rowOf_ (0: fixed); both are at most n.
    auto readHint = [&](auto rowOfRecord) {
      const int32_t* h = DerivativeHint.data();
      const int32_t count = DerivativeHintCount, last = NPar;
      for (int32_t a = 0, previous = 0; a < count; ++a) {
        const int32_t i = h[a];
        if (i <= previous) {
          hinted = false;  // not ascending: the full scan below
          nz = 0;
          return;
        }
        previous = i;
        if (i > last) return;  // ascending: no later one is a record either
        const int32_t k = rowOfRecord(i);
        if (k == 0) continue;
        const double d = D(i);
        idx[nz] = k;
        val[nz] = d;
        nz += d != 0;
      }
    };
    if (hinted) {
      if (FullOrder)
        readHint([](int32_t i) { return i; });
      else
        readHint([row = rowOf_.data()](int32_t i) { return row[i]; });
    }
    if (!hinted) {
      if (FullOrder)
        compact([](int32_t k) { return k; });
      else
        compact([row = freeIndex_.data()](int32_t k) { return row[k]; });
    }
  };
  if (array)
    gather([array](int32_t i) -> double& { return array[i]; });
  else
    gather([rec](int32_t i) -> double& { return rec[i].Derivative; });
  DerivativeHintCount = -1;  // used once
  lastNz_ = nz;
  if (TraceDerivatives)
    LogRows(n, 5, [&](int32_t k) { return FormatNumber(13, 4, rec[FullOrder ? k : freeIndex_[k]].Derivative); },
            "  deriv");
  double* rhs = RightSide.data();
  double* mat = Matrix.data();
  double* diag = Diagonal.data();
  if (hessianActive_) {
    for (int32_t a = 0; a < nz; ++a) rhs[idx[a]] += rw * val[a];
    // Final pass of a small full-order fit: N = sum W'(D D^T - r H).
    for (int32_t j = 1; j <= n; ++j) {
      double dj = rec[j].Derivative;
      for (int32_t i = 1; i <= j; ++i) {
        double t = rec[i].Derivative * dj;
        t = t - r * hessian_[j][i];
        t = t * w;
        if (i == j)
          diag[i] += t;
        else
          M(i, j) += t;
      }
    }
  } else {
    // The right-hand side and the diagonal in one pass; every row non-zero (rows 1..n in order):
    // by plain vectors.
    if (nz == n) {
      for (int32_t a = 0; a < nz; ++a) {
        rhs[a + 1] += rw * val[a];
        diag[a + 1] += (val[a] * val[a]) * w;
      }
    } else {
      for (int32_t a = 0; a < nz; ++a) {
        const int32_t k = idx[a];
        rhs[k] += rw * val[a];
        diag[k] += (val[a] * val[a]) * w;
      }
    }
    if (skipFixedRows_ && nz < n) {
      // Fixed rows: the diagonal only; the rest keep their order.
      const uint8_t* fixed = fixedRow_.data();
      int32_t kept = 0;
      for (int32_t a = 0; a < nz; ++a) {
        const int32_t k = idx[a];
        const double d = val[a];
        if (!fixed[k]) {
          idx[kept] = k;
          val[kept++] = d;
        }
      }
      nz = kept;
    }
    if (nz >= TNormalBlock::MinColumns) {
      // Many columns: with the next points as one rank-k update.
      block_.Add(idx, val, nz, w, mat);
    } else if (nz == n) {
      // Dense: every row is touched; the columns are contiguous.
      for (int32_t b = 0; b < n; ++b) {
        const double dj = val[b];
        double* col = mat + static_cast<size_t>(b) * n + 1;
        for (int32_t a = 0; a < b; ++a) col[a] += (val[a] * dj) * w;
      }
    } else {
      for (int32_t b = 0; b < nz; ++b) {
        const double dj = val[b];
        double* col = mat + static_cast<size_t>(idx[b] - 1) * n;
        for (int32_t a = 0; a < b; ++a) col[idx[a]] += (val[a] * dj) * w;
      }
    }
  }
  if (TraceDiagonal) LogRows(n, 5, [&](int32_t k) { return FormatNumber(14, 4, diag[k]); });
}

void TParameter::SymmetrizeMatrix() {
  const int32_t n = NFree;
  block_.Flush(Matrix.data());
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i + 1; j <= n; ++j) M(j, i) = M(i, j);
    M(i, i) = Diagonal[i];
  }
  double sum = 0;
  for (int32_t i = 1; i <= n; ++i) sum += RightSide[i] * RightSide[i];
  Rms = std::sqrt(sum / std::max(n, 1));
  FoldedCount = 0;
  if (FullOrder) {
    // Fixed rows: identity in the matrix (unless only the right-hand side is folded).
    for (int32_t i = 1; i <= NPar; ++i) {
      if (!Fixed(i)) continue;
      if (FoldRhsOnly == 0) {
        for (int32_t k = 1; k <= n; ++k) {
          M(i, k) = 0;
          M(k, i) = 0;
        }
        M(i, i) = 1;
      }
      RightSide[i] = 0;
      ++FoldedCount;
    }
    // Dependent rows go into their masters: dF/dp_m gains a * dF/dp_i.
    if (!NoDependents) {
      for (int32_t i = 1; i <= NPar; ++i) {
        const ParameterRecord& r = Records[i];
        if (r.n == i) continue;
        const int32_t m = r.n;
        const double a = r.a;
        if (FoldRhsOnly == 0) {
          for (int32_t k = 1; k <= n; ++k) {
            M(k, m) += a * M(k, i);
            M(m, k) += a * M(i, k);
          }
          M(m, m) += a * a * M(i, i);
          RightSide[m] += a * RightSide[i];
          for (int32_t k = 1; k <= n; ++k) {
            M(i, k) = 0;
            M(k, i) = 0;
          }
          M(i, i) = 1;
          RightSide[i] = 0;
        } else {
          RightSide[m] += a * RightSide[i];
          RightSide[i] = 0;
        }
        ++FoldedCount;
      }
    }
  }
  int32_t dof = (NPoints - ZeroWeightCount) / std::max(Skip, 1) - NFree + FoldedCount;
  DegreesOfFreedom = std::max(dof, 1);
  ChiDev = std::sqrt(2.0 / DegreesOfFreedom);
  if (FunctionalLimit < 0) FunctionalLimit = 1 + ChiDev;
}

void TParameter::DampMatrix() {
  const int32_t n = NFree;
  const bool finalFull = Stage == 3 && FullOrder;
  if (finalFull)
    for (int32_t i = 1; i <= n; ++i) RightSide[i] = M(i, i);
  if (Damp != 0) {
    const double d = Stage == 3 ? 1e-5 : Damp;
    for (int32_t i = 1; i <= n; ++i) {
      if (FullOrder && Fixed(i)) continue;
      double x = std::fabs(M(i, i)) * (1 + d);
      if (EmptyRow(x)) x = d;
      M(i, i) = x;
    }
  }
  if (finalFull) CheckMatrixConsistency();
}

// Symmetric sweep in place on the upper triangle, pivoting on the largest unused diagonal
// element: sweeping pivot p maps a_pp to -1/a_pp, a_ip to a_ip/a_pp and a_ij to
// a_ij - a_ip a_pj / a_pp. After all n pivots the matrix is minus the inverse. A pivot that kept
// less than MinSweepPivotShare of its own diagonal (the rows are dependent to rounding) fails the
// inversion: a share, so that the test does not depend on the units of the data or parameters.
void TParameter::InvertNormalMatrix() {
  const int32_t n = NFree;
  Inverted = 1;
  stepSolved_ = false;
  std::fill(pivotUsed_.begin(), pivotUsed_.begin() + n + 1, uint8_t{0});
  for (int32_t i = 1; i <= n; ++i) pivotScale_[i] = std::fabs(M(i, i));
  for (int32_t step = 1; step <= n;) {
    double best = -1;
    const int32_t p = LargestFreeDiagonal(best);
    if (p == 0 || !PivotUsable(best, p)) {
      Inverted = 0;
      return;
    }
    pivotUsed_[p] = 1;
    // Two pivots in one pass over the matrix when a second one follows (the same operations on
    // every element as two single sweeps, in the same order).
    if (step < n && SweepPivotPair(p)) {
      step += 2;
    } else {
      SweepPivot(p);
      ++step;
    }
  }
  double* mat = Matrix.data();
  for (int32_t j = 1; j <= n; ++j) {
    double* colj = mat + static_cast<size_t>(j - 1) * n;
    for (int32_t i = 1; i <= j; ++i) {
      colj[i] = -colj[i];
      M(j, i) = colj[i];
    }
  }
}

bool TParameter::SolveSparseStep() {
  double* inverseDiagonal = pivotRow_.data();
  if (!envelope_.Solve(Matrix.data(), NFree, RightSide.data(), stepVector_.data(), inverseDiagonal)) return false;
  for (int32_t k = 1; k <= NFree; ++k) M(k, k) = inverseDiagonal[k];
  Inverted = 1;
  stepSolved_ = true;
  return true;
}

// The unused row with the largest |diagonal| (the first of equal ones); 0 when none is left.
int32_t TParameter::LargestFreeDiagonal(double& best) const {
  int32_t p = 0;
  best = -1;
  for (int32_t i = 1; i <= NFree; ++i) {
    const double a = std::fabs(M(i, i));
    if (!pivotUsed_[i] && a > best) {
      best = a;
      p = i;
    }
  }
  return p;
}

void TParameter::SweepPivot(int32_t p) {
  const int32_t n = NFree;
  double* mat = Matrix.data();
  double* v = pivotRow_.data();
  double* colp = mat + static_cast<size_t>(p - 1) * n;
  const double inv = 1 / colp[p];
  for (int32_t i = 1; i < p; ++i) v[i] = colp[i];
  for (int32_t i = p + 1; i <= n; ++i) v[i] = M(p, i);
  v[p] = 0;
  // A zero of the pivot row leaves its column as it is (only a zero's sign may differ), unless
  // an infinite or NaN element of the row would spread through 0 * inf.
  bool finiteRow = std::isfinite(inv);
  for (int32_t i = 1; i <= n && finiteRow; ++i) finiteRow = std::isfinite(v[i]);
  for (int32_t j = 1; j <= n; ++j) {
    if (j == p || (v[j] == 0 && finiteRow)) continue;
    double* colj = mat + static_cast<size_t>(j - 1) * n;
    const double f = v[j] * inv;
    const int32_t below = std::min(j, p - 1);
    for (int32_t i = 1; i <= below; ++i) colj[i] -= v[i] * f;
    for (int32_t i = p + 1; i <= j; ++i) colj[i] -= v[i] * f;
  }
  for (int32_t i = 1; i < p; ++i) colp[i] = v[i] * inv;
  for (int32_t i = p + 1; i <= n; ++i) M(p, i) = v[i] * inv;
  colp[p] = -inv;
}

// Sweeps p and then the pivot that the sweep of p would choose next, element by element with
// the arithmetic of two SweepPivot calls. False, with nothing changed, when the rows are not all
// finite or no second pivot qualifies; the caller then sweeps p alone.
bool TParameter::SweepPivotPair(int32_t p) {
  const int32_t n = NFree;
  double* mat = Matrix.data();
  double* v = pivotRow_.data();
  double* u = pivotRow2_.data();
  const double inv = 1 / M(p, p);
  for (int32_t i = 1; i <= n; ++i) v[i] = i <= p ? M(i, p) : M(p, i);
  v[p] = 0;
  bool finite = std::isfinite(inv);
  for (int32_t i = 1; i <= n && finite; ++i) finite = std::isfinite(v[i]);
  if (!finite) return false;
  // The second pivot from the diagonal after the first sweep.
  int32_t q = 0;
  double best = -1;
  for (int32_t i = 1; i <= n; ++i) {
    const double a = std::fabs(M(i, i) - v[i] * (v[i] * inv));
    if (!pivotUsed_[i] && a > best) {
      best = a;
      q = i;
    }
  }
  if (q == 0 || !PivotUsable(best, q)) return false;
  // Row q after the first sweep: a_iq - a_ip a_pq / a_pp, taken on the stored triangle.
  for (int32_t i = 1; i <= n; ++i) {
    if (i <= q)
      u[i] = M(i, q) - v[i] * (v[q] * inv);
    else
      u[i] = M(q, i) - v[q] * (v[i] * inv);
  }
  const double inv2 = 1 / u[q];
  u[p] = v[q] * inv;
  u[q] = 0;
  finite = std::isfinite(inv2);
  for (int32_t i = 1; i <= n && finite; ++i) finite = std::isfinite(u[i]);
  if (!finite) return false;
  pivotUsed_[q] = 1;

  // Every other column: both updates; rows p and q are written afterwards.
  for (int32_t j = 1; j <= n; ++j) {
    if (j == p || j == q) continue;
    double* colj = mat + static_cast<size_t>(j - 1) * n;
    const double f = v[j] * inv, g = u[j] * inv2;
    if (v[j] != 0 || u[j] != 0)
      SweepColumnUpdate(colj + 1, v + 1, u + 1, f, g, j);
    if (p < j) colj[p] = v[j] * inv - u[p] * g;
    if (q < j) colj[q] = u[j] * inv2;
  }
  // Column p (rows above p): the first sweep's v_i / a_pp, then the second's update.
  double* colp = mat + static_cast<size_t>(p - 1) * n;
  const double fp = u[p] * inv2;
  for (int32_t i = 1; i < p; ++i) colp[i] = v[i] * inv - u[i] * fp;
  colp[p] = -inv - u[p] * fp;
  // Column q (rows above q), its diagonal and the element of row q in column p.
  double* colq = mat + static_cast<size_t>(q - 1) * n;
  for (int32_t i = 1; i < q; ++i) colq[i] = u[i] * inv2;
  colq[q] = -inv2;
  if (q < p) colp[q] = u[p] * inv2;
  return true;
}

void TParameter::CheckMatrixConsistency() {
  const int32_t n = NFree;
  Conv = 1;
  for (int32_t i = 1; i <= n; ++i)
    if (M(i, i) < 0) Conv = 0;
  for (int32_t j = 2; j <= n && Conv; ++j) {
    for (int32_t i = 1; i < j; ++i) {
      double mij = M(i, j);
      double m = std::max({M(j, j), M(i, i), std::fabs(mij)});
      if (m == 0 || (M(i, i) / m) * M(j, j) - (mij / m) * mij <= 0) {
        Conv = 0;
        break;
      }
    }
  }
}

void TParameter::ApplyStep(int32_t mode) {
  const int32_t n = NFree;
  if (mode == 0) {
    if (PrintInterval != 0 && Iterations % PrintInterval == 0) PrintIteration(Stage);
    for (int32_t i = 1; i <= n && !stepSolved_; ++i) {
      double s = 0;
      for (int32_t j = 1; j <= n; ++j) s += M(i, j) * RightSide[j];
      stepVector_[i] = s;
    }
    if (TraceInverse) PrintNormalMatrix(".... Inverse LS matrix + vector");
    double f = 0;
    for (int32_t i = 1; i <= n; ++i) f += M(i, i) * Diagonal[i];
    FofCorr = f / std::max(1, n);
    if (TraceFofCorr) LogLine("FofCorr= " + FormatNumber(10, 2, FofCorr));
    return;
  }
  StepRecords(StepInUse);
}

// Every record moves by factor times its solved step (in its Derivative), within its bounds; the
// Derivative keeps the old value; dependents follow their masters.
void TParameter::StepRecords(double factor) {
  ParOnB = 0;
  for (int32_t i = 1; i <= NPar; ++i) {
    ParameterRecord& r = Records[i];
    double v = r.value + factor * r.Derivative;
    r.Derivative = r.value;
    r.value = v;
    if (r.value < r.lower) r.value = r.lower;
    if (r.value > r.upper) r.value = r.upper;
    if (r.n == i && r.lower != r.upper && (r.value == r.lower || r.value == r.upper)) ParOnB = 1;
  }
  if (!NoDependents) {
    for (int32_t i = 1; i <= NPar; ++i) {
      ParameterRecord& r = Records[i];
      if (r.n != i) r.value = r.a * Records[r.n].value + r.b;
    }
  }
}

// The undamped diagonal with the dependents folded in: in full order DampMatrix of the final pass
// kept it in RightSide; in compressed order the folding happened per point into Diagonal.
void TParameter::StoreCorrelationFactors() {
  std::fill(CorrFactor.begin(), CorrFactor.end(), 0.0);
  const int32_t last = std::min(NPar, static_cast<int32_t>(CorrFactor.size()) - 1);
  for (int32_t k = 1; k <= NFree; ++k) {
    const int32_t i = FullOrder ? k : freeIndex_[k];
    if (i < 1 || i > last || Records[i].n != i || Fixed(i)) continue;
    CorrFactor[i] = M(k, k) * (FullOrder ? RightSide[k] : Diagonal[k]);
  }
}

void TParameter::StoreInverseDiagonal() {
  const int32_t n = NFree;
  if (FullOrder) {
    for (int32_t i = 1; i <= n; ++i) {
      Records[i].Derivative = stepVector_[i];
      Diagonal[i] = M(i, i);
    }
    return;
  }
  for (int32_t i = 0; i <= NPar; ++i) {
    Records[i].Derivative = 0;
    Diagonal[i] = 0;
  }
  for (int32_t k = 1; k <= n; ++k) {
    int32_t i = freeIndex_[k];
    Records[i].Derivative = stepVector_[k];
    Diagonal[i] = M(k, k);
  }
}

void TParameter::ComputeEps(double rms) {
  double q = 0;
  for (int32_t i = 1; i <= NPar; ++i) {
    const ParameterRecord& r = Records[i];
    if (r.n == i && Diagonal[i] != 0) {
      double d = r.value - r.Derivative;
      q += d * d * Diagonal[i];
    }
  }
  q = std::sqrt(std::fabs(q) / std::max(NFree, 1));
  Eps = std::sqrt(q) * std::sqrt(rms);
  if (TraceDiagonal)
    LogLine("Diag= " + FormatNumber(15, 4, rms) + FormatNumber(10, 4, q) + FormatNumber(15, 4, Eps) +
            FormatNumber(10, 3, ChiDf));
}

void TParameter::ComputeParameterErrors() {
  for (int32_t i = 1; i <= NPar; ++i) {
    ParameterRecord& r = Records[i];
    r.Error = r.lower != r.upper ? std::sqrt(std::fabs(Diagonal[i])) : 0;
  }
  if (!NoDependents) {
    for (int32_t i = 1; i <= NPar; ++i) {
      ParameterRecord& r = Records[i];
      if (r.n != i && r.n >= 1 && r.n < i) r.Error = std::fabs(r.a * Records[r.n].Error);
    }
  }
}

void TParameter::GetMatrixElement(int32_t i, int32_t j, double& x) const {
  x = (i >= 1 && i <= NFree && j >= 1 && j <= NFree) ? M(i, j) : 0;
}

void TParameter::SetMatrixElement(int32_t i, int32_t j, double x) {
  if (i >= 1 && i <= NFree && j >= 1 && j <= NFree) M(i, j) = x;
}

void TParameter::PrintIteration(int32_t) {
  if (PrintInterval == 0) return;
  LogLine("Iter.= " + FormatInteger(Iterations + 1, 4) + "  chi2= " + FormatNumber(8, 2, ChiDf) +
          "   Eps= " + FormatNumber(5, 1, Eps) + " Step= " + FormatNumber(6, 3, Step) +
          " Damp= " + FormatNumber(9, 6, Damp));
  LogRows(std::min(NPar, RecordCapacity()), 5, [&](int32_t i) { return FormatNumber(12, 4, Records[i].value); });
}

void TParameter::PrintNormalMatrix(const std::string& title) {
  const int32_t n = NFree;
  double norm = 1;
  for (int32_t j = 1; j <= n; ++j)
    for (int32_t i = 1; i <= n; ++i) norm = std::max(norm, std::fabs(M(i, j)));
  LogLine(title + "  norm.c.= " + FormatNumber(15, 7, norm));
  // A row of a multiple of ten elements ends with an empty line.
  for (int32_t i = 1; i <= n; ++i) {
    std::string line;
    for (int32_t j = 1; j <= n; ++j) {
      line += FormatNumber(7, 4, M(i, j) / norm);
      if (j % 10 == 0) {
        LogLine(line);
        line.clear();
      }
    }
    LogLine(line);
  }
  LogLine("");
  LogRows(n, 10, [&](int32_t k) { return FormatNumber(7, 3, RightSide[k] / norm); });
}
