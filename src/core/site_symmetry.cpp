#include "core/site_symmetry.h"
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace {
constexpr double SameSite = 1e-3;  // fraction of the cell edge

// Half a unit of the last decimal a coordinate was typed to (0.333: 5e-4), for coordinates of
// three or more decimals, which stand for thirds, sixths and the like; a shorter one (0.5,
// 0.38) is taken as exact.
double TypingError(double v) {
  char buf[512];  // the longest fixed text of a double, 5e-324, has 326 characters
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (r.ec != std::errc()) return 0.0;
  const std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
  const size_t point = t.find('.');
  const size_t decimals = point == std::string_view::npos ? 0 : t.size() - point - 1;
  return decimals >= 3 ? 0.5 * std::pow(10.0, -static_cast<double>(decimals)) : 0.0;
}

// Two points are one site when closer than SameSite, or than the error typed coordinates carry
// into an image: an element's row adds up to two coordinates (x - y), so an image is off by up
// to twice the typing error and two images differ by four times it.
double SiteTolerance(const double x[3]) {
  const double u = std::max({TypingError(x[0]), TypingError(x[1]), TypingError(x[2])});
  return std::max(SameSite, 4.0001 * u);
}

// The distance of two fractional points modulo lattice translations, largest coordinate.
double CellDistance(const double p[3], const double q[3]) {
  double d = 0;
  for (int32_t i = 0; i < 3; ++i) {
    const double t = p[i] - q[i];
    d = std::max(d, std::fabs(t - std::nearbyint(t)));
  }
  return d;
}

struct Element {
  double r[3][3];
  double t[3];
};

std::vector<Element> GroupElements(const LATTICE& g) {
  const int32_t ops = std::clamp(g.OperationCount, 0, MaxOperations);
  const int32_t centrings = std::clamp(g.CentringCount, 0, 3);
  std::vector<Element> out;
  if (ops == 0) {
    out.push_back({{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}});
    return out;
  }
  for (int32_t si = 0; si < (g.Centrosymmetric != 0 ? 2 : 1); ++si)
    for (int32_t c = 0; c <= centrings; ++c)
      for (int32_t j = 1; j <= ops; ++j) {
        const double s = si == 0 ? 1.0 : -1.0;
        Element e{};
        for (int32_t row = 0; row < 3; ++row) {
          for (int32_t m = 0; m < 3; ++m) e.r[row][m] = s * g.Rotations[row][m][j];
          e.t[row] = s * (g.Translations[row][j] + (c > 0 ? g.CentringVectors[row][c] : 0));
        }
        out.push_back(e);
      }
  return out;
}

// Reduced row echelon form of rows (3 columns) with partial pivoting; entries below 1e-9 are zero.
// pivotOf[col] := the pivot row of column col, -1 for a free column.
void RowEchelon(std::vector<std::array<double, 3>>& rows, int32_t (&pivotOf)[3]) {
  std::fill(std::begin(pivotOf), std::end(pivotOf), -1);
  size_t top = 0;
  for (int32_t col = 0; col < 3 && top < rows.size(); ++col) {
    size_t best = top;
    for (size_t r = top; r < rows.size(); ++r)
      if (std::fabs(rows[r][col]) > std::fabs(rows[best][col])) best = r;
    if (std::fabs(rows[best][col]) < 1e-9) continue;
    std::swap(rows[top], rows[best]);
    const double p = rows[top][col];
    for (double& v : rows[top]) v /= p;
    for (size_t r = 0; r < rows.size(); ++r) {
      if (r == top || rows[r][col] == 0) continue;
      const double f = rows[r][col];
      for (int32_t k = 0; k < 3; ++k) rows[r][k] -= f * rows[top][k];
    }
    pivotOf[col] = static_cast<int32_t>(top++);
  }
}
}  // namespace

SiteSymmetry FindSiteSymmetry(const LATTICE& g, const double x[3]) {
  SiteSymmetry site;
  const double tolerance = SiteTolerance(x);
  std::vector<std::array<double, 3>> images;
  // The displacements d the stabiliser allows satisfy (R - I) d = 0 for each of its elements;
  // the rows are stacked with the columns reversed (z, y, x), so that the row echelon form
  // below takes the later coordinates as the dependent ones and ties them to earlier masters.
  std::vector<std::array<double, 3>> rows;
  site.order = 0;
  for (const Element& e : GroupElements(g)) {
    std::array<double, 3> y{};
    for (int32_t i = 0; i < 3; ++i) y[i] = e.r[i][0] * x[0] + e.r[i][1] * x[1] + e.r[i][2] * x[2] + e.t[i];
    if (CellDistance(y.data(), x) < tolerance) {
      ++site.order;
      for (int32_t i = 0; i < 3; ++i) rows.push_back({e.r[i][2] - (i == 2), e.r[i][1] - (i == 1), e.r[i][0] - (i == 0)});
    }
    if (std::none_of(images.begin(), images.end(), [&](const auto& p) { return CellDistance(p.data(), y.data()) < tolerance; }))
      images.push_back(y);
  }
  site.multiplicity = std::max<int32_t>(1, static_cast<int32_t>(images.size()));
  site.order = std::max(site.order, 1);
  int32_t pivotOf[3];  // reversed column -> its pivot row
  RowEchelon(rows, pivotOf);
  for (int32_t col = 0; col < 3; ++col) {
    const int32_t coord = 2 - col;
    if (pivotOf[col] < 0) continue;  // free
    // coord = -sum over the free columns of the row's entries times their coordinates.
    const std::array<double, 3>& row = rows[static_cast<size_t>(pivotOf[col])];
    int32_t terms = 0, other = -1;
    for (int32_t k = col + 1; k < 3; ++k)
      if (std::fabs(row[k]) > 1e-9) ++terms, other = k;
    if (terms == 0) {
      site.master[coord] = -1;
    } else if (terms == 1) {
      site.master[coord] = 2 - other;
      site.a[coord] = -row[other];
    }
    // A coordinate tied to two others (no standard setting has one) stays free.
  }
  return site;
}

FloatingOrigin FindFloatingOrigin(const LATTICE& g) {
  // Shifts d of the origin that every element's rotation keeps: (R - I) d = 0 for all of them.
  std::vector<std::array<double, 3>> rows;
  for (const Element& e : GroupElements(g))
    for (int32_t i = 0; i < 3; ++i) rows.push_back({e.r[i][0] - (i == 0), e.r[i][1] - (i == 1), e.r[i][2] - (i == 2)});
  int32_t pivotOf[3];
  RowEchelon(rows, pivotOf);
  FloatingOrigin o;
  for (int32_t f = 0; f < 3; ++f) {
    if (pivotOf[f] >= 0) continue;
    double* v = o.basis[o.dimension++];
    v[f] = 1;
    for (int32_t c = 0; c < 3; ++c)
      if (pivotOf[c] >= 0) v[c] = -rows[static_cast<size_t>(pivotOf[c])][f];
  }
  return o;
}
