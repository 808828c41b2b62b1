// The magnetic interaction factor as the profile model asks for it: once per reflection and fit
// iteration, over all operations of the phase, with the derivatives; a cubic group (24 listed
// operations) and a triclinic one (1) on a reflection list of 2000 indices.
#include <benchmark/benchmark.h>
#include <cstdint>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/space_groups.h"

namespace {

void SetUpMagneticPhase(int32_t group) {
  LATTICE& p = PhaseTable[1];
  const double cell[6] = {5.43, 5.43, 5.43, 90, 90, 90};
  for (int i = 0; i < 6; ++i) p.Cell[i] = cell[i];
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  p.SpaceGroup = group, p.Setting = 1;
  ExpandSpaceGroup(1);
  p.MomentDirection[0] = 0.3, p.MomentDirection[1] = 0.5, p.MomentDirection[2] = 0.8;
  PhaseModelFlags[1] = 1;
  MainMode = 1;
  PhaseMetric(1);
}

void BM_MagneticFactor(benchmark::State& state) {
  SetUpMagneticPhase(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    double sum = 0, d1 = 0, d2 = 0, d3 = 0, q = 0;
    for (int32_t r = 0; r < 2000; ++r) {
      MagneticFactor(1, 0, 1, d1, d2, d3, q, r % 13 - 6, r / 13 % 11 - 5, r / 143 + 1);
      sum += q + d1 + d2 + d3;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_MagneticFactor)->Arg(225)->Arg(1);

}  // namespace
