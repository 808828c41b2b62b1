// The symmetric reflection list of a large cell: Fd-3m (origin choice 2), a = 24.3 angstrom,
// 12 atoms in general positions, d from 0.9 to 30 angstrom. The box is 149 x 149 x 75 index
// visits (1.67 million); about 10 thousand of them are allowed and in range, and a few hundred
// distinct representatives need a structure factor (24 listed operations, 4 centrings).
#include <benchmark/benchmark.h>
#include <cstdint>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/space_groups.h"
#include "crystal/reflection_lists.h"

namespace {

void SetUpLargeCubicPhase() {
  LATTICE& p = PhaseTable[1];
  p = LATTICE{};
  for (int i = 0; i < 3; ++i) p.Cell[i] = 24.3, p.Cell[i + 3] = 90;
  p.SpaceGroup = 227, p.Setting = 2;
  p.CrystalSystem = CrystalSystemOfGroup(227, 2);
  ExpandSpaceGroup(1);
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  PhaseMetric(1);
  p.AtomCount = 12;
  for (int32_t a = 1; a <= 12; ++a) {
    ATOM& at = AtomTable[a][1];
    at = ATOM{};
    at.ScatteringLength = 0.3 + 0.05 * a;
    at.Occupation = 1;
    at.X = 0.013 + 0.071 * a, at.Y = 0.037 + 0.053 * a, at.Z = 0.091 + 0.029 * a;
    at.T11 = 0.6;
    at.IsotropicFlag = 1;
  }
  PhaseCount = 1;
}

void BM_FormSymmetricHklList(benchmark::State& state) {
  SetUpLargeCubicPhase();
  for (auto _ : state) {
    FormSymmetricHklList(1, 0.9, 30.0);
    benchmark::DoNotOptimize(PhaseTable[1].ReflectionCount);
  }
  state.counters["reflections"] = PhaseTable[1].ReflectionCount;
}
BENCHMARK(BM_FormSymmetricHklList)->Unit(benchmark::kMillisecond);

}  // namespace
