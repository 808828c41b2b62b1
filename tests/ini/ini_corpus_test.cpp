// The committed corpus read through the reader: every command of the spectrum and phase families
// dispatched to its handler, and the ZrO2 set-up against independent truth (the time-of-flight
// relation, gemmi's reciprocal metric and reflection list).
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include "core/dialog_state.h"
#include "core/help_texts.h"
#include "crystal/phase_editor.h"
#include "crystal/phase_setup.h"
#include "core/peak_model.h"
#include "core/trevo_records.h"
#include "crystal/atom_editor.h"
#include "evolution/trevo_state.h"
#include "ini/ini_setup.h"
#include "peaks/auto_calibration.h"

namespace {

class IniCorpusTest : public IniTest {
protected:
  void ReadFile(const std::string& name) { ReadIniText(ReadWholeFile(IniDataFile(name)), 1, true, false, IniDataFile(name)); }
};

TEST_F(IniCorpusTest, EveryBoundKeyOfTheCorpusReachesItsHandler) {
  ui.QueueAnswer(true);  // "Errors=0. Make Poisson variance?" after the ASCII spectrum
  ui.onUnexpected = [](const std::string&) {};
  std::set<std::string> keys;
  // The indexing and evolution commands (the evolution menus cancelled), then the others.
  for (const char* file : {"indexing_evolution.ini", "all_commands.ini"}) {
    ReadFile(file);
    for (const auto& t : IniDispatchTrace) {
      EXPECT_FALSE(t.handler.empty()) << t.key << " at line " << t.line;
      EXPECT_EQ(t.known, 1) << t.key << " at line " << t.line;
      keys.insert(t.key);
    }
    if (std::string(file) == "indexing_evolution.ini") {
      EXPECT_EQ(std::make_tuple(DSpacingCount, CalibrationPointLimit, ShortOutputPeakCount, isp2, SequenceCount),
                std::make_tuple(2, 4, 1, 3, 2));
      EXPECT_EQ(std::make_tuple(TrevoZeroWeightIntervals.last[2], int32_t{SuppressExponentialBackground}, HklBounds[1][4]),
                std::make_tuple(40, 1, 4));
      EXPECT_EQ(std::make_tuple(SpectrumList[1]->W1, SpectrumList[1]->Dw0, PeakSearchSectionLength),
                std::make_tuple(7.5, 4.0, 20));
      EXPECT_EQ(SequenceFileNames[3], "zro2_variance.txt");  // sp/var: the variances after the spectra
    }
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
        EXPECT_TRUE(inTable) << t.key << " at line " << t.line << " is no command the reader knows";
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

namespace {

// What both roads set of a spectrum, and of an atom.
std::string Header(const TSpectrum& s) {
  std::ostringstream o;
  o.precision(17);
  o << s.Name << "|" << s.FileType << " " << s.FirstChannel << " " << s.LastChannel << " " << s.WorkFirst << " "
    << s.WorkLast << " " << s.AxisKind << " " << s.FlightPath << " " << s.Delay << " " << s.ChanWidth << " " << s.Theta
    << " " << s.W0 << " " << s.Dw0 << " " << s.W1 << " " << s.W2 << " " << s.BackgroundDegree << " " << int(s.Present)
    << " " << IntervalFirst << " " << IntervalLast << " " << NChannels << " " << CurrentSpectrum << " " << GraphXAxis;
  for (int32_t k = 1; k <= s.LastChannel; ++k) o << "\n" << s.X[k] << " " << s.Y[k] << " " << s.E[k];
  return o.str();
}

// The first line where two texts differ, "" when none.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::istringstream x(a), y(b);
  std::string l, m;
  for (int32_t line = 1;; ++line) {
    const bool more = static_cast<bool>(std::getline(x, l)), other = static_cast<bool>(std::getline(y, m));
    if (!more && !other) return "";
    if (more != other || l != m) return "line " + std::to_string(line) + ": " + l + " | " + m;
  }
}

std::string Atoms() {
  std::ostringstream o;
  o.precision(17);
  for (int32_t i = 1; i <= PhaseTable[1].AtomCount; ++i) {
    const ATOM& a = AtomTable[i][1];
    o << a.Name << " " << a.Occupation << " " << a.X << " " << a.Y << " " << a.Z << " " << a.T11 << " " << a.T12 << " "
      << a.T13 << " " << a.T22 << " " << a.T23 << " " << a.T33 << " " << a.Weight << " " << a.Radius << " "
      << a.ScatteringLength << " " << a.Absorption1 << " " << a.Absorption2 << " " << int(a.IsotropicFlag) << "\n";
  }
  return o.str();
}

}  // namespace

// The ZrO2 spectrum and atoms entered through IS and IAP, and the same answers typed into the
// spectrum input and atom editor dialogs: the same header, counts, errors, abscissae and atoms.
TEST_F(IniCorpusTest, SpectrumAndAtomsEqualTheDialogs) {
  const std::string phase = "SNP\n1\nILP\n5.15367 5.21982 5.31867 90 99.199 90 14 2 ";
  ui.ExpectQuestion("Errors=0. Make Poisson variance?", true);
  Read(phase + "4 0 0\nIS\nzro2_counts.txt\n1 3 1 1024 305 740 25.0 -1.187 64.0 75.0 7.0 4.0 7.0 0 5 0 0 0\nIAP\n"
               "Zr\n0.98 0.2758 0.0404 0.2089 0.15 0 0 0 0 0\nO\n1 0.069 0.342 0.345 0.4 0 0 0 0 0\n"
               "O\n1 0.451 0.758 0.479 0.2 0 0 0 0 0\nHf\n0.02 0.2758 0.0404 0.2089 0.15 0 0 0 0 0\n");
  const std::string header = Header(*SpectrumList[1]), atoms = Atoms();

  Read(phase + "0 0 0\n");
  SpectrumList[1] = std::make_unique<TSpectrum>("sp1");
  GraphXAxis = 1;
  ui.ChooseFile(IniDataFile("zro2_counts.txt"));
  ui.ExpectDialog("Spectrum 1 input").Radio(3).Radio2(1).Ok();
  ui.ExpectQuestion("Errors=0. Make Poisson variance?", true);
  ui.ExpectDialog("Spectrum 1 input").Field(1, 1, "7").Field(2, 1, "4").Field(3, 1, "7").Field(4, 1, "0")
      .Field(5, 1, "305").Field(6, 1, "740").Radio(7).Ok();  // background degree 5
  ui.ExpectDialog("Spectrum 1 input").Field(1, 1, "64").Field(2, 1, "-1.187").Field(3, 1, "75").Field(4, 1, "25").Ok();
  InputSpectrumFile(1);
  ui.ExpectDialog("Enter or Edit the atom list").Memo("Zr\nO\nO\nHf\n").Ok();
  const char* const typed[4][5] = {{"0.98", "0.2758", "0.0404", "0.2089", "0.15"},
                                   {"1", "0.069", "0.342", "0.345", "0.4"},
                                   {"1", "0.451", "0.758", "0.479", "0.2"},
                                   {"0.02", "0.2758", "0.0404", "0.2089", "0.15"}};
  for (int32_t j = 0; j < 4; ++j) {
    DialogScript& d = ui.ExpectDialog("Atom " + std::to_string(j + 1) + " ");
    for (int32_t f = 0; f < 5; ++f) d.Field(f + 1, 1, typed[j][f]);
    d.Ok();
  }
  EditAtomList(0);
  EXPECT_EQ(FirstDifference(Header(*SpectrumList[1]), header), "");
  EXPECT_EQ(FirstDifference(Atoms(), atoms), "");
}
