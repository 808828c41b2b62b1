// The inventory of the main window on the real Qt window offscreen, in a session of its own: the
// 84 entries of the menu bar, the 13 side buttons and the six keys are there, and each, triggered
// as the user would, reaches its command through the one dispatch. What a command does first
// (the dialog, question or message it shows, answered No or Cancel by the scripted backend, or
// its status line) tells which command ran.
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
    ">Exit                         Esc  ",
    "&Settings", ">Set the Main Mode", ">Number of Phases", ">Scale Mode", ">Analysis Modes",
    ">Reset Weights (Exclude a region)", ">Form and Font Sizes", ">Various Options ",
    "&Graph", ">the Spectrum               'G'", ">the Spectrum Interval   'g'", ">the Fitted Interval",
    ">the Peak Model", ">the Effective Spectrum", ">Several Spectra     's'", ">Plane Distribution",
    ">Theoretical hkls or peaks ", ">a GPH-file", ">Show Set of Points",
    "&Mark", ">Interval Bounds", ">Peak Model Bounds", ">Set of Points", ">Assign the Models",
    ">Sum  Spectrum Interval", ">Put Comments on the Graph",
    "",
    "&PeakModels", ">Form Special Model", ">Make Real Peak Model", ">Make Real Background Model",
    ">Make Double Signed Model", ">Move the Peak Models", ">Transform Peak Model",
    "Transform", ">Normalize the Spectrum", ">Fit the Tail of Effective Spectrum ", ">Spectrum Functions",
    ">Spectrum Arithmetic", ">Get Absorption Coefficients", ">Events to Spectrum",
    ">Build Background by Marked Points",
    "&Rietveld ",
    "&Info", ">about the Spectrum", ">about the Variance", ">about Phases", ">about Atoms", ">about HKLs",
    ">about Par.Errors", ">about Fit Controls", ">about Fit Quality", ">about d-spacings", ">about INI-file",
    ">about Set of Points", ">about Parameters",
    "&Celix", "&Fitra",
    "&Help", ">General", ">Getting Started", ">Menu Comments", ">Operations with Graphs", ">Examples of INI-files",
    ">Comments to INI-commands",
    "&Test", "&Trevo"};

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
    HideStatusLabels();
    ResetMainWindow();
  }
  // What the command showed first: the first line of the transcript, else the status line, else
  // the graph.
  std::string FirstSeen() const {
    for (size_t i = 0; i < ui.transcript.size(); ++i) {
      std::string line = ui.transcript[i];
      if (line.empty() || line[0] == ' ') continue;
      // A dialog without a title and an information window: their first line tells them.
      if ((line == "DIALOG:  " || line.rfind("INFO: ", 0) == 0) && i + 1 < ui.transcript.size())
        line += "|" + ui.transcript[i + 1];
      for (size_t at; (at = line.find(folder.string())) != std::string::npos;) line.replace(at, folder.string().size(), "<dir>");
      return line;
    }
    if (view->StatusLabel(1)->isVisible()) return "STATUS: " + view->StatusLabel(1)->text().toStdString();
    return view->Image(2)->isVisible() ? "GRAPH" : "-";
  }

  const fs::path folder = TestTempPath("inventory");
  ScriptedUi ui;  // unscripted: every dialog is cancelled and every question answered No
  ScopedUi guard{ui};
  std::unique_ptr<MainWindowView> view;
  Strings trace;  // the handlers the dispatch ran
  KeepValues<int32_t> ints_[4] = {{&MainMode, 1}, {&GraphMode, 1}, {&CurrentSpectrum, 1}, {&FontSize, 1}};
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
  EXPECT_EQ(tops.size(), MainMenuEntryCount);
  EXPECT_FALSE(view->Action(1, 11)->isEnabled());  // "__________________"

  EnableMainMenus(false);
  Strings enabled;
  for (QAction* t : tops)
    if (t->isEnabled()) enabled.push_back(t->text().toStdString());
  EXPECT_EQ(enabled, (Strings{"", "&Test", "&Trevo"}));  // the blank entry has no command anyway
  EnableMainMenus(true);
  for (QAction* t : tops) EXPECT_TRUE(t->isEnabled()) << t->text().toStdString();
}

// Each entry with a command: its handler, and what it showed first when triggered. A module not
// built yet shows its routine's placeholder; an existing routine's first dialog comes up and is
// cancelled; "GRAPH" is a graph drawn. A module that lands changes its lines here.
struct TEntry {
  const char* caption;
  const char* handler;
  const char* firstSeen;
};
const TEntry kEntries[] = {
    {"Input the Spectrum", "InputtheSpectrum1Click", "OPEN: \"Spectrum 1 input\" file \"\" in \"<dir>\" -> cancel (unexpected)"},
    {"Input the Variance", "InputtheVariance1Click", "OPEN: \"Variance 1 input\" file \"\" in \"<dir>\" -> cancel (unexpected)"},
    {"Input Effective Spectrum", "InputEffectiveSpectrum1Click", "DIALOG:  Effective spectrum 0 input"},
    {"Input the Next Spectrum", "InputtheNextSpectrum1Click", "OPEN: \"Spectrum 2 input\" file \"\" in \"<dir>\" -> cancel (unexpected)"},
    {"Simulate the Data", "SimulatetheSpectrum1Click", "STATUS: Simulate the Data: not available yet"},
    {"&Make  RTOF Spectrum", "MakeFourierSpectrum1Click", "STATUS: MakeRtofSpectrum: not available yet"},
    {"&Show the Spectrum", "ShowtheSpectrum1Click", "STATUS: ShowSpectrum: not available yet"},
    {"Output the Spectrum", "OutputtheSpectrum1Click", "STATUS: OutputSpectrumFile: not available yet"},
    {"&Turn the Fit to a Spectrum", "Makefitaspectrum1Click", "-"},
    {"Assign 2thetas to channels", "Assign2thetastochannels1Click", "DIALOG:  |  Label1 \" Specify 2theta values (in degr.) of: \""},
    {"Input Ini-file            'i'", "InputInifile1Click", "OPEN: \"Input Ini-file\" file \"\" in \"<dir>\" -> cancel (unexpected)"},
    {"Input KEST dat-file", "InputKESTdatfile1Click", "OPEN: \"Input KEST dat-file\" file \"\" in \"<dir>\" -> cancel (unexpected)"},
    {"Save Ini-file", "SaveInifile1Click", "-"},
    {"Reset the Program", "ResettheProgram1Click", "-"},
    {"Exit                         Esc  ", "Exit1Click", "ASK: Rietveld parameters not saved. Still exit? -> No (unexpected)"},
    {"Set the Main Mode", "SettheMainMode1Click", "DIALOG:  |  Label1 \"Specify type of the problems to be solved\""},
    {"Number of Phases", "NumberofPhases1Click", "DIALOG:     Set the number of crystal phases"},
    {"Scale Mode", "ScaleMode1Click", "DIALOG:   Graph modes"},
    {"Analysis Modes", "SetWidthBckgModes1Click", "DIALOG:  |  Label1 \"Parameter W2 only in mode (3), in others it is extinction\""},
    {"Reset Weights (Exclude a region)", "ResetWeights1Click", "STATUS: Error, no graph on the screen"},
    {"Form and Font Sizes", "FormandFontSizes1Click", "DIALOG:  |  Label1 \"   Set the screen scale \""},
    {"Various Options ", "SetVariousOptions1Click", "DIALOG:  |  RadioGroup1 (*)\"Quit\" ( )\"Change the name of the Res-file\" ( )\"Put a comment in the Res-file\" ( )\"Set the number of CELIX digits\" ( )\"Set the identical spectrum intervals\" ( )\"Input the CF / BK spectrum\" ( )\"Set the ASCII line structure\""},
    {"the Spectrum               'G'", "theSpectrum1Click", "GRAPH"},
    {"the Spectrum Interval   'g'", "theSpectrumInterval1Click", "GRAPH"},
    {"the Fitted Interval", "theFittedInterval1Click", "MSG: No fitting has been performed"},
    {"the Peak Model", "thePeakModel1Click", "DIALOG:  Model 1 = Gauss"},
    {"the Effective Spectrum", "theEffectiveSpectrum1Click", "GRAPH"},
    {"Several Spectra     's'", "SeveralSpectra1Click", "DIALOG:   Several spectra"},
    {"Plane Distribution", "PlaneDistribution1Click", "STATUS: PlaneDistribution: not available yet"},
    {"Theoretical hkls or peaks ", "Theoreticalhkls1Click", "STATUS: Error, no graph on the screen"},
    {"a GPH-file", "aGPHfile1Click", "OPEN: \"Enter the gph-file name\" file \"m.gph\" in \"<dir>\" -> cancel (unexpected)"},
    {"Show Set of Points", "ShowSetofPoints2Click", "STATUS:  No points "},
    {"Interval Bounds", "IntervalBounds1Click", "STATUS: Error, no graph on the screen"},
    {"Peak Model Bounds", "PeakModelBounds1Click", "STATUS: Error, no graph on the screen"},
    {"Set of Points", "SetofPoints1Click", "STATUS: Error, no graph on the screen"},
    {"Assign the Models", "AssigntheModels1Click", "STATUS: Error, no graph on the screen or no peaks"},
    {"Sum  Spectrum Interval", "SumtheSpectrumInterval1Click", "STATUS: Error, no graph on the screen"},
    {"Put Comments on the Graph", "PutCommentsontheGraph1Click", "DIALOG:   Comments on the graph"},
    {"Form Special Model", "FormSpecialModel1Click", "DIALOG:  Select special model type and number"},
    {"Make Real Peak Model", "MakeRealPeakModel1Click", "DIALOG:  Forming the real peak model"},
    {"Make Real Background Model", "MakeRealBackgroundModel1Click", "MSG: Error, no clicked points"},
    {"Make Double Signed Model", "MakeDoubleSignedModel1Click", "DIALOG:  Forming the real peak model"},
    {"Move the Peak Models", "MovethePeakModels1Click", "DIALOG:  Peak Model Moving"},
    {"Transform Peak Model", "TransformPeakModel1Click", "MSG: No FITRA fitted peak for model correction"},
    {"Normalize the Spectrum", "NormalizetheSpectrum1Click", "STATUS: NormalizeSpectrum: not available yet"},
    {"Fit the Tail of Effective Spectrum ", "FittheTailofEfficSpectrum1Click", "STATUS: FitEffectiveSpectrumTail: not available yet"},
    {"Spectrum Functions", "SpectrumFunctions1Click", "STATUS: SpectrumFunctions: not available yet"},
    {"Spectrum Arithmetic", "SpectrumArithmetic2Click", "STATUS: SpectrumArithmetic: not available yet"},
    {"Get Absorption Coefficients", "GetAbsorptionCoefficients1Click", "STATUS: GetAbsorptionCoefficients: not available yet"},
    {"Events to Spectrum", "EventsToSpectrum1Click", "STATUS: EventsToSpectrum: not available yet"},
    {"Build Background by Marked Points", "BuildBackgroundbyMarkedPoints1Click", "STATUS: BuildBackgroundByMarkedPoints: not available yet"},
    {"&Rietveld ", "RietveldAnalysis1Click", "DIALOG:  Select the analysis"},
    {"about the Spectrum", "abouttheSpectrum1Click", "DIALOG:  Spectrum 1"},
    {"about the Variance", "abouttheVariance1Click", "DIALOG:  Spectrum 1 = <dir>"},
    {"about Phases", "aboutPhases1Click", "MSG: No phase information"},
    {"about Atoms", "aboutAtoms1Click", "DIALOG:  Atomic information."},
    {"about HKLs", "aboutHKLs1Click", "MSG: No HKLs for phase 1"},
    {"about Par.Errors", "aboutParErrors1Click", "DIALOG:  Parameter Errors and Correlation Factors"},
    {"about Fit Controls", "aboutFitControls1Click", "DIALOG:  Check the Fit Controls"},
    {"about Fit Quality", "aboutFitQuality1Click", "DIALOG:  Check the Fit Quality"},
    {"about d-spacings", "aboutdspacings1Click", "MSG: No d-spacings"},
    {"about INI-file", "aboutINIfile1Click", "OPEN: \"Enter INI-file name\" file \"\" in \"\" -> cancel (unexpected)"},
    {"about Set of Points", "aboutSetofMarkedPoints1Click", "DIALOG:  0 points and model numbers"},
    {"about Parameters", "aboutParameters1Click", "STATUS: No parameters"},
    {"&Celix", "Autoindexing1Click", "STATUS: CelixMain: not available yet"},
    {"&Fitra", "Fitra1Click", "STATUS:  No points "},
    {"General", "General1Click", "INFO: Information|    \" THE MODEL OF A NORMALIZED NEUTRON DIFFRACTION SPECTRUM\""},
    {"Getting Started", "GettingStarted1Click", "INFO: Information|    \" THE SIMPLEST RIETVELD ANALYSIS, STEP BY STEP\""},
    {"Menu Comments", "MenuComments1Click", "INFO: Information|    \" THE MAIN MENU\""},
    {"Operations with Graphs", "OperationswithGraphs1Click", "INFO: Information|    \" OPERATIONS WITH GRAPHS\""},
    {"Examples of INI-files", "Examples1Click", "INFO: Information|    \"* EXAMPLE 1 OF AN INI-FILE: RIETVELD ANALYSIS OF ONE PHASE (ALUMINIUM)\""},
    {"Comments to INI-commands", "CommentstoINIcommands1Click", "DIALOG:  CommentstoINIcommands"},
    {"&Test", "Test1Click", "STATUS: TestMenu: not available yet"},
    {"&Trevo", "Trevo1Click", "STATUS: TrevoMain: not available yet"},
};

TEST_F(InventoryTest, EveryEntryReachesItsCommandThroughTheOneDispatch) {
  size_t k = 0;
  for (int32_t top = 1; top <= MainMenuEntryCount; ++top) {
    const int32_t items = static_cast<int32_t>(Form1.Entry(top).items.size());
    for (int32_t item = items == 0 ? 0 : 1; item <= items; ++item) {
      const TMenuItem& m = Form1.Entry(top, item);
      if (!m.onClick) continue;  // the blank entry and the separator
      ASSERT_LT(k, std::size(kEntries));
      const TEntry& e = kEntries[k++];
      Neutral();
      ResultsUnsaved[0] = m.handler == "Exit1Click";  // Exit asks and is answered No
      view->Action(top, item)->trigger();
      EXPECT_EQ(m.caption, e.caption);
      EXPECT_EQ(trace, Strings{e.handler}) << e.caption;
      EXPECT_EQ(FirstSeen(), e.firstSeen) << e.caption;
    }
  }
  EXPECT_EQ(k, std::size(kEntries));  // 84 less the 8 menus, the blank entry and the separator
  EXPECT_EQ(SessionEnded, 0);         // Exit was answered No
}

TEST_F(InventoryTest, SixKeysAndTheCloseBoxReachTheirCommands) {
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* handler;  // "" none
    const char* firstSeen;
  } keys[] = {
      {Qt::Key_G, Qt::NoModifier, "theSpectrumInterval1Click", "GRAPH"},
      {Qt::Key_G, Qt::ShiftModifier, "theSpectrum1Click", "GRAPH"},
      {Qt::Key_S, Qt::NoModifier, "SeveralSpectra1Click", "DIALOG:   Several spectra"},
      {Qt::Key_I, Qt::NoModifier, "InputInifile1Click", "OPEN: \"Input Ini-file\" file \"\" in \"<dir>\" -> cancel (unexpected)"},
      {Qt::Key_Escape, Qt::NoModifier, "Exit1Click", "ASK: Rietveld parameters not saved. Still exit? -> No (unexpected)"},
      {Qt::Key_R, Qt::NoModifier, "KeyRCommand", "ASK: Spectrum  not normalized;  not corrected for absorption. Proceed? -> No (unexpected)"},
      {Qt::Key_S, Qt::ShiftModifier, "", "-"},
      {Qt::Key_I, Qt::ShiftModifier, "", "-"},
      {Qt::Key_R, Qt::ShiftModifier, "", "-"},
  };
  for (const auto& k : keys) {
    Neutral();
    ResultsUnsaved[0] = k.key == Qt::Key_Escape;  // Exit asks and is answered No
    MainMode = 2;
    QTest::keyClick(view.get(), k.key, k.modifiers);
    EXPECT_EQ(trace, *k.handler ? Strings{k.handler} : Strings{}) << k.key;
    EXPECT_EQ(FirstSeen(), k.firstSeen) << k.key;
    // R: the Rietveld mode, the fit menu at once.
    if (std::string(k.handler) == "KeyRCommand") {
      EXPECT_EQ(MainMode, 0);
    }
  }

  Neutral();
  ResultsUnsaved[0] = 1;
  EXPECT_FALSE(view->close());  // unsaved results, "No"
  EXPECT_EQ(trace, Strings{"FormCloseQuery"});
  EXPECT_TRUE(view->isVisible());
}

TEST_F(InventoryTest, SideButtonsAndTheGraphReachTheirCommands) {
  const char* captions[] = {"",           "OK",          "Cancel", "Next Interval", "Previous Int.",
                            "Toggle X",   "---> GPH-file", "-> BMP-file", "Plot phases", "Next Spectr",
                            "Prev.Spectr", "Zoom",       "-> PRF", ""};
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
  EXPECT_EQ(view->SideButton(5)->toolTip(), "To convert channels to ds and vice versa");
  EXPECT_EQ(view->SideButton(6)->toolTip(), "Output of GPH-files");
  EXPECT_EQ(view->SideButton(7)->toolTip(), "To save graph as BMP-file");
  EXPECT_EQ(view->SideButton(8)->toolTip(), "Draw reflection arrows");
  EXPECT_EQ(view->SideButton(9)->toolTip(), "Graph the next spectrum (if many)");
  SideButtonMask = "000000000000";
  ShowSideButtons();
  EXPECT_TRUE(view->SideButton(13)->isEnabled());
  QTest::mouseClick(view->SideButton(13), Qt::LeftButton);
  EXPECT_EQ(SideButton13Top, Scaled(340));

  // Each button, clicked with the mask all on, runs its own handler.
  ScreenScale = 1.0;
  for (int32_t i = 1; i <= SideButtonCount; ++i) {
    Neutral();
    SideButtonMask = "111111111111";
    ShowSideButtons();
    QTest::mouseClick(view->SideButton(i), Qt::LeftButton);
    EXPECT_EQ(trace, Strings{"Button" + std::to_string(i) + "Click"});
  }
  // A press on the graph goes the same way.
  Neutral();
  Form1.Image2.visible = true;
  Form1.Changed();
  QTest::mouseClick(view->Image(2), Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(trace, Strings{"Image2MouseDown"});
}
}  // namespace
