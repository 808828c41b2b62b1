#include "core/element_symbols.h"

// ElementTable is constant-initialised, so it is complete before this runs.
const std::array<const char*, ElementRowCount + 1> ElementSymbols = [] {
  std::array<const char*, ElementRowCount + 1> s{};
  s[0] = "";
  for (int32_t r = 1; r <= ElementRowCount; ++r) s[r] = ElementTable[r].Symbol;
  return s;
}();
