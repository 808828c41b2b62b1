// Local analysis of a data array: five-point derivatives, the smoothing filter with its
// baseline, peak position and width, extremes of a range and the median.
#pragma once
#include <cstdint>

// Value, slope and curvature at point i of ScratchArray1[1..n] by the five-point least-squares
// quadratic (Savitzky-Golay): for 3 <= i <= n-2 and n >= 5
//   value = (12 (y[i-1] + y[i+1]) - 3 (y[i-2] + y[i+2]) + 17 y[i]) / 35,
//   slope = (2 (y[i+2] - y[i-2]) + y[i+1] - y[i-1]) / 10,
//   curvature = (2 (y[i+2] + y[i-2]) - (y[i+1] + y[i-1]) - 2 y[i]) / 7;
// at points 2 and n-1 the three-point forms; at the ends and for n < 5 the point itself with
// zero slope and curvature. i outside 1..n (or beyond the array) gives zeros.
void LocalDerivatives(int32_t n, int32_t i, double& value, double& slope, double& curvature);
// The same on any array y[1..n].
void LocalDerivativesOf(const double* y, int32_t n, int32_t i, double& value, double& slope,
                        double& curvature);

// Filters ScratchArray1[1..n] in place: negative values become 0, then `passes` passes of the
// five-point values of LocalDerivatives. With `errors` set, WorkArrays[1][i] := sqrt(|y| + 1).
// With `mode` set, ScratchArray2[1..n] receives a baseline under peaks of full width `width`
// (points): for 2..25 points the line through the first and last point, otherwise the
// straight lines through the minima of windows of about max(25, 8 width) points; the baseline
// is bounded by 0 below and by the data above.
void SmoothingFilter(int32_t n, int32_t passes, int32_t errors, double width, int32_t mode);

// Refines a peak position in a[1..n] (a channel, rounded to find the start point): the largest
// value within 5 points, the centroid over it and two points on each side (the new position),
// the edges at the nearest local minima within 48 points on each side. ok := 1 when the peak
// is significant (maximum above 3 sqrt(maximum), half its net height above the square root of
// its maximum, a positive width). sum := the sum of the values above the straight line through
// the edges (0 when rejected early); those values go to NumberBuffer[1..], the left edge
// first. `size` is the highest index of a that may be read.
void RefinePeakPosition(const double* a, int32_t size, int32_t n, int32_t& ok, double& sum,
                        double& position);
// The same, also giving height := the largest value within 5 points of the start point (the
// value of the significance test; 0 when rejected before it is found).
void RefinePeakPosition(const double* a, int32_t size, int32_t n, int32_t& ok, double& sum,
                        double& position, double& height);

// Full width at half maximum of the peak at point i of a[1..n] (i moved to a larger
// neighbour first): the sum of the distances from the peak to the two interpolated half-height
// crossings; -1 when a crossing is missing or too flat to interpolate, or the width is below
// 0.25.
void PeakHalfWidthAt(const double* a, int32_t size, int32_t i, double& width, int32_t n);

// The smallest and largest of a[first..last] with their indices (first occurrence of each).
// first <= 0 gives index 1 and a[1] for both; first > last gives index first and a[first] for
// both. Indices beyond `size` are not read.
void MinMaxOfRange(const double* a, int32_t size, int32_t first, int32_t& imin, int32_t& imax,
                   double& min, double& max, int32_t last);

// The median of a[1..n]: a[1..n] is copied to ScratchArray2 and sorted there (so ScratchArray2
// is overwritten); the middle value, or the mean of the two middle values. n < 1 gives 0.
void Median(const double* a, int32_t size, int32_t n, double& m);
