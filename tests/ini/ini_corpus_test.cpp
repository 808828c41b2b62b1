// The committed corpus read through the reader: every command of the spectrum and phase families
// dispatched to its handler, and the ZrO2 set-up against independent truth (the time-of-flight
// relation, gemmi's reciprocal metric and reflection list).
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include "core/dialog_state.h"
#include "core/help_texts.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_setup.h"
#include "core/peak_model.h"
#include "core/trevo_records.h"
#include "ini/ini_setup.h"

namespace {

class IniCorpusTest : public IniTest {
protected:
  void ReadFile(const std::string& name) { ReadIniText(ReadWholeFile(IniDataFile(name)), 1, true, false, IniDataFile(name)); }
};

TEST_F(IniCorpusTest, EveryBoundKeyOfTheCorpusReachesItsHandler) {
  ui.QueueAnswer(true);  // "Errors=0. Make Poisson variance?" after the ASCII spectrum
  ui.onUnexpected = [](const std::string&) {};
  ReadFile("all_commands.ini");
  std::set<std::string> keys;
  for (const auto& t : IniDispatchTrace) {
    EXPECT_FALSE(t.handler.empty()) << t.key << " at line " << t.line;
    EXPECT_EQ(t.known, 1) << t.key << " at line " << t.line;
    keys.insert(t.key);
  }
  // Every key of the table that has a handler appears in the corpus (STOP ends it).
  for (const TIniKey& k : IniKeyTable) {
    // The parameter, fit-control and analysis-start commands have the writer's tests; NSCA, which
    // asks the user, has its own.
    const std::string own = k.key;
    if (k.handler && own != "IP" && own != "IPA" && own != "IMFC" && own != "FS" && own != "NSCA") {
      EXPECT_TRUE(keys.count(k.key)) << k.key << " missing from the corpus";
    }
  }
  EXPECT_FALSE(Shown("Wrong command "));
  for (const auto& line : ui.transcript) {
    EXPECT_EQ(line.find("Wrong command"), std::string::npos) << line;
  }

  // A few effects, one per family.
  EXPECT_EQ(MainMode, 2);
  EXPECT_EQ(PhaseCount, 2);
  EXPECT_EQ(MarkedPointModels[3], 6);
  EXPECT_EQ(ExponentialCount, 2);
  EXPECT_EQ(WidthMode, 1);
  EXPECT_EQ(SpectrumList[1]->E[405], 0.0);  // zero weights
  EXPECT_EQ(SpectrumList[2]->AxisKind, AxisAngular);
  EXPECT_DOUBLE_EQ(SpectrumList[2]->X[1024], 10.0 + 0.05 * 1023);
  EXPECT_EQ(PeakModels[5]->ModelNumber, ModelReal);          // IERM, index 4
  EXPECT_EQ(PeakModels[7]->ModelNumber, ModelDoubleSigned);  // IEDM, index 6
  EXPECT_EQ(PhaseModelFlags[2], 1);
  EXPECT_EQ(PhaseTable[2].CrystalSystem, 2);
  EXPECT_EQ(AtomTable[2][2].IonName, "V 0");  // an ion name with a blank matches
  EXPECT_DOUBLE_EQ(AtomTable[2][2].MagneticMoment, 3.0);
  EXPECT_DOUBLE_EQ(PhaseTable[1].Anisotropy[11], 1.2);
  EXPECT_EQ(M2Mode, 1);
  EXPECT_GT(PhaseTable[1].ReflectionCount, 5);
  EXPECT_EQ(TrevoPhases[1].ReflectionCount, 3);  // THKL 5, then SNRA 3
  EXPECT_EQ(TrevoPhases[2].ReflectionCount, std::min(2, PhaseTable[2].ReflectionCount));

  // The stored real model (IERM, index 4) has the generator's Gaussian of full width 20 points:
  // the block layout the writer emits, read back.
  const TPeakModel& m = *PeakModels[5];
  EXPECT_EQ(m.HalfPoints, 96);
  EXPECT_NEAR(m.FullWidth, 20.0, 1e-6);
  EXPECT_NEAR(m.Shape[87] / m.Shape[97], 0.5, 1e-6);
  EXPECT_NEAR(m.Shape[107] / m.Shape[97], 0.5, 1e-6);
  EXPECT_EQ(SelectedPeakModel, 6);  // IESM on index 5 last: the 1-based model of the tools
  EXPECT_EQ(PeakModels[6]->ModelNumber, ModelVoigt);
  EXPECT_DOUBLE_EQ(SpecialModelRatio, 0.5);
}

class Zro2Test : public IniCorpusTest {
protected:
  void SetUp() override {
    IniCorpusTest::SetUp();
    ui.ExpectQuestion("Errors=0. Make Poisson variance?", true);
    ReadFile("zro2.ini");
  }
};

TEST_F(Zro2Test, ChannelMapsToDByTheTimeOfFlightRelation) {
  // t = 505.556 L d sin(theta): d 3.70169 at channel 707.3 (64 us channels, delay -1.187).
  TSpectrum& sp = *SpectrumList[1];
  EXPECT_NEAR(sp.DToChannel(3.70169), 707.3, 0.05);
  EXPECT_NEAR(sp.ChannelToD(707.3), 3.70169, 0.05 * 3.70169 / 707.3);
  EXPECT_EQ(sp.WorkFirst, 305);
  EXPECT_EQ(sp.WorkLast, 740);
  EXPECT_EQ(sp.BackgroundDegree, 5);
  EXPECT_DOUBLE_EQ(sp.Y[707], std::round(sp.Y[707]));
  EXPECT_EQ(DialogOk, 1);
}

TEST_F(Zro2Test, MetricEqualsGemmiReciprocalMetric) {
  const auto rows = GoldenRows("zro2_metric.txt", "ini");
  ASSERT_EQ(rows.size(), 1u);
  for (size_t i = 0; i < 6; ++i) {
    const double truth = std::stod(rows[0][i]);
    // RadToDeg 57.29578 is 1.3e-8 relative from 180/pi: the metric agrees to about 1e-8.
    EXPECT_NEAR(PhaseTable[1].Metric[i], truth, 1e-7 * 0.04) << i;
  }
  EXPECT_EQ(PhaseTable[1].CrystalSystem, 2);
  EXPECT_EQ(NoCrystalInfo, 0);
  EXPECT_EQ(AtomTable[2][1].Name, "O");
  EXPECT_NEAR(AtomTable[1][1].ScatteringLength, 0.716, 1e-3);  // the element's length
}

TEST_F(Zro2Test, FormedReflectionsEqualGemmi) {
  const auto rows = GoldenRows("zro2_hkl.txt", "ini");
  // gemmi's list inside the d range the reader formed (the working channels widened by 3).
  std::vector<std::pair<double, int>> truth;
  for (const auto& r : rows) {
    const double d = std::stod(r[0]);
    if (d >= DMin && d <= DMax) truth.emplace_back(d, std::stoi(r[1]));
  }
  EXPECT_NEAR(DMin, 1.577, 0.02);
  EXPECT_NEAR(DMax, 3.8889, 0.03);
  const int32_t n = PhaseTable[1].ReflectionCount;
  ASSERT_EQ(n, static_cast<int32_t>(truth.size()));
  for (int32_t i = 1; i <= n; ++i) {
    EXPECT_NEAR(HklTable[i][1].d, truth[i - 1].first, 1e-6) << i;
    EXPECT_EQ(HklTable[i][1].Multiplicity, truth[i - 1].second) << i;
  }
}

// The two example files of the Help menu read back: up to the first command not built yet (whose
// value lines then follow as titles), every key runs its handler to the end.
TEST_F(IniCorpusTest, HelpExamplesReadBack) {
  InhibitWarnings = 1;
  for (const auto* example : {&IniExampleCelix, &IniExampleRietveld}) {
    std::string text;
    for (const auto& line : *example) text += line + "\r\n";
    Read(text);
    for (const auto& t : IniDispatchTrace) {
      if (t.handler.empty()) {
        bool inTable = false;
        for (const TIniKey& k : IniKeyTable) inTable = inTable || (t.key == k.key && !k.handler);
        EXPECT_TRUE(inTable) << t.key << " at line " << t.line << " is no command of a later issue";
        break;
      }
      EXPECT_EQ(t.known, 1) << t.key;
    }
  }
  // The Rietveld example, read last.
  EXPECT_EQ(PhaseTable[1].SpaceGroup, 225);
  EXPECT_NEAR(AtomTable[1][1].T11, 0.5, 1e-12);
  EXPECT_NEAR(AtomTable[1][1].T33, 0.5, 1e-12);  // the eleven numbers span two lines
  EXPECT_GT(PhaseTable[1].ReflectionCount, 0);
}

// The same phase entered through ILP and through the phase editor's dialogs.
TEST_F(IniCorpusTest, LatticeCommandEqualsThePhaseEditor) {
  Read("SNP\n1\n");
  const LATTICE fresh = PhaseTable[1];
  Read("ILP\n5.15367 5.21982 5.31867 90 99.199 90 14 2 4 0 0\n", false);
  const LATTICE fromIni = PhaseTable[1];
  PhaseTable[1] = fresh;
  ui.ExpectDialog("Phase information").Field(1, 1, "14").Field(2, 1, "2").Ok();
  auto& cell = ui.ExpectDialog("Check lattice information");
  int row = 0;
  for (const char* f : {"5.15367", "5.21982", "5.31867", "99.199"}) cell.Field(++row, 1, f);
  cell.Ok();
  EditPhaseInfo(0);
  ASSERT_EQ(DialogOk, 1);
  PhaseTable[1].AtomCount = fromIni.AtomCount;  // the editor enters no atoms
  EXPECT_EQ(PhaseDifferences(PhaseTable[1], fromIni), std::vector<std::string>{});
}

}  // namespace
