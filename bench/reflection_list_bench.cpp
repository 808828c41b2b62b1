// The symmetric reflection list of large cells: Fd-3m (origin choice 2), 12 atoms in general
// positions, 24 listed operations and 4 centrings.
//  BM_FormSymmetricHklList: a = 24.3 angstrom, d 0.9 .. 30; the whole interval is listed (some
//    hundred sets, each with a structure factor), the visits bounded by d >= 0.9.
//  BM_FormSymmetricHklListHuge/a/dmin: the 2000-set cap reached far above d_min, so only the
//    shell of the kept sets is visited: 24.3 to 0.1 and 0.05, 160 to 0.05, 367 to 0.12 angstrom
//    (box visits of 1e10 and more; the question about them answered Yes).
//  BM_FormSymmetricHklListThinShell/group: a = 367 angstrom, d 0.12 .. 0.1201, Fd-3m (227) and
//    P-1 (2, the same atoms, a cubic cell): the kept sets lie in a thin shell; each column of
//    indices through it, one of each orbit of the operations acting on (h, k) (an eighth of the
//    disc of radius a/d in Fd-3m, half of it in P-1), gets a vectorised test, and only the few that
//    hold an index of the shell are entered.
#include <benchmark/benchmark.h>
#include <cstdint>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/scripted_ui.h"
#include "core/space_groups.h"
#include "crystal/reflection_lists.h"

namespace {

void SetUpLargeCubicPhase(double edge = 24.3, int32_t group = 227, int32_t setting = 2) {
  LATTICE& p = PhaseTable[1];
  p = LATTICE{};
  for (int i = 0; i < 3; ++i) p.Cell[i] = edge, p.Cell[i + 3] = 90;
  p.SpaceGroup = group, p.Setting = setting;
  p.CrystalSystem = CrystalSystemOfGroup(group, setting);
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

void BM_FormSymmetricHklListHuge(benchmark::State& state) {
  const double a = state.range(0) / 10.0, dmin = state.range(1) / 1000.0;
  SetUpLargeCubicPhase(a);
  ScriptedUi ui;
  ScopedUi guard(ui);
  for (auto _ : state) {
    if (ui.PendingAnswers() == 0) ui.QueueAnswer(true);  // asked above e^20 box visits
    ui.transcript.clear();
    FormSymmetricHklList(1, dmin, 2 * a);
    benchmark::DoNotOptimize(PhaseTable[1].ReflectionCount);
  }
  state.counters["reflections"] = PhaseTable[1].ReflectionCount;
}
void BM_FormSymmetricHklListThinShell(benchmark::State& state) {
  SetUpLargeCubicPhase(367.0, int32_t(state.range(0)), state.range(0) == 227 ? 2 : 1);
  ScriptedUi ui;
  ScopedUi guard(ui);
  for (auto _ : state) {
    if (ui.PendingAnswers() == 0) ui.QueueAnswer(true);
    ui.transcript.clear();
    FormSymmetricHklList(1, 0.12, 0.1201);
    benchmark::DoNotOptimize(PhaseTable[1].ReflectionCount);
  }
  state.counters["reflections"] = PhaseTable[1].ReflectionCount;
}
BENCHMARK(BM_FormSymmetricHklListThinShell)->Arg(227)->Arg(2)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_FormSymmetricHklListHuge)
    ->Args({243, 100})
    ->Args({243, 50})
    ->Args({1600, 50})
    ->Args({3670, 120})
    ->Unit(benchmark::kMillisecond);

}  // namespace
