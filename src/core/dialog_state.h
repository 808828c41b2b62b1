// The shared dialog variables: what an operation puts into the dialog window before it is shown
// and what it reads back afterwards. They keep their values from one dialog to the next, so an
// operation that does not set one shows what the previous operation left.
#pragma once
#include <array>
#include <initializer_list>
#include <cstdint>
#include <string>

// The result of the last dialog: 1 after OK, 0 after Cancel, Esc, the close box or a field that
// is not a number. Every reset of the dialog window sets it to 1.
extern int32_t DialogOk;
// The window title (shown with one leading blank) and the title of the file dialogs.
extern std::string DialogCaption;
// A prompt line shown in a label; also a general scratch string.
extern std::string DialogHint;
// The one-line result an operation leaves for the main window's first status line.
extern std::string StatusMessage;

// A list of option captions (1-based), how many are shown and the preselected one (1-based).
constexpr int32_t OptionCapacity = 13;
struct LREC {
  std::array<std::string, OptionCapacity + 1> captions;  // [1..13]
  int32_t count = 0;
  int32_t defaultItem = 1;
};
extern LREC DialogOptions;
// DialogOptions := the captions in order (at most 13), with item defaultItem preselected.
void SetDialogOptions(std::initializer_list<const char*> captions, int32_t defaultItem = 1);
// Templates copied into DialogOptions.
extern const LREC PhaseChoice;  // " 1" .. " 6"
// The constant prompts of option dialogs.
extern const std::array<const char*, 3> OptionPrompts;  // " Error, wrong numbers " ...

// Up to four labelled edit fields: their captions and initial texts.
extern std::string DialogEditLabel1, DialogEditLabel2, DialogEditLabel3, DialogEditLabel4;
extern std::string DialogEditText1, DialogEditText2, DialogEditText3, DialogEditText4;
// The i-th (1..4) of them; another i is an error of the caller.
std::string& DialogEditLabel(int32_t i);
std::string& DialogEditText(int32_t i);

// The numeric-entry grid: row captions, values by row and column, column widths ([0] is the
// caption column; unscaled pixels) and the numbers read back by the editors.
constexpr int32_t DialogFieldRows = 100;
constexpr int32_t DialogFieldColumns = 10;
extern std::string DialogFieldLabels[DialogFieldRows + 1];                       // [1..100]
extern double DialogFieldValues[DialogFieldRows + 1][DialogFieldColumns + 1];   // [1..100][1..10]
extern int32_t DialogColumnWidths[DialogFieldColumns + 1];                      // [0..10]
constexpr int32_t DialogNumberCount = 21;
extern double DialogNumbers[DialogNumberCount + 1];                             // [0..21]

// Information lines shown by list boxes (1-based).
constexpr int32_t InfoLineCapacity = 2005;
struct LBREC {
  std::array<std::string, InfoLineCapacity + 1> lines;  // [1..2005]
  int32_t count = 0;
};
extern LBREC InfoLines;
// Appends a line to InfoLines; a line beyond the capacity is dropped.
void AddInfoLine(const std::string& line);

extern uint8_t ListSavedFlag;       // 1 once "Save" wrote the shown list in this dialog
extern uint8_t BrowseRequest;       // set by "Browse"
extern uint8_t ColourSampleSwitch;  // a choice in RadioGroup1 shows a colour sample
// What a click on the dialog window's image means: 1 a point of the Fourier map, 3 or 4 the
// point information of the clicked channel, anything else nothing.
extern int32_t Form2ClickMode;
// The width in pixels over which a graph in the dialog window spreads the working channels.
extern double DialogGraphWidth;
