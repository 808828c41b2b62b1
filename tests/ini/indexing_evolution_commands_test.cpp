// The commands of the powder indexing and the phase evolution: d-spacings from angles against
// Bragg's law on gemmi's d-spacings, from time channels against the ZrO2 constants; the grid bins
// and the simple peaks; the refusals and clamps of bad input in both dialects.
#include <cmath>
#include <string>
#include <vector>
#include "evolution/trevo_state.h"
#include "indexing/indexing_state.h"
#include "ini/ini_setup.h"
#include "peaks/auto_calibration.h"

namespace {

class IndexingEvolutionTest : public IniTest {
protected:
  void SetUp() override { IniTest::SetUp(), ui.onUnexpected = [](const std::string&) {}; }
  // d of one EDS row with d 0 at abscissa x (type, lambda, zero shift and x as written).
  double D(const std::string& type, const std::string& lambda, const std::string& shift, const std::string& x) {
    Read("EDS\n" + type + " 25 " + lambda + " 75 " + shift + " 64 0\n0 0.001 " + x + "\n/\n");
    return DSpacingCount == 1 ? DSpacingList[1].d : -1;
  }
};

TEST_F(IndexingEvolutionTest, DSpacingsFromAnglesFollowBraggsLaw) {
  // lambda 1.54, two-theta 40: d = 1.54 / 2 / sin 20 degrees. The zero shift moves the observed
  // two-theta to the true one: two-theta 40 with shift 0.4 is the d of 40.4, and so is theta 20.
  EXPECT_NEAR(D("2", "1.54", "0", "40"), 2.2513, 5e-5);
  const double d404 = 1.54 / 2 / std::sin(20.2 * M_PI / 180);
  EXPECT_NEAR(D("2", "1.54", "0.4", "40"), d404, 1e-6 * d404);
  EXPECT_NEAR(D("1", "1.54", "0.4", "20"), d404, 1e-6 * d404);
  EXPECT_EQ(SpectrumList[1]->AxisKind, AxisAngular);
  // gemmi d-spacings of ZrO2 at random wavelengths and shifts; the program's degree 57.2958 is
  // 4e-7 relative from 180/pi, so d agrees to 1e-6 relative.
  const auto rows = GoldenRows("eds_bragg.txt", "ini");
  ASSERT_EQ(rows.size(), 40u);
  for (const auto& r : rows) EXPECT_NEAR(D(r[0], r[1], r[2], r[3]), std::stod(r[4]), 1e-6 * std::stod(r[4])) << r[3];
  // Time of flight: ZrO2 channel 707.3 (theta 75, delay -1.19) is d 3.70169 within the set's 0.1 %.
  EXPECT_NEAR(D("3", "0", "-1.19", "707.3"), 3.70169, 0.001 * 3.70169);
  EXPECT_EQ(SpectrumList[1]->AxisKind, AxisTimeOfFlight);
}

// SDM maps the numbers by crystal system, a bin of 0 or below is max(1, |n|); IPSU sorts the
// peaks by position, the models moving along.
TEST_F(IndexingEvolutionTest, BinsBySystemAndSimplePeaksSorted) {
  Read("SNP\n4\nSSAI\n5 7 2 1\nSDM\n4 9 9 1 1 1 2\n3 1 1 6 1 1\n2 3 4 5 6 7\n0 -3 1 1 1 1\n");
  std::vector<std::vector<int32_t>> bins;
  for (int32_t p = 1; p <= 4; ++p) bins.emplace_back(BinCounts[p] + 1, BinCounts[p] + 7);
  EXPECT_EQ(bins, (std::vector<std::vector<int32_t>>{{4, 1, 1, 1, 1, 1}, {3, 3, 3, 6, 6, 6}, {2, 3, 4, 1, 6, 1},
                                                     {1, 3, 1, 1, 1, 1}}));
  EXPECT_EQ(std::make_tuple(BinTriesDefault, int32_t{BinDefaultsSet}), std::make_tuple(2, 1));
  Read("IPSU\n3\n290 300 310 2\n190 200 210\n90 100 110 3\n");
  EXPECT_EQ(std::make_tuple(MainMode, TrevoMode, MarkedPointCount), std::make_tuple(3, 0, 3));
  for (int32_t k = 1; k <= 3; ++k)
    EXPECT_EQ(std::make_tuple(TrevoPeakTable[k].lower, TrevoPeakTable[k].reference, MarkedPoints[k]),
              std::make_tuple(100.0 * k - 10, 100.0 * k, 100.0 * k));
  EXPECT_EQ(std::vector<int32_t>(MarkedPointModels + 1, MarkedPointModels + 4), (std::vector<int32_t>{3, 1, 2}));
}

// What the commands may change, compared before and after a refused command.
std::vector<double> Snapshot() {
  std::vector<double> s = {double(DSpacingCount), double(CalibrationPointLimit), double(MarkedPointCount),
                           double(SequenceCount), double(TrevoZeroWeightIntervals.count), double(HklBounds[1][4]),
                           double(SpectrumCount), double(PhaseCount), double(CurrentSpectrum),
                           double(PhaseTable[1].SpaceGroup), double(PhaseTable[1].AtomCount),
                           double(PhaseTable[1].ReflectionCount)};
  for (const auto& sp : SpectrumList)
    s.insert(s.end(), {double(sp->FirstChannel), double(sp->LastChannel), double(sp->WorkFirst), sp->W1, sp->E[1]});
  for (int32_t j = 1; j <= 7; ++j) s.push_back(PeakModels[static_cast<size_t>(j)]->ModelNumber);
  return s;
}

// n whole channels, one a line (calibration points are whole channels).
std::string Channels(int32_t n) {
  std::string s;
  for (int32_t i = 1; i <= n; ++i) s += std::to_string(100 + i) + "\n";
  return s;
}

std::string Rows(int32_t n, const char* row) {
  std::string s;
  for (int32_t i = 1; i <= n; ++i) s += std::to_string(1 + 0.01 * i).substr(0, 6) + row;
  return s;
}

struct BadCase {
  const char* name;
  int32_t iniMode;         // 1 INI, 0 dat
  std::string text;        // after the set-up "SNP 1"
  const char* message;     // shown exactly
  int32_t* count = nullptr;  // a clamped count and its value, else the tables are unchanged
  int32_t clamped = 0;
  bool warning = false;      // the file is still read as a whole
};

class BadInputTest : public IndexingEvolutionTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BadInputTest, ShowsItsMessageAndKeepsTheTables) {
  const BadCase& c = GetParam();
  Read("SNP\n1\n");
  CalibrationPointLimit = 4, SequenceCount = 0, TrevoZeroWeightIntervals = {};
  const std::vector<double> before = Snapshot();
  ReadIniText(c.text + (c.iniMode ? "..SV\n150\n" : "SMW\n2\n"), c.iniMode, false, false, IniDataFile("bad"));
  EXPECT_TRUE(Shown(c.message)) << ::testing::PrintToString(ui.Messages());
  EXPECT_TRUE(Logged("file " + IniDataFile("bad") + ", line "));
  // Reading goes on in step: the next command is read, no value line is met as a title.
  ASSERT_FALSE(IniDispatchTrace.empty());
  EXPECT_EQ(IniDispatchTrace.back().key, c.iniMode ? "SV" : "SMW");
  EXPECT_EQ(IniDispatchTrace.back().known, 1);
  EXPECT_FALSE(Shown("Wrong command "));
  // A count cut is a warning and the file is read; after an error the model read before
  // comes back whole, the next command's value too.
  const bool whole = c.count != nullptr || c.warning;
  if (c.count) EXPECT_EQ(*c.count, c.clamped);
  else EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(IniFailure.count == 0, whole);
  EXPECT_EQ(c.iniMode ? CellVolumes[1] : double(WidthMode), whole ? (c.iniMode ? 150.0 : 2.0) : (c.iniMode ? DefaultCellVolume : 0.0));
}

const char* const WrongIntervals = "Wrong channels of the intervals for w-zeroing (1..32768, first <= last)";
INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputTest,
    ::testing::Values(
        BadCase{"EDS_type_5", 1, "EDS\n5 0 1.54 0 0 0 0\n1.0 0.001\n/\n", "Wrong data 5 0 1.54 0 0 0 0"},
        BadCase{"EDS_201_rows", 1, "EDS\n0 0 1.54 0 0 0 0\n" + Rows(201, " 0.001\n") + "/\n",
                "Too many d-spacings, the first 200 kept", &DSpacingCount, 200},
        BadCase{"EDS_no_slash", 1, "EDS\n0 0 1.54 0 0 0 0\n2.0 0.001\n", "No \"/\" after the d-spacings", &DSpacingCount, 1},
        BadCase{"EDS_d0_type_0", 1, "EDS\n0 0 1.54 0 0 0 0\n0 0.001 5\n/\n", "Rows without a d-spacing skipped: 1", nullptr, 0, true},
        BadCase{"EDS_zero_sine", 1, "EDS\n2 0 1.54 0 0 0 0\n0 0.001 0\n/\n", "Rows without a d-spacing skipped: 1", nullptr, 0, true},
        BadCase{"CP_21", 1, "CP\n21\n" + Channels(21), "Too many calibration points, the first 20 kept",
                &CalibrationPointLimit, 20},
        BadCase{"IPSU_61", 1, "IPSU\n61\n" + Rows(61, " 1 1\n"), "Too many peaks for the simple analysis, the first 60 kept",
                &MarkedPointCount, 60},
        BadCase{"ISNS_1001", 1, "ISNS\nnone.lst\nsp\n1001\n", "Too many spectra in the sequence, cut to 1000",
                &SequenceCount, 1000},
        BadCase{"ISVNS_501", 1, "ISVNS\nnone.lst\nsp\n501\n", "Too many spectra in the sequence, cut to 500",
                &SequenceCount, 500},
        BadCase{"IZWT_channel_0", 1, "IZWT\n1\n0 10\n", WrongIntervals},
        BadCase{"IZWT_first_above_last", 1, "IZWT\n1\n20 10\n", WrongIntervals},
        BadCase{"ISS_a2_below_a1", 1, "ISS\n3 500 400 1 1 25 0 64 75 5 6 4 7 1 1 3 0.1 0.1 0\n", "Wrong interval"},
        BadCase{"SHKLB_lmax_negative", 1, "SHKLB\n4 -4 4 -4 -1\n", "Wrong HKL bounds"},
        BadCase{"dat_INSP_5", 0, "INSP\n5\n", "Wrong number of spectra (1..4)"},
        BadCase{"dat_SNA_201", 0, "SNA\n201\n", "Wrong atoms of phase 1 (0..200)"},
        BadCase{"dat_INPAP_4001", 0, "INPAP\n1\n4\n4001\n", "Wrong reflections of phase 1 (0..4000)"},
        BadCase{"dat_IS_spectrum_5", 0, "IS\n1 1024 3 0 5\nzro2_counts.txt\n", "Wrong spectrum number (0..4)"},
        BadCase{"dat_IS_a2_below_a1", 0, "IS\n900 100 3 0 1\nzro2_counts.txt\n", "Wrong interval"},
        BadCase{"dat_ZW_channel_0", 0, "ZW\n0 10 1\n", "Wrong data in ZW"},
        BadCase{"dat_SMW_4", 0, "SMW\n4\n", "Wrong Width Mode"},
        BadCase{"dat_FPM_model_7", 0, "FPM\n0 690 725 2 1.0 7 0 0 1\n", "Wrong peak model number"},
        BadCase{"dat_ISGI_231", 0, "ISGI\n231 0\n", "Wrong space group of phase 1"},
        BadCase{"dat_IIPF_short", 0, "IIPF\n0\n1 0 1 2 1 0\n2 0 1 2 1 0\n", "Wrong parameter array"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
