// The links of the copies that an expansion appends to its own phase: each phase keeps the group
// it had before its expansion, until its group is set anew.
#include <gmock/gmock.h>
#include "core/parameter_layout.h"
#include "core/space_groups.h"
#include "core/symmetry_expansion.h"
#include "crystal_test_support.h"

namespace {

class SymmetryLinks : public CrystalTest {
protected:
  // Phase k in group (number, setting) with one atom at a general position.
  static void Phase(int k, int number, int setting) {
    PhaseTable[k] = LATTICE{};
    PhaseTable[k].SpaceGroup = number, PhaseTable[k].Setting = setting, PhaseTable[k].AtomCount = 1;
    ExpandSpaceGroup(k);
    ATOM& a = AtomTable[1][k];
    a = ATOM{};
    a.X = 0.1234 * k, a.Y = 0.2345, a.Z = 0.3456, a.Occupation = 1;
  }
  static ParameterRecord& Record(int k, int i, int c) { return parar[PhaseParameterOffset(k) + 10 * i + 2 + c]; }
  // Every coordinate record of phase k free and holding its atom's coordinate.
  static void FreeRecords(int k) {
    for (int i = 1; i <= PhaseTable[k].AtomCount; ++i)
      for (int c = 0; c < 3; ++c) {
        ParameterRecord& r = Record(k, i, c) = ParameterRecord{};
        const ATOM& a = AtomTable[i][k];
        r.n = int(&r - parar), r.a = 1, r.value = c == 0 ? a.X : c == 1 ? a.Y : a.Z;
      }
  }
  // The copies of phase k whose three records follow atom 1's and give their own coordinates.
  static int LinkedCopies(int k) {
    const int source = int(&Record(k, 1, 0) - parar);
    int linked = 0;
    for (int i = 2; i <= PhaseTable[k].AtomCount; ++i) {
      bool all = true;
      for (int c = 0; c < 3; ++c) {
        const ParameterRecord& r = Record(k, i, c);
        all = all && r.n >= source && r.n <= source + 2 && std::fabs(r.a * parar[r.n].value + r.b - r.value) < 1e-12;
      }
      linked += all;
    }
    return linked;
  }
};

}  // namespace

TEST_F(SymmetryLinks, EachPhaseKeepsItsFormerGroupUntilItIsSetAnew) {
  MainMode = 0, PhaseCount = 2;
  ForgetSymmetryExpansion(3);  // as at start: other tests expand phase 3
  Phase(1, 14, 2);  // P 1 21/c 1: x, y, z and its three images
  Phase(2, 63, 1);  // C m c m: 16 positions
  ExpandAtomsBySymmetry(1, 2);
  ExpandAtomsBySymmetry(2, 2);
  ASSERT_EQ(PhaseTable[1].AtomCount * 100 + PhaseTable[2].AtomCount, 416);
  FreeRecords(1);
  FreeRecords(2);
  GenerateEquivalentMoments(1);  // phase 1's own group, though phase 2 was expanded last
  GenerateEquivalentMoments(2);
  EXPECT_EQ(LinkedCopies(1), 3);
  EXPECT_EQ(LinkedCopies(2), 15);

  // A group set anew drops what the expansion kept: no links, and the result file says so; a
  // phase never expanded likewise.
  Phase(1, 14, 2);
  ExpandAtomsBySymmetry(1, 2);
  PhaseTable[1].SpaceGroup = 2, PhaseTable[1].Setting = 1;
  ExpandSpaceGroup(1);
  FreeRecords(1);
  GenerateEquivalentMoments(1);
  GenerateEquivalentMoments(3);
  EXPECT_EQ(LinkedCopies(1), 0);
  EXPECT_THAT(LogLines(), ::testing::ElementsAre("Phase 1 not expanded by symmetry: no links of equivalent atoms",
                                                 "Phase 3 not expanded by symmetry: no links of equivalent atoms"));
  // An expansion into the next phase replaces that phase's atoms: its former links go too.
  Phase(2, 63, 1);
  ExpandAtomsBySymmetry(2, 2);
  ExpandAtomsBySymmetry(1, 0);
  GenerateEquivalentMoments(2);
  EXPECT_EQ(LogLines().size(), 3u);
}
