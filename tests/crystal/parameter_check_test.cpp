#include "crystal/parameter_check.h"

#include <gtest/gtest.h>
#include "core/messages.h"
#include "crystal/profile_setup.h"

namespace {

using Lines = std::vector<std::string>;

// An fcc phase with a scattering atom and a vacancy "Vac" (b = 0), ten reflections inside the
// working range of a time-of-flight spectrum, every record free.
class ParameterCheckTest : public ProfileTest {
protected:
  void SetUp() override {
    ProfileTest::SetUp();
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.35, 0, 0, 0), IsoAtom(0, 0.5, 0.5, 0.5)}));
    AtomTable[2][1].Name = "Vac";
    sp = &SetUpProfileSpectrum({});
    PhaseTable[1].ReflectionCount = 10;
    for (int32_t j = 1; j <= 10; ++j) HklTable[j][1].d = ProfileChannelToD(sp->WorkFirst + 100.0 * j);
    LayOutProfileParameters();
  }
  // parar := the engine's records; the check, after which parar must be as it was; DialogOk.
  int32_t Check() {
    std::copy_n(FitParameters->Records.begin(), MaxParameters + 1, parar);
    CheckParameterArray();
    for (int32_t i = 1; i <= FitParameters->NPar; ++i)
      EXPECT_TRUE(parar[i].n == Rec(i).n && parar[i].lower == Rec(i).lower && parar[i].upper == Rec(i).upper) << i;
    return DialogOk;
  }
  void ExpectList(const Lines& lines, bool ok) {
    auto& d = ui.ExpectDialog("").Inspect([lines](TForm2& f) { EXPECT_EQ(f.ListBox1.items, lines); });
    ok ? d.Ok() : d.Cancel();
  }
  TSpectrum* sp = nullptr;
  KeepValues<ParameterRecord> parar_{parar, MaxParameters + 1};
};

const Lines NoFixed = {"Warning! There are no fixed:",      "   occupations for phase 1",
                       "   atom X-coordinates for phase 1", "   atom Y-coordinates for phase 1",
                       "   atom Z-coordinates for phase 1", "   thermal parameters for phase 1"};
const Lines TooFree = {"* Phase1 has 26 free cryst.parameters", "         - more than reflections"};

TEST_F(ParameterCheckTest, ListsWhatIsNotFixedAndCancelStops) {
  Lines all = NoFixed;
  all.push_back("* Vac has 0-scattering");
  all.insert(all.end(), TooFree.begin(), TooFree.end());
  ExpectList(all, false);
  EXPECT_EQ(Check(), 0);

  // One fixed occupation (of either atom) suppresses its line; so does one fixed T11.
  FixRecord(AtomRecord(1, 2, 1)), FixRecord(AtomRecord(1, 1, 5));
  all.erase(all.begin() + 5), all.erase(all.begin() + 1);
  all[all.size() - 2] = "* Phase1 has 24 free cryst.parameters";
  ExpectList(all, true);
  EXPECT_EQ(Check(), 1);
}

TEST_F(ParameterCheckTest, NothingFoundShowsNoListAndHklsBeyondTheIntervalAreCounted) {
  FixAllRecords();
  AtomTable[2][1].ScatteringLength = 0.1;
  // Three channels beyond either end is still inside, four is not.
  const double channels[] = {sp->WorkLast + 3.0, sp->WorkLast + 4.0, sp->WorkFirst - 3.0, sp->WorkFirst - 4.2};
  for (int32_t j = 0; j < 4; ++j) HklTable[j + 1][1].d = ProfileChannelToD(channels[j]);
  ui.ExpectMessage("Warning! 2 hkls beyond the spectrum interval");
  EXPECT_EQ(Check(), 1);
  MainMode = 2;  // powder match: no check at all
  DialogOk = 0;
  EXPECT_EQ(Check(), 1);
}

TEST_F(ParameterCheckTest, MagneticPhaseNeedsAFixedMomentComponent) {
  PhaseModelFlags[1] = 1;
  LayOutProfileParameters();  // now with the moment direction block
  ui.ExpectMessage("Magnetic parameters should be same:" + LineBreak + "scale, unit cell, width, atoms ones");
  Lines all = NoFixed;  // no 0-scattering line in a magnetic phase
  all.push_back("Error, one of h0, k0, l0 should be fixed");
  all.insert(all.end(), TooFree.begin(), TooFree.end());
  ExpectList(all, true);
  Check();
}

}  // namespace
