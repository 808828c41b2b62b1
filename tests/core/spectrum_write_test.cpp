// Writing spectrum files: each kind written then read back, the values a kind cannot hold, and
// the spectrum defaults file.
#include <cmath>
#include <limits>
#include "spectrum_test_support.h"

namespace {
struct RoundTrip {
  int32_t kind;
  bool variance, exponent, useX;
  int32_t decimals;
  double absolute, relative;  // how near a value reads back (exponent form: significant digits)
};

// Channel i of the written range: both ends of the binary words, halves that round to even, and
// for text wide numbers that overflow any fixed column.
double Written(int32_t kind, int32_t i) {
  static const double ends[3][5] = {{65535, 0, 2.5, 3.5, 65534.5},
                                    {-2147483648.0, 2147483647.0, -2.5, 7.5, -1},
                                    {-123456.78, 1e30, -1.5, 0, 12345678.901}};
  if (i < 5) return ends[std::min(kind, 3) - 1][i];
  if (kind == 1) return (i * 331) % 65536;
  if (kind == 2) return static_cast<double>(i * 2654435761LL % 4294967296LL - 2147483648LL);
  return (i - 150) * 1234.5678;
}

class SpectrumRoundTrip : public SpectrumTest, public ::testing::WithParamInterface<RoundTrip> {};
}  // namespace

TEST_P(SpectrumRoundTrip, WrittenChannelsReadBack) {
  const RoundTrip p = GetParam();
  constexpr int32_t n = 300;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t c = 101 + i;
    sp->Y[c] = Written(p.kind, i);
    sp->E[c] = p.variance ? 0.5 * i : (i == 0 ? 1.5e7 : std::sqrt(std::fabs(sp->Y[c])) + 0.1);
    sp->X[c] = 12345.678 + 0.125 * i;
  }
  VarianceMode = p.variance ? 1 : 0;  // the variance is written as E^2
  const std::string f = Temp("spectrum");
  WriteKind(*sp, p.kind, 101, 100 + n, f, p.decimals, p.exponent, p.useX);
  ASSERT_EQ(IoOk, 1);
  std::istringstream text(p.kind == 3 ? ReadWholeFile(f) : "");
  for (std::string line; std::getline(text, line);) EXPECT_LE(line.size(), 76u) << line;  // 75 and CR

  VarianceMode = 0;
  TSpectrum back("DUMMY");
  back.Name = f;
  ASSERT_TRUE(ReadKind(back, p.kind, 1));
  ASSERT_EQ(back.LastChannel, n);
  for (int32_t k = p.kind <= 2 ? 2 : 1; k <= n; ++k) {
    const int32_t c = 100 + k;
    const double v = p.variance ? sp->E[c] * sp->E[c] : sp->Y[c];
    ASSERT_NEAR(back.Y[k], p.kind <= 2 ? std::nearbyint(v) : v, p.absolute + p.relative * std::fabs(v)) << k;
    if (p.kind != 4) continue;
    ASSERT_NEAR(back.E[k], sp->E[c], p.absolute + p.relative * sp->E[c]) << k;
    ASSERT_NEAR(back.X[k], p.useX ? sp->X[c] : c, p.absolute + p.relative * sp->X[c]) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(SpectrumKinds, SpectrumRoundTrip,
                         ::testing::Values(RoundTrip{1, false, false, false, 0, 0, 0},
                                           RoundTrip{2, false, false, false, 0, 0, 0},
                                           RoundTrip{2, true, false, false, 0, 0, 0},
                                           RoundTrip{3, false, false, false, 3, 5e-4, 1e-13},
                                           RoundTrip{3, true, true, false, 6, 1e-12, 5e-6},
                                           RoundTrip{4, false, false, true, 2, 5e-3, 1e-13},
                                           RoundTrip{4, false, true, false, 5, 1e-12, 5e-5}));

using SpectrumWrite = SpectrumTest;

TEST_F(SpectrumWrite, WhatAKindCannotHoldIsRefusedAndNothingWritten) {
  const std::string f = Temp("kept"), nowhere = Temp("no-folder/x");
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  struct Case {
    int32_t kind;
    double y, e;  // of channel 6
    int32_t first, last;
    std::string file, message;
  };
  const Case cases[] = {
      {1, 65536, 1, 1, 10, f, "Can not save spectrum as 2 byte data, max= 65536"},
      {1, 65535.5, 1, 1, 10, f, "Can not save spectrum as 2 byte data, max= 65536"},
      {1, -1, 1, 1, 10, f, "Can not save spectrum as 2 byte data, min= -1"},
      {1, -0.6, 1, 1, 10, f, "Can not save spectrum as 2 byte data, min= -1"},
      {2, 2147483647.5, 1, 1, 10, f, "Can not save spectrum as 4 byte data, max= 2147483648"},
      {2, -2147483649.0, 1, 1, 10, f, "Can not save spectrum as 4 byte data, min= -2147483649"},
      {1, inf, 1, 1, 10, f, "Can not write to " + f + ": channel 6 holds no number"},
      {2, nan, 1, 1, 10, f, "Can not write to " + f + ": channel 6 holds no number"},
      {3, -inf, 1, 1, 10, f, "Can not write to " + f + ": channel 6 holds no number"},
      {4, 1, nan, 1, 10, f, "Can not write to " + f + ": channel 6 holds no number"},
      {2, 1, 1, 0, 10, f, "Can not write to " + f + ": wrong channel range 0 to 10"},
      {3, 1, 1, 10, 5, f, "Can not write to " + f + ": wrong channel range 10 to 5"},
      {4, 1, 1, 32760, 32769, f, "Can not write to " + f + ": wrong channel range 32760 to 32769"},
      {1, 1, 1, 1, 10, nowhere, "Can not write to " + nowhere},
      {4, 1, 1, 1, 10, nowhere, "Can not write to " + nowhere},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    WriteWholeFile(f, "keep");
    for (int32_t k = 1; k <= 10; ++k) sp->Y[k] = 100.0, sp->E[k] = 1.0;
    sp->Y[6] = c.y;
    sp->E[6] = c.e;
    IoOk = 1;
    ui.Clear();
    WriteKind(*sp, c.kind, c.first, c.last, c.file);
    EXPECT_EQ(IoOk, 0);
    EXPECT_EQ(ReadWholeFile(f), "keep");
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.message});
  }
  // It is the rounded value that must fit: -0.4 is written as 0.
  sp->Y[6] = -0.4;
  sp->WriteBinarySpectrum2(1, 10, f);
  EXPECT_EQ(IoOk, 1);
}

TEST_F(SpectrumWrite, DefaultsFileReadsBack) {
  double TSpectrum::*const fields[] = {&TSpectrum::ChanWidth, &TSpectrum::Delay, &TSpectrum::Theta,
                                       &TSpectrum::FlightPath, &TSpectrum::W0, &TSpectrum::Lambda};
  const double values[] = {64.0, -1.25, 90.0, 25.123456, 3.5, 1.5406};  // none the default
  for (size_t i = 0; i < 6; ++i) (*sp).*fields[i] = values[i];
  SpectrumDir = "/data/spectra";
  ReadSpectrumInfo(Temp("vkest.def"), *sp, 1);
  SpectrumDir.clear();
  TSpectrum back("DUMMY");
  ReadSpectrumInfo(Temp("vkest.def"), back, 0);
  EXPECT_EQ(SpectrumDir, "/data/spectra");
  for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(back.*fields[i], values[i], 5e-6) << i;  // to the written decimals
}

// Values too wide or too small for their fields take the exponent form, a folder beginning with
// "*" stays the folder, and each value is found by its label (a field of asterisks used to be
// skipped as a comment and shift every later value one line up).
TEST_F(SpectrumWrite, DefaultsFileKeepsWideValuesAndReadsByLabel) {
  double TSpectrum::*const fields[] = {&TSpectrum::ChanWidth, &TSpectrum::Delay, &TSpectrum::Theta,
                                       &TSpectrum::FlightPath, &TSpectrum::W0, &TSpectrum::Lambda};
  const double values[] = {1e-4, -7.5e11, 45.0, 2e6, 123456789012.5, 2.5e-7};
  for (size_t i = 0; i < 6; ++i) (*sp).*fields[i] = values[i];
  for (const std::string dir : {"*starred/folder", " blank first", "/plain"}) {
    SpectrumDir = dir;
    ReadSpectrumInfo(Temp("vkest.def"), *sp, 1);
    EXPECT_EQ(ReadWholeFile(Temp("vkest.def")).find("**"), std::string::npos);
    SpectrumDir.clear();
    TSpectrum back("DUMMY");
    ReadSpectrumInfo(Temp("vkest.def"), back, 0);
    EXPECT_EQ(SpectrumDir, dir);
    for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(back.*fields[i], values[i], 1e-13 * std::fabs(values[i])) << i;
  }
  // Labels in any order with an asterisk field ignored; a file without labels by line place.
  const TSpectrum fresh("DUMMY");
  WriteWholeFile(Temp("vkest.def"), "*comment\r\n/old\r\n      35.000   theta\r\n************   chan.width\r\n"
                                    "       2.000   delay\r\n");
  TSpectrum back("DUMMY");
  ReadSpectrumInfo(Temp("vkest.def"), back, 0);
  EXPECT_EQ(SpectrumDir, "/old");
  EXPECT_EQ(std::vector<double>({back.ChanWidth, back.Delay, back.Theta, back.FlightPath}),
            std::vector<double>({fresh.ChanWidth, 2.0, 35.0, fresh.FlightPath}));
  WriteWholeFile(Temp("vkest.def"), "/bare\n64\n*c\n2\n35\n0\n7\n1.5\n99\n");
  ReadSpectrumInfo(Temp("vkest.def"), back, 0);
  EXPECT_EQ(std::vector<double>({back.ChanWidth, back.Delay, back.Theta, back.FlightPath, back.W0, back.Lambda}),
            std::vector<double>({64, 2, 35, fresh.FlightPath, 7, 1.5}));
}

// The dialog's decimals are a floor, not a cut: channels 1130 to 1137 in the exponent form with
// 0 decimals (one significant digit) once came back as 1000 ("1+3"). Every column reads back: the
// counts and errors exactly, the abscissa to 1e-6 of its step (an angular axis as a file gives it
// and a computed one of step 1/30, whose endless decimals are cut at that bound).
TEST_F(SpectrumWrite, EveryColumnKeepsTheDigitsItNeeds) {
  for (int32_t c = 1130; c <= 1137; ++c) {
    sp->Y[c] = 12345.678 + c, sp->E[c] = c / 10.0;
    sp->X[c] = c <= 1133 ? 10.02 + 0.01 * (c - 1130) : 10.0 + c / 30.0;
  }
  const std::string f = Temp("columns");
  for (int32_t kind : {3, 4})
    for (bool exponent : {false, true})
      for (bool useX : {false, true})
        for (int32_t decimals : {0, 2}) {
          SCOPED_TRACE(std::to_string(kind) + (exponent ? " exponent " : " fixed ") + (useX ? "X " : "channel ") +
                       std::to_string(decimals));
          WriteKind(*sp, kind, 1130, 1137, f, decimals, exponent, useX);
          ASSERT_EQ(IoOk, 1);
          TSpectrum back("DUMMY");
          back.Name = f;
          ASSERT_TRUE(ReadKind(back, kind, 1130));
          ASSERT_EQ(back.LastChannel, 1137);
          for (int32_t c = 1130; c <= 1137; ++c) {
            EXPECT_EQ(back.Y[c], sp->Y[c]) << c;
            if (kind == 3) continue;
            EXPECT_EQ(back.E[c], sp->E[c]) << c;
            const double step = c <= 1133 ? 0.01 : 1 / 30.0;  // to the nearest neighbour
            EXPECT_NEAR(back.X[c], useX ? sp->X[c] : c, 1e-6 * step) << c;
          }
        }
  // The text: the dialog's field widths, widened by a value that needs more digits.
  WriteKind(*sp, 4, 1130, 1131, f, 0, true, true);
  EXPECT_EQ(ReadWholeFile(f), "1.002+1 1.3475678+4  1.13+2\r\n1.003+1 1.3476678+4 1.131+2\r\n");
  // 1e-6 of the step 1/30 takes eight decimals (47.8 needs no more than the floor of four); a lone channel has no step and is written whole.
  WriteKind(*sp, 4, 1134, 1135, f, 0, false, true);
  EXPECT_EQ(ReadWholeFile(f), "  47.8000 13479.678 113.4\r\n47.83333333 13480.678 113.5\r\n");
  WriteKind(*sp, 4, 1136, 1136, f, 0, false, true);
  EXPECT_EQ(ReadWholeFile(f), "47.86666666666667 13481.678 113.6\r\n");
}

// Powers of two, where the neighbour below is nearer than the one above: the shortest text that
// reads back is not always the nearest of its length (7.291122019556398e-304, a fuzz finding, is
// written with one digit more). Free field and X Y E, both forms, read back bit for bit; the
// abscissae, powers of two too, to 1e-6 of their steps.
TEST_F(SpectrumWrite, PowersOfTwoReadBackExactly) {
  std::vector<double> values{7.291122019556398e-304};
  for (int32_t k = -1070; k <= 1020; k += 3) values.push_back(std::ldexp(k % 2 ? -1.0 : 1.0, k));
  const int32_t n = static_cast<int32_t>(values.size());
  // Errors are positive (a read takes one of 0 or below as no error).
  for (int32_t i = 0; i < n; ++i) sp->E[i + 1] = std::fabs(sp->Y[i + 1] = values[static_cast<size_t>(i)]);
  // Abscissae of subnormal steps to steps of 1e300, each to 1e-6 of its step.
  for (int32_t c = 1; c <= n; ++c) sp->X[c] = std::ldexp(1.0, 3 * c - 1075);
  const std::string f = Temp("powers");
  for (int32_t kind : {3, 4})
    for (bool exponent : {false, true}) {
      WriteKind(*sp, kind, 1, n, f, 0, exponent, true);
      ASSERT_EQ(IoOk, 1);
      TSpectrum back("DUMMY");
      back.Name = f;
      ASSERT_TRUE(ReadKind(back, kind, 1));
      for (int32_t c = 1; c <= n; ++c) {
        ASSERT_EQ(back.Y[c], sp->Y[c]) << kind << " " << exponent << " " << c;
        if (kind != 4) continue;
        ASSERT_EQ(back.E[c], sp->E[c]) << c;
        const double step = sp->X[c] - sp->X[c > 1 ? c - 1 : 2];  // the nearer neighbour: below, or above for the first
        ASSERT_NEAR(back.X[c], sp->X[c], 1e-6 * std::fabs(step)) << c;
      }
    }
}
