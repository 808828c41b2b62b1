// The built-in DN2 effective spectrum: the compiled table against the checksum of the printed
// table, and channels worked out by hand from the table and the wavelength laws.
#include <cmath>
#include <map>
#include "core/dn2_effective_spectrum.h"
#include "spectrum_test_support.h"
#include "support/keep_values.h"

namespace {
double T(int32_t j) { return Dn2VanadiumTable[static_cast<size_t>(j - Dn2TableFirst)]; }

// The Lagrange cubic through T(i-1), T(i), T(i+1), T(i+2) at i + f.
double Lagrange(int32_t i, double f) {
  return -f * (f - 1) * (f - 2) / 6 * T(i - 1) + (f + 1) * (f - 1) * (f - 2) / 2 * T(i) -
         (f + 1) * f * (f - 2) / 2 * T(i + 1) + (f + 1) * f * (f - 1) / 6 * T(i + 2);
}

// Wavelength (angstrom) of channel k: t = 252.7578 L lambda; the tail laws of the table.
double Lambda(int32_t k, double width) { return k * width / (252.7578 * 25.0); }
double ShortLaw(double l) { return 541240.0 / std::pow(l, 3.253446); }
double Damped(double l) { return ShortLaw(l) * std::exp(-6.602738 * std::pow(std::log(l / 10.0), 2)); }
double LongLaw(double l) { return 275564200.0 / std::pow(l, 5.85); }

class SpectrumDn2 : public SpectrumTest {
  FreshSpectra spectra_;  // the effective spectrum 0 among them
};
}  // namespace

TEST_F(SpectrumDn2, TableMatchesTheChecksumOfThePrintedTable) {
  std::map<std::string, long long> expected;
  std::ifstream in(std::string(VKEST_SOURCE_DIR) + "/tests/core/data/dn2_table_checksum.txt");
  std::string key;
  for (long long value; in >> key >> value;) expected[key] = value;
  long long sum = 0, weighted = 0, hash = 0;
  for (int32_t j = Dn2TableFirst; j <= Dn2TableLast; ++j) {
    const auto v = static_cast<long long>(T(j));
    ASSERT_EQ(static_cast<double>(v), T(j));
    sum += v;
    weighted += j * v;
    hash = (hash * 1000003 + v) % 2147483647;
  }
  const std::map<std::string, long long> compiled = {
      {"count", static_cast<long long>(Dn2VanadiumTable.size())}, {"first", Dn2TableFirst}, {"last", Dn2TableLast},
      {"sum", sum}, {"weighted", weighted}, {"hash", hash}};
  EXPECT_EQ(compiled, expected);
}

TEST_F(SpectrumDn2, SessionCurveAtChannelsWorkedByHand) {
  SetUpDn2EffectiveSpectrum();
  const TSpectrum& s = *SpectrumList[0];
  EXPECT_EQ(s.Name, "DN2-vanadium");
  EXPECT_EQ(s.LastChannel, 1024);
  // 64 us channels are half a table step: u = k / 2 + 8.5; the curve starts at u = 45.
  for (int32_t k = 1; k <= 72; ++k) ASSERT_EQ(s.Y[k], 1.0) << k;
  EXPECT_EQ(s.Y[73], 163.0);                                     // T(45)
  EXPECT_EQ(s.Y[74], (9.0 * (163 + 176) - (143 + 194)) / 16.0);  // u = 45.5, the midpoint cubic
  EXPECT_EQ(s.Y[100], 940.625);                                  // (9 (873 + 1020) - (770 + 1217)) / 16
  EXPECT_EQ(s.Y[189], 28965.0);                                  // T(103), the maximum
  EXPECT_EQ(s.Y[482], 3364.6875);                                // u = 249.5, the last from the table
  // From u = 250 the wavelength law: channel 483 is 4.892 A; damped beyond 10 A (channel 988).
  EXPECT_NEAR(Lambda(483, 64), 4.89196, 1e-5);
  EXPECT_NEAR(s.Y[483], ShortLaw(Lambda(483, 64)), 1e-9 * s.Y[483]);
  EXPECT_NEAR(s.Y[987], ShortLaw(Lambda(987, 64)), 1e-9 * s.Y[987]);
  EXPECT_NEAR(s.Y[988], Damped(Lambda(988, 64)), 1e-9 * s.Y[988]);
}

TEST_F(SpectrumDn2, OtherWidthsDelaysAndTheLongWavelengthEnd) {
  const TSpectrum& s = *SpectrumList[0];
  // 32 us channels: u = k / 4 + 8.5 takes quarter positions from channel 146 (u = 45).
  BuildDn2VanadiumSpectrum(4000, 0.0, 25.0, 32.0);
  EXPECT_EQ(s.Y[145], 1.0);
  EXPECT_EQ(s.Y[146], T(45));
  EXPECT_NEAR(s.Y[147], Lagrange(45, 0.25), 1e-9);
  EXPECT_NEAR(s.Y[367], Lagrange(100, 0.25), 1e-9);
  EXPECT_NEAR(s.Y[369], Lagrange(100, 0.75), 1e-9);
  EXPECT_EQ(s.LastChannel, 4000);  // the curve ends at (1094 - 8.5) * 4
  // 50 us channels: channel 93 rounds from u = 44.83, before the cubic has its first point.
  BuildDn2VanadiumSpectrum(1024, 0.0, 25.0, 50.0);
  EXPECT_EQ(s.Y[93], 1.0);
  EXPECT_NEAR(s.Y[94], Lagrange(45, 94 * 50.0 / 128.0 + 8.5 - 45), 1e-9);
  // A delay of 10 channels moves the curve by 10.
  BuildDn2VanadiumSpectrum(1024, 10.0, 25.0, 64.0);
  EXPECT_EQ(s.Y[63], T(45));
  // At 12 A (between channels 1184 and 1185) the damped law hands over to the steep one; the
  // curve ends at 2171 channels.
  BuildDn2VanadiumSpectrum(2500, 0.0, 25.0, 64.0);
  EXPECT_EQ(s.LastChannel, 2171);
  EXPECT_NEAR(s.Y[1184], Damped(Lambda(1184, 64)), 1e-9 * s.Y[1184]);
  EXPECT_NEAR(s.Y[1185], LongLaw(Lambda(1185, 64)), 1e-9 * s.Y[1185]);
  // The size is held to the arrays.
  BuildDn2VanadiumSpectrum(100000, 0.0, 25.0, 2.0);
  EXPECT_EQ(s.LastChannel, MaxChannels);
}
