// The inventory of the main window on the real Qt window offscreen, in a session of its own: the
// 84 entries of the menu bar, the 13 side buttons and the six keys are there, and each, triggered
// as the user would, reaches its handler through the one dispatch (the dispatch's trace of
// handler names; the dialogs and questions the commands show are cancelled or answered No).
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest/QTest>
#include <filesystem>
#include "app/main_window_view.h"
#include "core/graph_drawing.h"
#include "core/model_switches.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/qt/qt_forms.h"
#include "core/scripted_ui.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core_qt/qt_app_test.h"
#include "mainwin/main_menu.h"
#include "mainwin/session.h"
#include "support/keep_values.h"
#include "support/temp_path.h"

namespace fs = std::filesystem;

namespace {
using Strings = std::vector<std::string>;

// Every entry of the bar in order: a top-level caption, then its items indented by ">".
const Strings kMenuBar = {
    "&File", ">Input the Spectrum", ">Input the Variance", ">Input Effective Spectrum", ">Input the Next Spectrum",
    ">Simulate the Data", ">&Make  RTOF Spectrum", ">&Show the Spectrum", ">Output the Spectrum",
    ">&Turn the Fit to a Spectrum", ">Assign 2thetas to channels", ">__________________",
    ">Input Ini-file            'i'", ">Input KEST dat-file", ">Save Ini-file", ">Reset the Program",
    ">Exit                         Esc  ", "&Settings", ">Set the Main Mode", ">Number of Phases", ">Scale Mode",
    ">Analysis Modes", ">Reset Weights (Exclude a region)", ">Form and Font Sizes", ">Various Options ", "&Graph",
    ">the Spectrum               'G'", ">the Spectrum Interval   'g'", ">the Fitted Interval", ">the Peak Model",
    ">the Effective Spectrum", ">Several Spectra     's'", ">Plane Distribution", ">Theoretical hkls or peaks ",
    ">a GPH-file", ">Show Set of Points", "&Mark", ">Interval Bounds", ">Peak Model Bounds", ">Set of Points",
    ">Assign the Models", ">Sum  Spectrum Interval", ">Put Comments on the Graph", "", "&PeakModels",
    ">Form Special Model", ">Make Real Peak Model", ">Make Real Background Model", ">Make Double Signed Model",
    ">Move the Peak Models", ">Transform Peak Model", "Transform", ">Normalize the Spectrum",
    ">Fit the Tail of Effective Spectrum ", ">Spectrum Functions", ">Spectrum Arithmetic",
    ">Get Absorption Coefficients", ">Events to Spectrum", ">Build Background by Marked Points", "&Rietveld ",
    "&Info", ">about the Spectrum", ">about the Variance", ">about Phases", ">about Atoms", ">about HKLs",
    ">about Par.Errors", ">about Fit Controls", ">about Fit Quality", ">about d-spacings", ">about INI-file",
    ">about Set of Points", ">about Parameters", "&Celix", "&Fitra", "&Help", ">General", ">Getting Started",
    ">Menu Comments", ">Operations with Graphs", ">Examples of INI-files", ">Comments to INI-commands", "&Test",
    "&Trevo",
};

class InventoryTest : public QtAppTest {
protected:
  void SetUp() override {
    QtAppTest::SetUp();
    fs::remove_all(folder);
    fs::create_directories(folder);
    WorkDir = folder.string();
    SessionClock = [] { return TSessionTime{2026, 3, 4, 5, 6, 7}; };
    TerminateApplication = [] {};
    Form1 = TForm1();
    ASSERT_TRUE(StartSession());
    ScreenScale = 1.0;
    LayoutMainWindow(1.0, 1.0);
    view = std::make_unique<MainWindowView>(Form1);
    Form1.OnDispatch = [this](const std::string& h) { trace.push_back(h); };
    view->show();
  }
  void TearDown() override {
    Form1.OnDispatch = nullptr;
    view.reset();
    FinishSession();
    SessionClock = SystemClock;
    fs::remove_all(folder);
  }
  // The neutral state before each trigger: no graph, Rietveld mode, nothing shown.
  void Neutral() {
    ui.Clear();
    trace.clear();
    GraphMode = 0, MainMode = 0, LogXScale = 0, CurrentSpectrum = 1, RusHelp = 0;
    for (auto& r : ResultsUnsaved) r = 0;
    ResetMainWindow();
  }
  const fs::path folder = TestTempPath("inventory");
  ScriptedUi ui;  // unscripted: every dialog is cancelled and every question answered No
  ScopedUi guard{ui};
  std::unique_ptr<MainWindowView> view;
  Strings trace;  // the handlers the dispatch ran
  KeepValues<int32_t> ints_[3] = {{&MainMode, 1}, {&GraphMode, 1}, {&CurrentSpectrum, 1}};
  KeepValues<uint8_t> bytes_[3] = {{ResultsUnsaved, ModeCount}, {&RusHelp, 1}, {&LogXScale, 1}};
  KeepValues<std::string> strings_[2] = {{&SideButtonMask, 1}, {&WorkDir, 1}};
  KeepValues<double> scale_{&ScreenScale, 1};
};

TEST_F(InventoryTest, MenuBarHoldsItsEightyFourEntriesAndEnablingReachesIt) {
  Strings shown;
  const QList<QAction*> tops = view->menuBar()->actions();
  for (QAction* t : tops) {
    shown.push_back(t->text().toStdString());
    if (t->menu())
      for (QAction* a : t->menu()->actions()) shown.push_back(">" + a->text().toStdString());
  }
  EXPECT_EQ(shown, kMenuBar);
  EXPECT_FALSE(view->Action(1, 11)->isEnabled());  // "__________________"

  EnableMainMenus(false);
  Strings enabled;
  for (QAction* t : tops)
    if (t->isEnabled()) enabled.push_back(t->text().toStdString());
  EXPECT_EQ(enabled, (Strings{"", "&Test", "&Trevo"}));  // the blank entry has no command anyway
  EnableMainMenus(true);
}

// The handler of each entry with a command, in menu order (the blank entry and the separator
// have none).
const Strings kHandlers = {
    "InputtheSpectrum1Click", "InputtheVariance1Click", "InputEffectiveSpectrum1Click", "InputtheNextSpectrum1Click",
    "SimulatetheSpectrum1Click", "MakeFourierSpectrum1Click", "ShowtheSpectrum1Click", "OutputtheSpectrum1Click",
    "Makefitaspectrum1Click", "Assign2thetastochannels1Click", "InputInifile1Click", "InputKESTdatfile1Click",
    "SaveInifile1Click", "ResettheProgram1Click", "Exit1Click", "SettheMainMode1Click", "NumberofPhases1Click",
    "ScaleMode1Click", "SetWidthBckgModes1Click", "ResetWeights1Click", "FormandFontSizes1Click",
    "SetVariousOptions1Click", "theSpectrum1Click", "theSpectrumInterval1Click", "theFittedInterval1Click",
    "thePeakModel1Click", "theEffectiveSpectrum1Click", "SeveralSpectra1Click", "PlaneDistribution1Click",
    "Theoreticalhkls1Click", "aGPHfile1Click", "ShowSetofPoints2Click", "IntervalBounds1Click",
    "PeakModelBounds1Click", "SetofPoints1Click", "AssigntheModels1Click", "SumtheSpectrumInterval1Click",
    "PutCommentsontheGraph1Click", "FormSpecialModel1Click", "MakeRealPeakModel1Click",
    "MakeRealBackgroundModel1Click", "MakeDoubleSignedModel1Click", "MovethePeakModels1Click",
    "TransformPeakModel1Click", "NormalizetheSpectrum1Click", "FittheTailofEfficSpectrum1Click",
    "SpectrumFunctions1Click", "SpectrumArithmetic2Click", "GetAbsorptionCoefficients1Click",
    "EventsToSpectrum1Click", "BuildBackgroundbyMarkedPoints1Click", "RietveldAnalysis1Click",
    "abouttheSpectrum1Click", "abouttheVariance1Click", "aboutPhases1Click", "aboutAtoms1Click", "aboutHKLs1Click",
    "aboutParErrors1Click", "aboutFitControls1Click", "aboutFitQuality1Click", "aboutdspacings1Click",
    "aboutINIfile1Click", "aboutSetofMarkedPoints1Click", "aboutParameters1Click", "Autoindexing1Click",
    "Fitra1Click", "General1Click", "GettingStarted1Click", "MenuComments1Click", "OperationswithGraphs1Click",
    "Examples1Click", "CommentstoINIcommands1Click", "Test1Click", "Trevo1Click",
};

TEST_F(InventoryTest, EveryEntryReachesItsHandlerThroughTheOneDispatch) {
  Strings ran;
  for (int32_t top = 1; top <= MainMenuEntryCount; ++top) {
    const int32_t items = static_cast<int32_t>(Form1.Entry(top).items.size());
    for (int32_t item = items == 0 ? 0 : 1; item <= items; ++item) {
      if (!Form1.Entry(top, item).onClick) continue;
      Neutral();
      ResultsUnsaved[0] = Form1.Entry(top, item).handler == "Exit1Click";  // asks, answered No
      view->Action(top, item)->trigger();
      ASSERT_EQ(trace.size(), 1u) << Form1.Entry(top, item).caption;
      ran.push_back(trace[0]);
    }
  }
  EXPECT_EQ(ran, kHandlers);
  EXPECT_EQ(SessionEnded, 0);  // Exit was answered No
}

TEST_F(InventoryTest, SixKeysAndTheCloseBoxReachTheirCommands) {
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* handler;  // "" none
  } keys[] = {
      {Qt::Key_G, Qt::NoModifier, "theSpectrumInterval1Click"}, {Qt::Key_G, Qt::ShiftModifier, "theSpectrum1Click"},
      {Qt::Key_S, Qt::NoModifier, "SeveralSpectra1Click"},      {Qt::Key_I, Qt::NoModifier, "InputInifile1Click"},
      {Qt::Key_Escape, Qt::NoModifier, "Exit1Click"},           {Qt::Key_R, Qt::NoModifier, "KeyRCommand"},
      {Qt::Key_S, Qt::ShiftModifier, ""},                       {Qt::Key_I, Qt::ShiftModifier, ""},
      {Qt::Key_R, Qt::ShiftModifier, ""},
  };
  for (const auto& k : keys) {
    Neutral();
    ResultsUnsaved[0] = k.key == Qt::Key_Escape;  // Exit asks and is answered No
    MainMode = 2;
    QTest::keyClick(view.get(), k.key, k.modifiers);
    EXPECT_EQ(trace, *k.handler ? Strings{k.handler} : Strings{}) << k.key;
    EXPECT_EQ(MainMode, std::string(k.handler) == "KeyRCommand" ? 0 : 2);  // R: the Rietveld mode
  }

  Neutral();
  ResultsUnsaved[0] = 1;
  EXPECT_FALSE(view->close());  // unsaved results, "No"
  EXPECT_EQ(trace, Strings{"FormCloseQuery"});
  EXPECT_TRUE(view->isVisible());
}

TEST_F(InventoryTest, SideButtonsAndTheGraphReachTheirCommands) {
  const char* captions[] = {"",           "OK",          "Cancel",      "Next Interval", "Previous Int.",
                            "Toggle X",   "---> GPH-file", "-> BMP-file", "Plot phases",   "Next Spectr",
                            "Prev.Spectr", "Zoom",         "-> PRF",      ""};
  for (double scale : {1.0, 1.25}) {
    ScreenScale = scale;
    MainMode = 3;
    SideButtonMask = "001111111111";
    ShowSideButtons();
    for (int32_t i = 1; i <= SideButtonCount; ++i) {
      QPushButton* b = view->SideButton(i);
      EXPECT_EQ(b->geometry(), QRect(Scaled(525), Scaled(80 + 20 * i), Scaled(87), Scaled(20))) << i;
      EXPECT_EQ(b->text().toStdString(), i == 8 ? "Plot peaks" : captions[i]);
      EXPECT_EQ(b->isEnabled(), i >= 3) << i;  // 13 has no mask character: always on
    }
  }
  const char* hints[] = {"To convert channels to ds and vice versa", "Output of GPH-files", "To save graph as BMP-file",
                         "Draw reflection arrows", "Graph the next spectrum (if many)"};
  for (int32_t i = 5; i <= 9; ++i) EXPECT_EQ(view->SideButton(i)->toolTip().toStdString(), hints[i - 5]);
  QTest::mouseClick(view->SideButton(13), Qt::LeftButton);
  EXPECT_EQ(SideButton13Top, Scaled(340));

  // Each button, clicked with the mask all on, runs its own handler; so does a press on the graph.
  ScreenScale = 1.0;
  for (int32_t i = 1; i <= SideButtonCount; ++i) {
    Neutral();
    SideButtonMask = "111111111111";
    ShowSideButtons();
    QTest::mouseClick(view->SideButton(i), Qt::LeftButton);
    EXPECT_EQ(trace, Strings{"Button" + std::to_string(i) + "Click"});
  }
  Neutral();
  Form1.Image2.visible = true;
  Form1.Changed();
  QTest::mouseClick(view->Image(2), Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(trace, Strings{"Image2MouseDown"});
}
}  // namespace
