// Straight-line fits and the 3 by 3 inversion behind them.
#pragma once
#include <cstdint>
#include <string>

class TextFile;

// Least-squares straight line with equal weights through y[i] of the index ranges
// first1..last1 and first2..last2 (indices outside 1..size are skipped): x0 := the mean index,
// slope := sum (i - x0) y[i] / sum (i - x0)^2, level := the mean of the values, so that the
// line is level + slope (i - x0). No point gives zeros; one distinct index gives slope 0.
void FitLineToSideRanges(const double* y, int32_t size, int32_t first1, double& x0, double& slope,
                         double& level, int32_t last1, int32_t first2, int32_t last2);

// The result of FitStraightLine: y = slope (x - x0) + level.
struct TLineFit {
  int32_t ok = 0;          // 0: singular system, nothing fitted
  double slope = 0.0;
  double level = 0.0;
  double x0 = 0.0;         // mean of the abscissae
  double slopeError = 0.0;
  double levelError = 0.0;
  double chi = 0.0;        // chi-square per degree of freedom, sum w (y - f)^2 / max(1, n - 2)
  double chiPlus = 0.0;    // the same over the points above the line only
  double det = 0.0;        // determinant of the normal matrix
};

// Weighted least-squares straight line through LineFitPoints[1..n] (x, y, weight; a weight
// multiplies the squared residual), solved through Invert3x3 on WorkMatrix. The errors are
// sqrt(diagonal of the inverse times chi). WorkVector := slope, level, x0.
// The protocol goes to `file` under `title`: chi and chi+, the parameters and x0, their
// errors, and with mode 0 one line per point (x, observed, fitted, difference, weight); a
// singular system writes "not ok  det= " and the determinant.
void FitStraightLine(int32_t n, int32_t mode, TLineFit& result, const std::string& title,
                     TextFile& file);

// Inverts WorkMatrix[1..3][1..3] in place by cofactors. det := its determinant. When det is
// exactly 0, ok := 0 and the matrix is left unchanged; otherwise ok := 1. mode 1 computes the
// upper cofactors only and copies them to the lower ones (a symmetric matrix).
void Invert3x3(int32_t& ok, int32_t mode, double& det);
