// The output command read back by core's readers; the listing pages; the fit turned into a
// spectrum against closed-form Lorentz peaks and, after a real refinement, the generator's expected
// counts; the d-spacing file against Python's math (tools/gen_dspacing_golden.py).
#include <gtest/gtest.h>
#include <filesystem>
#include <numbers>
#include "core/abandon.h"
#include "core/dspacing_list.h"
#include "core/spectrum_test_support.h"
#include "crystal/fit_summary.h"
#include "crystal/truth_setup.h"
#include "spectrum/dspacing_file.h"
#include "spectrum/spectrum_output.h"

namespace {

class OutputTest : public PeakFitTest {
protected:
  void SetUp() override {
    PeakFitTest::SetUp();
    std::filesystem::create_directories(dir);
    CurrentSpectrum = 1, OutputMicroseconds = 0, OutputChannelsAsX = 0, VarianceMode = 0, DefaultDError = 0.001;
    TSpectrum& s = Sp(1);
    s.Name = "one.spc", s.Delay = 2.5, s.ChanWidth = 8, s.FirstChannel = 1, s.LastChannel = 60;
    s.WorkFirst = 11, s.WorkLast = 40;
    for (int32_t k = 1; k <= 60; ++k) s.Y[k] = 100 + 7.25 * k, s.E[k] = 3;
    s.ComputeYRange();
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    VarianceMode = 0, OutputMicroseconds = 0;
    PeakFitTest::TearDown();
  }
  std::string File(const std::string& text) {
    std::ofstream(dir / "d.txt") << text;
    return (dir / "d.txt").string();
  }
  std::filesystem::path dir = TestTempPath("spectrum_output");
  KeepValues<TDSpacingRecord> list{DSpacingList, MaxDSpacings + 1};
  KeepValues<int32_t> ints[3] = {{&DSpacingCount, 1}, {&DSpacingDataType, 1}, {&IndexingMode, 1}};
  KeepValues<double> error{&DefaultDError, 1};
};

// Each kind read back (binary exactly, text to half its last decimal), the interval, microseconds;
// 40000 refused as kind 1 by the guard without a report; the writer's refusals reported.
TEST_F(OutputTest, KindsReadBackAndRefusals) {
  const struct {
    int32_t kind;
    bool errors, interval, mksec;
    const char* digits;
    double y30, tolerance;
    std::string message;
  } cases[] = {{1, 0, 0, 0, "0", 40000, 0, "Can not save spectrum as 2 byte data, max= 40000"},
               {2, 0, 0, 0, "0", 40000, 0, ""}, {1, 1, 0, 0, "0", 317.5, 0, ""}, {3, 0, 0, 0, "2", 317.5, 0.0051, ""},
               {4, 0, 1, 0, "1", 317.5, 0.051, ""}, {4, 0, 0, 1, "0", 317.5, 0.51, ""},
               {1, 0, 0, 0, "0", -5, 0, "Can not save spectrum as 2 byte data, min= -5"},
               {3, 0, 0, 0, "0", NAN, 0, ": channel 30 holds no number"}};
  const std::string caption = "Output of the current spectrum (1) ToF";
  for (const auto& c : cases) {
    const std::string path = (dir / ("k" + std::to_string(&c - cases))).string();
    SCOPED_TRACE(path);
    Sp(1).Y[30] = c.y30;
    ui.ExpectDialog(caption).Radio(c.kind).Edit(1, c.digits).Check(2, c.interval).Check(4, c.mksec)
        .Radio2(1 + c.errors).Ok();
    ui.ChooseFile(path);
    if (!c.message.empty()) ui.ExpectMessage(c.message[0] == ':' ? "Can not write to " + path + c.message : c.message);
    if (&c != cases) ui.ExpectDialog(caption).Ok();  // the report
    OutputSpectrumFile();
    const bool written = std::isfinite(c.y30) && c.y30 >= 0 && (c.kind != 1 || c.y30 < 32768);
    ASSERT_EQ(std::filesystem::exists(path), written);
    const std::string head = !written ? "Writing failure. Not " : c.errors ? "Variance 1" : "Spectrum 1";
    const TListBox& report = ui.LastDialog().ListBox1;
    EXPECT_EQ(report.visible ? report.items : Strings{}, (&c == cases ? Strings{} : Strings{head, "saved to " + path}));
    TSpectrum back("back");
    back.Name = path, VarianceMode = 0;
    if (!written) continue;
    ASSERT_TRUE(ReadKind(back, c.kind));
    ASSERT_EQ(back.LastChannel, c.interval ? 30 : 60);
    for (int32_t i = c.kind <= 2 ? 2 : 1, k = i + 10 * c.interval; i <= back.LastChannel; ++i, ++k) {
      EXPECT_NEAR(back.Y[i], c.errors ? 9 : c.tolerance ? Sp(1).Y[k] : std::nearbyint(Sp(1).Y[k]), c.tolerance);
      EXPECT_EQ(back.X[i], c.kind < 4 ? i : c.mksec ? (k + 2.5) * 8 : k) << k;
    }
  }
  for (const auto& [text, decimals] : {std::pair("x", 0), std::pair("-3", 0), std::pair("20", 15), std::pair("5", 5)}) {
    if (decimals != 5) ui.ExpectMessage(std::string("N of digits wrong= ") + text);
    EXPECT_EQ(OutputDecimals(text), decimals) << text;  // held to 0..15: no asterisks in width 25
  }
}

// Pages of 2000 lines; bounds held to 1..32768, reversed ones list nothing; Cancel ends.
TEST_F(OutputTest, ListingPages) {
  for (int32_t k = 1; k <= MaxChannels; ++k) Sp(2).Y[k] = 5.5, Sp(2).X[k] = k;
  Sp(2).Ymax = 5.5, Sp(2).Ymin = 0;  // a range below 10: two decimals
  const struct {
    const char *i1, *i2, *firstLine;
    std::vector<size_t> pages;  // 0: Cancel
  } cases[] = {{"1", "4500", "    1      1.0000       5.50     1.00", {2000, 2000, 500}}, {"-5", "3", "", {3}},
               {"32000", "40000", "32000  32000.0000       5.50     1.00", {769}}, {"1", "9", "", {0}},
               {"9", "5", "", {}}};
  for (const auto& c : cases) {
    ui.Clear();
    ui.ExpectDialog("Spectrum 1 one.spc").Radio(3).Field(1, 1, c.i1).Field(2, 1, c.i2).Ok();
    for (size_t p : c.pages) p ? ui.ExpectDialog("Spectrum 1").Ok() : ui.ExpectDialog("Spectrum 1").Cancel();
    ShowSpectrum();
    for (size_t p = 0; p < c.pages.size(); ++p)
      EXPECT_EQ(ui.dialogs.at(p + 1).ListBox1.items.size(), c.pages[p] ? c.pages[p] : 9);
    EXPECT_EQ(*c.firstLine ? ui.dialogs.at(1).ListBox1.items.at(0) : "", c.firstLine) << c.i1;
  }
}

// F = 10 + 4u + sum A T / (pi (1 + z^2)), z = (k - P) / 5 within |z| < 15, the taper T = 1 up to
// |z| = 12, then r^4 (35 - 84 r + 70 r^2 - 20 r^3) with r = (15 - |z|) / 3; u = (2k - 501) / 299
// over the working range 101..400; mode 1 keeps the copy, mode 0 has no fit of its own.
TEST_F(OutputTest, PeakFitTurnedIntoSpectrum) {
  SetShape(2, ModelLorentz);
  LayOutPeaks({1, 1}, {400, 900}, {200, 260}, {5}, {10, 4});
  TSpectrum& s = Sp(1);
  s.LastChannel = 500, s.WorkFirst = 101, s.WorkLast = 400;
  std::fill(s.Y + 1, s.Y + 501, -1.0);
  FitPending[3] = 0;
  for (const int32_t mode : {3, 1, 0}) {
    MainMode = mode, Sp(2).Y[450] = 77;
    mode ? ui.ExpectDialog("").Radio(2).Ok() : ui.ExpectMessage("No fitting has been performed");
    TurnFitToSpectrum();
    EXPECT_EQ(Sp(2).Y[450], mode ? -1 : 77);
    for (int32_t k = 101; k <= 400 && mode; ++k) {
      double f = mode == 3 ? 10 + 4 * (2.0 * k - 501) / 299 : -1;
      for (const double p : {200.0, 260.0})
        if (mode == 3 && std::fabs(k - p) < 75) {
          const double r = std::fmin(1.0, (75 - std::fabs(k - p)) / 15);
          const double taper = r * r * r * r * (35 - 84 * r + 70 * r * r - 20 * r * r * r);
          f += (p == 200 ? 400 : 900) * taper / (std::numbers::pi * (1 + (k - p) * (k - p) / 25));
        }
      EXPECT_NEAR(Sp(2).Y[k], f, 1e-9 * std::fabs(f)) << k;
    }
  }
  EXPECT_EQ(StatusMessage, "  Fit -> spectrum 2");
}

// The zirconia truth (tools/gen_refinement_truth.py) refined through the menu and turned into
// spectrum 2: the model itself, within a fraction of sigma of the expected counts (sigma^2).
struct RietveldToSpectrum : TruthTest {
  RietveldToSpectrum() : TruthTest("fit_to_spectrum") {}
};

TEST_F(RietveldToSpectrum, RefinedModelBecomesSpectrum2) {
  const Truth t = ReadTruth("truth_tof_zro2.txt");
  ASSERT_NO_FATAL_FAILURE(ReadSpectrum(t));
  ASSERT_NO_FATAL_FAILURE(EnterPhase(t, false));
  const int32_t base = PhaseParameterOffset(1);
  ui.QueueAnswer(true);  // not normalized: proceed
  ui.ExpectDialog(ModeNames[0]).Radio(2).Ok();
  ui.ExpectDialog("Preparing parameter array").Ok();
  auto& prepare = ui.ExpectDialog("Prepare " + ModeNames[0]).Field(1, 1, "5").Field(2, 1, "100").Field(3, 1, "3");
  prepare.Field(4, 1, "10").Ok();
  ui.QueueAnswer(false);  // no scaling correction
  ui.ExpectDialog("Prepare").Ok();
  ui.ExpectDialog("Parameter array").Cell(3, base + 1, Text(t.At("phase", 0))).Cell(2, base + 8, "1")
      .Cell(3, base + 8, Text(t.At("phase", 1))).Cell(4, base + 8, "40").Cell(3, base + 9, Text(t.At("phase", 2)))
      .Ok();
  ui.ExpectDialog(ModeNames[0]).Radio(3).Ok();
  ui.ExpectDialog("Check the Fit Controls").Field(1, 1, "100").Field(4, 1, "1e-5").Ok();
  ui.ExpectDialog("").Ok(), ui.ExpectDialog("").Ok();  // the summary, no repeat
  ui.ExpectDialog(ModeNames[0]).Radio(6).Ok();
  FitActionMenu();
  ui.ExpectDialog("").Radio(2).Ok();
  TurnFitToSpectrum();
  const TSpectrum &one = *SpectrumList[1], &two = *SpectrumList[2];
  double sum = 0, worst = 0, f = 0, bg = 0;  // deviations from the expected counts in sigma
  for (int32_t k = one.WorkFirst; k <= one.WorkLast; ++k) {
    ASSERT_TRUE(EvaluateModelAt(1, k, f, bg));
    ASSERT_NEAR(two.Y[k], f, 1e-12 * std::fabs(f)) << k;
    const double dev = (f - one.E[k] * one.E[k]) / one.E[k];
    sum += dev * dev, worst = std::max(worst, std::fabs(dev));
  }
  EXPECT_LT(std::sqrt(sum / (one.WorkLast - one.WorkFirst + 1)), 0.15);  // about sqrt(free records / points)
  EXPECT_LT(worst, 1.0);
}

// One-column angles (zero shift added to the observed two-theta) and a six-number channel line
// after a heading, against the golden d; 57.2958 for the exact radian moves d by < 4e-7 relative.
TEST_F(OutputTest, DSpacingFileGivesTheGoldenD) {
  const char* text[] = {"* c\n30\n", "30\n", "15\n", "d err chan\n2.5, 0.01, 1200, 1.5, -2.5, 3.4\n"};
  const auto rows = GoldenRows("dspacing_golden.txt", "spectrum");  // key type shift lambda cw bragg L x d
  ASSERT_EQ(rows.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    std::vector<double> v;
    for (size_t j = 1; j < rows[i].size(); ++j) v.push_back(std::stod(rows[i][j]));
    TSpectrum& sp = Sp(1);
    DSpacingDataType = int(v[0]), sp.AxisKind = i < 3 ? AxisAngular : AxisTimeOfFlight, IndexingMode = 1;
    sp.Delay = v[1], sp.Lambda = v[2], sp.ChanWidth = v[3], sp.Theta = v[4], sp.FlightPath = v[5];
    if (i < 3) ui.ExpectQuestion(std::string("Only one column data. Treated as ") + (i < 2 ? "2-thetas" : "thetas"), 1);
    DSpacingList[1].DCalc = 5.5;
    ReadDSpacingFile(File(text[i]));
    const TDSpacingRecord& r = DSpacingList[1];
    EXPECT_NEAR(r.d, v[7], 1e-6 * v[7]) << rows[i][0];
    EXPECT_EQ((std::vector<double>{r.Error, r.X, r.DCalc, double(DSpacingCount + IndexingMode)}),
              (std::vector<double>{i < 3 ? 0.001 : 0.01, v[6], 5.5, 1}));
    EXPECT_EQ((std::vector<int>{r.h, r.k, r.l}), (i < 3 ? std::vector<int>{0, 0, 0} : std::vector<int>{2, -2, 3}));
  }
  EXPECT_NEAR(DSpacingList[1].d, Sp(1).ChannelToD(1200), 1e-6);
}

// 250 entries keep 200; "Wrong data" after a good line, No, an empty file, a zero wavelength
// and a missing file leave list and count as they were.
TEST_F(OutputTest, DSpacingCapAndRefusals) {
  std::string many = "d err x\n";
  for (int32_t i = 1; i <= 250; ++i) many += std::to_string(3.0 - 0.001 * i) + " 0.01 0\n";
  const struct {
    std::string text, message;
    int32_t type, answer;  // the one-column question: -1 not asked, 0 No, 1 Yes
  } cases[] = {{many, "Error, d-spacings: 250 cut to 200", 0, -1},
               {"d err x\n3 0.01 0\n0 0.01 0\n", "Wrong data (ds,chans or angles", 0, -1}, {"2.5\n", "", 0, 0},
               {"* only comments\n\n", "Error, no d-spacings in " + (dir / "d.txt").string(), 0, -1},
               {"30\n", "Error, wavelength 0: angles can not be turned into d-spacings", 2, 1}};
  Sp(1).Lambda = 0;
  for (const auto& c : cases) {
    for (int32_t i = 1; i <= MaxDSpacings; ++i) DSpacingList[i].d = 10;
    DSpacingCount = 3, DSpacingDataType = c.type;
    if (c.answer >= 0) ui.QueueAnswer(c.answer == 1);
    if (!c.message.empty()) ui.ExpectMessage(c.message);
    ReadDSpacingFile(File(c.text));
    const bool taken = &c == cases;
    EXPECT_EQ(DSpacingCount, taken ? 200 : 3) << c.message;
    EXPECT_DOUBLE_EQ(DSpacingList[1].d + DSpacingList[200].d, taken ? 2.999 + 2.8 : 20) << c.message;
  }
  EXPECT_THROW(ReadDSpacingFile((dir / "missing.txt").string()), OperationAbandoned);
  EXPECT_EQ(DSpacingCount, 3);
}

// A file of two columns without a heading: its first row (the largest d) is an entry.
TEST_F(OutputTest, DSpacingFileWithoutHeadingKeepsItsFirstRow) {
  DSpacingDataType = 0;
  ReadDSpacingFile(File("* comment\n3.5 0.002\n2.5 0.001\n"));
  ASSERT_EQ(DSpacingCount, 2);
  EXPECT_EQ(std::vector<double>({DSpacingList[1].d, DSpacingList[1].Error, DSpacingList[2].d}),
            std::vector<double>({3.5, 0.002, 2.5}));
}

}  // namespace
