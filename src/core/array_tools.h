// Small array tools: rebinning, compaction by sign, sorting, the fractional part.
#pragma once
#include <cstdint>

// Redistributes ScratchArray1[1..n] into m = round(n / factor) + 2 bins of ScratchArray2: each
// value is split into 1000 equal parts at i + k/1000 (k = 0..999), and a part goes to bin
// round((i + k/1000) / factor) + 1 when that lies in 1..m. n > 8192, a factor that is not
// positive or an m beyond the scratch array show "Too long array" and change nothing.
void RebinArray(int32_t n, int32_t& m, double factor);

// Keeps in place and in order the elements of a[1..n] that are >= 0 (mode -1), <> 0 (mode 0)
// or <= 0 (mode 1); n := the number kept. Other modes keep everything.
void CompactBySign(double* a, int32_t size, int32_t& n, int32_t mode);

// Sorts a[1..n] descending (mode -1) or ascending (mode 1), equal values keeping their order
// (NaN last); mode 0 removes every value equal to its successor (values equal to the removal
// marker -0.123456789012 go too).
void SortUnique(double* a, int32_t size, int32_t& n, int32_t mode);

// x reduced into [0, 1): x minus its rounded value, plus 1 when negative; a result within 0.03
// of 1 becomes 0 (coordinates in a cell).
double FractionalPart(double x);
