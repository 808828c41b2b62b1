// The d-spacing list tools: marked points refined as numpy does, the 200-entry limit (fault 6),
// close lines, the error transformations (|c|, fault 7), the editor, Bragg's law (fault 5).
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "indexing/dspacing_editing.h"
#include "indexing_setup.h"

namespace {

class DListTest : public IndexingTest {
protected:
  TSpectrum& Sp() { return *SpectrumList[1]; }
  void ExpectListShown() {  // ShowDSpacings: the information dialog, then the list
    ui.ExpectDialog("Dspacings Info").Ok();
    ui.ExpectDialog("Dspacings").Ok();
  }
  static std::vector<double> Column(double TDSpacingRecord::*field) {
    std::vector<double> v;
    for (int32_t i = 1; i <= DSpacingCount; ++i) v.push_back(DSpacingList[i].*field);
    return v;
  }
  KeepValues<double> marked_{MarkedPoints, MarkedPointCapacity + 1}, dError_{&DefaultDError, 1};
  KeepValues<int32_t> markedCount_{&MarkedPointCount, 1}, source_{&DSpacingSource, 1};
  KeepValues<uint8_t> refine_{&RefineMarkedPositions, 1};
};

TEST_F(DListTest, MarkedPointsAreRefinedAsNumpyDoesAndTheListKeeps200) {
  const std::vector<Tokens> rows = GoldenRows("celix_golden.txt", "indexing");
  for (const Tokens& row : rows)
    if (row[0] == "mpc") Sp().Y[std::stoi(row[1])] = Num(row[2]);
  for (const Tokens& row : rows) {
    if (row[0] != "mp") continue;
    int32_t c = RoundHalfEven(Num(row[1]));
    double p = 0;
    RefineMarkedPoint(Sp(), c, p);
    EXPECT_NEAR(p, Num(row[2]), 1e-12) << row[1];
  }
  // 201 points and two outside 3..16381: 200 kept with our message, d from ChannelToD.
  MarkedPointCount = 203;
  MarkedPoints[1] = 2, MarkedPoints[2] = 16382;
  for (int32_t k = 3; k <= 203; ++k) MarkedPoints[k] = 100 + 10 * k;
  ui.ExpectDialog("Form the d-distribution").Radio(2).CheckBox(false).Edit(1, "0.002").Ok();
  ui.ExpectMessage("Only the first 200 d-spacings are kept, 1 dropped");
  ExpectListShown();
  FormDSpacings();
  ASSERT_EQ(DSpacingCount, 200);
  EXPECT_NEAR(DSpacingList[200].d, Sp().ChannelToD(130), 1e-12);
  EXPECT_EQ(std::vector<double>({MarkedPoints[1], MarkedPoints[2], DefaultDError}),
            std::vector<double>({2, 16382, 0.002}));
}

// Defaults 1 of 10 and 2 of 25 (half to even); of nine lines 2.295 goes first, and 5 asked
// delete only 2 (7 stay). 2.8 - 2.7 is the smallest of the 0.1 gaps in binary.
TEST_F(DListTest, CloseLinesGoPairByPair) {
  std::vector<double> ten(10), quarter(25);
  for (int32_t i = 0; i < 25; ++i) quarter[i] = 5 - 0.1 * i - 0.001 * i * i, ten[i % 10] = 3 - 0.1 * (i % 10);
  const std::vector<double> nine = {3.0, 2.9, 2.8, 2.7, 2.6, 2.5, 2.4, 2.3, 2.295};
  const std::vector<std::tuple<std::vector<double>, std::string, double, std::vector<double>>> cases = {
      {ten, "0", 1, ten},
      {quarter, "0", 2, quarter},
      {nine, "1", 1, {3.0, 2.9, 2.8, 2.7, 2.6, 2.5, 2.4, 2.3}},
      {nine, "5", 1, {3.0, 2.9, 2.8, 2.6, 2.5, 2.4, 2.3}}};
  for (const auto& [d, asked, shown, left] : cases) {
    SetLines(d);
    ui.ExpectDialog("delete close ds")
        .Inspect([shown](TForm2& f) { EXPECT_EQ(std::stod(f.StringGrid1.Cell(0, 0)), shown); })
        .Field(1, 1, asked)
        .Ok();
    DeleteCloseDSpacings();
    EXPECT_EQ(Column(&TDSpacingRecord::d), left);
  }
}

TEST_F(DListTest, ErrorTransformationsUseTheMagnitudeOfTheConstant) {
  SetLines({3, 2, 1});
  const double e[3] = {4, 16, 64};
  for (int32_t i = 1; i <= 3; ++i) DSpacingList[i].Error = e[i - 1];
  ui.ExpectDialog("Transform d-errors").Radio(2).Field(1, 1, "1").Ok();
  ExpectListShown();
  ui.ExpectDialog("Transform d-errors").Radio(1).Field(1, 1, "-2").Ok();
  ExpectListShown();
  TransformDErrors();
  EXPECT_EQ(Column(&TDSpacingRecord::Error), std::vector<double>({0.5, 0.25, 0.125}));
  TransformDErrors();
  EXPECT_EQ(Column(&TDSpacingRecord::Error), std::vector<double>({1.0, 0.5, 0.25}));
  EXPECT_DOUBLE_EQ(AverageDError, 1.75 / 3);
  for (int32_t i = 1; i <= 3; ++i) DSpacingList[i].Error = 0;
  ui.ExpectDialog("Transform d-errors").Radio(4).Field(1, 1, "0").Ok();
  ui.ExpectMessage("Error ,const=0");
  ui.ExpectDialog("Transform d-errors").Radio(2).Ok();
  ui.ExpectMessage("d-spacing errors=0!");
  TransformDErrors();
  TransformDErrors();
  EXPECT_EQ(Column(&TDSpacingRecord::Error), std::vector<double>({0, 0, 0}));
}

// "2.5" alone: d 2.5, error 0, the channel of 2.5 A; a line with letters or none is skipped.
TEST_F(DListTest, EditorLinesBecomeEntries) {
  SetLines({4.0});
  ui.ExpectDialog("Edit(add/delete) d-spacings")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.Memo1.lines, std::vector<std::string>({DSpacingEditorLine(1)})); })
      .Memo("2.5\nabc 1\n\n3.0 0.01 100 1 -1 2 1")
      .Ok();
  EditDSpacingList();
  EXPECT_EQ(Column(&TDSpacingRecord::d), std::vector<double>({3.0, 2.5}));
  EXPECT_EQ(Column(&TDSpacingRecord::X), std::vector<double>({100, Sp().DToChannel(2.5)}));
  EXPECT_EQ(std::vector<int32_t>({DSpacingList[1].h, DSpacingList[1].k, DSpacingList[1].l}),
            std::vector<int32_t>({1, -1, 2}));
}

// Angles by Bragg's law with true two-theta = observed + zero shift (a theta counts twice),
// against the generator; channels through ChannelToD.
TEST_F(DListTest, AnglesBecomeDByBraggsLaw) {
  Sp().AxisKind = AxisAngular;
  for (const Tokens& row : GoldenRows("celix_golden.txt", "indexing")) {
    if (row[0] != "tt") continue;
    SetLines({1.0});
    DSpacingDataType = std::stoi(row[1]);
    Sp().Lambda = Num(row[2]), Sp().Delay = Num(row[3]), DSpacingList[1].X = Num(row[4]);
    TwoThetasToD();
    EXPECT_NEAR(DSpacingList[1].d, Num(row[5]), 1e-12 * Num(row[5])) << row[4] << " " << row[3];
  }
  Sp().AxisKind = AxisTimeOfFlight, DSpacingDataType = 3, DSpacingList[1].X = 2000;
  TwoThetasToD();
  EXPECT_EQ(DSpacingList[1].d, Sp().ChannelToD(2000));
}

}  // namespace
