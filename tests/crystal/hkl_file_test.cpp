// "Input hkl set from a file" end to end through the scripted dialog: the five-number stream
// across lines, the d range, the phase without atoms, the report, the refusals, and the limits
// of a file (the first 1000 kept, a real intensity factor, reflections that fit no integer
// skipped, an abandoned read leaving the list alone).
#include <cmath>
#include <fstream>
#include <string>
#include <vector>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/model_tables.h"
#include "crystal/hkl_file.h"
#include "crystal/structure_factor.h"
#include "phase_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

constexpr const char* Caption = "Input hkl set from a file";
constexpr double AlEdge = 4.0494;
using Hkl = std::vector<std::array<double, 5>>;  // h, k, l, multiplicity, intensity factor

class HklFileTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    CurrentSpectrum = 1;
    SpectrumList[1]->AxisKind = AxisAny;  // no d range: the dialog proposes DMin and DMax
    DMin = 0.7, DMax = 12;
    // Al, Fm-3m: one atom at the origin.
    ASSERT_TRUE(SetUpPhase(1, 225, 1, {AlEdge, AlEdge, AlEdge, 90, 90, 90}, {IsoAtom(0.3449, 0, 0, 0, 0.8)}));
    ASSERT_TRUE(SetUpPhase(2, 1, 1, {4, 5, 6, 90, 90, 90}));  // no atoms
    PhaseCount = 2;
    std::fill(std::begin(ParametersPending), std::end(ParametersPending), 0);
  }
  void TearDown() override {
    for (const auto& path : files_) std::filesystem::remove(path);
    PhaseTest::TearDown();
  }
  std::string File(const std::string& text) {
    files_.push_back(TestTempPath("hkl" + std::to_string(files_.size()) + ".hkl"));
    std::ofstream(files_.back(), std::ios::binary) << text;
    return files_.back().string();
  }
  // The dialog answered and, when report, the list box that follows a read closed.
  static void Answer(ScriptedUi& to, int32_t phase, const std::string& dmin, const std::string& dmax,
                     const std::string& path, bool report = true) {
    to.ExpectDialog(Caption).Radio(phase).Edit(1, dmin).Edit(2, dmax).Edit(3, path).Ok();
    if (report) to.ExpectDialog(Caption).Ok();
  }
  static Hkl Indices(int32_t p) {
    Hkl out;
    for (const THklRecord& r : PhaseReflections(p))
      out.push_back({double(r.h), double(r.k), double(r.l), double(r.Multiplicity), r.IntensityFactor});
    return out;
  }
  // Phase 1 holds 111 and, with two, 200.
  static void OldList(bool two) {
    HklTable[1][1] = THklRecord{1, 1, 1, 8}, HklTable[2][1] = THklRecord{2, 0, 0, 6};
    PhaseTable[1].ReflectionCount = two ? 2 : 1;
  }

private:
  FreshSpectra spectra_;
  std::vector<std::filesystem::path> files_;
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount};
};

// A backend that abandons the operation when a given message is shown, as a failing read would.
struct AbandoningUi : ScriptedUi {
  explicit AbandoningUi(std::string text) : trigger(std::move(text)) {}
  void ShowMessage(const std::string& text) override {
    ScriptedUi::ShowMessage(text);
    if (text == trigger) AbandonOperation();
  }
  std::string trigger;
};

}  // namespace

TEST_F(HklFileTest, FiveNumbersPerReflectionAcrossLinesInFileOrder) {
  const std::string path = File(
      "* aluminium, comments and separators of every kind\n"
      "1 0 0 6\n"
      "2 0 0 6 1   9 9 9\n"          // completes the first reflection; the rest is dropped
      "1,1,1\t8 0.5  * a comment\n"  // a half intensity factor stays 0.5
      "2 2 0 12 1.0\n"
      "0 0 0 1 1\n"                  // Q = 0: skipped
      "4 4 4 8 1\n"                  // d = 0.58: outside the range
      "3 1 1 24\n"                   // incomplete at the end of the list: dropped
      "/\n"
      "3 1 1 24 1\n");               // after the end
  Answer(ui, 1, "0.7", "12", path);
  InputHklFile();
  EXPECT_EQ(Indices(1), (Hkl{{1, 0, 0, 6, 2}, {1, 1, 1, 8, 0.5}, {2, 2, 0, 12, 1}}));
  double maxF = 0;
  for (const THklRecord& r : PhaseReflections(1)) {
    // Cubic: d = a / sqrt(h^2 + k^2 + l^2); the right angles are held in degrees (57.29578 per
    // radian), so their cosines are 1.2e-8.
    EXPECT_NEAR(r.d, AlEdge / std::sqrt(r.h * r.h + r.k * r.k + r.l * r.l), 2e-8 * r.d);
    double A, B, q;
    Q0 = 1 / (r.d * r.d);
    CalcStructureFactor(0, 1, r.h, r.k, r.l, r.Multiplicity, 0, A, B, q);
    EXPECT_NEAR(r.A, A, 1e-12);
    EXPECT_NEAR(r.B, B, 1e-12);
    EXPECT_EQ(r.q, q);
    maxF = std::max(maxF, std::hypot(A, B));
  }
  EXPECT_DOUBLE_EQ(PhaseTable[1].MaxF, maxF);  // of the new list: the report's warning reads it
  EXPECT_NEAR(PhaseTable[1].MeanMultiplicity, 26.0 / 3, 1e-12);
  // The report of every phase in the list box; the Rietveld and powder-match arrays pending.
  const auto& items = ui.LastDialog().ListBox1.items;
  EXPECT_EQ(std::vector<std::string>({items.at(0), items.at(2)}),
            std::vector<std::string>({"Phase1: 3 hkls formed, d:0.70 - 12.00", " Altogether 3 hkls"}));
  EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + ModeCount), std::vector<int>({1, 0, 1, 0}));
  EXPECT_TRUE(ui.Messages().empty());
  // A list of one reflection of four numbers: the intensity factor 1.
  Answer(ui, 1, "0.7", "12", File("1 1 1 8\n"));
  InputHklFile();
  EXPECT_EQ(Indices(1), (Hkl{{1, 1, 1, 8, 1}}));
}

TEST_F(HklFileTest, TheDialogProposesTheRangeAndAPhaseWithoutAtomsIsAskedFor) {
  const std::string path = File("1 0 0 2 1\n0 1 0 2 1\n0 0 1 2 1\n");
  ui.ExpectDialog(Caption).Inspect([](TForm2& f) {
    EXPECT_EQ(std::tuple(f.Edit1.text, f.Edit2.text), std::tuple("  0.7000", "   12.0000"));
  }).Radio(2).Edit(3, path).Ok();
  ui.ExpectQuestion("No atomic information for phase 2. Proceed?", false);
  InputHklFile();
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 0) << "No ends the operation";
  ui.ExpectDialog(Caption).Radio(2).Edit(1, "4.5").Edit(2, "5.5").Edit(3, path).Ok();
  ui.ExpectQuestion("No atomic information for phase 2. Proceed?", true);
  ui.ExpectDialog(Caption).Ok();
  InputHklFile();
  EXPECT_EQ(Indices(2), (Hkl{{0, 1, 0, 2, 1}}));  // d 4, 5, 6 in [4.5, 5.5]
  const THklRecord& r = HklTable[1][2];
  EXPECT_EQ(std::tuple(r.A, r.B, r.q), std::tuple(0.0, 0.0, 0.0));
  EXPECT_NEAR(r.d, 5, 1e-7);
  EXPECT_EQ(ui.LastDialog().ListBox1.items.at(1), "Phase2: 1 hkls formed, d:4.50 - 5.50");
  ui.ExpectDialog(Caption).Cancel();  // Cancel: nothing read
  InputHklFile();
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 1);
}

TEST_F(HklFileTest, RefusalsLeaveTheListAndTheRange) {
  OldList(false);
  const std::string path = File("2 0 0 6 1\n"), missing = TestTempPath("none.hkl").string();
  const std::array<std::string, 4> cases[] = {  // d_min, d_max, file, message
      {"0.7", "12", missing, "No file " + missing}, {"0.7", "12", " ", "No file "},
      {"-1", "12", path, "Wrong d_min -1.0000"},    {"0.7", "-2", path, "Wrong d_max -2.0000"},
      {"5", "2", path, "Wrong d_max 2.0000"},
      {"0.x7", "12", path, "Error, dmin: \"0.x7\" is not a number"}};  // named, then cancelled
  for (const auto& [dmin, dmax, file, message] : cases) {
    if (dmin == "0.x7") ui.ExpectDialog(Caption).Radio(1).Edit(1, dmin).Edit(2, dmax).Edit(3, file).Press(1).Cancel();
    else Answer(ui, 1, dmin, dmax, file, false);
    if (!message.empty()) ui.ExpectMessage(message);
    InputHklFile();
    EXPECT_EQ(Indices(1), (Hkl{{1, 1, 1, 8, 1}})) << message;
    EXPECT_EQ(std::pair(DMin, DMax), std::pair(0.7, 12.0)) << message;
  }
  EXPECT_EQ(ParametersPending[0], 0);
}

TEST_F(HklFileTest, TheFirstThousandAreKeptAndWrongIntegersSkippedOnce) {
  std::string text;
  for (int i = 1; i <= 1002; ++i) text += "1 1 1 " + std::to_string(i) + " 1\n";  // all in range
  Answer(ui, 1, "0.7", "12", File(text));
  InputHklFile();
  ASSERT_EQ(PhaseTable[1].ReflectionCount, MaxHklFileReflections);
  EXPECT_EQ(std::pair(HklTable[1][1].Multiplicity, HklTable[1000][1].Multiplicity), std::pair(1, 1000));
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"More than 1000 hkls in the d-range: the first 1000 kept"});
  ui.Clear();
  Answer(ui, 1, "0.7", "12", File("1 1 1 8 1\n"
                                  "1e999 0 0 6 1\n"        // read as 1e300: fits no integer
                                  "2 0 0 3000000000 1\n"   // multiplicity beyond int32
                                  "2 0 0 -2147483649 1\n"
                                  "2 2 0 12 1\n"
                                  "99999999999999999999 1 1 1 1\n"));
  InputHklFile();
  EXPECT_EQ(Indices(1), (Hkl{{1, 1, 1, 8, 1}, {2, 2, 0, 12, 1}}));
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Reflections with wrong indices or multiplicity skipped"});
}

TEST_F(HklFileTest, AnAbandonedReadLeavesTheListAsItWas) {
  OldList(true);
  AbandoningUi failing("Reflections with wrong indices or multiplicity skipped");
  failing.onUnexpected = [](const std::string& what) { ADD_FAILURE() << "unexpected: " << what; };
  ScopedUi guard(failing);
  // Two reflections read before the read gives up.
  Answer(failing, 1, "0.7", "12", File("2 2 0 12 1\n3 1 1 24 1\n1e999 0 0 1 1\n"), false);
  EXPECT_FALSE(RunUserCommand(InputHklFile));
  EXPECT_EQ(Indices(1), (Hkl{{1, 1, 1, 8, 1}, {2, 0, 0, 6, 1}}));
  EXPECT_EQ(ParametersPending[0], 0);
  EXPECT_TRUE(failing.Remaining().empty());
}
