#include "core/symmetry_expansion.h"
#include "core/cell_geometry.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/text_file.h"

namespace {

// One walk over the copies of a group's atoms; the group is passed beside it.
struct CopyWalk {
  int32_t operations, centrings, signs;
  int32_t phase, atoms;  // the source atoms 1..atoms of this phase
  bool magneticOnly;     // only atoms with the magnetic flag
  bool skipIdentity;     // leave out s = +1, no centring, operation 1
};

// Calls visit(s, centring, operation, atom) in the order of the copies until it returns false.
template <class Visit>
void ForEachCopy(const CopyWalk& w, Visit visit) {
  for (int32_t si = 0; si < w.signs; ++si)
    for (int32_t c = 0; c <= w.centrings; ++c)
      for (int32_t j = si == 0 && c == 0 && w.skipIdentity ? 2 : 1; j <= w.operations; ++j)
        for (int32_t a = 1; a <= w.atoms; ++a) {
          if (w.magneticOnly && AtomTable[a][w.phase].MagneticFlag != 1) continue;
          if (!visit(si == 0 ? 1.0 : -1.0, c, j, a)) return;
        }
}

CopyWalk GroupWalk(const LATTICE& g, int32_t phase, int32_t atoms, bool magneticOnly,
                   bool skipIdentity) {
  return {MinI(MaxI(g.OperationCount, 0), MaxOperations), MinI(MaxI(g.CentringCount, 0), 3),
          g.Centrosymmetric != 0 ? 2 : 1, phase, MinI(MaxI(atoms, 0), MaxAtoms), magneticOnly,
          skipIdentity};
}

double Shift(const LATTICE& g, int32_t row, int32_t c, int32_t j) {
  return g.Translations[row][j] + (c > 0 ? g.CentringVectors[row][c] : 0);
}

// The x, y, z records of the copy (from record copyX) follow the source's (from sourceX).
// False, after the message, when the copy's records lie beyond the parameter array.
bool LinkCopy(int32_t copyX, int32_t sourceX, const LATTICE& g, double s, int32_t c, int32_t j) {
  if (!TableIndexOk(copyX + 2, 1, MaxParameters, "parameter")) return false;
  if (sourceX + 2 >= copyX) return true;  // a source must come first
  for (int32_t row = 0; row < 3; ++row) {
    ParameterRecord& r = parar[copyX + row];
    if (IsQuarterFraction(r.value)) continue;
    for (int32_t m = 0; m < 3; ++m) {
      const double e = g.Rotations[row][m][j];
      if (e == 0) continue;
      r.n = sourceX + m;
      r.a = s * e;
      r.b = s * Shift(g, row, c, j);
    }
  }
  return true;
}

// What ExpandAtomsBySymmetry(k, 2) kept of phase k's former group, per phase: operations,
// centrings + 1, atoms, centrosymmetric flag + 1. Valid until the phase's group is set anew.
struct KeptGroup {
  bool valid = false;
  int32_t operations = 0, centrings = 1, atoms = 0, signs = 1;
};
KeptGroup kept[MaxPhases + 1];

}  // namespace

void ExpandAtomsBySymmetry(int32_t k, int32_t mode) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) return;
  const int32_t target = mode == 2 ? k : k + 1;
  if (!TableIndexOk(target, 1, MaxPhases, "phase")) return;
  const LATTICE& source = PhaseTable[k];
  LATTICE& to = PhaseTable[target];
  const CopyWalk walk = GroupWalk(source, k, source.AtomCount, mode == 1, mode == 2);
  const int32_t start = mode == 2 ? walk.atoms : 0;
  int32_t wanted = start;
  ForEachCopy(walk, [&](double, int32_t, int32_t, int32_t) {
    ++wanted;
    return true;
  });
  CappedCount(wanted, MaxAtoms, "atoms");  // the message when copies must be dropped

  int32_t t = start;
  ForEachCopy(walk, [&](double s, int32_t c, int32_t j, int32_t a) {
    if (t >= MaxAtoms) return false;
    ++t;
    const ATOM& from = AtomTable[a][k];
    const double x[3] = {from.X, from.Y, from.Z};
    double y[3];
    for (int32_t row = 0; row < 3; ++row)
      y[row] = s * (source.Rotations[row][0][j] * x[0] + source.Rotations[row][1][j] * x[1] +
                    source.Rotations[row][2][j] * x[2] + Shift(source, row, c, j));
    CopyAtom(a, t, k, target);
    ATOM& copy = AtomTable[t][target];
    copy.X = y[0], copy.Y = y[1], copy.Z = y[2];
    return true;
  });

  // Mode 2 keeps the former group for the links of GenerateEquivalentMoments; the other modes
  // replace the target's atoms, so links kept for it would tie the wrong atoms.
  if (mode == 2)
    kept[target] = {true, to.OperationCount, to.CentringCount + 1, to.AtomCount, to.Centrosymmetric + 1};
  else
    kept[target] = KeptGroup{};
  to.AtomCount = t;
  to.CrystalSystem = 1;
  to.SpaceGroup = 1;
  to.Setting = 1;
  to.Centrosymmetric = 0;
  to.OperationCount = 1;
  to.CentringCount = 0;
}

void GenerateEquivalentPositions(int32_t k) {
  if (!TableIndexOk(k, 2, MaxPhases, "phase")) return;
  const LATTICE& g = PhaseTable[k - 1];
  const int32_t copies = PhaseTable[k].AtomCount, base = PhaseParameterOffset(k),
                sourceBase = PhaseParameterOffset(k - 1);
  int32_t v = 0;
  ForEachCopy(GroupWalk(g, k - 1, g.AtomCount, true, false),
              [&](double s, int32_t c, int32_t j, int32_t a) {
                return ++v <= copies && LinkCopy(base + 10 * v + 2, sourceBase + 10 * a + 2, g, s, c, j);
              });
}

void GenerateEquivalentMoments(int32_t k) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) return;
  const KeptGroup& former = kept[k];
  if (!former.valid) {
    LogLine("Phase " + std::to_string(k) + " not expanded by symmetry: no links of equivalent atoms");
    return;
  }
  const LATTICE& g = PhaseTable[k];
  CopyWalk walk{MinI(MaxI(former.operations, 0), MaxOperations), MinI(MaxI(former.centrings - 1, 0), 3),
                former.signs > 1 ? 2 : 1, k, MinI(MaxI(former.atoms, 0), MaxAtoms), false, true};
  const int32_t copies = g.AtomCount, base = PhaseParameterOffset(k);
  int32_t v = walk.atoms;
  ForEachCopy(walk, [&](double s, int32_t c, int32_t j, int32_t a) {
    return ++v <= copies && LinkCopy(base + 10 * v + 2, base + 10 * a + 2, g, s, c, j);
  });
}

void ForgetSymmetryExpansion(int32_t k) {
  if (k >= 1 && k <= MaxPhases) kept[k] = KeptGroup{};
}
