// The symmetry operation a user types as coordinate formulas ("-x, y+0.5, -z+0.5"): the first
// byte chooses the operation 1..48, the rest is the typed text. A refused formula leaves the
// operation as it was; a taken one has rotation entries -1, 0 or 1 and a finite translation.
#include <string>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "crystal/symmetry_formula.h"
#include "fuzz_support.h"

namespace {

uint64_t OperationChecksum(const LATTICE& l, int32_t op) {
  uint64_t h = 0;
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t c = 0; c < 3; ++c) h = ChecksumOf(l.Rotations[r][c][op], h);
    h = ChecksumOf(l.Translations[r][op], h);
  }
  return h;
}

}  // namespace

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzBytes in(data, size);
  const int32_t op = 1 + in.Byte() % MaxOperations;
  const std::string text(reinterpret_cast<const char*>(in.Rest()), in.RestSize());

  static LATTICE lattice;
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t c = 0; c < 3; ++c) lattice.Rotations[r][c][op] = r == c ? 7 : 0;  // a mark no formula gives
    lattice.Translations[r][op] = 0.25;
  }
  const uint64_t before = OperationChecksum(lattice, op);
  std::string formula = text;
  DialogOk = 1;
  if (!ParseSymmetryFormula(lattice, op, formula)) {
    FuzzCheck(DialogOk == 0, "a refused formula left DialogOk");
    FuzzCheck(OperationChecksum(lattice, op) == before, "a refused formula changed the operation");
  } else {
    for (int32_t r = 0; r < 3; ++r) {
      for (int32_t c = 0; c < 3; ++c) {
        const double v = lattice.Rotations[r][c][op];
        FuzzCheck(v == -1 || v == 0 || v == 1, "rotation entry " + std::to_string(v));
      }
      FuzzCheckFinite(lattice.Translations[r][op], "translation");
    }
  }

  std::string term = text;
  double coefficient = 5;
  ParseSymmetryTerm(term, 'X', coefficient);
  FuzzCheck(coefficient == -1 || coefficient == 0 || coefficient == 1, "term coefficient");
  FuzzCheck(coefficient != 0 || term == text, "no term but the text changed");
  return 0;
}
