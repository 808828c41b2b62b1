// Channel and d-spacing against the physics: the neutron constant 2 m_n / h and the time-of-flight
// channels from CODATA through scipy (committed golden values), Bragg's law for angular spectra.
#include <algorithm>
#include <cmath>
#include "spectrum_test_support.h"

namespace {
const std::string GoldenPath = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/spectrum_axis_golden.txt";

// The rows of one tag of the golden file: "K" the constant, "tof" d L theta width delay channel,
// "angular" lambda two-theta shift d.
std::vector<std::vector<double>> Golden(const std::string& tag) {
  std::vector<std::vector<double>> rows;
  for (const Tokens& t : TokenRows(GoldenPath)) {
    if (t.empty() || t[0] != tag) continue;
    rows.emplace_back();
    for (size_t i = 1; i < t.size(); ++i) rows.back().push_back(std::stod(t[i]));
  }
  return rows;
}
}  // namespace

using SpectrumAxis = SpectrumTest;

TEST_F(SpectrumAxis, TimeOfFlightFollowsTheNeutronConstant) {
  // The program's 505.556 is 2 m_n / h to 1.6e-6.
  ASSERT_EQ(Golden("K").size(), 1u);
  EXPECT_NEAR(TofConstant / Golden("K")[0][0], 1.0, 2e-6);
  const auto rows = Golden("tof");
  ASSERT_EQ(rows.size(), 5u);
  sp->AxisKind = AxisTimeOfFlight;
  for (const auto& r : rows) {
    const double d = r[0], width = r[3], delay = r[4], channel = r[5];
    SCOPED_TRACE(d);
    sp->FlightPath = r[1];
    sp->Theta = r[2];
    sp->ChanWidth = width;
    sp->Delay = delay;
    const double time = (channel + delay) * width;
    EXPECT_NEAR((sp->DToChannel(d) + delay) * width, time, 2e-6 * time);
    EXPECT_NEAR(sp->ChannelToD(channel), d, 2e-6 * d);
    EXPECT_NEAR(sp->DToChannel(sp->ChannelToD(channel)), channel, 1e-9 * std::fabs(channel));
  }
  // A width of 0 counts as 1 us, and says so once, not for every reflection of a list.
  const auto& r = rows.back();
  const double time = (r[5] + r[4]) * r[3];
  sp->ChanWidth = 0.0;
  for (int32_t i = 0; i < 3; ++i) EXPECT_NEAR(sp->DToChannel(r[0]), time - r[4], 2e-6 * time);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Wrong channel width"});
}

TEST_F(SpectrumAxis, AngularFollowsBraggsLaw) {
  const auto rows = Golden("angular");
  ASSERT_EQ(rows.size(), 5u);
  // Two-theta from 5 to 165 degrees in steps of 0.01.
  sp->AxisKind = AxisAngular;
  sp->FirstChannel = sp->WorkFirst = 1;
  sp->LastChannel = sp->WorkLast = 16001;
  for (int32_t c = 1; c <= 16001; ++c) sp->X[c] = 5.0 + 0.01 * (c - 1);
  for (const auto& r : rows) {
    const double twoTheta = r[1], d = r[3];
    SCOPED_TRACE(twoTheta);
    sp->Lambda = r[0];
    sp->Delay = r[2];
    const double channel = 1.0 + (twoTheta - 5.0) / 0.01;
    const auto c = static_cast<int32_t>(std::nearbyint(channel));
    // The channel's own two-theta, no interpolation between channels.
    EXPECT_NEAR(sp->ChannelToD(c), d, 1e-7 * d);
    EXPECT_EQ(sp->ChannelToD(c + 0.4), sp->ChannelToD(c));
    // 57.29578 degrees per radian shifts two-theta by up to 1.3e-6 degrees.
    EXPECT_NEAR(sp->DToChannel(d), channel, 5e-4);
  }
  // A d beyond the two-theta range has no channel; a channel beyond the loaded range takes its end.
  sp->Lambda = 1.54;
  sp->Delay = 0.0;
  EXPECT_EQ(sp->DToChannel(100.0), 0.0);
  EXPECT_EQ(sp->ChannelToD(-5.0), sp->ChannelToD(1));
  EXPECT_EQ(sp->ChannelToD(1e12), sp->ChannelToD(16001));
  EXPECT_EQ(sp->ChannelToD(std::nan("")), sp->ChannelToD(1));
}

TEST_F(SpectrumAxis, GoldenScriptReproducesTheCommittedValues) {
  VKEST_REQUIRE_PYTHON("scipy");
  const std::string out = Temp("golden.txt");
  ASSERT_EQ(RunTool("gen_spectrum_axis_golden.py", out), 0);
  // Products and one libm sine each, printed to 10 or 12 decimals: an ulp can tip the last digit.
  EXPECT_EQ(TokenMismatches(TokenRows(out), TokenRows(GoldenPath),
                            [](const Tokens& row, size_t col) { return LastDigitUnit(row[col]); }),
            Tokens{});
}

// Gaps bridged as numpy.interp fills them from the channels with data (constant beyond the
// first and last of them): runs of one and two channels inside, a run at each end of the range,
// a channel that took data since (no gap), and a range with no data at all (left alone).
TEST_F(SpectrumAxis, GapsAreBridgedAsLinearInterpolationOfTheirNeighbours) {
  struct Case {
    const char* what;
    int32_t first;
    std::vector<int32_t> gaps;
    std::vector<double> y, bridged;  // channels first, first + 1, ...
  };
  const Case cases[] = {
      {"inside", 10, {11, 13, 14}, {2, 0, 6, 0, 0, 12}, {2, 4, 6, 8, 10, 12}},
      {"both ends", 20, {20, 21, 24}, {0, 0, 5, 7, 0}, {5, 5, 5, 7, 7}},
      {"data written since", 30, {31, 32}, {1, 9, 0, 3}, {1, 9, 6, 3}},
      {"no data", 40, {40, 41}, {0, 0}, {0, 0}},
      {"the last channel", MaxChannels - 2, {MaxChannels - 1, MaxChannels}, {4, 0, 0}, {4, 4, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto n = static_cast<int32_t>(c.y.size()), last = c.first + n - 1;
    sp->GapChannels = c.gaps;
    for (int32_t i = 0; i < n; ++i) sp->Y[c.first + i] = c.y[i], sp->E[c.first + i] = c.y[i] == 0 ? 0 : 1;
    const std::vector<int32_t> gaps = sp->GapsIn(c.first, last);
    for (int32_t k = c.first; k <= last; ++k)
      EXPECT_EQ(sp->IsGap(k), std::count(gaps.begin(), gaps.end(), k) == 1 && c.y[k - c.first] == 0) << k;
    std::vector<double> y(c.y);
    y.insert(y.begin(), -1.0);  // y[1] is the first channel
    TSpectrum::BridgeGaps(y.data(), c.first, last, gaps);
    EXPECT_EQ(std::vector<double>(y.begin() + 1, y.end()), c.bridged);
    EXPECT_EQ(y[0], -1.0);
  }
  EXPECT_FALSE(sp->IsGap(0));
  // A run of gaps that goes on past the range is bridged up to the range's end, not beyond it.
  std::vector<double> y = {-1, 3, 0, 0, -7};  // channels 50..52, then a sentinel
  TSpectrum::BridgeGaps(y.data(), 50, 52, {51, 52, 53, 54});
  EXPECT_EQ(y, (std::vector<double>{-1, 3, 3, 3, -7}));
}
