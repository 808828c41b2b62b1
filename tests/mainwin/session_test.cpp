// The session's start and end in a temporary working folder at a fixed time: the file names,
// the first and last lines, the settings that one session leaves to the next, the defaults of
// every shared object, and the ways the start and the end can go wrong.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "core/dialog_model.h"
#include "core/fit_engine.h"
#include "core/info_window.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/outlier_correction.h"
#include "core/peak_model.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/model_options.h"
#include "mainwin/main_window.h"
#include "mainwin/session.h"
#include "mainwin/start_dialog.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
const std::string Blanks20(20, ' ');

std::vector<std::string> FileLines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::vector<std::string> lines;
  std::string t = ss.str();
  for (size_t pos = 0; pos < t.size();) {
    size_t e = t.find("\r\n", pos);
    if (e == std::string::npos) e = t.size();
    lines.push_back(t.substr(pos, e - pos));
    pos = e + 2;
  }
  return lines;
}

void Touch(const fs::path& p, const std::string& text = "old") { std::ofstream(p) << text; }

class SessionTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    // Longer than 75 characters: the whole path names the folder of every session file.
    root = TestTempPath("session_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    folder = root / std::string(80, 'd');
    fs::remove_all(root);
    fs::create_directories(folder);
    WorkDir = folder.string();
    SpectrumDir.clear();
    ScreenScale = 1.0;
    FontSize = 10;
    RusHelp = 0;
    SessionClock = [this] { return now; };
    TerminateApplication = [this] { ++terminations; };
    Form2.CheckBox1.checked = false;
    StartDialogAccepted = 1;
  }
  void TearDown() override {
    if (!SessionEnded) FinishSession();
    SessionClock = SystemClock;
    TerminateApplication = [] {};
    StartDialogAccepted = 1;
    ScreenScale = 1.0;
    FontSize = 10;
    RusHelp = 1;
    fs::remove_all(root);
    ScriptedTest::TearDown();
  }
  // A whole session with nothing done in it.
  void RunSession() {
    ASSERT_TRUE(StartSession());
    FinishSession();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root, folder;
  TSessionTime now{2026, 12, 6, 9, 5, 7};
  int terminations = 0;
};

TEST_F(SessionTest, FilesAreNamedByTheMinuteAndCountedOnInTheSameMinute) {
  ASSERT_TRUE(StartSession());
  EXPECT_EQ(LogFileName, (folder / "m060905.res").string());
  EXPECT_EQ(ResultFileName, (folder / "quorin.res").string());
  now.minute = 47, now.second = 0;
  FinishSession();
  FinishSession();  // the second call does nothing
  EXPECT_EQ(terminations, 1);
  EXPECT_EQ(FileLines(folder / "m060905.res"),
            (std::vector<std::string>{Blanks20 + "VKEST START  2026-12-06 09:05:07",
                                      Blanks20 + "VKEST FINISH  2026-12-06 09:47:00"}));
  EXPECT_EQ(FileLines(folder / "quorin.res"), std::vector<std::string>{"*" + Blanks20 + "Summary Evolution"});
  EXPECT_FALSE(LogFile.IsOpen());
  EXPECT_FALSE(QuorinFile.IsOpen());

  now.minute = 5;
  RunSession();
  EXPECT_EQ(Names(), (std::vector<std::string>{"m060905.res", "m0609051.res", "quorin.res", "quorin1.res",
                                               "vkest.def", "vkest.fn"}));
}

TEST_F(SessionTest, TickedBoxErasesOneToThirtyAfterOkOnlyAndNoNameIsOverwritten) {
  for (uint8_t accepted : {1, 0}) {
    SCOPED_TRACE(accepted);
    for (int n = 0; n <= 31; ++n) Touch(folder / ("quorin" + (n ? std::to_string(n) : "") + ".res"));
    Form2.CheckBox1.checked = true;
    StartDialogAccepted = accepted;  // 0: Cancel in the start dialog
    RunSession();
    // After OK only 1..30 went and 1 is free again; after Cancel nothing went: counting goes on.
    EXPECT_EQ(ResultFileName, (folder / (accepted ? "quorin1.res" : "quorin32.res")).string());
    for (int n = 2; n <= 30; ++n) EXPECT_EQ(fs::exists(folder / ("quorin" + std::to_string(n) + ".res")), !accepted) << n;
    EXPECT_EQ(FileLines(folder / "quorin31.res"), std::vector<std::string>{"old"});
    EXPECT_EQ(FileLines(folder / "quorin.res"), std::vector<std::string>{"old"});
  }
  // Every name the old program would try is taken: the 1201st is made, the 1200th kept.
  for (int n = 0; n < 1200; ++n) Touch(folder / ("m060905" + (n ? std::to_string(n) : "") + ".res"));
  RunSession();
  EXPECT_EQ(LogFileName, (folder / "m0609051200.res").string());
  EXPECT_EQ(FileLines(folder / "m0609051199.res"), std::vector<std::string>{"old"});
}

TEST_F(SessionTest, SettingsAndCalibrationOfOneSessionAreTheDefaultsOfTheNext) {
  ASSERT_TRUE(StartSession());
  FontSize = 13, RusHelp = 0, FitDataColor = 0x00FF00, IniFileName = "run7.ini";
  TSpectrum& sp = *SpectrumList[1];
  sp.FlightPath = 12.5, sp.Theta = 45, sp.ChanWidth = 8;
  FinishSession();
  FontSize = 10, RusHelp = 1, FitDataColor = 0xFFFF00, IniFileName.clear();  // the defaults

  now.minute = 6;
  ASSERT_TRUE(StartSession());
  EXPECT_EQ(std::make_tuple(FontSize, RusHelp, FitDataColor, IniFileName, ScreenScale),
            std::make_tuple(13, uint8_t{0}, 0x00FF00, std::string("run7.ini"), 1.25));  // 1.2500: no question
  const TSpectrum& s1 = *SpectrumList[1];
  EXPECT_EQ(std::make_tuple(s1.FlightPath, s1.Theta, s1.ChanWidth), std::make_tuple(12.5, 45.0, 8.0));
  EXPECT_DOUBLE_EQ(SpectrumList[2]->FlightPath, 21.13);  // only spectrum 1 takes the defaults
}

TEST_F(SessionTest, ScreenScaleAboveTheLimitIsOfferedBack) {
  for (bool yes : {false, true}) {
    SCOPED_TRACE(yes);
    std::ofstream(folder / "vkest.fn") << "\r\n    1.5000 *scrsize\r\n";
    ui.ExpectQuestion(ScaleQuestion, yes);
    RunSession();
    EXPECT_DOUBLE_EQ(ScreenScale, yes ? 1.25 : 1.5);
  }
}

TEST_F(SessionTest, StartSessionGivesEveryObjectItsDefaults) {
  OptionFlags[3] = 7, OptionFlags[11] = 9, OptionFlags[0] = OptionFlags[5] = OptionFlags[10] = 1;
  PeakModelBoundFirst = 100, PeakModelBoundLast = 200;
  SkipHeader = 1, ReverseBytes = 1, StartingChannelOne = 0, Chibc = 3, OutlierOrder = 4, CountThreshold = 5;
  HklTable[17][3].h = 4, HklTable[17][3].IntensityFactor = 0.5;
  CalibrationPointCount = 0;
  ASSERT_TRUE(StartSession());

  const TParameter& fit = *FitParameters;
  EXPECT_EQ(std::make_tuple(fit.RecordCapacity(), fit.NPar, fit.EpsReq, fit.Step, fit.Damp),
            std::make_tuple(2000, 0, 0.1, 0.99, 0.01));
  EXPECT_EQ(std::make_tuple(DefaultFitControls.GNIter, DefaultFitControls.EpsReq, DefaultFitControls.Damp),
            std::make_tuple(fit.GNIter, 0.1, 0.01));
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    const LATTICE& p = PhaseTable[k];
    EXPECT_EQ(std::make_tuple(p.SpaceGroup, p.OperationCount, p.AtomCount, p.ReflectionCount), std::make_tuple(1, 1, 1, 0));
    EXPECT_EQ(std::vector<double>(p.Cell, p.Cell + 6), (std::vector<double>{4, 5, 6, 90, 90, 90}));
    EXPECT_EQ(std::vector<double>(p.MomentDirection, p.MomentDirection + 3), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(std::make_tuple(p.PhaseW0, p.PhaseW1, p.CellAccuracy, p.AtomAccuracy), std::make_tuple(5.0, 0.0, 5.0, 10.0));
    EXPECT_EQ(std::make_tuple(p.SecondMatrices[4][48], p.SecondMatrices[1][48]), std::make_tuple(1.0, 0.0)) << k;
  }
  EXPECT_EQ(std::make_tuple(HklTable[17][3].h, HklTable[17][3].IntensityFactor), std::make_tuple(0, 1.0));
  for (int32_t s = 1; s <= 4; ++s)
    EXPECT_EQ(std::make_tuple(SpectrumList[s]->LastChannel, SpectrumList[s]->WorkLast), std::make_tuple(1024, 1024));
  EXPECT_EQ(SpectrumList[0]->Y[189], 28965);  // the built-in effective spectrum
  for (int32_t i = 0; i < OptionFlagCount; ++i) EXPECT_EQ(OptionFlags[i], i == 3 ? 7 : i == 11 ? 9 : 0) << i;
  EXPECT_EQ(CalibrationPointCount, 4);
  EXPECT_EQ(std::vector<double>(CalibrationPoints + 1, CalibrationPoints + 5),
            (std::vector<double>{4438, 5617, 6129, 7117}));
  EXPECT_EQ(std::make_tuple(SkipHeader, ReverseBytes, StartingChannelOne), std::make_tuple(0, 0, 1));
  EXPECT_EQ(std::make_tuple(Chibc, OutlierOrder, CountThreshold), std::make_tuple(1.25, 10.0, 10.0));
  EXPECT_EQ(std::make_tuple(IntervalFirst, IntervalLast, NChannels), std::make_tuple(1, 1024, 1024));
  EXPECT_EQ(std::make_tuple(PeakModelBoundFirst, PeakModelBoundLast), std::make_tuple(0, 0));
  for (int32_t m = 1; m <= PeakModelCount; ++m) EXPECT_TRUE(PeakModels[m]) << m;
  EXPECT_EQ(std::make_tuple(MainMode, DialogCaption, HelpLines[1], ScreenScale),
            std::make_tuple(0, std::string("Enter file name"), std::string("No comments are needed."), 1.25));
  EXPECT_EQ(std::make_tuple(SpectrumDir, CelixFileDir, IniParameterDir), std::make_tuple(WorkDir, WorkDir, WorkDir));
  ASSERT_NE(Form1.FindItem("__________________"), nullptr);
  EXPECT_FALSE(Form1.FindItem("__________________")->enabled);
  EXPECT_EQ(ui.clipboard, std::vector<std::string>{"Server Test string "});
}

TEST_F(SessionTest, ResultOrSummaryFileThatCannotBeCreatedStopsTheStart) {
  // A working "folder" that is a file: no result file can be made there, not even by root.
  const fs::path file = folder / "plain";
  Touch(file);
  WorkDir = file.string();
  ui.ExpectMessage(OutputFileFailure);
  EXPECT_FALSE(StartSession());
  EXPECT_TRUE(SessionEnded);
  EXPECT_FALSE(SpectrumList[1]);
  EXPECT_FALSE(LogFile.IsOpen());

  // The summary file's name leads into a missing folder: the result file is closed properly.
  WorkDir = folder.string();
  fs::create_symlink(folder / "missing" / "q.res", folder / "quorin.res");
  ui.ExpectMessage(OutputFileFailure);
  EXPECT_FALSE(StartSession());
  EXPECT_TRUE(SessionEnded);
  EXPECT_FALSE(FitParameters);
  EXPECT_EQ(FileLines(folder / "m060905.res").back(), Blanks20 + "VKEST FINISH  2026-12-06 09:05:07");
  EXPECT_FALSE(fs::exists(folder / "vkest.fn"));
}

TEST_F(SessionTest, UnwritableSpectrumDefaultsAreReportedAndTheEndGoesOn) {
  fs::create_symlink(folder / "missing" / "d.def", folder / "vkest.def");
  ASSERT_TRUE(StartSession());
  FinishSession();
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_NE(ui.Messages()[0].find("Spectrum defaults not saved: " + (folder / "vkest.def").string()), std::string::npos);
  EXPECT_EQ(FileLines(folder / "m060905.res").back(), Blanks20 + "VKEST FINISH  2026-12-06 09:05:07");
  EXPECT_TRUE(fs::exists(folder / "vkest.fn"));
  EXPECT_FALSE(QuorinFile.IsOpen());
  EXPECT_EQ(terminations, 1);
}

TEST_F(SessionTest, ExitThenTheCloseEventAsksOnceAndFinishesOnce) {
  ASSERT_TRUE(StartSession());
  ResultsUnsaved[0] = 1;
  ui.ExpectQuestion("Rietveld parameters not saved. Still exit?", false);
  Form1.Exit1Click();
  EXPECT_FALSE(SessionEnded);
  ui.ExpectQuestion("Rietveld parameters not saved. Still exit?", true);
  Form1.Exit1Click();
  EXPECT_TRUE(SessionEnded);
  bool canClose = false;
  Form1.FormCloseQuery(canClose);  // what Qt sends when the quit closes the windows
  EXPECT_TRUE(canClose);
  EXPECT_EQ(FileLines(folder / "m060905.res").size(), 2u);
  EXPECT_EQ(terminations, 1);
}

}  // namespace
