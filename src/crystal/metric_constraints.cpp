#include "crystal/metric_constraints.h"
#include "crystal/model_checks.h"

namespace {
enum : int32_t { A, B, C, D, E, F };

struct Rule {
  bool zero[6];
  int32_t master[6];  // the record a coefficient follows, -1 for none
};

// Rows 1..7 by crystal system; the monoclinic row is that of the unique axis c.
constexpr int32_t no = -1;
constexpr Rule Rules[8] = {
    {{}, {no, no, no, no, no, no}},                                       // unused
    {{}, {no, no, no, no, no, no}},                                       // triclinic
    {{0, 0, 0, 1, 1, 0}, {no, no, no, no, no, no}},                       // monoclinic, axis c
    {{0, 0, 0, 1, 1, 1}, {no, no, no, no, no, no}},                       // orthorhombic
    {{0, 0, 0, 1, 1, 1}, {no, A, no, no, no, no}},                        // tetragonal
    {{0, 0, 0, 1, 1, 1}, {no, A, A, no, no, no}},                         // cubic
    {{0, 0, 0, 1, 1, 0}, {no, A, no, no, no, A}},                         // hexagonal
    {{0, 0, 0, 0, 0, 0}, {no, A, A, no, D, D}},                           // rhombohedral
};
}  // namespace

void ApplyMetricConstraints(ParameterRecord* records, int32_t first, int32_t crystalSystem, int32_t setting) {
  Rule rule = Rules[crystalSystem >= 1 && crystalSystem <= 7 ? crystalSystem : 1];
  if (crystalSystem == 2 && setting == 2) rule.zero[E] = false, rule.zero[F] = true;  // unique axis b
  for (int32_t i = 0; i < 6; ++i) {
    ParameterRecord& r = records[first + i];
    r.n = first + i, r.a = 1, r.b = 0;
    if (rule.zero[i]) r.lower = r.value = r.upper = 0;
  }
  for (int32_t i = 0; i < 6; ++i) {
    if (rule.master[i] == no) continue;
    TieToMaster(records, first + i, first + rule.master[i]);  // takes A's (D's) value and bounds
  }
}
