#include "core/line_fits.h"
#include <charconv>
#include <cmath>
#include "core/numeric_arrays.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/text_file.h"

namespace {
// The general text of a real (15 significant digits), as a message shows it.
std::string GeneralText(double x) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
  return std::string(buf, r.ptr);
}

void WriteTo(TextFile& file, const std::string& line) {
  if (file.IsWriting()) file.WriteLine(line);
}
}  // namespace

void FitLineToSideRanges(const double* y, int32_t size, int32_t first1, double& x0, double& slope,
                         double& level, int32_t last1, int32_t first2, int32_t last2) {
  x0 = slope = level = 0.0;
  const int32_t ranges[2][2] = {{MaxI(1, first1), MinI(size, last1)},
                                {MaxI(1, first2), MinI(size, last2)}};
  double count = 0.0, si = 0.0, sy = 0.0;
  for (const auto& r : ranges)
    for (int32_t i = r[0]; i <= r[1]; ++i) {
      count += 1.0;
      si += i;
      sy += y[i];
    }
  if (count == 0.0) return;
  x0 = si / count;
  level = sy / count;
  double sxy = 0.0, sxx = 0.0;
  for (const auto& r : ranges)
    for (int32_t i = r[0]; i <= r[1]; ++i) {
      sxy += (i - x0) * y[i];
      sxx += (i - x0) * (i - x0);
    }
  if (sxx > 0.0) slope = sxy / sxx;
}

void Invert3x3(int32_t& ok, int32_t mode, double& det) {
  double (&m)[4][4] = WorkMatrix;
  double c[4][4];  // c[i][j]: cofactor of element (i, j)
  c[1][1] = m[2][2] * m[3][3] - m[2][3] * m[3][2];
  c[1][2] = m[2][3] * m[3][1] - m[2][1] * m[3][3];
  c[1][3] = m[2][1] * m[3][2] - m[2][2] * m[3][1];
  c[2][2] = m[1][1] * m[3][3] - m[1][3] * m[3][1];
  c[2][3] = m[1][2] * m[3][1] - m[1][1] * m[3][2];
  c[3][3] = m[1][1] * m[2][2] - m[1][2] * m[2][1];
  if (mode == 1) {
    c[2][1] = c[1][2];
    c[3][1] = c[1][3];
    c[3][2] = c[2][3];
  } else {
    c[2][1] = m[1][3] * m[3][2] - m[1][2] * m[3][3];
    c[3][1] = m[1][2] * m[2][3] - m[1][3] * m[2][2];
    c[3][2] = m[1][3] * m[2][1] - m[1][1] * m[2][3];
  }
  det = m[1][1] * c[1][1] + m[1][2] * c[1][2] + m[1][3] * c[1][3];
  if (det == 0.0) {
    ok = 0;
    return;
  }
  ok = 1;
  // The inverse is the transposed cofactor matrix over det.
  for (int32_t i = 1; i <= 3; ++i)
    for (int32_t j = 1; j <= 3; ++j) m[i][j] = c[j][i] / det;
}

void FitStraightLine(int32_t n, int32_t mode, TLineFit& result, const std::string& title,
                     TextFile& file) {
  result = TLineFit{};
  if (!ArrayLengthFits(n, LineFitCapacity)) return;
  n = MaxI(0, n);
  const TLineFitPoint* pt = LineFitPoints;
  double x0 = 0.0;
  for (int32_t i = 1; i <= n; ++i) x0 += pt[i].x;
  if (n > 0) x0 /= n;

  // Normal matrix of (slope, level); the third row and column are the identity.
  double sww = 0.0, swx = 0.0, swxx = 0.0, swy = 0.0, swxy = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    double dx = pt[i].x - x0, w = pt[i].weight;
    sww += w;
    swx += w * dx;
    swxx += w * dx * dx;
    swy += w * pt[i].y;
    swxy += w * dx * pt[i].y;
  }
  double (&m)[4][4] = WorkMatrix;
  m[1][1] = swxx; m[1][2] = swx;  m[1][3] = 0.0;
  m[2][1] = swx;  m[2][2] = sww;  m[2][3] = 0.0;
  m[3][1] = 0.0;  m[3][2] = 0.0;  m[3][3] = 1.0;
  int32_t ok;
  double det;
  Invert3x3(ok, 1, det);
  result.det = det;
  result.x0 = x0;
  WriteTo(file, title);
  if (ok == 0) {
    WriteTo(file, "not ok  det= " + GeneralText(det));
    return;
  }
  double a = m[1][1] * swxy + m[1][2] * swy;
  double b = m[2][1] * swxy + m[2][2] * swy;
  double chi2 = 0.0, chi2Plus = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    double r = pt[i].y - (a * (pt[i].x - x0) + b);
    chi2 += pt[i].weight * r * r;
    if (r > 0.0) chi2Plus += pt[i].weight * r * r;
  }
  double dof = MaxI(1, n - 2);
  result.ok = 1;
  result.slope = a;
  result.level = b;
  result.chi = chi2 / dof;
  result.chiPlus = chi2Plus / dof;
  result.slopeError = std::sqrt(std::fabs(m[1][1] * result.chi));
  result.levelError = std::sqrt(std::fabs(m[2][2] * result.chi));
  WorkVector[1] = a;
  WorkVector[2] = b;
  WorkVector[3] = x0;

  WriteTo(file, "    chi, chi+ = " + FormatNumber(10, 2, result.chi) + FormatNumber(6, 2, result.chiPlus));
  WriteTo(file, "   Parameters = " + FormatNumber(10, 4, a) + FormatNumber(10, 4, b) + "      x_0=" +
                    FormatNumber(10, 4, x0));
  WriteTo(file, "     + / -      " + FormatNumber(10, 4, result.slopeError) +
                    FormatNumber(10, 4, result.levelError));
  if (mode != 0) return;
  for (int32_t i = 1; i <= n; ++i) {
    double f = a * (pt[i].x - x0) + b;
    WriteTo(file, FormatNumber(8, 2, pt[i].x) + FormatNumber(12, 4, pt[i].y) + FormatNumber(12, 4, f) +
                      FormatNumber(12, 4, pt[i].y - f) + FormatNumber(14, 2, pt[i].weight));
  }
}
