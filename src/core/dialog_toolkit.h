// The dialog toolkit: every question of the program is asked through the one dialog window
// Form2. An operation resets the window, fills the shared dialog variables, shows the controls it
// needs where it wants them, shows the window modally and reads the controls back; DialogOk tells
// whether the user confirmed.
//
// Positions and sizes are given in unscaled pixels and pass through Scaled, unless said otherwise.
#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/info_window.h"

// ---- preparing the window ----
// Closes the window, puts it at 0,0 with the given size, clears its title, gives it FormColor,
// hides every control except Image4 and sets DialogOk := 1.
void ResetDialogForm(int32_t width, int32_t height);
// Window font in colour, bold, fixed pitch, FontSize; title := " " + DialogCaption.
void SetDialogTitle(int32_t colour);
// "OK", "Cancel" and "Help" in a row, each width wide and 20 high; OK is the default button.
void PlaceOkCancelHelp(int32_t x, int32_t y, int32_t width);
// Reset, title and the answer row at y 370; style 1 adds "Save" and clears ListSavedFlag.
void PrepareDialog(int32_t width, int32_t style, int32_t height);
// PrepareDialog(420, 0, 450); keepHelp = 0 also loads the blank help page.
void BeginDialog(int32_t keepHelp);

// ---- showing controls from the shared variables ----
// kind 1: RadioGroup1, otherwise RadioGroup2; items from DialogOptions.
void ShowRadioGroup(int32_t kind, int32_t columns, int32_t x, int32_t height, int32_t width, int32_t y);
void ShowCheckListBox(int32_t x, int32_t y, int32_t width, int32_t height);
void ShowComboBox(int32_t x, int32_t y, int32_t width);
// The first count (1..4) label and edit pairs from DialogEditLabelN / DialogEditTextN.
void ShowEditFields(int32_t xLabel, int32_t xEdit, int32_t y, int32_t count, int32_t editWidth);
// Rows 1..n of a one-column number grid: labels[i - 1] and values[i - 1], the caption column
// labelWidth and the value column valueWidth wide.
void FillValueColumn(int32_t n, const char* const* labels, const double* values, int32_t labelWidth,
                     int32_t valueWidth);
// The numeric-entry grid: captions in StringGrid2, values in StringGrid1. nCols < 0 puts the
// value grid 20 pixels lower.
void ShowNumberGrid(int32_t x, int32_t y, int32_t visibleRows, int32_t fieldWidth, int32_t nCols,
                    int32_t nRows);
void ShowListBox(int32_t x, int32_t y, int32_t width, int32_t height);  // InfoLines
void ShowMemo(int32_t x, int32_t width);                                 // empty, top 2 absolute
void ShowBevel(int32_t x, int32_t y, int32_t width, int32_t k, int32_t height);  // Bevel k (1..3)
// Image1's picture black over 310 by 290, its font teal, bold, FontSize; shown.
void ClearDialogImage();
// A line of text on an image at x, y (unscaled) over black from x to right: what stood there
// before is gone, not drawn over.
void ClearedTextOut(TImageCanvas& c, int32_t x, int32_t y, int32_t right, const std::string& text);
// The same, under the name the modules that draw in the dialog window use.
inline void ShowDialogGraph() { ClearDialogImage(); }

// ---- number fields: OK names a field that holds no number or one outside its limits ----
// Edit i (1..4), shown by ShowEditFields, holds a number from lo to hi; its label names it.
void NumberEdit(int32_t i, double lo = -HUGE_VAL, double hi = HUGE_VAL);
// Every cell of row (1-based) of the grid shown by ShowNumberGrid allows lo to hi.
void LimitGridRow(int32_t row, double lo, double hi);
// The cells of the value grid as number fields, named by their row captions (ShowNumberGrid).
void NumberGridFields(int32_t columns, int32_t rows);
// How a caption names its field in a message: without blanks around it or a trailing "=".
std::string FieldName(const std::string& label);

// ---- placing routines; they serve other windows too ----
void PlaceLabel(TLabel& c, int32_t x, int32_t y, const std::string& caption, int32_t fontColour,
                int32_t backColour);
void PlaceEdit(TEdit& c, int32_t x, int32_t y, const std::string& text, int32_t width);
void PlaceButton(TButton& c, int32_t x, int32_t y, const std::string& caption, int32_t height,
                 int32_t width);
void PlaceBevel(TBevel& c, int32_t x, int32_t y, int32_t height, int32_t width);
void PlaceMemo(TMemo& c, int32_t x, int32_t width);
void PlaceMemoTop(TMemo& c, int32_t x, int32_t width, int32_t height);
void PlaceRadioGroup(TRadioGroup& c, int32_t columns, int32_t x, int32_t colour, int32_t height,
                     int32_t width, int32_t y);
void PlaceCheckListBox(TCheckListBox& c, int32_t x, int32_t y, int32_t height, int32_t width);
void PlaceListBox(TListBox& c, int32_t x, int32_t y, int32_t height, int32_t width);
// The list's items := InfoLines.
void LoadInfoLines(TListBox& c);
void PlaceComboBox(TComboBox& c, int32_t x, int32_t y, int32_t width);
void PlaceNumberGrid(TStringGrid& valueGrid, TStringGrid& captionGrid, int32_t x, int32_t fieldWidth,
                     int32_t nCols, int32_t nRows, int32_t visibleRows, int32_t y);
// Every cell of the first columns x rows := " ".
void ClearGrid(TStringGrid& grid, int32_t columns, int32_t rows);
// The parameter-array grid of the editors: 7 columns, n + 1 rows, a header row.
void ShowParameterGrid(TStringGrid& grid, int32_t n);
// The text of a value of the numeric-entry grid in a field of fieldWidth.
std::string GridCellText(int32_t fieldWidth, double v);

// ---- showing the windows ----
// Form2 modally; returns when OK, Cancel, Esc, the close box or another closing button ended it.
void ShowDialogModal();
// Form2 without waiting (the stop window).
void ShowDialogModeless();
// Form3 modally.
void ShowInfoModal();

// ---- questions of the toolkit ----
// mode 0: the open dialog for a file to read; mode 1: a typed name (blanks removed, checked,
// overwrite question); mode 2: a typed name taken as it is.
void AskFileName(std::string& name, int32_t mode);
void RunSaveDialog(TFileDialog& dialog, std::string& name, uint8_t& ok);
void RunOpenDialog(TFileDialog& dialog, std::string& name, const std::string& defaultExt,
                   const std::string& filter, const std::string& initialDir);
void AskNumberOfPhases();
void AskAsciiColumns();
void EditTextFile(const std::string& name);
void ShowInfoWindow();
// mode 2: a line of Form2's memo; otherwise a line of the result file.
void OutputLine(const std::string& text, int32_t mode);
// Form2 as the small window of a running fit, with "STOP" when StopButtonOption is set.
void ShowStopWindow();

// ---- keeping the window alive during long work ----
// One pass of the window system per iteration: arms Timer1 for 1 ms and waits for ClickFlag.
// Returns false when the wait ended because the application is going down; the running fit is
// then asked to stop.
bool TimerYield();
// The stop request of the running fit (the STOP button), and its state.
void RequestFitStop();
bool FitStopRequested();
void ClearFitStopRequest();

// The point-information box of the main window for a channel; the main window installs it.
extern std::function<void(double channel)> ShowPointInfoHook;
void ShowPointInfo(double channel);

// The open-dialog filter of AskFileName.
inline constexpr const char* FileNameFilter = "All|*.*;|D(*.dat)|*.dat;|SPC(*.spc)|*.spc;|Ini(*.ini)|*.ini";
