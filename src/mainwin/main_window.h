// The main window (TForm1) as data: the menu bar, the header, graph and side-panel images, the
// 13 side buttons and the two status lines, with what the window system shows of each. The
// layout routines below fill it; a presenter shows it (the Qt window in the program) and sends
// every user action (menu item, side button, key, close box) to the one handler HandleEvent,
// which runs the command inside RunUserCommand.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "core/dialog_model.h"

class TForm1;

// One entry of the main menu. "&" in a caption marks the mnemonic letter.
struct TMenuItem {
  std::string caption;
  bool enabled = true;
  bool visible = true;
  // The handler; nullptr for a menu that only opens, the blank entry and the separator item.
  void (TForm1::*onClick)() = nullptr;
  std::string handler;  // its name ("InputtheSpectrum1Click"), for the trace of the dispatch
  std::vector<TMenuItem> items;  // the sub-items of a top-level menu
};

struct TSideButton : TButton {
  std::string hint;  // tool tip
};

constexpr int32_t MainMenuEntryCount = 14;  // top-level entries
constexpr int32_t SideButtonCount = 13;
constexpr int32_t KeyEscape = 27;

// A user action on the main window, as the presenter reports it.
enum class TMainEventKind { MenuItem, SideButton, Key, CloseRequest, GraphClick };
struct TMainEvent {
  TMainEventKind kind = TMainEventKind::MenuItem;
  // MenuItem: the top-level entry 1..14; SideButton: 1..13; Key: the key code (the upper-case
  // letter, KeyEscape); GraphClick: the mouse button, 0 left, 1 right, 2 middle.
  int32_t index = 0;
  int32_t item = 0;    // MenuItem: the sub-item 1.., or 0 for the top-level entry itself
  bool shift = false;  // Key: Shift held
  int32_t x = 0, y = 0;  // GraphClick: the pixel of the graph image
};

class TForm1 : public TWindowState {
public:
  TForm1();  // the menu bar; every control hidden

  std::vector<TMenuItem> MainMenu1;  // the 14 top-level entries in order
  TImage Image1;                     // header strip
  TImage Image2;                     // the graph
  TImage Image3;                     // side panel
  std::array<TSideButton, SideButtonCount + 1> SideButtons;  // [1..13]
  TLabel Label1, Label2;             // the two status lines
  TImageCanvas Canvas;               // the window's own surface behind the controls
  bool keyPreview = true;

  // The side button i (1..13); another number abandons the operation.
  TSideButton& Button(int32_t i);
  const TSideButton& Button(int32_t i) const;
  // The entry with this caption (top-level entries first, then the sub-items in menu order);
  // nullptr when there is none.
  TMenuItem* FindItem(const std::string& caption);
  // Top-level entry top (1..14) with sub-item item (0: the entry itself); abandons outside.
  TMenuItem& Entry(int32_t top, int32_t item = 0);

  // Called by the dispatch with the name of each handler it runs (a trace for tests).
  std::function<void(const std::string&)> OnDispatch;
  void Dispatched(const std::string& handler) const {
    if (OnDispatch) OnDispatch(handler);
  }

  // The presenter's hook: called whenever the model changed outside a handler's return.
  std::function<void()> OnChanged;
  void Changed() const {
    if (OnChanged) OnChanged();
  }

  // The one dispatch: runs the event's command inside RunUserCommand, so no exception leaves it.
  // For CloseRequest the result is whether the window may close (FormCloseQuery's answer);
  // otherwise whether the command ran to its end. While a command runs (a click loop waits, a
  // fit runs) only what it waits for gets through: side buttons 1 and 2 and the graph click;
  // menu items, keys, the other side buttons and the close box are ignored (busy state).
  bool HandleEvent(const TMainEvent& event);

  // ---- handlers ----
  void Form1KeyDown(int32_t key, bool shift);
  // The close box and File "Exit" (and Esc): defined with the session (session.cpp).
  void FormCloseQuery(bool& canClose);
  void Exit1Click();

  // File
  void InputtheSpectrum1Click();
  void InputtheVariance1Click();
  void InputEffectiveSpectrum1Click();
  void InputtheNextSpectrum1Click();
  void SimulatetheSpectrum1Click();
  void MakeFourierSpectrum1Click();
  void ShowtheSpectrum1Click();
  void OutputtheSpectrum1Click();
  void Makefitaspectrum1Click();
  void Assign2thetastochannels1Click();
  void InputInifile1Click();
  // The analysis menu of MainMode, as after reading an INI file (also the INI command that starts it).
  void OpenModeAnalysis();
  void InputKESTdatfile1Click();
  void SaveInifile1Click();
  void ResettheProgram1Click();
  // The INI frame: a handler that no menu item or key calls.
  void MakeaFrameofINIFile1Click();
  // Settings
  void SettheMainMode1Click();
  void NumberofPhases1Click();
  void ScaleMode1Click();
  void SetWidthBckgModes1Click();
  void ResetWeights1Click();
  void FormandFontSizes1Click();
  void SetVariousOptions1Click();
  // Graph
  void theSpectrum1Click();
  void theSpectrumInterval1Click();
  void theFittedInterval1Click();
  void thePeakModel1Click();
  void theEffectiveSpectrum1Click();
  void SeveralSpectra1Click();
  void PlaneDistribution1Click();
  void Theoreticalhkls1Click();
  void aGPHfile1Click();
  void ShowSetofPoints2Click();
  // Mark
  void IntervalBounds1Click();
  void PeakModelBounds1Click();
  void SetofPoints1Click();
  void AssigntheModels1Click();
  void SumtheSpectrumInterval1Click();
  void PutCommentsontheGraph1Click();
  // PeakModels
  void FormSpecialModel1Click();
  void MakeRealPeakModel1Click();
  void MakeRealBackgroundModel1Click();
  void MakeDoubleSignedModel1Click();
  void MovethePeakModels1Click();
  void TransformPeakModel1Click();
  // Transform
  void NormalizetheSpectrum1Click();
  void FittheTailofEfficSpectrum1Click();
  void SpectrumFunctions1Click();
  void SpectrumArithmetic2Click();
  void GetAbsorptionCoefficients1Click();
  void EventsToSpectrum1Click();
  void BuildBackgroundbyMarkedPoints1Click();
  // Info
  void abouttheSpectrum1Click();
  void abouttheVariance1Click();
  void aboutPhases1Click();
  void aboutAtoms1Click();
  void aboutHKLs1Click();
  void aboutParErrors1Click();
  void aboutFitControls1Click();
  void aboutFitQuality1Click();
  void aboutdspacings1Click();
  void aboutINIfile1Click();
  void aboutSetofMarkedPoints1Click();
  void aboutParameters1Click();
  // Help
  void General1Click();
  void GettingStarted1Click();
  void MenuComments1Click();
  void OperationswithGraphs1Click();
  void Examples1Click();
  void CommentstoINIcommands1Click();
  // Direct actions of the menu bar
  void RietveldAnalysis1Click();
  void Autoindexing1Click();
  void Fitra1Click();
  void Test1Click();
  void Trevo1Click();
  // Side buttons 1..13 (SideButtonClick dispatches) and the key R (the fit action menu at once)
  void SideButtonClick(int32_t i);
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();
  void Button7Click();
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void Button11Click();
  void Button12Click();
  void Button13Click();
  void KeyRCommand();
};

extern TForm1 Form1;

// The point-information box of the graph (its contents come with the graph).
class TForm4 : public TWindowState {
public:
  TListBox ListBox1;  // the lines, aqua bold fixed pitch on black
};
extern TForm4 Form4;

// The last position of side button 13, stored when it is clicked.
extern int32_t SideButton13Left, SideButton13Top;

// ---- layout (positions and sizes through Scaled) ----
// The main window at 640 x 480 with windowScale, then its three images with imageScale; leaves
// ScreenScale at imageScale.
void LayoutMainWindow(double imageScale, double windowScale);
// The dialog window (Form2) and its images 1 to 3 for graphs, the same way.
void LayoutGraphWindow(double imageScale, double windowScale);
// Side button i (1..13) at 525, 80 + 20 i, 87 x 20, shown, enabled by SideButtonMask.
void PlaceSideButton(int32_t i);
void ShowSideButtons();
// The two status lines, yellow on blue; an empty line hides its label.
void ShowStatus(const std::string& line1, const std::string& line2);
// The first status line only; the second keeps what it shows.
void ShowStatusLine1(const std::string& line1);
void HideStatusLabels();
// The empty window: the dialog window and the point-information box closed, side buttons,
// images and status lines hidden, the window's surface grey.
void ResetMainWindow();
// Enables or disables File, Settings, Graph, Mark, PeakModels, Transform, Rietveld, Info, Celix,
// Fitra and Help; Test and Trevo stay enabled.
void EnableMainMenus(bool on);
