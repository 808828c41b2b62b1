// The dialog window as data: every control of its fixed stock with what the window system shows
// of it (shown or hidden, enabled, position and size in screen pixels, colours, font, contents).
// The toolkit routines fill it, a backend presents it (the Qt window in the program, a script in
// the tests) and copies what the user changed back into it before an event handler runs.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "core/canvas.h"

// The window system's own colour of a control (the backend decides).
constexpr int32_t DefaultColor = -1;
constexpr int32_t ButtonFaceColor = 0xF0F0F0;
constexpr int32_t TealColor = 0x808000;
constexpr int32_t MaroonColor = 0x000080;
constexpr int32_t AquaColor = 0xFFFF00;
constexpr int32_t YellowColor = 0x00FFFF;
constexpr int32_t LimeColor = 0x00FF00;
constexpr int32_t WhiteColor = 0xFFFFFF;
constexpr int32_t BlackColor = 0x000000;
constexpr int32_t GreenColor = 0x008000;
constexpr int32_t RedColor = 0x0000FF;
constexpr int32_t FuchsiaColor = 0xFF00FF;
constexpr int32_t BlueColor = 0xFF0000;
constexpr int32_t GrayColor = 0x808080;

struct TFontStyle {
  int32_t color = BlackColor;
  int32_t size = 10;
  bool bold = false;
  bool fixedPitch = false;
};

struct TControl {
  bool visible = false;
  bool enabled = true;
  int32_t left = 0, top = 0, width = 0, height = 0;  // screen pixels (already scaled)
  int32_t color = DefaultColor;                       // background
  TFontStyle font;
  void SetBounds(int32_t l, int32_t t, int32_t w, int32_t h) { left = l; top = t; width = w; height = h; }
};

struct TButton : TControl {
  std::string caption;
  bool isDefault = false;  // Enter presses it
};

struct TLabel : TControl {
  std::string caption;
};

struct TEdit : TControl {
  std::string text;
};

struct TMemo : TControl {
  std::vector<std::string> lines;
  bool verticalScrollBar = true;
  bool wantTabs = true;
  bool readOnly = false;  // results shown, not edited: Enter is the window's OK
};

struct TListBox : TControl {
  std::vector<std::string> items;
  bool border = false;
};

struct TComboBox : TControl {
  std::vector<std::string> items;
  int32_t itemIndex = -1;     // 0-based, -1 none
  int32_t dropDownCount = 8;  // rows of the open list
  std::string text;           // the shown text
};

struct TCheckListBox : TControl {
  std::vector<std::string> items;
  std::vector<bool> checked;
  // 0-based; an index outside the list reads false and writes nothing.
  bool Checked(int32_t i) const;
  void SetChecked(int32_t i, bool on);
};

struct TRadioGroup : TControl {
  std::vector<std::string> items;
  int32_t itemIndex = -1;  // 0-based, -1 none
  int32_t columns = 1;
  std::string caption;
};

struct TCheckBox : TControl {
  std::string caption;
  bool checked = false;
};

struct TBevel : TControl {};

struct TImage : TControl {
  TImageCanvas canvas;  // the picture; its size is its own, the control's size is the frame
};

enum class TScrollBars { None, Vertical, Both };

struct TStringGrid : TControl {
  int32_t colCount = 5, rowCount = 5;
  int32_t fixedCols = 0, fixedRows = 0;
  int32_t defaultRowHeight = 20;  // unscaled
  int32_t fixedColor = MaroonColor;
  TScrollBars scrollBars = TScrollBars::Vertical;
  bool editable = true;
  bool border = false;
  std::vector<int32_t> colWidths;   // screen pixels
  std::vector<int32_t> rowHeights;  // screen pixels

  TStringGrid() { SetSize(colCount, rowCount); }
  // New dimensions; cells inside both the old and the new size keep their text.
  void SetSize(int32_t cols, int32_t rows);
  // Cell (col, row), 0-based; outside the grid abandons the operation.
  std::string& Cell(int32_t col, int32_t row);
  const std::string& Cell(int32_t col, int32_t row) const;

private:
  std::vector<std::string> cells_;  // row by row
};

struct TTimer {
  int32_t interval = 1000;  // ms; 0 stops it
  bool enabled = true;
};

// What the open and save dialogs are given; the backend runs them.
struct TFileDialog {
  std::string title;
  std::string fileName;
  std::string filter;  // "All|*.*;|D(*.dat)|*.dat;" pairs of description and patterns
  std::string defaultExt;
  std::string initialDir;
};

// A field that must hold a number when OK is pressed: Edit 1..4, or (edit 0) the cell col, row
// (0-based) of the value grid StringGrid1. A blank field reads as 0.
struct TNumberField {
  int32_t edit = 0;
  int32_t col = 0, row = 0;
  std::string name;  // how the message names the field
  double lo = -HUGE_VAL, hi = HUGE_VAL;  // the values the field allows
};

// The state a window shares with its backend.
struct TWindowState {
  std::string caption;
  int32_t left = 0, top = 0, width = 0, height = 0;
  int32_t color = DefaultColor;
  TFontStyle font;
  bool visible = false;       // shown, modally or not
  bool closeRequested = false;  // a handler closed the window
  // Ends a modal showing (or hides a window shown without waiting).
  void Close() {
    visible = false;
    closeRequested = true;
  }
};

class TForm2 : public TWindowState {
public:
  TForm2();
  TForm2(const TForm2&) = default;
  TForm2& operator=(const TForm2&) = default;

  TButton Button1, Button2, Button3, Button4, Button5, Button6, Button7, Button8, Button9,
      Button10, Button11, Button12, Button13, Button14, Button15, Button16;
  TStringGrid StringGrid1, StringGrid2;
  TImage Image1, Image2, Image3, Image4;
  TBevel Bevel1, Bevel2, Bevel3;
  TCheckListBox CheckListBox1;
  TEdit Edit1, Edit2, Edit3, Edit4;
  TMemo Memo1;
  TRadioGroup RadioGroup2;
  TComboBox ComboBox1;
  TListBox ListBox1;
  TRadioGroup RadioGroup1;
  TLabel Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10, Label11;
  TFileDialog OpenDialog1, SaveDialog1;
  TTimer Timer1;
  TCheckBox CheckBox1;
  bool keyPreview = true;
  // The number fields of this showing (cleared by every reset). OK with a field that holds no
  // number, or one outside its limits, names the field in a message and leaves the window open.
  std::vector<TNumberField> numberFields;
  // Run after the user changed a grid cell or an edit (the backend calls FieldEdited).
  std::function<void(TForm2&)> onFieldEdited;

  // The numbered controls, 1-based; another number abandons the operation.
  TButton& Button(int32_t i);
  TLabel& Label(int32_t i);
  TEdit& Edit(int32_t i);
  TImage& Image(int32_t i);
  TBevel& Bevel(int32_t i);
  const TButton& Button(int32_t i) const;
  const TLabel& Label(int32_t i) const;
  const TEdit& Edit(int32_t i) const;
  const TImage& Image(int32_t i) const;
  const TBevel& Bevel(int32_t i) const;

  // Event handlers. The backend calls them after it has copied the user's input into the model.
  void FormKeyPress(char key);  // Esc (27) acts as Cancel
  void ButtonClick(int32_t i);  // dispatches to the handlers below; 10..16 to ExtraButtonHandlers
  void Button1Click();  // OK: closes the window when every number field holds what it allows
  void Button2Click();  // Cancel
  void Button3Click();  // Help
  void Button5Click();  // STOP
  void Button6Click();  // Save
  void Button7Click();  // B7: the number of tries of the bin dialog
  void Button8Click();  // Fourie
  void Button9Click();  // Browse
  void RadioGroup1Click();
  void Image1MouseDown(int32_t x, int32_t y);
  void Timer1Timer();
  // The title-bar close box: counts as Cancel.
  void CloseBoxClick();
  // A grid cell or an edit was changed by the user.
  void FieldEdited();
  // True when every shown number field holds a number within its limits; otherwise the first
  // that does not is named in a message.
  bool NumberFieldsHold() const;
};

// The handlers of Button10 .. Button16, installed by the crystallographic tools.
extern std::array<std::function<void()>, 17> ExtraButtonHandlers;

extern TForm2 Form2;
