// The debug switches of the analysis modules, set from the test menu: 0 every fit prints its
// iterations, 1 the result texts keep the test sums, 5 the peak search writes its protocol,
// 9 the parameter array is traced, 10 the profile model reads the metric records as the
// reciprocal cell a*, b*, c*, cos alpha*, cos beta*, cos gamma* ("Lattice Fit test").
#pragma once
#include <cstdint>

constexpr int32_t OptionFlagCount = 12;
extern uint8_t OptionFlags[OptionFlagCount];  // [0..11], all 0 at start
