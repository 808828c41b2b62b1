// Interpolation in a tabulated function, the normal distribution and the error function.
#pragma once
#include <cstdint>

// y at x of a function tabulated in table[1..2n]: the n ordinates table[1..n], then the n
// ascending abscissae table[n+1..2n]. `size` is the highest index of table that may be read.
//  - At or beyond the first or last abscissa: linear extrapolation through the first two, or
//    the last two, points.
//  - In the first and last interval, and where the four ordinates around the interval are
//    monotonic: linear interpolation.
//  - Elsewhere: the natural cubic spline through the four points around the interval.
// One point gives its ordinate everywhere. n < 1 or 2n > size gives 0; a NaN x gives NaN.
void InterpolateTable(const double* table, int32_t size, int32_t n, double& y, double x);

// Cumulative probability p and density of the standard normal distribution at x, from a
// 35-point table of Phi - 0.5 (0..3 by 0.1, then 3.5, 4, 4.5, 5). Phi - 0.5 is held inside
// [0, 0.5], so p stays within [0, 1] far out in the tails.
void NormalDistribution(double& p, double& density, double x);

// The error function by its Maclaurin series (at most 60 terms, relative accuracy about 1e-7);
// +1 beyond 3.9 and -1 below -3.9.
double Erf(double x);
