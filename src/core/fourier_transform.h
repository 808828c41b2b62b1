// Discrete Fourier transform of WorkArrays[5] (real) and WorkArrays[6] (imaginary) into
// WorkArrays[7] and WorkArrays[8]. Point j = 0..N-1 of the transform is element j + 1.
#pragma once
#include <cstdint>

// Transforms N = k1 k2 points (N <= n): X[k] = sum_j x[j] exp(i w j k), w = -2 pi direction / N,
// divided by N when direction >= 0 (+1: forward, -1: the inverse of a forward transform).
// Unless 1 <= k1, 1 <= k2 and k1 k2 <= n on entry, they are chosen from round(sqrt(n)) - 3 ..
// round(sqrt(n)) + 3 (at least 1) with the product closest to n from below, the smaller k1
// first. Two passes of direct sums (k1 terms, then k2 terms): N (k1 + k2) operations.
// n < 1 gives k1 = k2 = 0; n > 16384 shows "Too long array" and gives k1 = k2 = 0.
void FourierTransform(int32_t n, int32_t& k1, int32_t& k2, double direction);
