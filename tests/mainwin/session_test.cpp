// The session's start and end in a temporary working folder at a fixed time: the file names,
// the first and last lines, the settings that one session leaves to the next, the defaults of
// the shared objects, and the ways the start and the end can go wrong.
#include <gtest/gtest.h>
#include <tuple>
#include <filesystem>
#include <functional>
#include <fstream>
#include "core/abandon.h"
#include "core/dialog_state.h"
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
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/session_random.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
std::string Stamped(const std::string& marker, const std::string& time) {
  return std::string(20, ' ') + "VKEST " + marker + "  2026-12-06 09:" + time + "\r\n";
}

void Touch(const fs::path& p) { std::ofstream(p) << "old"; }

class SessionTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    fs::remove_all(root);
    fs::create_directories(folder);
    WorkDir = folder.string();
    SpectrumDir.clear();
    ScreenScale = 1.0, FontSize = 10, RusHelp = 0, StartDialogAccepted = 1;
    SessionClock = [this] { return now; };
    TerminateApplication = [this] { ++terminations; };
    Form2.CheckBox1.checked = false;
  }
  void TearDown() override {
    if (!SessionEnded) FinishSession();
    fs::remove_all(root);
    ScriptedTest::TearDown();
  }
  // A whole session with nothing done in it.
  void RunSession() {
    ASSERT_TRUE(StartSession());
    FinishSession();
  }
  std::string Log() const { return ReadWholeFile(folder / "m060905.res"); }

  // Longer than 75 characters: the whole path names the folder of every session file.
  fs::path root = TestTempPath("session"), folder = root / std::string(80, 'd');
  TSessionTime now{2026, 12, 6, 9, 5, 7};
  int terminations = 0;
  KeepValues<std::function<TSessionTime()>> clock_{&SessionClock, 1};
  KeepValues<std::function<void()>> terminate_{&TerminateApplication, 1};
  KeepValues<uint8_t> switches_[2] = {{&StartDialogAccepted, 1}, {&RusHelp, 1}};
  KeepValues<double> scale_{&ScreenScale, 1};
  KeepValues<int32_t> font_{&FontSize, 1};
};

// The files are named by the minute and counted on within it; the settings and the calibration
// of spectrum 1 are the defaults of the next session, which offers a screen scale above 1.25 back.
TEST_F(SessionTest, FilesAndSettingsOfOneSessionAndTheNext) {
  ASSERT_TRUE(StartSession());
  EXPECT_EQ(LogFileName, (folder / "m060905.res").string());
  EXPECT_EQ(ResultFileName, (folder / "quorin.res").string());
  FontSize = 13, RusHelp = 0, FitDataColor = 0x00FF00, IniFileName = "run7.ini", ScreenScale = 1.5;
  SpectrumList[1]->FlightPath = 12.5, SpectrumList[1]->Theta = 45, SpectrumList[1]->ChanWidth = 8;
  now.minute = 47, now.second = 0;
  FinishSession();
  FinishSession();  // the second call does nothing
  EXPECT_EQ(terminations, 1);
  EXPECT_EQ(Log(), Stamped("START", "05:07") + Stamped("FINISH", "47:00"));
  EXPECT_EQ(ReadWholeFile(folder / "quorin.res"), "*" + std::string(20, ' ') + "Summary Evolution\r\n");
  EXPECT_FALSE(LogFile.IsOpen());
  EXPECT_FALSE(QuorinFile.IsOpen());

  now.minute = 5;
  for (int n : {1, 2}) {
    const bool yes = n == 2;
    FontSize = 10, RusHelp = 1, FitDataColor = 0xFFFF00, IniFileName.clear();  // the defaults
    ui.ExpectQuestion(ScaleQuestion, yes);
    ASSERT_TRUE(StartSession());
    EXPECT_EQ(LogFileName, (folder / ("m060905" + std::to_string(n) + ".res")).string());
    EXPECT_EQ(ResultFileName, (folder / ("quorin" + std::to_string(n) + ".res")).string());
    EXPECT_EQ(std::make_tuple(FontSize, RusHelp, FitDataColor, IniFileName, ScreenScale),
              std::make_tuple(13, uint8_t{0}, 0x00FF00, std::string("run7.ini"), yes ? 1.25 : 1.5));
    const TSpectrum& s1 = *SpectrumList[1];
    EXPECT_EQ(std::make_tuple(s1.FlightPath, s1.Theta, s1.ChanWidth), std::make_tuple(12.5, 45.0, 8.0));
    EXPECT_DOUBLE_EQ(SpectrumList[2]->FlightPath, 21.13);  // only spectrum 1 takes the defaults
    FinishSession();
  }
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
    EXPECT_EQ(ReadWholeFile(folder / "quorin31.res"), "old");
    EXPECT_EQ(ReadWholeFile(folder / "quorin.res"), "old");
  }
  // Every name the old program would try is taken: the 1201st is made, the 1200th kept.
  for (int n = 0; n < 1200; ++n) Touch(folder / ("m060905" + (n ? std::to_string(n) : "") + ".res"));
  RunSession();
  EXPECT_EQ(LogFileName, (folder / "m0609051200.res").string());
  EXPECT_EQ(ReadWholeFile(folder / "m0609051199.res"), "old");
}

TEST_F(SessionTest, StartSessionGivesEveryObjectItsDefaults) {
  // What an earlier session may leave behind.
  OptionFlags[3] = 7, OptionFlags[11] = 9, OptionFlags[0] = OptionFlags[5] = OptionFlags[10] = 1;
  PeakModelBoundFirst = 100, PeakModelBoundLast = 200, CalibrationPointCount = 0;
  SkipHeader = 1, ReverseBytes = 1, StartingChannelOne = 0, Chibc = 3, OutlierOrder = 4, CountThreshold = 5;
  HklTable[17][3].h = 4, HklTable[17][3].IntensityFactor = 0.5;
  // The random state the tests of a "new session" start from is the one a started session leaves
  // (the program's first seeds and the start's own draws).
  ASSERT_TRUE(SeedAsStartedSession());
  const TRandomSeeds leaves = RandomSeeds;
  ASSERT_TRUE(SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2));
  ASSERT_TRUE(StartSession());
  EXPECT_EQ(std::make_pair(RandomSeeds.s1, RandomSeeds.s2), std::make_pair(leaves.s1, leaves.s2));

  // The table of defaults: each expression and its value after the start.
#define DEFAULT(expr, want) EXPECT_EQ(static_cast<double>(expr), static_cast<double>(want))
  const TParameter& fit = *FitParameters;
  DEFAULT(fit.RecordCapacity(), 2000); DEFAULT(fit.NPar, 0); DEFAULT(fit.EpsReq, 0.1); DEFAULT(fit.Step, 0.99);
  DEFAULT(fit.Damp, 0.01); DEFAULT(DefaultFitControls.GNIter, fit.GNIter); DEFAULT(DefaultFitControls.EpsReq, 0.1);
  DEFAULT(DefaultFitControls.Damp, 0.01); DEFAULT(HklTable[17][3].h, 0); DEFAULT(HklTable[17][3].IntensityFactor, 1);
  DEFAULT(SpectrumList[0]->Y[189], 28965);  // the built-in effective spectrum
  DEFAULT(CalibrationPointCount, 4); DEFAULT(CalibrationPoints[1], 4438); DEFAULT(CalibrationPoints[2], 5617);
  DEFAULT(CalibrationPoints[3], 6129); DEFAULT(CalibrationPoints[4], 7117); DEFAULT(SkipHeader, 0);
  DEFAULT(ReverseBytes, 0); DEFAULT(StartingChannelOne, 1); DEFAULT(Chibc, 1.25); DEFAULT(OutlierOrder, 10);
  DEFAULT(CountThreshold, 10); DEFAULT(IntervalFirst, 1); DEFAULT(IntervalLast, 1024); DEFAULT(NChannels, 1024);
  DEFAULT(PeakModelBoundFirst, 0); DEFAULT(PeakModelBoundLast, 0); DEFAULT(MainMode, 0); DEFAULT(ScreenScale, 1.25);
  for (int32_t k = 1; k <= MaxPhases; ++k) {
    SCOPED_TRACE(k);
    const LATTICE& p = PhaseTable[k];
    DEFAULT(p.SpaceGroup, 1); DEFAULT(p.OperationCount, 1); DEFAULT(p.AtomCount, 1); DEFAULT(p.ReflectionCount, 0);
    // Phases 1 to 3 hold the evolution module's default cells (graphite, FePO4, LiFePO4).
    const double a[4] = {0, 2.4623, 9.814199, 10.322}, b[4] = {0, 2.4623, 5.789299, 6.0027}, c[4] = {0, 6.7025, 4.782, 4.6916};
    DEFAULT(p.Cell[0], k <= 3 ? a[k] : 4); DEFAULT(p.Cell[1], k <= 3 ? b[k] : 5); DEFAULT(p.Cell[2], k <= 3 ? c[k] : 6);
    DEFAULT(p.Cell[3], 90); DEFAULT(p.Cell[4], 90); DEFAULT(p.Cell[5], k == 1 ? 120 : 90); DEFAULT(p.MomentDirection[0], 0); DEFAULT(p.MomentDirection[1], 0);
    DEFAULT(p.MomentDirection[2], 1); DEFAULT(p.PhaseW0, 5); DEFAULT(p.PhaseW1, 0); DEFAULT(p.CellAccuracy, 5);
    DEFAULT(p.AtomAccuracy, 10); DEFAULT(p.SecondMatrices[4][48], 1); DEFAULT(p.SecondMatrices[1][48], 0);
  }
  for (int32_t s = 1; s <= 4; ++s) DEFAULT(SpectrumList[s]->LastChannel, 1024) << s;
  for (int32_t s = 1; s <= 4; ++s) DEFAULT(SpectrumList[s]->WorkLast, 1024) << s;
  for (int32_t i = 0; i < OptionFlagCount; ++i) DEFAULT(OptionFlags[i], i == 3 ? 7 : i == 11 ? 9 : 0) << i;
#undef DEFAULT
  for (int32_t m = 1; m <= PeakModelCount; ++m) EXPECT_TRUE(PeakModels[m]) << m;
  EXPECT_EQ(std::make_tuple(DialogCaption, HelpLines[1]),
            std::make_tuple(std::string("Enter file name"), std::string("No comments are needed.")));
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
  EXPECT_TRUE(Log().ends_with(Stamped("FINISH", "05:07")));
  EXPECT_FALSE(fs::exists(folder / "vkest.fn"));
}

// Exit asks once and the close event after it neither asks nor finishes again; spectrum
// defaults that cannot be written are reported and the end goes on.
TEST_F(SessionTest, ExitThenTheCloseEventAsksOnceAndFinishesOnce) {
  fs::create_symlink(folder / "missing" / "d.def", folder / "vkest.def");
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
  EXPECT_EQ(terminations, 1);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_NE(ui.Messages()[0].find("Spectrum defaults not saved: " + (folder / "vkest.def").string()), std::string::npos);
  EXPECT_EQ(Log(), Stamped("START", "05:07") + Stamped("FINISH", "05:07"));
  EXPECT_TRUE(fs::exists(folder / "vkest.fn"));
  EXPECT_FALSE(QuorinFile.IsOpen());
}

// Unsaved Fitra results are asked for at the exit whatever came between the fit and it: a
// module left by its Quit, a question "Still exit?" answered Yes by a command then cancelled.
// Esc, File "Exit" and the close box all ask; No keeps the session and the flag. Reset the Program
// asks the same: No keeps the model, Yes resets it with its flags.
TEST_F(SessionTest, UnsavedFitraResultsAreAskedForAfterEveryCommand) {
  ASSERT_TRUE(StartSession());
  const std::string question = "FITRA parameters not saved. Still exit?";
  struct Case { const char* name; std::function<void()> command; };
  const Case cases[] = {
      {"Trevo, Quit", [&] {
         ui.ExpectDialog("TREVO").Radio(7).Ok();
         Form1.Trevo1Click();
       }},
      {"Celix, Enter D-spacings, Yes, then Cancel", [&] {
         ui.ExpectDialog("(Celix)").Radio(1).Ok();
         ui.ExpectQuestion(question, true);
         ui.ExpectDialog("Form the d-distribution").Cancel();
         ui.ExpectDialog("(Celix)").Cancel();
         Form1.Autoindexing1Click();
       }},
      {"Input Ini-file, Yes, no file chosen", [&] {
         ui.ExpectQuestion(question, true);
         ui.CancelFileDialog();
         Form1.InputInifile1Click();
       }},
      {"Reset the Program, No", [&] {
         MarkedPointCount = 5, PhaseCount = 2;
         ui.ExpectQuestion(question, false);
         Form1.ResettheProgram1Click();
         EXPECT_EQ(std::make_pair(MarkedPointCount, PhaseCount), std::make_pair(5, 2));  // nothing reset
       }},
  };
  const std::function<void()> exits[] = {
      [] { Form1.Form1KeyDown(KeyEscape, false); },
      [] { Form1.Exit1Click(); },
      [] {
        bool canClose = true;
        Form1.FormCloseQuery(canClose);
        EXPECT_FALSE(canClose);
      },
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsUnsaved[3] = 1;  // as a Fitra fit leaves it
    c.command();
    for (const auto& exit : exits) {
      ui.ExpectQuestion(question, false);
      exit();
      EXPECT_FALSE(SessionEnded);
    }
    EXPECT_EQ(ResultsUnsaved[3], 1);
    EXPECT_EQ(ui.Remaining(), std::vector<std::string>{});
  }
  // Yes resets: the model and the flags, so that no question is left for them.
  ui.ExpectQuestion(question, true);
  Form1.ResettheProgram1Click();
  EXPECT_EQ(std::make_tuple(MarkedPointCount, PhaseCount, int32_t{ResultsUnsaved[3]}), std::make_tuple(0, 1, 0));
  Form1.ResettheProgram1Click();  // nothing unsaved: no question
  EXPECT_EQ(ui.Remaining(), std::vector<std::string>{});
  ResultsUnsaved[3] = 1;
  ui.ExpectQuestion(question, true);
  Form1.Form1KeyDown(KeyEscape, false);
  EXPECT_TRUE(SessionEnded);
}

// What a command wrote to the result and summary files is on the disk when the command ends (a
// killed program loses nothing); a command run inside another leaves that to the outer one.
TEST_F(SessionTest, EachCommandLeavesTheSessionFilesOnTheDisk) {
  ASSERT_TRUE(StartSession());
  const std::string summary = "*" + std::string(20, ' ') + "Summary Evolution\r\n";
  EXPECT_EQ(Log(), Stamped("START", "05:07"));
  EXPECT_EQ(ReadWholeFile(folder / "quorin.res"), summary);
  std::string inside;
  EXPECT_TRUE(RunUserCommand([&] {
    LogLine(" fit 1");
    QuorinFile.WriteLine(" step 1");
    RunUserCommand([&] { LogLine(" fit 2"); });
    inside = Log();
  }));
  EXPECT_EQ(inside, Stamped("START", "05:07"));
  EXPECT_EQ(Log(), Stamped("START", "05:07") + " fit 1\r\n fit 2\r\n");
  EXPECT_EQ(ReadWholeFile(folder / "quorin.res"), summary + " step 1\r\n");
  // An abandoned command leaves what it wrote before.
  EXPECT_FALSE(RunUserCommand([] {
    LogLine(" fit 3");
    AbandonOperation();
  }));
  EXPECT_EQ(Log(), Stamped("START", "05:07") + " fit 1\r\n fit 2\r\n fit 3\r\n");
}

}  // namespace
