#include "core/cell_reduction.h"
#include <algorithm>
#include <cmath>
#include "core/cell_geometry.h"

uint8_t CellReduced = 1;

namespace {

// A new edge counts as shorter only by more than rounding, so that equal lengths never swap.
constexpr double Shorter = 1 - 1e-10;

double Clamp1(double c) { return std::clamp(c, -1.0, 1.0); }

// The angle's distance from 90 degrees, in radians.
double FromRightAngle(double cosine) { return std::fabs(std::asin(Clamp1(cosine))); }

// Replaces edge u (partner v, third edge w) by u - s v, s the sign of u . v, when shorter.
// uv, uw, vw are the dot products; cuv, cuw are the cosines of u with v and w.
void PairGeometry(double& u, double v, double w, double uv, double uw, double vw, double& cuv,
                  double& cuw) {
  const double s = uv >= 0 ? 1 : -1;
  const double n2 = u * u + v * v - 2 * std::fabs(uv);
  if (!(n2 < u * u * Shorter) || !(n2 > 0)) return;
  const double n = std::sqrt(n2);
  cuv = Clamp1((uv - s * v * v) / (n * v));
  cuw = Clamp1((uw - s * vw) / (n * w));
  u = n;
  CellReduced = 0;
}

// The pair steps of one check, z the longest edge: x with y, then z with the shorter of x and y
// and last the remaining pair. On equal x and y, z goes first with the one earlier in a, b, c
// (x when xFirst).
void ReduceAroundLongest(double& x, double& y, double& z, double& cx, double& cy, double& cz, bool xFirst) {
  ReducePair(x, y, z, cx, cy, cz);
  if (xFirst ? x <= y : x < y) {
    ReducePair(z, x, y, cz, cx, cy);
    ReducePair(y, z, x, cy, cz, cx);
  } else {
    ReducePair(y, z, x, cy, cz, cx);
    ReducePair(z, x, y, cz, cx, cy);
  }
}

}  // namespace

void ReducePair(double& x, double& y, double& z, double& cx, double& cy, double& cz) {
  if (std::max({FromRightAngle(cx), FromRightAngle(cy), FromRightAngle(cz)}) < 0.001) return;
  if (!(x > 0 && y > 0 && z > 0)) return;
  const double xy = x * y * cz, xz = x * z * cy, yz = y * z * cx;
  if (x >= y)
    PairGeometry(x, y, z, xy, xz, yz, cz, cy);
  else
    PairGeometry(y, x, z, xy, yz, xz, cz, cx);
}

void ReducePlane(double& edge, double& cosAngle, double other) {
  if (!(edge > 0 && other > 0)) return;
  // An obtuse angle is worked as its supplement (the other edge reversed), and the new angle is
  // the one of that frame: between edge - other and the reversed other. A monoclinic cell thus
  // keeps its obtuse beta whenever the other edge is longer than the edge's projection on it.
  const double c = std::fabs(cosAngle);
  const double n2 = edge * edge + other * other - 2 * edge * other * c;
  if (!(n2 < edge * edge * Shorter) || !(n2 > 0)) return;
  const double n = std::sqrt(n2);
  cosAngle = Clamp1((edge * c - other) / n);
  edge = n;
  CellReduced = 0;
}

void ReduceCell(double& a, double& b, double& c, int32_t mode, double& volume, double& cosAlpha,
                double& cosBeta, double& cosGamma) {
  CellReduced = 1;
  double& al = cosAlpha;
  double& be = cosBeta;
  double& ga = cosGamma;
  if (mode == 2) {
    if (a < c)
      ReducePlane(c, be, a);
    else
      ReducePlane(a, be, c);
    volume = CellVolumeFromCosines(a, b, c, cosAlpha, cosBeta, cosGamma);
    return;
  }
  // Three checks one after another, each on the edges the previous one left: a cell shortened
  // by one may be taken further by the next.
  if (std::max(a, b) <= c) ReduceAroundLongest(a, b, c, al, be, ga, true);
  if (std::max(a, c) <= b) ReduceAroundLongest(a, c, b, al, ga, be, true);
  if (std::max(b, c) <= a) ReduceAroundLongest(c, b, a, ga, be, al, false);
  volume = CellVolumeFromCosines(a, b, c, cosAlpha, cosBeta, cosGamma);
}
