// Structure factors of 4000 reflections of a phase in Fm-3m (24 listed operations with the
// centrosymmetric flag, 3 centring vectors) with 200 atoms in general positions, isotropic and
// anisotropic. With the translations factored out that is 4000 x 200 x 24 = 1.92e7
// (reflection, atom, operation) terms per pass; the counter per_term is the time of a pass
// divided by that count.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/space_groups.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"

namespace {

constexpr int32_t Reflections = 4000;
constexpr double Edge = 16.0;  // angstrom: 4000 allowed reflections reach d of about 0.9

struct TReflection {
  int32_t h, k, l;
  double q;  // 1/d^2
};

// Phase 1 in Fm-3m with 200 atoms at scattered general positions.
void SetUpPhase(bool isotropic) {
  LATTICE& p = PhaseTable[1];
  p = LATTICE{};
  for (int i = 0; i < 3; ++i) p.Cell[i] = Edge, p.Cell[i + 3] = 90, p.IndexNormalisers[i] = Edge;
  p.SpaceGroup = 225, p.Setting = 1;
  p.CrystalSystem = CrystalSystemOfGroup(225, 1);
  ExpandSpaceGroup(1);
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  PhaseMetric(1);
  PhaseModelFlags[1] = 0;
  p.AtomCount = MaxAtoms;
  for (int32_t a = 1; a <= MaxAtoms; ++a) {
    ATOM& at = AtomTable[a][1];
    at = ATOM{};
    at.ScatteringLength = 0.2 + 0.003 * a;
    at.Occupation = 1;
    at.X = 0.0137 + 0.6180339 * a - int(0.6180339 * a);
    at.Y = 0.0291 + 0.7548777 * a - int(0.7548777 * a);
    at.Z = 0.0413 + 0.5698403 * a - int(0.5698403 * a);
    at.IsotropicFlag = isotropic ? 1 : 0;
    if (isotropic) {
      at.T11 = 0.5 + 0.001 * a;
    } else {  // beta L_i L_j of a U of about 0.01 A^2, slightly anisotropic
      at.T11 = 0.20, at.T22 = 0.22, at.T33 = 0.18;
      at.T12 = 0.01, at.T13 = -0.02, at.T23 = 0.015;
    }
  }
  PhaseCount = 1;
}

// The first 4000 reflections the F lattice allows, by increasing 1/d^2 over a box.
std::vector<TReflection> AllowedReflections() {
  std::vector<TReflection> out;
  const int32_t n = 24;
  for (int32_t h = -n; h <= n; ++h)
    for (int32_t k = -n; k <= n; ++k)
      for (int32_t l = 0; l <= n; ++l)
        if (((h + k) & 1) == 0 && ((k + l) & 1) == 0 && (h || k || l))
          out.push_back({h, k, l, CellInverseDSquared(PhaseTable[1], h, k, l)});
  std::stable_sort(out.begin(), out.end(), [](const TReflection& a, const TReflection& b) { return a.q < b.q; });
  out.resize(Reflections);
  return out;
}

void StructureFactors(benchmark::State& state, bool isotropic) {
  SetUpPhase(isotropic);
  const std::vector<TReflection> list = AllowedReflections();
  for (auto _ : state) {
    double sum = 0;
    for (const TReflection& r : list) {
      double A, B, q;
      Q0 = r.q;
      CalcStructureFactor(0, 1, r.h, r.k, r.l, 1, 0, A, B, q);
      sum += A + B;
    }
    benchmark::DoNotOptimize(sum);
  }
  const double terms = double(Reflections) * MaxAtoms * PhaseTable[1].OperationCount;
  // seconds per term (kIsIterationInvariantRate | kInvert), printed with its prefix ("7.3ns")
  state.counters["per_term"] =
      benchmark::Counter(terms, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["dmin"] = 1.0 / std::sqrt(list.back().q);
}

void BM_StructureFactorsIsotropic(benchmark::State& state) { StructureFactors(state, true); }
void BM_StructureFactorsAnisotropic(benchmark::State& state) { StructureFactors(state, false); }
BENCHMARK(BM_StructureFactorsIsotropic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StructureFactorsAnisotropic)->Unit(benchmark::kMillisecond);

}  // namespace
