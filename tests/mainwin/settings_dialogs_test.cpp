// The Settings dialogs: the main mode, the screen scale and font, the options loop with the
// result-file change, the Celix digits, the identical intervals and the CF/BK list.
#include "mainwin/settings_dialogs.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <tuple>
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/settings_file.h"
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "mainwin/session.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {
namespace fs = std::filesystem;

class SettingsTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    folder = TestTempPath("settings_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    savedDir = WorkDir;
    WorkDir = folder.string();
    MainMode = 0, CurrentSpectrum = 1;
  }
  void TearDown() override {
    LogFile.Close();
    WorkDir = savedDir;
    LogFileName.clear();
    MainMode = 0, FontSize = 10, RusHelp = 1;
    SessionClock = SystemClock;
    fs::remove_all(folder);
    DialogTest::TearDown();
  }
  std::string Path(const std::string& name) const { return (folder / name).string(); }

  FreshSpectra spectra;
  fs::path folder;
  std::string savedDir;
};

TEST_F(SettingsTest, MainModeEmptiesTheEngineOnlyWhenLeavingThePeakFitForACrystalModel) {
  auto engine = std::exchange(FitParameters, std::make_unique<TParameter>(10, 10, 10));
  for (auto [from, item, npar] : {std::tuple{3, 1, 0}, {3, 3, 0}, {3, 2, 9}, {1, 1, 9}}) {
    MainMode = from;
    FitParameters->NPar = 9;
    ui.ExpectDialog("").Inspect([&](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex, from); }).Radio(item).Ok();
    SetMainMode();
    EXPECT_EQ(std::make_pair(MainMode, FitParameters->NPar), std::make_pair(item - 1, npar));
  }
  FitParameters = std::move(engine);
}

// Scale 2 chosen: kept on a 1280 x 1024 screen (1280 x 960 and the frame fit), 1.5 on a
// 1024 x 768 one, where 2 would put the main window's lower third below the screen; 1 on a
// screen too small for any; a session started there with 2 kept from a larger screen takes 1.5.
TEST_F(SettingsTest, TheScaleIsLimitedToWhatFitsTheScreen) {
  const struct {
    int32_t w, h;
    double kept;
  } screens[] = {{1280, 1024, 2.0}, {1024, 768, 1.5}, {1024, 700, 1.25}, {600, 400, 1.0}};
  for (const auto& c : screens) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    ui.screenWidth = c.w, ui.screenHeight = c.h;
    ScreenScale = 1.0;
    ui.ExpectDialog("").Radio(4).Ok();
    if (c.kept < 2) ui.ExpectMessage("Screen scale " + FormatNumberNoBlanks(2, c.kept) + ": a larger one does not fit the screen");
    SetFormAndFontSizes();
    EXPECT_EQ(ScreenScale, c.kept);
    if (c.w >= 640) EXPECT_LE(Scaled(640), c.w);
  }
  ui.screenWidth = 1024, ui.screenHeight = 768;
  ScreenScale = 2.0;
  WriteSettingsFile(SessionFolder() + SettingsFileName);  // read back as 1.56, the file's largest
  ui.ExpectQuestion(ScaleQuestion, false);
  ASSERT_TRUE(StartSession());
  EXPECT_EQ(ScreenScale, 1.5);
  FinishSession();
  ScreenScale = 1.0;
}

TEST_F(SettingsTest, ScalePreselectionAndOnePointFiveOfferedBackAtTheNextStart) {
  for (auto [scale, item] : {std::pair{1.0, 0}, {1.25, 1}, {1.5, 2}, {2.0, 3}, {1.3, 1}, {0.8, 1}, {1.996, 3}}) {
    ScreenScale = scale;
    ui.ExpectDialog("").Inspect([&](TForm2& f) {
      EXPECT_EQ(std::make_pair(f.RadioGroup1.itemIndex, f.RadioGroup2.itemIndex), std::make_pair(item, 2)) << scale;
    }).Cancel();
    SetFormAndFontSizes();
  }
  ASSERT_TRUE(StartSession());
  ui.ExpectDialog("").Radio(3).Radio2(4).Check(1, true).Ok();
  SetFormAndFontSizes();
  EXPECT_EQ(RusHelp, 1);
  FinishSession();
  ScreenScale = 1.0, FontSize = 10;
  ui.ExpectQuestion(ScaleQuestion, false);
  ASSERT_TRUE(StartSession());
  EXPECT_EQ(std::make_pair(ScreenScale, FontSize), std::make_pair(1.5, 14));
  FinishSession();
}

TEST_F(SettingsTest, OptionsLoopCommentsAndCelixDigitsHeldToZeroToTen) {
  ui.ExpectDialog("").Radio(3).Ok();
  ui.ExpectDialog("Enter the comments").Memo("first remark\nsecond remark").Ok();
  ui.ExpectDialog("").Radio(1).Ok();
  SetVariousOptions();
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"first remark", "second remark"}));
  CelixDigits = 4;
  for (auto [typed, digits] : {std::pair{"15", 10}, {"-3", 0}, {"6.5", 6}, {"seven", 6}}) {
    ui.ExpectDialog("").Radio(4).Ok();
    ui.ExpectDialog("").Edit(1, typed).Ok();
    ui.ExpectDialog("").Cancel();
    SetVariousOptions();
    EXPECT_EQ(CelixDigits, digits) << typed;
  }
}

TEST_F(SettingsTest, ResultFileChangeNeverLosesAFileOrTheSession) {
  SessionClock = [] { return TSessionTime{2026, 12, 7, 9, 5, 0}; };
  const std::string current = Path("m070905.res");
  LogFileName = current;
  LogFile.Close();
  LogFile.Rewrite(current);
  LogLine("start");
  std::ofstream(Path("old.res")) << "earlier session";
  fs::create_directories(Path("blocked.res"));  // a name the folder cannot give to a file

  auto choose = [&](const std::string& typed) {
    ui.ExpectDialog("").Inspect([](TForm2& f) { EXPECT_EQ(f.Edit1.text, "m070905.res"); }).Edit(1, typed).Ok();
  };
  choose("m070905");
  ui.ExpectMessage("Output file name is the same");
  ChooseResFileName();
  choose("old.txt");
  ui.ExpectQuestion(Path("old.res") + " already exists.Overwrite?", false);
  ChooseResFileName();
  choose("blocked");
  ui.ExpectQuestion(Path("blocked.res") + " already exists.Overwrite?", true);
  ChooseResFileName();
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[1].rfind("Cannot create " + Path("blocked.res"), 0), 0u) << ui.Messages()[1];
  LogLine("still here");
  EXPECT_EQ(LogFileName, current);
  EXPECT_EQ(ReadWholeFile(Path("old.res")), "earlier session");

  choose("next");
  ChooseResFileName();
  LogLine("in the new file");
  LogFile.Close();
  EXPECT_EQ(ReadWholeFile(current), "start\r\nstill here\r\n");
  EXPECT_EQ(ReadWholeFile(Path("next.res")), "in the new file\r\n");  // no START line
}

TEST_F(SettingsTest, IdenticalIntervalsWidenTheLoadedRanges) {
  const int loaded[4][2] = {{1, 1000}, {100, 200}, {300, 400}, {60, 4000}};
  for (int i = 1; i <= 4; ++i)
    SpectrumList[i]->FirstChannel = loaded[i - 1][0], SpectrumList[i]->LastChannel = loaded[i - 1][1];
  IntervalFirst = 50, IntervalLast = 500;
  ui.ExpectDialog("").Radio(5).Ok();
  ui.ExpectDialog("").Radio(1).Ok();
  SetVariousOptions();
  for (int i = 1; i <= 4; ++i) {
    const TSpectrum& s = *SpectrumList[i];
    EXPECT_EQ(std::make_tuple(s.WorkFirst, s.WorkLast, s.FirstChannel, s.LastChannel),
              std::make_tuple(50, 500, std::min(50, loaded[i - 1][0]), std::max(500, loaded[i - 1][1])));
  }
}

TEST_F(SettingsTest, CfBkListMatchesNumpyLoadtxtAndShortLinesTakeNoPoint) {
  const std::string data = std::string(VKEST_SOURCE_DIR) + "/tests/mainwin/data/";
  ui.ChooseFile(data + "cfbk_list.sp");
  InputCfBkSpectrumList();
  const TSpectrum& s = *SpectrumList[1];
  int n = 0;
  for (const Tokens& r : GoldenRows("interval_golden.txt", "mainwin")) {
    if (r[0] != "cfbk") continue;
    n = std::stoi(r[1]);
    // The golden values are printed to 10 significant digits.
    for (auto [got, want] : {std::pair{s.X[n], r[2]}, {s.Y[n], r[3]}, {s.E[n], r[4]}})
      EXPECT_NEAR(got, std::stod(want), 1e-9 * std::fabs(std::stod(want))) << n;
  }
  EXPECT_EQ(std::make_tuple(n, s.FirstChannel, s.WorkFirst, s.LastChannel, s.WorkLast, s.AxisKind, MainMode),
            std::make_tuple(40, 1, 1, 40, 40, AxisAny, 3));

  const std::string full = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\r\n";
  std::string big = std::string(62, 'h') + "\r\n";
  for (int i = 0; i < 3000; ++i) {
    std::string line = "9 2 3 4 5 6 7 8 9 10 11 12 13 " + std::to_string(1000 + i) + " 15 16 ";
    big += line + std::string(62 - line.size(), '7') + "\r\n";
  }
  const std::tuple<std::string, int, double> cases[] = {
      {"header only\r\n", 0, 0},
      {"h\r\n" + full + "5 6 7\r\n" + full + "\r\n", 2, 14},  // a short line and a blank last line
      {big, 2047, 3046},  // 64-byte lines: 131072 bytes hold the header and 2047 lines
  };
  for (const auto& [text, points, lastCount] : cases) {
    std::ofstream(Path("list.sp"), std::ios::binary) << text;
    if (points == 2047) ui.ExpectMessage("Buffer full");
    ReadCfBkSpectrumList(Path("list.sp"));
    EXPECT_EQ(std::make_tuple(s.LastChannel, s.WorkLast, s.Y[std::max(points, 1)]),
              std::make_tuple(points, points, points ? lastCount : s.Y[1]));
  }
}

}  // namespace
