// The module as a user drives it through the scripted dialogs: menu, spectrum input, settings and
// the analysis loop with a recording step; the refusals of bad input.
#include <gtest/gtest.h>
#include <cmath>
#include <numbers>
#include <tuple>
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "evolution/sequence_driver.h"
#include "evolution/sequence_view.h"
#include "support/golden_files.h"
#include "trevo_fixture.h"

class SequenceDriver : public TrevoTest {
protected:
  void SetUp() override {
    TrevoTest::SetUp();
    dir = Folder();
    std::ofstream list(dir + "/seq.lst");
    for (int32_t i = 1; i <= 10; ++i) {
      const std::string name = "s" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".dat";
      list << name << "\n";
      std::vector<double> y(200, 100.0);
      for (int32_t c = 90; c <= 110; ++c) y[c - 1] += 2000 * std::exp(-0.5 * std::pow((c - 100) / 3.0, 2));
      WriteValues(dir + "/" + name, y);
    }
    TSpectrum& sp = *SpectrumList[1];
    sp.FileType = 3, sp.WorkFirst = 1, sp.WorkLast = 200, sp.W0 = 6, sp.W1 = 6, sp.Dw0 = 2;
    CorrectForEffectiveSpectrum = 0, DialogWhileFitting = 0, TrevoMode = 0;
    QuorinFile.Rewrite(dir + "/quorin.res");
    QuorinFile.WriteLine("* old block");
    SetSequenceStepFunction([this](int32_t index) { steps.push_back(index); });
  }
  void TearDown() override {
    if (QuorinFile.IsOpen()) QuorinFile.Close();
    TrevoTest::TearDown();
  }
  // The menu (its caption is whatever the last dialog left) with an item and an analysis kind.
  DialogScript& Menu(int32_t item, int32_t kind = 1) { return ui.ExpectDialog("").Radio(item).Combo(kind); }
  void EnterSequence() {
    Menu(1).Ok();
    ui.ExpectDialog("Spectrum input").Edit(1, dir + "/seq.lst").Edit(2, dir).Edit(3, "1").Ok();
  }
  std::string Summary() {
    QuorinFile.Close();
    return ReadWholeFile(dir + "/quorin.res");
  }
  std::string dir;
  std::vector<int32_t> steps;
};

TEST_F(SequenceDriver, AnalysisRunsTheStepsInOrderWithItsLogLines) {
  EnterSequence();
  Menu(2).Ok();
  ui.ExpectDialog("Sequence analysis").Ok();
  Menu(7).Ok();
  TrevoMain();
  EXPECT_EQ(steps, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(Summary(), "* N of phases\r\n  1\r\n");
  const auto log = LogLines();
  auto has = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
  for (const char* line : {"               Analyze the spectrum sequence", "       Spectrum Settings",
                           "   10 Spectra selected = s01.dat ... s10.dat", "* a11 a22  Compress *     1   200 1.0",
                           "Analysis Settings isp1 isp2 dref ucdif * =      1    10   0.010   0.500"})
    EXPECT_TRUE(has(line)) << line;
  EXPECT_TRUE(has(std::string(19, ' ') + "Spectrum " + (std::filesystem::path(dir) / "s07.dat").string()));
  EXPECT_EQ(LogWith(std::string(62, '-')).size(), 11u);  // before every step and after the loop
  EXPECT_EQ(ui.dialogs.back().RadioGroup1.itemIndex, 3);  // next preselection 4
}

// With zero-weighted counts each step's spectrum has no counts left in any interval, its end
// channels included, held to the spectrum's channels 1..200; every other channel keeps its count
// (100 or more): by hand, channels 1-3, 95-105 and 198-200 are 17 empty ones.
TEST_F(SequenceDriver, ZeroWeightedCountsEmptyEachIntervalWithItsEnds) {
  ZeroWeightedCounts = 1;
  TrevoZeroWeightIntervals = {3, {0, -5, 95, 198}, {0, 3, 105, 400}};
  std::vector<std::vector<double>> seen;
  SetSequenceStepFunction([&seen](int32_t) {
    const TSpectrum& s = *SpectrumList[static_cast<size_t>(CurrentSpectrum)];
    seen.emplace_back(s.Y + 1, s.Y + 201);
  });
  EnterSequence();
  Menu(2).Ok();
  ui.ExpectDialog("Sequence analysis").Field(1, 2, "2").Ok();
  Menu(7).Ok();
  TrevoMain();
  ASSERT_EQ(seen.size(), 2u);
  for (const std::vector<double>& y : seen) {
    for (const auto& [first, last] : {std::pair{1, 3}, {95, 105}, {198, 200}})
      for (int32_t c = first; c <= last; ++c) EXPECT_EQ(y[c - 1], 0.0) << c;
    for (const int32_t c : {4, 94, 106, 197}) EXPECT_GE(y[c - 1], 100.0) << c;
    EXPECT_EQ(std::count(y.begin(), y.end(), 0.0), 17);
  }
}

TEST_F(SequenceDriver, ReversedRangeAndTheFitraKind) {
  EnterSequence();
  ReverseSequence = 1;
  Menu(2, 2).Ok();
  ui.ExpectDialog("Sequence analysis").Field(1, 1, "1").Field(1, 2, "3").Ok();
  Menu(7, 2).Ok();
  TrevoMain();
  EXPECT_EQ(steps, (std::vector<int32_t>{10, 9, 8}));
  EXPECT_EQ(LogWith("Spectra selected").at(0), "   10 Spectra selected = s10.dat ... s01.dat");
  EXPECT_EQ(LogWith("T=").at(0), std::string(24, ' ') + "T=   10      1 peaks");
  EXPECT_EQ(SequenceStepPeaks[9].count, 1);
  EXPECT_NEAR(SequenceStepPeaks[9].positions[1], 100, 0.5);
}

TEST_F(SequenceDriver, AutomaticRunSkipsSpectraWithoutPeaks) {
  WriteValues(dir + "/s01.dat", std::vector<double>(200, 100.0));
  WriteValues(dir + "/s02.dat", std::vector<double>(200, 50.0));
  TrevoAutoRun = 1, TrevoMode = 1;
  EnterSequence();
  Menu(2, 2).Ok();
  ui.ExpectDialog("Sequence analysis").Field(1, 2, "3").Ok();
  Menu(7, 2).Ok();
  TrevoMain();
  TrevoAutoRun = 0;
  EXPECT_EQ(steps, (std::vector<int32_t>{3}));  // spectra 1 and 2 have no peak
  // Nothing stored in SequenceStepPeaks, click mode 4, no effective-spectrum correction, next item 7.
  EXPECT_EQ(std::make_tuple(SequenceStepPeaks[3].count, Form2ClickMode, int32_t{CorrectForEffectiveSpectrum},
                            ui.dialogs.back().RadioGroup1.itemIndex),
            std::make_tuple(0, 4, 0, 6));
}

TEST_F(SequenceDriver, MenuGridStoresIntoTheShownSpectrum) {
  CurrentSpectrum = 2;
  TSpectrum& sp = *SpectrumList[2];
  sp.WorkFirst = 11, sp.WorkLast = 900, sp.LastChannel = 1000;
  Menu(5).Field(2, 2, "0.004").Field(4, 1, "7.5").Field(5, 2, "6").Field(1, 2, "5000").Ok();
  ui.ExpectDialog("").Radio(2).Ok();  // "Show info for simple fit"
  ui.ExpectDialog("auxiliary").Field(2, 2, "2.6").Field(5, 1, "3.5").Ok();
  Menu(5).Field(1, 1, "1200").Ok();  // first working channel above the last: refused
  ui.ExpectMessage("Error, the first working channel must lie below the last one");
  ui.ExpectDialog("").Cancel();
  ui.ExpectDialog("").Cancel();
  TrevoMain();
  // PRFscale 0.004 became 1.0, then 2.6 became 3.0; a22 5000 lowered to the last channel.
  EXPECT_EQ(std::make_tuple(PRFscale, sp.W0, DeltaW0[1], sp.BackgroundDegree, BackgroundMode, sp.WorkFirst, sp.WorkLast),
            std::make_tuple(3.0, 7.5, 3.5, 6, 1, 11, 1000));
  EXPECT_EQ(SpectrumList[1]->WorkLast, 200);
}

TEST_F(SequenceDriver, CancelAndRefusalsKeepTheSettings) {
  EnterSequence();
  Menu(2).Ok();
  ui.ExpectDialog("Sequence analysis").Field(1, 1, "5").Field(1, 2, "3").Field(2, 1, "0.2").Ok();
  ui.ExpectMessage("Error, wrong spectrum range 5 .. 3");
  TrevoMain();
  EXPECT_EQ(std::make_pair(dref, isp1), std::make_pair(0.01, 0));
  // No sequence: refused before the summary file is rewritten.
  SequenceCount = 0;
  Menu(2).Ok();
  ui.ExpectDialog("Sequence analysis").Ok();
  ui.ExpectMessage("No spectrum sequence entered");
  ui.ExpectDialog("").Cancel();
  TrevoMain();
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(Summary(), "* old block\r\n");
}

TEST_F(SequenceDriver, IdentificationSetUpOfTheRietveldKind) {
  PhaseCount = 2;
  for (int32_t p = 1; p <= 2; ++p) {
    PhaseTable[p].ReflectionCount = 2, PhaseTable[p].Cell[0] = 5 + p, PhaseTable[p].Cell[1] = 6;
    PhaseTable[p].Cell[2] = 7, PhaseTable[p].Cell[3] = PhaseTable[p].Cell[4] = PhaseTable[p].Cell[5] = 90;
    HklTable[1][p] = {1, 1, 0}, HklTable[2][p] = {2, 0, 0};
  }
  TrevoPhases[1].ReflectionCount = 3, TrevoPhases[2].ReflectionCount = 2, TrevoMode = 2;
  SequenceCount = 1, SequenceFileNames[1] = "s01.dat", SpectrumDir = dir;
  ui.ExpectDialog("").Ok();
  EXPECT_TRUE(AnalyzeSpectrumSequence());
  EXPECT_EQ(LogWith("Numbers of di").at(0), "Numbers of di for Phase Identification    3    2");
  EXPECT_EQ(LogWith("cut to").at(0), "Warning, identification reflections of phase 1 cut to 2");
  EXPECT_EQ(LogWith("Correlation").at(0), "         Phases 1 2 Correlation =     1.00");
  EXPECT_EQ(std::make_pair(TrevoPhases[1].Reflections[2].h, IdentificationCount), std::make_pair(2, 4));
  EXPECT_EQ(PhaseCorrelation(1, 3), 0.0);  // no reflections: 0 over the floor 1e-8
}

TEST_F(SequenceDriver, ListsIntervalsAndPeakTableEdits) {
  // "sp/var": a blank spectrum name drops its variance with it.
  SpectraOnlySequence = 0, SequenceCount = 3;
  const char* names[7] = {"", "a", " ", "c", "va", "vb", "vc"};
  for (int32_t i = 1; i <= 6; ++i) SequenceFileNames[i] = names[i];
  CompactSequenceList();
  EXPECT_EQ(std::make_tuple(SequenceCount, SequenceFileNames[2], SequenceFileNames[4]), std::make_tuple(2, "c", "vc"));
  // Zero-weight intervals are held to the spectrum's channels.
  TSpectrum& sp = *SpectrumList[1];
  sp.FirstChannel = 10, sp.LastChannel = 500;
  TrevoZeroWeightIntervals = {2, {0, -5, 600}, {0, 40000, 700}};
  int32_t a = 0, b = 0;
  EXPECT_TRUE(ZeroWeightInterval(sp, 1, a, b) && a == 10 && b == 500);
  EXPECT_FALSE(ZeroWeightInterval(sp, 2, a, b));
  // The peak table: the k-th non-empty line is peak k; three numbers give model 0.
  EXPECT_TRUE(StorePeakBoundsLines({"10 20 30 2", "", "40 50 60"}));
  EXPECT_EQ(std::make_tuple(MarkedPointCount, MarkedPoints[2], MarkedPointModels[1]), std::make_tuple(2, 50.0, 2));
  EXPECT_EQ(PeakBoundsLines(), (std::vector<std::string>{"10 20 30 2", "40 50 60 0"}));
  ui.ExpectMessage("Error, fewer than three numbers in the line \"7 8\"");
  EXPECT_FALSE(StorePeakBoundsLines({"1 2 3", "7 8"}));
  EXPECT_EQ(std::make_pair(MarkedPointCount, TrevoPeakTable[1].lower), std::make_pair(2, 10.0));
  ui.ExpectMessage("Too many peaks, the first 60 are kept");
  EXPECT_TRUE(StorePeakBoundsLines(std::vector<std::string>(61, "1 2 3")));
  EXPECT_EQ(MarkedPointCount, 60);
}

// The set-up before each fit: the Rietveld kind takes the carried cells (FePO4 with a 1 % longer)
// into the phase table, forms their reflections between the d of the interval's ends (time of
// flight: d = c cw / (505.556 L sin theta)) and gives a phase without atoms one; every kind sets
// its caption, mode and unsaved entry and zeroes the errors of the zero-weight intervals.
TEST_F(TrevoTest, PrepareSequenceAnalysisOfEachKind) {
  const double a = 9.814199 * 1.01, s = 16 / (TofConstant * 21.13 * std::sin(76 * std::numbers::pi / 180));
  for (const auto& [mode, caption, unsaved] :
       {std::tuple{0, "Rietveld analysis", 0}, {2, "DazazeDedev", 0}, {3, "FITRA", 3}}) {
    TSpectrum& sp = SetUpProfileSpectrum(ProfileSpectrum{});
    IntervalFirst = 480, IntervalLast = 1600, PhaseCount = 2, ResultsUnsaved[0] = ResultsUnsaved[3] = 0;
    SetUpPhase(1, 62, 1, {9.814199, 5.789299, 4.782, 90, 90, 90}, {IsoAtom(0.95, 0.2755, 0.25, 0.9478)});
    SetUpPhase(2, 225, 1, {4.0495, 4.0495, 4.0495, 90, 90, 90});
    for (int32_t p = 1; p <= 2; ++p) {
      TTrevoPhase& t = TrevoPhases[p];
      std::copy_n(PhaseTable[p].Cell, 6, t.Cell), t.Cell[0] = p == 1 ? a : t.Cell[0];
      CellMetric(t.Cell, t.ReciprocalCell, t.Volume, 0);
    }
    TrevoZeroWeightIntervals = {1, {0, 600}, {0, 610}};
    if (mode == 0) ui.ExpectMessage("Warning, no atomic information yet available");
    PrepareSequenceAnalysis(mode);
    EXPECT_EQ(std::make_tuple(DialogCaption, MainMode, int32_t{ResultsUnsaved[unsaved]}),
              std::make_tuple(caption, mode, 1));
    EXPECT_EQ(std::make_tuple(sp.E[599], sp.E[600], sp.E[610], sp.E[611]), std::make_tuple(1.0, 0.0, 0.0, 1.0)) << mode;
    EXPECT_EQ(PhaseTable[1].Cell[0], mode == 0 ? a : 9.814199);
    if (mode != 0) continue;
    // The program's degrees are 57.29578 to the radian (8.5e-9 relative): 1e-7 covers it.
    EXPECT_NEAR(DMin, 480 * s, 1e-7 * DMin);
    EXPECT_NEAR(DMax, 1600 * s, 1e-7 * DMax);
    EXPECT_EQ(PhaseTable[2].AtomCount, 1);
    const std::vector<THklRecord> hkl = PhaseReflections(1);
    EXPECT_GT(hkl.size(), 50u);
    for (const THklRecord& r : hkl) {
      const double d = 1 / std::sqrt(std::pow(r.h / a, 2) + std::pow(r.k / 5.789299, 2) + std::pow(r.l / 4.782, 2));
      EXPECT_NEAR(r.d, d, 1e-7 * d) << r.h << r.k << r.l;
      EXPECT_TRUE(d >= DMin && d <= DMax) << d;
    }
  }
}

// The waiting view of the Fitra kind: "Show the reflections" lists each peak with its d (time of
// flight, 16 us, 21.13 m, 76 degrees); Cancel ends the loop. A missing file or one that does not
// read ends the view after its message, the steps before it counted.
TEST_F(SequenceDriver, ViewWaitsListsReflectionsAndStopsAtABadFile) {
  SpectrumDir = dir, SequenceCount = 10, SpectraOnlySequence = 1;
  for (int32_t i = 1; i <= 10; ++i) SequenceFileNames[i] = (i < 10 ? "s0" : "s") + std::to_string(i) + ".dat";
  TSpectrum& sp = *SpectrumList[1];
  sp.AxisKind = AxisTimeOfFlight, sp.ChanWidth = 16, sp.FlightPath = 21.13, sp.Theta = 76, sp.Delay = 0;
  const double d = 100 * 16 / (TofConstant * 21.13 * std::sin(76 * std::numbers::pi / 180));
  TrevoMode = 1;
  ui.ExpectDialog("").Ok();
  ui.ExpectDialog("Viewing the spectrum sequence").Press(10).Inspect([&](TForm2& f) {
    EXPECT_EQ(f.ListBox1.items.back(), "   1   100.00" + FormatFixed(9, 5, d));
  }).Ok();
  ui.ExpectDialog("Viewing the spectrum sequence").Cancel();
  ui.ExpectDialog("Viewing the spectrum sequence").Ok();
  int32_t count = 0;
  const auto twoSteps = std::make_pair(std::string("2 spectra processed out of 10"), 2);
  ViewSpectrumSequence(count);
  EXPECT_EQ(std::make_pair(InfoLines.lines[3], LastStep), twoSteps);
  TrevoMode = 0;
  const std::string bad = (std::filesystem::path(dir) / "s03.dat").string();
  for (const std::string& message : {"File doesnt exist " + bad, "Error, no numbers in " + bad}) {
    if (message[0] == 'F') std::filesystem::remove(bad);
    else WriteValues(bad, {});
    ui.ExpectDialog("").Ok();
    ui.ExpectMessage(message);
    ui.ExpectDialog("Viewing the spectrum sequence").Ok();
    ViewSpectrumSequence(count);
    EXPECT_EQ(std::make_pair(InfoLines.lines[3], LastStep), twoSteps);
  }
}
