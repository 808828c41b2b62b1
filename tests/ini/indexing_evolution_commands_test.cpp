// The commands of the powder indexing and the phase evolution: d-spacings from angles against
// Bragg's law on gemmi's d-spacings, from time channels against the ZrO2 constants; the grid bins
// and the simple peaks; the refusals and clamps of bad input in both dialects.
#include <cmath>
#include <string>
#include <vector>
#include "core/spectra_utilities.h"
#include "evolution/trevo_state.h"
#include "indexing/indexing_state.h"
#include "ini/ini_commands.h"
#include "ini/ini_setup.h"
#include "peaks/auto_calibration.h"

namespace {

class IndexingEvolutionTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    ui.onUnexpected = [](const std::string&) {};
  }
  // d of one EDS row with d 0 at abscissa x.
  double D(int32_t type, double lambda, double shift, double x) {
    Read("EDS\n" + std::to_string(type) + " 25 " + Num(lambda) + " 75 " + Num(shift) + " 64 0\n0 0.001 " + Num(x) +
         "\n/\n");
    return DSpacingCount == 1 ? DSpacingList[1].d : -1;
  }
  static std::string Num(double x) {
    char b[40];
    std::snprintf(b, sizeof b, "%.12g", x);
    return b;
  }
};

TEST_F(IndexingEvolutionTest, DSpacingsFromAnglesFollowBraggsLaw) {
  const double rad = M_PI / 180;
  // lambda 1.54, two-theta 40: d = 1.54 / 2 / sin 20 degrees.
  EXPECT_NEAR(D(2, 1.54, 0, 40.0), 2.2513, 5e-5);
  // The zero shift moves the observed two-theta to the true one: two-theta 40 with shift 0.4 is
  // the d of 40.4, and so is theta 20 with the same shift.
  const double d404 = 1.54 / 2 / std::sin(20.2 * rad);
  EXPECT_NEAR(D(2, 1.54, 0.4, 40.0), d404, 1e-6 * d404);
  EXPECT_NEAR(D(1, 1.54, 0.4, 20.0), d404, 1e-6 * d404);
  // gemmi d-spacings of ZrO2 at random wavelengths and shifts; the program's degree 57.2958 is
  // 4e-7 relative from 180/pi, so d agrees to 1e-6 relative.
  const auto rows = GoldenRows("eds_bragg.txt", "ini");
  ASSERT_EQ(rows.size(), 40u);
  for (const auto& r : rows) {
    const double d = std::stod(r[4]);
    EXPECT_NEAR(D(std::stoi(r[0]), std::stod(r[1]), std::stod(r[2]), std::stod(r[3])), d, 1e-6 * d) << r[3];
  }
  EXPECT_EQ(SpectrumList[1]->AxisKind, AxisAngular);
  // Time of flight: ZrO2 channel 707.3 (L 25 m, theta 75, 64 us, delay -1.19) is d 3.70169 within
  // the set's 0.1 per cent.
  Read("EDS\n3 25 0 75 -1.19 64 0\n0 0.001 707.3\n/\n");
  ASSERT_EQ(DSpacingCount, 1);
  EXPECT_NEAR(DSpacingList[1].d, 3.70169, 0.001 * 3.70169);
  EXPECT_EQ(SpectrumList[1]->AxisKind, AxisTimeOfFlight);
}

// SDM maps the numbers by crystal system; IPSU sorts the peaks by position, models moving along.
TEST_F(IndexingEvolutionTest, BinsBySystemAndSimplePeaksSorted) {
  Read("SNP\n3\nSSAI\n5 7 2\nSDM\n4 9 9 1 1 1 2\n3 1 1 6 1 1\n2 3 4 5 6 7\n");
  const std::vector<int32_t> cubic(BinCounts[1] + 1, BinCounts[1] + 7), rhombo(BinCounts[2] + 1, BinCounts[2] + 7),
      mono(BinCounts[3] + 1, BinCounts[3] + 7);
  EXPECT_EQ(cubic, (std::vector<int32_t>{4, 1, 1, 1, 1, 1}));
  EXPECT_EQ(rhombo, (std::vector<int32_t>{3, 3, 3, 6, 6, 6}));
  EXPECT_EQ(mono, (std::vector<int32_t>{2, 3, 4, 1, 6, 1}));
  EXPECT_EQ(std::make_tuple(BinTriesDefault, int32_t{BinDefaultsSet}), std::make_tuple(2, 1));
  Read("IPSU\n3\n290 300 310 2\n190 200 210\n90 100 110 3\n");
  EXPECT_EQ(std::make_tuple(MainMode, TrevoMode, MarkedPointCount), std::make_tuple(3, 0, 3));
  for (int32_t k = 1; k <= 3; ++k) {
    EXPECT_EQ(TrevoPeakTable[k].reference, 100.0 * k);
    EXPECT_EQ(TrevoPeakTable[k].lower, 100.0 * k - 10);
    EXPECT_EQ(MarkedPoints[k], 100.0 * k);
  }
  EXPECT_EQ(std::vector<int32_t>(MarkedPointModels + 1, MarkedPointModels + 4), (std::vector<int32_t>{3, 1, 2}));
}

// What the commands may change, compared before and after a refused command.
std::vector<double> Snapshot() {
  std::vector<double> s = {double(DSpacingCount), DSpacingList[1].d, double(CalibrationPointLimit), CalibrationPoints[1],
                           double(MarkedPointCount), TrevoPeakTable[1].reference, double(SequenceCount),
                           double(TrevoZeroWeightIntervals.count), double(TrevoZeroWeightIntervals.first[1]),
                           double(HklBounds[1][0]), double(isp1), double(SpectrumCount), double(PhaseCount),
                           double(CurrentSpectrum), double(PhaseTable[1].SpaceGroup)};
  for (int32_t p = 1; p <= 2; ++p) s.push_back(PhaseTable[p].AtomCount), s.push_back(PhaseTable[p].ReflectionCount);
  for (int32_t s1 = 0; s1 <= 4; ++s1) {
    const TSpectrum& sp = *SpectrumList[s1];
    for (double v : {double(sp.FirstChannel), double(sp.LastChannel), double(sp.WorkFirst), sp.W1, sp.E[1], sp.Y[1]})
      s.push_back(v);
  }
  for (int32_t j = 1; j <= 7; ++j) s.push_back(PeakModels[static_cast<size_t>(j)]->ModelNumber);
  return s;
}

struct BadCase {
  const char* name;
  int32_t iniMode;      // 1 INI, 0 dat
  const char* text;     // after the set-up "SNP 1"
  const char* message;  // shown exactly
  bool keeps;           // the snapshot is unchanged
};

std::string Rows(int32_t n, const char* row) {
  std::string s;
  for (int32_t i = 1; i <= n; ++i) s += std::to_string(1 + 0.01 * i).substr(0, 6) + row;
  return s;
}

class BadInputTest : public IndexingEvolutionTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BadInputTest, ShowsItsMessageAndKeepsTheTables) {
  const BadCase& c = GetParam();
  std::string text = c.text;
  if (text == "EDS201") text = "EDS\n0 0 1.54 0 0 0 0\n" + Rows(201, " 0.001\n") + "/\n";
  if (text == "IPSU61") text = "IPSU\n61\n" + Rows(61, " 1 1\n");
  if (text == "CP21") text = "CP\n21\n" + Rows(21, "\n");
  Read("SNP\n1\n");
  CalibrationPointLimit = 4, SequenceCount = 0, TrevoZeroWeightIntervals = {};
  const std::vector<double> before = Snapshot();
  ReadIniText(text + (c.iniMode ? "..SV\n150\n" : "SMW\n2\n"), c.iniMode, false, false, IniDataFile("bad"));
  EXPECT_TRUE(Shown(c.message)) << ::testing::PrintToString(ui.Messages());
  EXPECT_TRUE(Logged("file " + IniDataFile("bad") + ", line "));
  EXPECT_EQ(Snapshot() == before, c.keeps);
  // Reading goes on in step: the next command is read, no value line is met as a title.
  EXPECT_EQ(c.iniMode ? CellVolumes[1] : double(WidthMode), c.iniMode ? 150.0 : 2.0);
  EXPECT_FALSE(Shown("Wrong command "));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputTest,
    ::testing::Values(
        BadCase{"EDS_type_5", 1, "EDS\n5 0 1.54 0 0 0 0\n1.0 0.001\n/\n", "Wrong data 5 0 1.54 0 0 0 0", true},
        BadCase{"EDS_201_rows", 1, "EDS201", "Too many d-spacings, the first 200 kept", false},
        BadCase{"EDS_no_slash", 1, "EDS\n0 0 1.54 0 0 0 0\n2.0 0.001\n", "No \"/\" after the d-spacings", false},
        BadCase{"EDS_d0_type_0", 1, "EDS\n0 0 1.54 0 0 0 0\n0 0.001 5\n/\n", "Rows without a d-spacing skipped: 1", true},
        BadCase{"EDS_zero_sine", 1, "EDS\n2 0 1.54 0 0 0 0\n0 0.001 0\n/\n", "Rows without a d-spacing skipped: 1", true},
        BadCase{"CP_21", 1, "CP21", "Too many calibration points, the first 20 kept", false},
        BadCase{"IPSU_61", 1, "IPSU61", "Too many peaks for the simple analysis, the first 60 kept", false},
        BadCase{"ISNS_1001", 1, "ISNS\nnone.lst\nsp\n1001\n", "Too many spectra in the sequence, cut to 1000", false},
        BadCase{"ISVNS_501", 1, "ISVNS\nnone.lst\nsp\n501\n", "Too many spectra in the sequence, cut to 500", false},
        BadCase{"IZWT_channel_0", 1, "IZWT\n1\n0 10\n", "Wrong channels of the intervals for w-zeroing (1..32768, first <= last)", true},
        BadCase{"IZWT_first_above_last", 1, "IZWT\n1\n20 10\n", "Wrong channels of the intervals for w-zeroing (1..32768, first <= last)", true},
        BadCase{"ISS_a2_below_a1", 1, "ISS\n3 500 400 1 1 25 0 64 75 5 6 4 7 1 1 3 0.1 0.1 0\n", "Wrong interval", true},
        BadCase{"SHKLB_lmax_negative", 1, "SHKLB\n4 -4 4 -4 -1\n", "Wrong HKL bounds", true},
        BadCase{"dat_INSP_5", 0, "INSP\n5\n", "Wrong number of spectra (1..4)", true},
        BadCase{"dat_SNA_201", 0, "SNA\n201\n", "Wrong atoms of phase 1 (0..200)", true},
        BadCase{"dat_INPAP_4001", 0, "INPAP\n1\n4\n4001\n", "Wrong reflections of phase 1 (0..4000)", true},
        BadCase{"dat_IS_spectrum_5", 0, "IS\n1 1024 3 0 5\nzro2_counts.txt\n", "Wrong spectrum number (0..4)", true},
        BadCase{"dat_IS_a2_below_a1", 0, "IS\n900 100 3 0 1\nzro2_counts.txt\n", "Wrong interval", true},
        BadCase{"dat_ZW_channel_0", 0, "ZW\n0 10 1\n", "Wrong data in ZW", true},
        BadCase{"dat_SMW_4", 0, "SMW\n4\n", "Wrong Width Mode", true},
        BadCase{"dat_FPM_model_7", 0, "FPM\n0 690 725 2 1.0 7 0 0 1\n", "Wrong peak model number", true},
        BadCase{"dat_ISGI_231", 0, "ISGI\n231 0\n", "Wrong space group of phase 1", true},
        BadCase{"dat_IIPF_short", 0, "IIPF\n0\n1 0 1 2 1 0\n2 0 1 2 1 0\n", "Wrong parameter array", true}),
    [](const auto& param) { return std::string(param.param.name); });

// The clamps that keep the first entries: the counts stand at the table's size.
TEST_F(IndexingEvolutionTest, ClampedCountsStayInsideTheTables) {
  Read("SNP\n1\nCP\n21\n" + Rows(21, "\n") + "IPSU\n61\n" + Rows(61, " 1 1\n") + "ISNS\nnone.lst\nsp\n1001\n");
  EXPECT_EQ(std::make_tuple(CalibrationPointLimit, MarkedPointCount, SequenceCount, int32_t{SpectraOnlySequence}),
            std::make_tuple(20, 60, 1000, 1));
  EXPECT_EQ(CalibrationPoints[20], 1.0);  // 1.2 rounded
  Read("SNP\n1\nSSAI\n1\nSDM\n0 -3 1 1 1 1 0\n");
  EXPECT_EQ(std::make_tuple(BinCounts[1][1], BinCounts[1][2], BinTriesDefault), std::make_tuple(1, 3, 1));
}

}  // namespace
