// The spectrum input command end to end under the scripted backend: the dialogs in order, what
// each read leaves in the spectrum, the report, and the mended bounds and calibration faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "core/spectrum_test_support.h"
#include "crystal/phase_setup.h"
#include "spectrum/spectrum_checks.h"
#include "spectrum/spectrum_input.h"

namespace {

using Fields = std::vector<std::pair<int32_t, std::string>>;  // grid row, typed text

// d of channel k by Bragg's law with the de Broglie wavelength, written out independently.
double ClosedFormD(double k, double delay, double width, double path, double thetaDeg) {
  return (k + delay) * width / (505.556 * path * std::sin(thetaDeg * M_PI / 180.0));
}

class SpectrumInputTest : public SpectrumTest {
protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    CurrentSpectrum = 1, MainMode = 0, GraphXAxis = 1;
    InfoLines.count = 0;
  }
  TSpectrum& Sp(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }
  // A read of spectrum 1: the file, the reading dialog, the Poisson question when it comes, the
  // width dialog and the calibration dialog with the fields typed into them.
  void ScriptRead(const std::string& file, int32_t kind, int32_t axis, bool skip, std::optional<bool> poisson = {},
                  const Fields& width = {}, const Fields& calibration = {}) {
    ui.ChooseFile(file);
    ui.ExpectDialog("Spectrum 1 input").Radio(kind).Radio2(axis + 1).Check(1, skip).Ok();
    if (poisson) ui.ExpectQuestion("Errors=0. Make Poisson variance?", *poisson);
    for (const Fields* f : {&width, &calibration}) {
      DialogScript& d = ui.ExpectDialog("Spectrum 1 input");
      for (const auto& [row, text] : *f) d.Field(row, 1, text);
      d.Ok();
    }
  }
  int32_t CountMessages(const std::string& text) const {
    const auto m = ui.Messages();
    return static_cast<int32_t>(std::count(m.begin(), m.end(), text));
  }
  FreshSpectra spectra;
};

TEST_F(SpectrumInputTest, EveryKindEndToEnd) {
  const struct {
    const char* file;
    int32_t kind, axis;
    bool skip, poisson;
    int32_t last;
    const char* report;
  } cases[] = {
      {"k1_header.bin", 1, 0, true, false, 100, "The spectrum read in.  Poisson variance set up"},
      {"k2_values.bin", 2, 0, false, false, 10, "The spectrum read in.  Poisson variance set up"},
      {"k3_basic.txt", 3, 0, false, true, 12, "The spectrum read in.  Poisson variance set up"},
      {"k4_three.txt", 4, 0, false, false, 4, "The spectrum read in."},
      {"k1_header.bin", 1, 1, true, false, 100, "The spectrum read in.  Poisson variance set up"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " axis " + std::to_string(c.axis));
    ui.Clear();
    TSpectrum& s = Sp(1);
    s.NormalizedFlag = s.AbsorptionCorrectedFlag = 1, s.Present = 0, s.FirstChannel = 1;
    const Fields tof = {{1, "8"}, {2, "2.5"}, {3, "45"}, {4, "10"}}, angular = {{3, "0.05"}, {4, "10"}};
    ScriptRead(SpectrumData(c.file), c.kind, c.axis, c.skip, c.poisson ? std::optional(true) : std::nullopt, {},
               c.axis == 0 ? tof : angular);
    if (c.kind == 2) ui.ExpectMessage("There are single zeroes in spectrum= 1");  // channel 4 of 1..10
    InputSpectrumFile(1);
    if (&c == cases) {
      // Four kinds at the kind kept (2 at creation), the types at the axis kind, the options.
      const TForm2& d = ui.dialogs.front();
      ASSERT_EQ(d.RadioGroup1.items.size(), 4u);
      EXPECT_EQ(d.RadioGroup1.itemIndex, 1);
      EXPECT_EQ(d.RadioGroup2.items, (std::vector<std::string>{" ToF Spectrum", " Angular distribution", " Any spectrum"}));
      EXPECT_EQ(d.RadioGroup2.itemIndex, 0);
      EXPECT_EQ(d.CheckListBox1.checked, (std::vector<bool>{false, false, true, false}));
      EXPECT_EQ(d.CheckBox1.caption, " Specify ASCII line structure ");
      EXPECT_EQ(ui.dialogs[1].Label1.caption, "Check width information, analysis bounds");
      EXPECT_EQ(ui.dialogs[2].Label1.caption, "Check the TOF - information:");
    }
    EXPECT_EQ(DialogOk, 1);
    EXPECT_EQ(ui.dialogs.size(), 3u);
    EXPECT_EQ(std::pair(s.FileType, s.AxisKind), std::pair(c.kind, c.axis));
    EXPECT_EQ(s.LastChannel, c.last);
    EXPECT_EQ(std::pair(IntervalFirst, IntervalLast), std::pair(1, c.last));
    EXPECT_EQ(NChannels, c.last);
    EXPECT_EQ(InfoLines.lines[1], c.report);
    EXPECT_EQ(GraphXAxis + s.NormalizedFlag + s.AbsorptionCorrectedFlag, 0);
    EXPECT_EQ(s.Present, 1);
    EXPECT_EQ(SpectrumDir, std::filesystem::path(SpectrumData(c.file)).parent_path().string());
    for (int32_t k = 1; k <= c.last; ++k) {
      if (c.poisson) {
        EXPECT_DOUBLE_EQ(s.E[k], std::sqrt(std::fabs(s.Y[k] + 1))) << k;
      }
      // The file's X stays for kind 4; an angular axis runs from the first channel's angle. The
      // program's degree (57.29578, 7 digits) moves sin(45 deg) by about 4e-9 relative.
      const double want = c.kind == 4 ? 10.0 + 0.5 * (k - 1)
                          : c.axis == 0 ? ClosedFormD(k, 2.5, 8, 10, 45)
                                        : 10.0 + 0.05 * (k - 1);
      EXPECT_NEAR(s.X[k], want, 1e-8 * want) << k;
    }
  }
  const auto log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Total number of zeroes=    1, single zeroes=    1"), 1);
}

TEST_F(SpectrumInputTest, LineStructureAndErrorTypeFollowTheReadingDialog) {
  ui.ChooseFile(SpectrumData("k4_columns.txt"));  // error, X, a spare item, Y
  ui.ExpectDialog("Spectrum 1 input").Radio(4).Check(4).CheckBox(true).Ok();
  ui.ExpectDialog("Enter indicators to ASCII spectrum line items").Memo("2 4 1").Ok();
  ui.ExpectDialog("Spectrum 1 input").Radio(2).Ok();  // " Squared errors"
  ui.ExpectDialog("Spectrum 1 input").Ok();
  ui.ExpectDialog("Spectrum 1 input").Ok();
  InputSpectrumFile(1);
  EXPECT_EQ(ui.dialogs[2].Label1.caption, "Select the error type:");
  EXPECT_EQ(AsciiErrorType, 1);
  EXPECT_EQ(std::pair(Sp(1).X[1], Sp(1).Y[1]), std::pair(1.25, 50.0));
  EXPECT_DOUBLE_EQ(Sp(1).E[1], std::sqrt(0.5));
}

TEST_F(SpectrumInputTest, BoundsAreOrderedThenHeldInsideTheReadRange) {
  // Typed bounds (in the dialog step) on channels 1..400: 500 and 100 give 100..400.
  const double typed[][4] = {{500, 100, 100, 400}, {600, 500, 1, 400}, {-5, 50, 1, 50}, {50.5, 399.5, 50, 400}};
  for (const auto& t : typed) {
    Sp(1).FirstChannel = 1, Sp(1).LastChannel = 400;
    TWidthBounds wb;
    wb.first = t[0], wb.last = t[1];
    ApplyWidthBounds(Sp(1), wb);
    EXPECT_EQ(std::pair(Sp(1).WorkFirst, Sp(1).WorkLast), std::pair(int32_t(t[2]), int32_t(t[3]))) << t[0] << " " << t[1];
  }
  // ReadSpectrumFile of channels 1..100 after other bounds: never left beyond the read range.
  const int32_t held[][4] = {{5000, 16384, 1, 100}, {30, 60, 30, 60}, {99, 100, 99, 100}, {60, 60, 60, 100}, {0, 7, 1, 7}};
  for (const auto& h : held) {
    TSpectrum& s = Sp(1);
    s.FileType = 1, s.Name = SpectrumData("k1_header.bin"), SkipHeader = 1;
    s.WorkFirst = h[0], s.WorkLast = h[1];
    EXPECT_EQ(ReadSpectrumFile(1), h[3]);
    EXPECT_EQ(std::pair(s.WorkFirst, s.WorkLast), std::pair(h[2], h[3])) << h[0] << " " << h[1];
  }
  ScriptRead(SpectrumData("k1_header.bin"), 1, 0, true, {}, {{5, "90"}, {6, "20"}});
  InputSpectrumFile(1);
  EXPECT_EQ(std::pair(Sp(1).WorkFirst, Sp(1).WorkLast), std::pair(20, 90));
}

// A 2601-point angular X Y E file (20 to 150 deg, step 0.05) proposes its own channels, step
// and first angle: in a fresh session (channels 1..1024 standing) and after a TOF data set
// (channels 305..740, width 64 mks, delay -1.19 channels), whose values mean nothing in degrees.
TEST_F(SpectrumInputTest, ANewXyeFileProposesItsOwnBoundsAndStep) {
  const std::string file = std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/truth2_angular.xye";
  const struct {
    const char* before;
    int32_t workFirst, workLast;
    double width, delay;
  } cases[] = {{"fresh session", 1, 1024, 4, 0}, {"after TOF data", 305, 740, 64, -1.19}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    ui.Clear();
    TSpectrum& s = Sp(1);
    s.AxisKind = AxisTimeOfFlight, s.FirstChannel = 1, s.LastChannel = 1024;
    s.WorkFirst = c.workFirst, s.WorkLast = c.workLast, s.ChanWidth = c.width, s.Delay = c.delay;
    ScriptRead(file, 4, AxisAngular, false);
    InputSpectrumFile(1);
    ASSERT_EQ(ui.dialogs.size(), 3u);
    const TForm2& bounds = ui.dialogs[1];
    EXPECT_EQ(bounds.StringGrid1.Cell(0, 4), GridCellText(10, 1));
    EXPECT_EQ(bounds.StringGrid1.Cell(0, 5), GridCellText(10, 2601));
    const TForm2& angles = ui.dialogs[2];
    EXPECT_EQ(angles.Label1.caption, "Check the angular information:");
    EXPECT_EQ(angles.StringGrid1.Cell(0, 0), GridCellText(10, 0));     // zero shift
    EXPECT_EQ(angles.StringGrid1.Cell(0, 2), GridCellText(10, 0.05));  // angle step
    EXPECT_EQ(angles.StringGrid1.Cell(0, 3), GridCellText(10, 20));    // angle at channel 1
    EXPECT_EQ(std::pair(s.WorkFirst, s.WorkLast), std::pair(1, 2601));
  }
  // The same file read again keeps the bounds and the zero shift chosen for it.
  ui.Clear();
  Sp(1).WorkFirst = 100, Sp(1).WorkLast = 2000, Sp(1).Delay = 0.12;
  ScriptRead(file, 4, AxisAngular, false);
  InputSpectrumFile(1);
  EXPECT_EQ(std::pair(Sp(1).WorkFirst, Sp(1).WorkLast), std::pair(100, 2000));
  EXPECT_NEAR(Sp(1).Delay, 0.12, 1e-12);
}

// The same file with three lines taken out (two gaps) reads to the same 2601 channels and
// proposes the same step and first angle (a mean step over the lines would be 0.05006, and every
// peak after a gap would sit a step or two low). The gaps hold no data: weight 0, kept through the
// Poisson errors of a file without an error column, and no zero counts.
TEST_F(SpectrumInputTest, AGridWithGapsKeepsItsChannelsAndStep) {
  const std::string text = ReadWholeFile(std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/truth2_angular.xye");
  std::string three, two, line;
  std::istringstream in(text);
  for (int32_t n = 1; std::getline(in, line); ++n) {
    if (n == 400 || n == 1300 || n == 1301) continue;
    three += line + "\n";
    two += line.substr(0, line.rfind(' ')) + "\n";
  }
  const std::string files[2] = {Temp("gaps3.xye"), Temp("gaps2.xye")};
  WriteWholeFile(files[0], three);
  WriteWholeFile(files[1], two);
  for (int32_t k = 0; k < 2; ++k) {
    SCOPED_TRACE(files[k]);
    ui.Clear();
    TSpectrum& s = Sp(1);
    s.WorkFirst = 1, s.WorkLast = 1024;
    ScriptRead(files[k], 4, AxisAngular, false, k == 1 ? std::optional<bool>(true) : std::nullopt);
    InputSpectrumFile(1);
    ASSERT_EQ(ui.dialogs.size(), 3u);
    EXPECT_EQ(ui.dialogs[1].StringGrid1.Cell(0, 5), GridCellText(10, 2601));
    EXPECT_EQ(ui.dialogs[2].StringGrid1.Cell(0, 2), GridCellText(10, 0.05));
    EXPECT_EQ(ui.dialogs[2].StringGrid1.Cell(0, 3), GridCellText(10, 20));
    EXPECT_EQ(s.GapChannels, (std::vector<int32_t>{399, 1299, 1300}));
    for (int32_t c : {398, 399, 400, 1298, 1299, 1300, 1301}) {
      const bool gap = c == 399 || c == 1299 || c == 1300;
      EXPECT_EQ(s.E[c] == 0 && s.Y[c] == 0, gap) << c;
      EXPECT_NEAR(s.X[c], 20 + 0.05 * (c - 1), 1e-9) << c;
    }
    EXPECT_EQ(CountMessages("Warning, 2 gap(s) in the X of " + files[k] +
                            ", 3 channel(s) with no data (weight 0), the first before line 400"), 1);
    int32_t total = 0, single = 0;
    CountZeroes(s, total, single);
    EXPECT_EQ(std::pair(total, single), std::pair(0, 0));
  }
}

TEST_F(SpectrumInputTest, VarianceIsReadIntoTheErrorsOnly) {
  TSpectrum& s = Sp(1);
  s.Name = SpectrumData("k1_header.bin");
  s.VarianceFileType = 4, s.FirstChannel = 1, s.LastChannel = 12;
  for (int32_t k = 1; k <= 12; ++k) s.Y[k] = 10.0 * k;
  ui.ChooseFile(SpectrumData("k3_basic.txt"));
  ui.ExpectDialog("Variance 1 input").Ok();  // kind 4 is not offered: kind 3 preselected
  ui.ExpectQuestion("Errors=0. Make Poisson variance?", false);
  InputSpectrumFile(2);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_NE(ui.transcript.front().find("file \"" + s.Name + "\""), std::string::npos);  // from the spectrum
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].RadioGroup1.items.size(), 3u);
  EXPECT_EQ(s.VarianceFileType, 3);
  const double read[] = {12, 0.5, 7, 1, 2, 3, 0.5, 25, 1000, 0, 25, 100};  // an error -4: none, named
  for (int32_t k = 1; k <= 12; ++k) {
    EXPECT_EQ(s.Y[k], 10.0 * k);
    EXPECT_DOUBLE_EQ(s.E[k], read[k - 1]);  // No keeps the variance just read
  }
  EXPECT_EQ(InfoLines.lines[1], "Variance read in");
  EXPECT_EQ(CountMessages("Warning, 1 error value(s) of 0 or below in " + SpectrumData("k3_basic.txt") +
                          " (1 negative, 0 of 0), the first at channel 10: those points have weight 0 and are "
                          "left out of the fit"),
            1);
}

TEST_F(SpectrumInputTest, DummyIsNotReadInAnyMode) {
  const char* caption[] = {"Effective spectrum 0 input", "Spectrum 1 input", "Variance 1 input"};
  const char* report[] = {"Effective spectrum available", "The spectrum read in.  Poisson variance set up",
                          "Variance read in"};
  for (int32_t mode = 0; mode <= 2; ++mode) {
    ui.Clear();
    TSpectrum& s = Sp(mode == 0 ? 0 : 1);
    Mark(s);
    s.Name = mode == 2 ? "DUMMY" : SpectrumData("k1_header.bin");  // the spectrum's name decides
    if (mode == 0) ui.ExpectDialog(caption[0]).Ok();                  // "Read a new effective spectrum"
    ui.ChooseFile(mode == 2 ? SpectrumData("k3_basic.txt") : "dummy");
    const int32_t after[] = {2, 3, 1};  // reading, (width), (calibration)
    for (int32_t n = 0; n < after[mode]; ++n) ui.ExpectDialog(caption[mode]).Ok();
    InputSpectrumFile(mode);
    EXPECT_EQ(DialogOk, 1) << mode;
    for (int32_t c = 1; c <= 100; ++c) ASSERT_TRUE(s.Y[c] == 1000.0 + c && s.E[c] == 7.0) << mode << " " << c;
    EXPECT_EQ(InfoLines.lines[1], report[mode]);
  }
}

TEST_F(SpectrumInputTest, EffectiveSpectrumCalibration) {
  CurrentSpectrum = 2;
  Sp(1).ChanWidth = 16, Sp(1).Delay = 3, Sp(1).Theta = 90, Sp(1).FlightPath = 30;
  Sp(2).ChanWidth = 32, Sp(2).Delay = 1, Sp(2).Theta = 60, Sp(2).FlightPath = 12;
  for (bool take : {true, false}) {
    ui.Clear();
    ui.ExpectDialog("Effective spectrum 0 input").Ok();
    ui.ChooseFile(SpectrumData("k1_header.bin"));
    ui.ExpectDialog("Effective spectrum 0 input").Radio(1).Check(1).Ok();
    ui.ExpectDialog("Effective spectrum 0 input").Check(1, take).Ok();  // "Take spectrum 1 TOF data"
    InputSpectrumFile(0);
    EXPECT_EQ(ui.LastDialog().StringGrid1.Cell(0, 0), GridCellText(10, 32));  // the current spectrum's
    const TSpectrum& from = take ? Sp(1) : Sp(2);
    EXPECT_EQ(std::pair(Sp(0).ChanWidth, Sp(0).FlightPath), std::pair(from.ChanWidth, from.FlightPath));
    const double d = ClosedFormD(50, from.Delay, from.ChanWidth, from.FlightPath, from.Theta);
    EXPECT_NEAR(Sp(0).X[50], d, 1e-8 * d);  // the program's 7-digit degree
    EXPECT_EQ(InfoLines.lines[1], "Effective spectrum available");
  }
  ui.Clear();
  ui.ExpectDialog("Effective spectrum 0 input").Radio(2).Ok();  // the built-in DN2 curve: no file
  InputSpectrumFile(0);
  EXPECT_EQ(Sp(0).Name, "DN2-vanadium");
}

TEST_F(SpectrumInputTest, BadFilesAndCountsLeaveTheSpectrum) {
  WriteWholeFile(Temp("zeros.txt"), "0 0 0 0\n");
  for (const auto& [file, kind] : {std::pair{SpectrumData("empty.bin"), 1}, std::pair{Temp("zeros.txt"), 3}}) {
    ui.Clear();
    Mark(Sp(1));
    ui.ChooseFile(file);
    ui.ExpectDialog("Spectrum 1 input").Radio(kind).Ok();
    InputSpectrumFile(1);
    EXPECT_EQ(DialogOk, 0);
    EXPECT_EQ(ui.Messages().back(), "++++ Error, wrong reading");
    EXPECT_TRUE(kind != 1 || Unchanged(Sp(1)));
  }
  // A missing file: refused by the file dialog; through ReadSpectrumFile, the reader's message.
  Mark(Sp(1));
  Sp(1).Name = "before";
  ui.ChooseFile(Temp("missing.sp"));
  InputSpectrumFile(1);
  EXPECT_EQ(Sp(1).Name, "before");
  Sp(1).Name = Temp("missing.sp"), Sp(1).FileType = 2, Sp(1).WorkFirst = 5000;
  ReadSpectrumFile(1);
  EXPECT_EQ(IoOk, 0);
  EXPECT_TRUE(Unchanged(Sp(1)));
  EXPECT_EQ(Sp(1).WorkFirst, 5000);
}

TEST_F(SpectrumInputTest, WrongCalibrationNeverGivesInfiniteXAndWarnsOnce) {
  const struct {
    const char *width, *theta, *path;
    int32_t coinciding;
    const char* check;
  } cases[] = {{"0", "76", "21.13", 0, "Wrong channel width for spectrum 1"},
               {"-4", "76", "21.13", 1, "Wrong channel width for spectrum 1"},  // every d at its floor
               {"4", "0", "21.13", 0, "Wrong Bragg angle for spectrum 1"},
               {"4", "76", "0", 0, "Wrong Flight path for spectrum 1"},
               {"4", "76", "-3", 0, "Wrong Flight path for spectrum 1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.width) + " " + c.theta + " " + c.path);
    ui.Clear();
    ScriptRead(SpectrumData("k1_header.bin"), 1, 0, true, {}, {}, {{1, c.width}, {3, c.theta}, {4, c.path}});
    InputSpectrumFile(1);
    for (int32_t k = 1; k <= 100; ++k) ASSERT_TRUE(std::isfinite(Sp(1).X[k])) << k;
    EXPECT_EQ(CountMessages("Coinciding Xs (ds or thetas)"), c.coinciding);
    EXPECT_EQ(CountMessages(c.check), 1);
  }
  // A field that is no number is named at OK; Cancel then: no calibration dialog follows.
  ui.Clear();
  ui.ChooseFile(SpectrumData("k1_header.bin"));
  ui.ExpectDialog("Spectrum 1 input").Radio(1).Check(1).Ok();
  ui.ExpectDialog("Spectrum 1 input").Field(5, 1, "abc").Press(1).Cancel();
  InputSpectrumFile(1);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(ui.dialogs.size(), 2u);
  EXPECT_THAT(ui.Messages().back(), ::testing::EndsWith(": \"abc\" is not a number"));
}

TEST_F(SpectrumInputTest, ZeroesAreReportedOnlyWhenSingle) {
  TSpectrum& s = Sp(3);
  s.WorkFirst = 1, s.WorkLast = 8;
  const double runOfTwo[] = {5, 5, 0, 0, 5, 5, 5, 5};
  std::copy(runOfTwo, runOfTwo + 8, s.Y + 1);
  CountSpectrumZeroes(3);
  EXPECT_TRUE(ui.Messages().empty());
  s.Y[6] = 0;  // a single zero beside the run
  int32_t total = 0, single = 0;
  CountZeroes(s, total, single);
  EXPECT_EQ(std::pair(total, single), std::pair(3, 1));
}

}  // namespace
