// The interval sum against numpy, the zeroing of weights, and the channel of a reflection against
// the physical constant, Bragg's law and DToChannel.
#include "mainwin/interval_operations.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include "core/model_tables.h"
#include "core/spectrum.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
const std::string GoldenPath = std::string(VKEST_SOURCE_DIR) + "/tests/mainwin/data/interval_golden.txt";

std::vector<Tokens> RowsOf(const std::vector<Tokens>& rows, const std::string& kind) {
  std::vector<Tokens> out;
  for (const Tokens& r : rows)
    if (!r.empty() && r[0] == kind) out.push_back(r);
  return out;
}

class IntervalTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    CurrentSpectrum = 1, MainMode = 0;
  }
  void TearDown() override {
    MainMode = 0;
    DialogTest::TearDown();
  }
  TSpectrum& One() { return *SpectrumList[1]; }

  FreshSpectra spectra;
  KeepValues<ParameterRecord> records{parar, 8};
};

TEST_F(IntervalTest, SumMatchesNumpyUpToTheLastChannelOfTheArrays) {
  const std::vector<Tokens> golden = TokenRows(GoldenPath);
  const std::vector<Tokens> points = RowsOf(golden, "point"), sums = RowsOf(golden, "sum");
  ASSERT_EQ(points.size(), 300u);
  TSpectrum& sp = One();
  for (const Tokens& p : points) {
    const int c = std::stoi(p[1]);
    sp.Y[c] = std::stod(p[2]);
    sp.E[c] = std::stod(p[3]);
  }
  sp.FirstChannel = std::stoi(points.front()[1]);
  sp.LastChannel = std::stoi(points.back()[1]);
  ASSERT_EQ(sp.LastChannel, MaxChannels);
  for (const Tokens& s : sums) {
    SCOPED_TRACE(s[1] + " " + s[2]);
    LogFile.RewriteToMemory("log");
    ui.ExpectDialog("Summing the spectrum interval").Ok();
    ui.ExpectDialog("Summing the spectrum interval").Ok();  // the result lines
    SumSpectrumInterval(std::stoi(s[1]), std::stoi(s[2]));
    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Int: " + s[3] + " - " + s[4]);
    double area = 0, err = 0, centre = 0, cerr = 0, bg = 0;
    ASSERT_EQ(std::sscanf(log[1].c_str(), " Area = %lf  err = %lf", &area, &err), 2) << log[1];
    ASSERT_EQ(std::sscanf(log[2].c_str(), " Centrum = %lf +- %lf", &centre, &cerr), 2) << log[2];
    ASSERT_EQ(std::sscanf(log[3].c_str(), " Background  = %lf", &bg), 1) << log[3];
    // The lines print 0 or 2 decimals: half a unit of the last digit apart at most.
    EXPECT_NEAR(area, std::stod(s[5]), 0.5 + 1e-6);
    EXPECT_NEAR(err, std::stod(s[6]), 0.5 + 1e-6);
    EXPECT_NEAR(centre, std::stod(s[7]), 0.005 + 1e-6);
    EXPECT_NEAR(cerr, std::stod(s[8]), 0.005 + 1e-6);
    EXPECT_NEAR(bg, std::stod(s[9]), 0.005 + 1e-6);
  }
}

TEST(IntervalGolden, GeneratorReproducesTheCommittedValues) {
  VKEST_REQUIRE_PYTHON("numpy, scipy");
  const std::filesystem::path dir = TestTempPath("interval_golden");
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "interval_golden.txt").string();
  ASSERT_EQ(RunTool("gen_interval_golden.py", out), 0);
  // Sums of at most 300 products printed to 6 to 17 digits: an ulp can tip the last one.
  EXPECT_EQ(TokenMismatches(TokenRows(out), TokenRows(GoldenPath),
                            [](const Tokens& row, size_t col) { return LastDigitUnit(row[col]); }),
            Tokens{});
  EXPECT_EQ(ReadWholeFile(dir / "cfbk_list.sp"),
            ReadWholeFile(std::string(VKEST_SOURCE_DIR) + "/tests/mainwin/data/cfbk_list.sp"));
  std::filesystem::remove_all(dir);
}

TEST_F(IntervalTest, ResetWeightsStaysInsideTheSpectrumAndFollowsTheTicks) {
  struct Case {
    const char *first, *last;
    bool save, zeroCounts, alsoRange;
    int a, b;
  };
  const Case cases[] = {
      {"120", "90", false, false, false, 90, 100},  // ordered, held to the loaded channels 11..100
      {"-7", "3.4", true, true, false, 11, 11},     // zero counts only, a copy first
      {"20", "30", false, true, true, 20, 30},      // zero counts and the range
  };
  TSpectrum& sp = One();
  sp.FirstChannel = 11, sp.LastChannel = 100;
  for (const Case& c : cases) {
    LogFile.RewriteToMemory("log");
    for (int ch = 1; ch <= 110; ++ch) sp.Y[ch] = ch % 7 == 0 ? 0 : ch, sp.E[ch] = 2;
    ui.ExpectDialog("Zeroing the weights").Edit(1, c.first).Edit(2, c.last).Check(1, c.save).Check(2, c.zeroCounts).Ok();
    if (c.zeroCounts) ui.ExpectQuestion("Should the interval weights be also reset?", c.alsoRange);
    ui.ExpectDialog("Zeroing the weights").Ok();
    int first = 55, last = 56;
    ResetWeights(first, last);
    EXPECT_EQ(std::make_pair(first, last), std::make_pair(c.a, c.b));
    for (int ch = 1; ch <= 110; ++ch) {
      const bool inRange = (!c.zeroCounts || c.alsoRange) && ch >= c.a && ch <= c.b;
      const bool zeroCount = c.zeroCounts && ch >= 11 && ch <= 100 && ch % 7 == 0;
      ASSERT_EQ(sp.E[ch], inRange || zeroCount ? 0.0 : 2.0) << c.first << " " << ch;
    }
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Weights in " + std::to_string(c.a) + "-" +
                                                   std::to_string(c.b) + " reset"});
    EXPECT_EQ(ui.LastDialog().ListBox1.items[0], c.save ? "The spectrum 1 saved as Spectrum 4" : "");
  }
  EXPECT_EQ(SpectrumList[4]->E[14], 2.0);  // copied before the zeroing
  sp.E[25] = 2;
  ui.ExpectDialog("Zeroing the weights").Edit(1, "x").Ok();
  int first = 20, last = 30;
  ResetWeights(first, last);
  EXPECT_EQ(sp.E[25], 2.0);
}

// Time of flight: t = (2 m_n / h) L d sin(theta) microseconds, channel = t / width - delay; angular:
// Bragg's lambda = 2 d sin(theta) on the spectrum's X axis. Both agree with DToChannel when the
// records hold the header's values; modes other than 0 read the header.
TEST_F(IntervalTest, ChannelOfDFollowsTheFlightTimeOfANeutronAndBraggsLaw) {
  double k = 0;
  for (const Tokens& r : RowsOf(TokenRows(GoldenPath), "tof_constant")) k = std::stod(r[1]);
  // 2 m_n / h from scipy.constants; the program keeps it to 3 decimals (truncated).
  EXPECT_NEAR(TofConstant, k, 1e-3);
  struct Case {
    double L, theta, dT, width, delay, d;
  };
  const Case cases[] = {{21.13, 76, 0, 4, 0, 2.0}, {21.13, 76, 0.3, 4, 12.5, 1.1}, {150, 30, 0, 0.5, 100, 0.5}};
  TSpectrum& sp = One();
  sp.AxisKind = AxisTimeOfFlight;
  const int block = 20;
  for (const Case& c : cases) {
    sp.FlightPath = c.L, sp.Theta = c.theta, sp.ChanWidth = c.width, sp.Delay = c.delay;
    parar[block + 1].value = c.L, parar[block + 2].value = c.dT, parar[block + 3].value = c.delay;
    const double truth = k * c.L * c.d * std::sin((c.theta + c.dT) * M_PI / 180) / c.width - c.delay;
    MainMode = 0;
    EXPECT_NEAR(ChannelOfD(1, block, 1 / c.d), truth, 2e-6 * std::fabs(truth + c.delay));
    MainMode = 2;
    parar[block + 1].value = 1, parar[block + 2].value = 5;
    EXPECT_NEAR(ChannelOfD(1, block, 1 / c.d), sp.DToChannel(c.d), 1e-9 * std::fabs(truth));
  }

  sp.AxisKind = AxisAngular;
  sp.Lambda = 1.54, sp.Delay = 0.05, sp.ChanWidth = 0.02;
  sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = 5000;
  for (int c = 1; c <= 5000; ++c) sp.X[c] = 10 + 0.02 * (c - 1);
  parar[2].value = 0, parar[3].value = sp.Delay;
  for (int mode : {0, 2})
    for (double d : {4.0, 2.0, 1.2, 1.0}) {
      MainMode = mode;
      parar[1].value = mode == 0 ? sp.Lambda : 0.7;  // mode 2 reads the header's wavelength
      const double c = ChannelOfD(1, 0, 1 / d);
      EXPECT_NEAR(c, sp.DToChannel(d), 1e-9) << mode << " " << d;
      // X at the channel is two-theta less the zero shift.
      EXPECT_NEAR(10 + 0.02 * (c - 1) + sp.Delay, 2 * std::asin(sp.Lambda / (2 * d)) * 180 / M_PI, 1e-4) << d;
    }
}

}  // namespace
