// The hkl bounds dialog of the indexing preparation: which lowest indices it raises to 0. A
// reflection and its Friedel mate (-h -k -l) share d in every system, and the hexagonal Laue
// group also maps (h k l) to (-h -k l): one half of the k axis gives every d there. On
// rhombohedral axes (h k l) and (h -k l) differ in d whenever alpha is not 90 degrees, so both
// lowest indices must stay negative; orthorhombic mirrors make both halves alike.
#include <algorithm>
#include "core/dialog_toolkit.h"
#include "indexing_setup.h"

namespace {

class BoundsClampTest : public IndexingTest {};

TEST_F(BoundsClampTest, LowestIndicesFollowTheLatticeSymmetry) {
  struct Case {
    int32_t system;
    bool hNegative, kNegative;
  } cases[] = {{6, true, false}, {7, true, true}, {3, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.system);
    SetLines({10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
    std::string shownH, shownK;
    ui.ExpectDialog(" Phase= 1").Combo(c.system).Radio2(1).Ok();  // type P (R for rhombohedral)
    // Shown: the automatic bounds -m .. m with the clamp; typed: -3 and -2 for both lowest indices.
    ui.ExpectDialog(" Phase= 1")
        .Inspect([&](TForm2& f) { shownH = f.StringGrid1.Cell(0, 1), shownK = f.StringGrid1.Cell(0, 3); })
        .Field(1, 1, "3").Field(2, 1, "-3").Field(3, 1, "2").Field(4, 1, "-2").Field(5, 1, "2").Ok();
    ui.ExpectDialog("Set lattice parameters").Ok();
    PrepareIndexing();
    ASSERT_EQ(ParametersPending[1], 0);
    // The automatic bound m > 0: a lowest index shows -m, or 0 where the clamp raised it.
    EXPECT_EQ(shownH == GridCellText(8, 0), !c.hNegative) << shownH;
    EXPECT_EQ(shownK == GridCellText(8, 0), !c.kNegative) << shownK;
    EXPECT_LT(std::stod(shownH), c.hNegative ? 0.0 : 0.5);
    EXPECT_LT(std::stod(shownK), c.kNegative ? 0.0 : 0.5);
    EXPECT_EQ(std::vector<int32_t>(HklBounds[1], HklBounds[1] + 5),
              std::vector<int32_t>({3, c.hNegative ? -3 : 0, 2, c.kNegative ? -2 : 0, 2}));
    // The reflections generated from the stored bounds reach exactly the allowed half-axes.
    int32_t lowH = 0, lowK = 0;
    for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j)
      lowH = std::min(lowH, HklTable[j][1].h), lowK = std::min(lowK, HklTable[j][1].k);
    EXPECT_EQ(lowH, c.hNegative ? -3 : 0);
    EXPECT_EQ(lowK, c.kNegative ? -2 : 0);
  }
}

}  // namespace
