#include "crystal/metric_constraints.h"
#include <algorithm>
#include <cmath>
#include "core/model_tables.h"
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

int32_t MetricSetting(const LATTICE& phase) {
  if (phase.SpaceGroup != NonStandardGroup || phase.CrystalSystem != 2) return phase.Setting;
  for (int32_t op = 1; op <= std::clamp(phase.OperationCount, 0, MaxOperations); ++op) {
    double d[3];
    bool diagonal = true;
    for (int32_t i = 0; i < 3; ++i)
      for (int32_t j = 0; j < 3; ++j) {
        const double r = phase.Rotations[i][j][op];
        if (i == j) d[i] = r;
        else diagonal = diagonal && r == 0;
      }
    if (!diagonal || std::abs(std::abs(d[0]) - 1) + std::abs(std::abs(d[1]) - 1) + std::abs(std::abs(d[2]) - 1) != 0)
      continue;
    // The axis whose sign differs from the two others'.
    for (int32_t u = 0; u < 3; ++u)
      if (d[u] != d[(u + 1) % 3] && d[(u + 1) % 3] == d[(u + 2) % 3]) {
        if (u == 1) return 2;
        if (u == 2) return 1;
      }
  }
  return phase.Setting;
}

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
