// Tools over NumberBuffer[1..n]; n is held to the buffer.
#pragma once
#include <cstdint>

// SortUnique (core/array_tools.h) on NumberBuffer: mode -1 descending, 1 ascending, 0 drops
// values equal to their successor.
void SortNumberBuffer(int32_t& n, int32_t mode);
// CompactBySign on NumberBuffer: keeps values >= 0 (mode -1), <> 0 (mode 0) or <= 0 (mode 1),
// in order; n < 1 gives 0.
void FilterNumberBuffer(int32_t& n, int32_t mode);
// The bit masks of k items chosen from n into NumberBuffer[1..count], in increasing order.
void EnumerateCombinations(int32_t n, int32_t k, int32_t mode, int32_t& count);
