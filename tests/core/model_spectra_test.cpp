// The shared operations on the spectrum objects: missing spectra, copies, the count range, the
// data check, the pixel-to-channel map, the instrument lines and the sequence lists.
#include <filesystem>
#include <fstream>
#include "core/dialog_state.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "model_test_support.h"
#include "support/temp_path.h"

class ModelSpectraTest : public ModelTest {};

TEST_F(ModelSpectraTest, MissingCopiedAndClearedSpectra) {
  Sp(2).Present = 0, Sp(2).Name = "dummy";
  EXPECT_FALSE(SpectrumMissing(2));
  Sp(2).Name = "a.dat";
  EXPECT_TRUE(SpectrumMissing(2) && !SpectrumMissing(1) && SpectrumMissing(5));
  EXPECT_EQ(ui.Messages(), Strings({"No spectrum 2", "Error, spectrum index 5 outside 0..4"}));
  DialogOk = 1;
  CopySpectrum(2, 3);
  EXPECT_EQ(DialogOk, 0);

  TSpectrum &a = Sp(1), &b = Sp(3);
  a.LastChannel = 100, a.WorkLast = 90, a.Name = "s.dat", a.Y[100] = 7, a.Y[101] = 9, a.DoubleSigned = 1;
  CopySpectrum(1, 3);  // channels 1..100, the header and the working range
  EXPECT_EQ(std::vector<double>({b.Y[100], b.Y[101], double(b.DoubleSigned), double(b.WorkLast)}),
            std::vector<double>({7, 0, 1, 90}));
  EXPECT_EQ(b.Name, "s.dat");
  b.Present = 0, b.Y[MaxChannels] = 5;
  ClearChannels(3, 99, MaxChannels + 10);  // the last channel is held to the table
  EXPECT_EQ(std::vector<double>({b.Y[100], b.E[100], b.X[100], b.Y[MaxChannels], double(b.Present)}),
            std::vector<double>({0, 1, 100, 0, 1}));
  EXPECT_EQ(ui.Messages().size(), 4u);
}

TEST_F(ModelSpectraTest, CountRangeAndDataCheck) {
  Sp(0).Y[5] = 50, Sp(1).Y[10] = -3, Sp(2).Y[20] = 0.5, Sp(2).Y[2000] = 99;  // 2000: not worked
  double ymax = 0, ymin = 0;
  SpectraYRange(" xx", ymax, ymin);
  EXPECT_EQ(std::vector<double>({ymax, ymin}), std::vector<double>({1.0, -3}));

  TSpectrum& sp = Sp(2);
  sp.AxisKind = AxisAny;
  CheckSpectrumData(2);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(ui.Messages(), Strings{"Warning, the spectrum is no TOF/angular one"});
  MainMode = 3;
  for (int32_t c = 1; c <= 1024; ++c) sp.E[c] = 0;
  ui.ExpectQuestion("Zero-valued errors at spectrum interval 2", true);
  CheckSpectrumData(2);
  EXPECT_EQ(DialogOk, 1);
  sp.Y[20] = 0;
  ui.ExpectQuestion("Zero-valued counts at spectrum interval 2", false);
  CheckSpectrumData(2);
  EXPECT_EQ(DialogOk, 0);
}

TEST_F(ModelSpectraTest, PixelToChannelAndInstrumentLines) {
  const double scale = ScreenScale;
  ScreenScale = 1.25;
  IntervalFirst = 101;
  EXPECT_EQ(std::vector<double>({PixelToChannel(0), PixelToChannel(320), PixelToChannel(640)}),
            std::vector<double>({101, 101 + 512, 101 + 1024}));
  ScreenScale = scale;
  TSpectrum& sp = Sp(1);
  sp.Delay = -2.5, sp.BackgroundDegree = 3, sp.W1 = 6;
  PeakSearchSectionLength = 12;
  PrintInstrumentHeader();
  PeakSearchSectionLength = 256;
  EXPECT_EQ(LogLines(), Strings({"chw delay theta FPath    4.0    -2.5   76.0  21.130",
                                 "W0 W1 dw0 sens res linx    5.00    6.00    4.00    1.0    1.0     12",
                                 "dback abs1  abs2  shape    3   0.0015   0.0089       0"}));
}

TEST_F(ModelSpectraTest, SequenceLists) {
  const auto dir = TestTempPath("seq");
  std::filesystem::create_directories(dir);
  auto list = [&](const std::string& name, const std::string& text) {
    std::ofstream((dir / name).string(), std::ios::binary) << text;
    return (dir / name).string();
  };
  TextFile f;
  int32_t count = 0;
  ReadSpectrumSequence(f, list("a.lst", "* spectra\r\na1.dat\r\n\r\na2.dat\r\n  \r\na3.dat\r\n"), count, 0);
  EXPECT_EQ(IoOk + count, 1 + 3);
  SpectraOnlySequence = 0;  // spectra and variances alternate; an odd last name is dropped
  ReadSpectrumSequence(f, list("b.lst", "s1\ns1.var\ns2\ns2.var\ns3\n"), count, 1);
  SpectraOnlySequence = 1;
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Strings(SequenceFileNames.begin() + 1, SequenceFileNames.begin() + 5),
            Strings({"s1", "s2", "s1.var", "s2.var"}));
  EXPECT_EQ(LogLines(), Strings({"Spectrum sequence = a1.dat ... a3.dat",
                                 "Warning, odd number of names in " + (dir / "b.lst").string() +
                                     "; the last one is not used",
                                 "Spectrum sequence = s1 ... s2", "Variance sequence = s1.var ... s2.var"}));
  std::string many;
  for (int32_t i = 1; i <= 1005; ++i) many += "n" + std::to_string(i) + "\n";
  ReadSpectrumSequence(f, list("c.lst", many), count, 2);  // held to the 1000 names of the table
  EXPECT_EQ(SequenceFileNames[count], "n1000");
  ReadSpectrumSequence(f, (dir / "none.lst").string(), count, 0);
  EXPECT_EQ(IoOk, 0);
  EXPECT_EQ(count, SequenceCapacity);  // unchanged
  EXPECT_EQ(ui.Messages().size(), 2u);
  std::filesystem::remove_all(dir);
}

TEST_F(ModelSpectraTest, SplitAtUnderscore) {
  struct Case { std::string in, rest; int32_t prefix, number; };
  for (const Case& c : {Case{"12_345.dat", "345.dat", 12, 345}, Case{"a1_7", "7", 1, 7},
                        Case{"noscore.dat", "noscore.dat", 0, 0}, Case{"99999999999_1.d", "1.d", 2147483647, 1}}) {
    std::string s = c.in;
    int32_t prefix = -1, number = -1;
    SplitAtUnderscore(s, prefix, number);
    EXPECT_EQ(std::make_tuple(s, prefix, number), std::make_tuple(c.rest, c.prefix, c.number)) << c.in;
  }
}
