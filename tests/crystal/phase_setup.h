// Shared by the crystal tests: a phase set up from a table entry, a cell and atoms, and a
// fixture that puts back every table and switch the tests change.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/space_groups.h"
#include "core/spectrum.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

// One atom as the tests give it: scattering length (10^-12 cm), fractional position,
// occupation and thermal tensor T11, T12, T13, T22, T23, T33. With isotropic set, T11 is the
// isotropic B (angstrom^2); otherwise the six are the beta form on indices divided by a, b, c.
struct TestAtom {
  double b = 1.0;
  double x = 0, y = 0, z = 0;
  double occ = 1.0;
  std::array<double, 6> t{};
  bool isotropic = true;
};

// Phase k from table entry (group, setting) with cell (a, b, c, alpha, beta, gamma) and atoms:
// the symmetry by ExpandSpaceGroup, the crystal system of the group, the reciprocal cell by
// CellMetric and the metric by PhaseMetric. Group 0 leaves the phase without operations.
// Returns false when the table has no such entry.
inline bool SetUpPhase(int32_t k, int32_t group, int32_t setting, std::array<double, 6> cell,
                       const std::vector<TestAtom>& atoms = {}) {
  LATTICE& p = PhaseTable[k];
  p = LATTICE{};
  std::copy(cell.begin(), cell.end(), p.Cell);
  p.SpaceGroup = group, p.Setting = setting, p.CrystalSystem = CrystalSystemOfGroup(group, setting);
  DialogOk = 1;
  ExpandSpaceGroup(k);
  if (DialogOk == 0) return false;
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  p.Volume = CellVolume(p.Cell);
  PhaseMetric(k);
  p.AtomCount = static_cast<int32_t>(std::min<size_t>(atoms.size(), MaxAtoms));
  for (int32_t a = 1; a <= p.AtomCount; ++a) {
    const TestAtom& s = atoms[a - 1];
    ATOM& t = AtomTable[a][k];
    t = ATOM{};
    t.Name = "X", t.ScatteringLength = s.b, t.X = s.x, t.Y = s.y, t.Z = s.z, t.Occupation = s.occ;
    t.T11 = s.t[0], t.T12 = s.t[1], t.T13 = s.t[2], t.T22 = s.t[3], t.T23 = s.t[4], t.T33 = s.t[5];
    t.IsotropicFlag = s.isotropic ? 1 : 0;
  }
  p.ReflectionCount = 0;
  return true;
}

// One isotropic atom with B = biso.
inline TestAtom IsoAtom(double b, double x, double y, double z, double biso = 0.5, double occ = 1.0) {
  return {b, x, y, z, occ, {biso}};
}

// The reflections 1..ReflectionCount of phase k.
inline std::vector<THklRecord> PhaseReflections(int32_t k) {
  const int32_t n = std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections);
  std::vector<THklRecord> out;
  for (int32_t i = 1; i <= n; ++i) out.push_back(HklTable[i][k]);
  return out;
}

// The fields of two phases that differ, by name (every field compared, exactly).
inline std::vector<std::string> PhaseDifferences(const LATTICE& a, const LATTICE& b) {
  std::vector<std::string> out;
  const auto same = [&](const char* name, const auto* x, const auto* y, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (!(x[i] == y[i])) return out.push_back(name);
  };
#define FIELD(f) same(#f, &a.f, &b.f, 1)
#define ARRAY(f) same(#f, &a.f[0], &b.f[0], sizeof(a.f) / sizeof(a.f[0]))
#define BLOCK(f, T) same(#f, reinterpret_cast<const T*>(&a.f), reinterpret_cast<const T*>(&b.f), sizeof(a.f) / sizeof(T))
  ARRAY(Cell), ARRAY(ReciprocalCell), ARRAY(PreviousCell), ARRAY(CellErrors);
  FIELD(Volume), FIELD(PreviousVolume), FIELD(ReciprocalVolume), FIELD(Working), FIELD(PhaseW0), FIELD(PhaseW1);
  ARRAY(ReciprocalSquares), ARRAY(CrossTerms), ARRAY(Metric), ARRAY(IndexNormalisers);
  FIELD(MaxF), FIELD(MaxQ), FIELD(CrystalSystem), FIELD(LatticeType), FIELD(SpaceGroup), FIELD(Setting);
  FIELD(ClassCode), FIELD(Centrosymmetric), FIELD(Schoenflies), FIELD(HermannMauguin), FIELD(AtomCount);
  FIELD(ReflectionCount), FIELD(OperationCount), FIELD(CentringCount), FIELD(CellAccuracy), FIELD(AtomAccuracy);
  BLOCK(Rotations, double), BLOCK(Translations, double), BLOCK(CentringVectors, double);
  BLOCK(SecondMatrices, double), ARRAY(MomentDirection), ARRAY(Anisotropy);
  FIELD(MaxIndex4), FIELD(MaxIndex2), FIELD(MeanMultiplicity), ARRAY(SourceFlags);
#undef FIELD
#undef ARRAY
#undef BLOCK
  return out;
}

// Spectrum 1, made current, as time of flight whose working range 2600..7800 spans d from about
// 1.0 to 3.0 angstrom at the default calibration.
inline TSpectrum& TofTestSpectrum() {
  CurrentSpectrum = 1;
  TSpectrum& sp = *SpectrumList[1];
  sp.AxisKind = AxisTimeOfFlight, sp.WorkFirst = 2600, sp.WorkLast = 7800;
  return sp;
}

// The scripted backend, the result file in memory, and the phase, atom and reflection tables
// with the switches the crystal routines read put back at the end. Starts with one phase and
// nothing set up.
class PhaseTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    PhaseCount = 1, MainMode = 0;
    for (int32_t k = 0; k <= MaxPhases; ++k) PhaseModelFlags[k] = 0, PhaseTable[k] = LATTICE{};
  }

private:
  KeepValues<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  KeepValues<ATOM> atoms_{&AtomTable[0][0], (MaxAtoms + 1) * (MaxPhases + 1)};
  KeepValues<THklRecord> hkls_{&HklTable[0][0], (MaxReflections + 1) * (MaxPhases + 1)};
  KeepValues<TDSpacingRecord> dspacings_{DSpacingList, MaxDSpacings + 1};
  KeepValues<int32_t> flags_{PhaseModelFlags, MaxPhases + 1}, count_{&PhaseCount, 1}, mode_{&MainMode, 1},
      dcount_{&DSpacingCount, 1}, indexing_{&IndexingMode, 1}, current_{&CurrentSpectrum, 1},
      bounds_{&HklBounds[0][0], (MaxPhases + 1) * 5};
  KeepValues<uint8_t> useGroup_{&UseSpaceGroup, 1}, noInfo_{&NoCrystalInfo, 1};
  KeepValues<double> dmin_{&DMin, 1}, dmax_{&DMax, 1};
};
