// The symbols of the element table's rows, in its row order (H, D, T, then helium to
// californium), two characters right-aligned (" H", "HE"). They are ElementTable's own symbols,
// kept as a plain array for the random test atoms.
#pragma once
#include <array>
#include <cstdint>
#include "core/elements.h"

extern const std::array<const char*, ElementRowCount + 1> ElementSymbols;  // [1..100]
