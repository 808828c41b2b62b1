#include "core/dialog_toolkit.h"
#include <algorithm>
#include <cmath>
#include "core/messages.h"
#include "core/number_format.h"
#include "core/settings_file.h"
#include "core/ui_backend.h"

namespace {
void Hide(TControl& c) { c.visible = false; }

void Place(TControl& c, int32_t x, int32_t y, int32_t width, int32_t height) {
  c.SetBounds(Scaled(x), Scaled(y), Scaled(width), Scaled(height));
  c.visible = true;
  c.enabled = true;
}

TFontStyle BoldFont(int32_t colour, bool fixedPitch) { return {colour, FontSize, true, fixedPitch}; }

// The options of DialogOptions as a list of items.
std::vector<std::string> OptionItems() {
  const int32_t n = std::clamp(DialogOptions.count, 0, OptionCapacity);
  return {DialogOptions.captions.begin() + 1, DialogOptions.captions.begin() + 1 + n};
}
}  // namespace

// ---- preparing the window ----

void ResetDialogForm(int32_t width, int32_t height) {
  if (Form2.visible) Ui().HideWindow(Form2);
  Form2.visible = false;
  Form2.left = 0;
  Form2.top = 0;
  Form2.width = Scaled(width);
  Form2.height = Scaled(height);
  Form2.caption.clear();
  Form2.color = FormColor;
  for (int32_t i = 1; i <= 11; ++i) Hide(Form2.Label(i));
  for (int32_t i = 1; i <= 16; ++i) Hide(Form2.Button(i));
  for (int32_t i = 1; i <= 4; ++i) Hide(Form2.Edit(i));
  Hide(Form2.RadioGroup1);
  Hide(Form2.RadioGroup2);
  Hide(Form2.ListBox1);
  Hide(Form2.ComboBox1);
  Hide(Form2.CheckListBox1);
  Hide(Form2.CheckBox1);
  Hide(Form2.Memo1);
  for (int32_t i = 1; i <= 3; ++i) Hide(Form2.Image(i));  // Image4 is left as it is
  Hide(Form2.StringGrid1);
  Hide(Form2.StringGrid2);
  for (int32_t i = 1; i <= 3; ++i) Hide(Form2.Bevel(i));
  for (int32_t i = 1; i <= 16; ++i) Form2.Button(i).isDefault = false;
  Form2.numberFields.clear();
  Form2.onFieldEdited = nullptr;
  DialogOk = 1;
}

void SetDialogTitle(int32_t colour) {
  Form2.font = BoldFont(colour, true);
  Form2.caption = " " + DialogCaption;
}

void PlaceOkCancelHelp(int32_t x, int32_t y, int32_t width) {
  PlaceButton(Form2.Button1, x, y, "OK", 20, width);
  PlaceButton(Form2.Button2, x + width + 2, y, "Cancel", 20, width);
  PlaceButton(Form2.Button3, x + 2 * width + 4, y, "Help", 20, width);
  Form2.Button1.isDefault = true;
}

void PrepareDialog(int32_t width, int32_t style, int32_t height) {
  if (style == 1) ListSavedFlag = 0;
  ResetDialogForm(width, height - 10);
  SetDialogTitle(BlackColor);
  PlaceOkCancelHelp(style == 1 ? width / 2 - 120 : width / 2 - 90, 370, 60);
  if (style == 1) PlaceButton(Form2.Button6, width / 2 + 65, 370, "Save", 20, 60);
}

void BeginDialog(int32_t keepHelp) {
  PrepareDialog(420, 0, 450);
  if (keepHelp == 0) SetHelpLines(EmptyHelpTopic);
}

// ---- showing controls ----

void ShowRadioGroup(int32_t kind, int32_t columns, int32_t x, int32_t height, int32_t width, int32_t y) {
  if (kind == 1)
    PlaceRadioGroup(Form2.RadioGroup1, columns, x, TextBackgroundColor, height, width, y);
  else
    PlaceRadioGroup(Form2.RadioGroup2, columns, x, TealColor, height, width, y);
  Form2.Label11.visible = false;  // the colour sample of the previous choice
}

void ShowCheckListBox(int32_t x, int32_t y, int32_t width, int32_t height) {
  PlaceCheckListBox(Form2.CheckListBox1, x, y, height, width);
}

void ShowComboBox(int32_t x, int32_t y, int32_t width) { PlaceComboBox(Form2.ComboBox1, x, y, width); }

void ShowEditFields(int32_t xLabel, int32_t xEdit, int32_t y, int32_t count, int32_t editWidth) {
  int32_t n = std::clamp(count, 1, 4);
  for (int32_t i = 1; i <= n; ++i) {
    PlaceLabel(Form2.Label(i), xLabel, y + 23 * (i - 1), DialogEditLabel(i), WhiteColor, TextBackgroundColor);
    PlaceEdit(Form2.Edit(i), xEdit, y + 23 * (i - 1) - 2, DialogEditText(i), editWidth);
  }
}

void ShowNumberGrid(int32_t x, int32_t y, int32_t visibleRows, int32_t fieldWidth, int32_t nCols,
                    int32_t nRows) {
  PlaceNumberGrid(Form2.StringGrid1, Form2.StringGrid2, x, fieldWidth, nCols, nRows, visibleRows, y);
  NumberGridFields(std::min(std::abs(nCols), DialogFieldColumns), std::clamp(nRows, 0, DialogFieldRows));
}

void ShowListBox(int32_t x, int32_t y, int32_t width, int32_t height) {
  PlaceListBox(Form2.ListBox1, x, y, height, width);
  LoadInfoLines(Form2.ListBox1);
}

void ShowMemo(int32_t x, int32_t width) { PlaceMemo(Form2.Memo1, x, width); }

void ShowBevel(int32_t x, int32_t y, int32_t width, int32_t k, int32_t height) {
  if (k >= 1 && k <= 3) PlaceBevel(Form2.Bevel(k), x, y, height, width);
}

void ClearDialogImage() {
  TImage& im = Form2.Image1;
  TImageCanvas& c = im.canvas;
  // The graphs drawn there are placed through Scaled: so is the area cleared for them.
  const int32_t w = Scaled(310), h = Scaled(290);
  c.Resize(std::max(c.Width(), w), std::max(c.Height(), h));
  c.Brush.color = BlackColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, w, h);
  c.Font.color = TealColor;
  c.Font.bold = true;
  c.Font.size = FontSize;
  im.height = Form2.height;  // aligned to the left edge: the full height of the window
  im.visible = true;
  Ui().ImageChanged(c);
}

void ClearedTextOut(TImageCanvas& c, int32_t x, int32_t y, int32_t right, const std::string& text) {
  const TBrush kept = c.Brush;
  c.Brush.color = BlackColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(Scaled(x), Scaled(y), Scaled(right), Scaled(y) + c.TextHeight(text));
  c.Brush.style = TBrushStyle::Clear;
  c.TextOut(Scaled(x), Scaled(y), text);
  c.Brush = kept;
}

// ---- placing routines ----

void PlaceLabel(TLabel& c, int32_t x, int32_t y, const std::string& caption, int32_t fontColour,
                int32_t backColour) {
  c.caption = caption;
  c.left = Scaled(x);
  c.top = Scaled(y);
  c.width = 0;  // sized to its text
  c.height = 0;
  c.font = BoldFont(fontColour, false);
  c.color = backColour;
  c.visible = true;
  c.enabled = true;
}

void PlaceEdit(TEdit& c, int32_t x, int32_t y, const std::string& text, int32_t width) {
  Place(c, x, y, width, 20);
  c.text = text;
  c.font = BoldFont(BlackColor, false);
}

void PlaceButton(TButton& c, int32_t x, int32_t y, const std::string& caption, int32_t height,
                 int32_t width) {
  Place(c, x, y, width, height);
  c.caption = caption;
  c.font = BoldFont(BlackColor, false);
}

void PlaceBevel(TBevel& c, int32_t x, int32_t y, int32_t height, int32_t width) { Place(c, x, y, width, height); }

void PlaceMemo(TMemo& c, int32_t x, int32_t width) { PlaceMemoTop(c, x, width, 360); }

void PlaceMemoTop(TMemo& c, int32_t x, int32_t width, int32_t height) {
  Place(c, x, 0, width, height);
  c.top = 2;  // absolute
  c.color = BlackColor;
  c.font = BoldFont(AquaColor, true);
  c.lines.clear();
  c.readOnly = false;
}

void PlaceRadioGroup(TRadioGroup& c, int32_t columns, int32_t x, int32_t colour, int32_t height,
                     int32_t width, int32_t y) {
  Place(c, x, y, width, height);
  c.color = colour;
  c.font = BoldFont(WhiteColor, false);
  c.items = OptionItems();
  int32_t k = DialogOptions.defaultItem - 1;
  c.itemIndex = (k >= 0 && k < static_cast<int32_t>(c.items.size())) ? k : -1;
  c.columns = columns == 0 ? 1 : columns;
  c.caption.clear();
}

void PlaceCheckListBox(TCheckListBox& c, int32_t x, int32_t y, int32_t height, int32_t width) {
  Place(c, x, y, width, height);
  c.color = YellowColor;
  c.font = BoldFont(BlackColor, false);
  c.items = OptionItems();
  c.checked.assign(c.items.size(), false);
}

void PlaceListBox(TListBox& c, int32_t x, int32_t y, int32_t height, int32_t width) {
  Place(c, x, y, width, height);
  c.color = BlackColor;
  c.font = BoldFont(AquaColor, true);
}

void LoadInfoLines(TListBox& c) {
  const int32_t n = std::clamp(InfoLines.count, 0, InfoLineCapacity);
  c.items.assign(InfoLines.lines.begin() + 1, InfoLines.lines.begin() + 1 + n);
}

void PlaceComboBox(TComboBox& c, int32_t x, int32_t y, int32_t width) {
  Place(c, x, y, width, 20);
  c.color = BlackColor;
  c.font = BoldFont(AquaColor, false);
  c.items = OptionItems();
  int32_t n = static_cast<int32_t>(c.items.size());
  c.dropDownCount = std::min(8, n);
  // The shown text and the selection agree: caption min(default, count).
  int32_t k = std::min(DialogOptions.defaultItem, n);
  c.itemIndex = k >= 1 ? k - 1 : -1;
  c.text = k >= 1 ? c.items[static_cast<size_t>(k - 1)] : std::string();
}

std::string GridCellText(int32_t fieldWidth, double v) {
  std::string s;
  if (std::isfinite(v) && v == std::trunc(v)) s = FormatNumber(fieldWidth, 0, v);
  else FormatNumberFit(fieldWidth, s, v);
  if (s.find('*') != std::string::npos) FormatExponent(12, 7, s, v);
  return s;
}

void PlaceNumberGrid(TStringGrid& valueGrid, TStringGrid& captionGrid, int32_t x, int32_t fieldWidth,
                     int32_t nCols, int32_t nRows, int32_t visibleRows, int32_t y) {
  int32_t c = std::min(std::abs(nCols), DialogFieldColumns);
  int32_t rows = std::clamp(nRows, 0, DialogFieldRows);
  int32_t w = 0;
  for (int32_t j = 1; j <= c; ++j) w += DialogColumnWidths[j];
  int32_t r = std::min(rows, visibleRows);
  int32_t h = r * 21 + 1;

  captionGrid.SetSize(2, rows);
  captionGrid.fixedCols = 1;
  captionGrid.fixedRows = 0;
  Place(captionGrid, x, y, DialogColumnWidths[0] + 2, 0);
  captionGrid.height = Scaled(h);
  captionGrid.colWidths[0] = Scaled(DialogColumnWidths[0]);
  captionGrid.font = BoldFont(WhiteColor, false);
  captionGrid.color = MaroonColor;
  captionGrid.fixedColor = MaroonColor;
  captionGrid.border = false;
  captionGrid.scrollBars = TScrollBars::None;
  for (int32_t i = 1; i <= rows; ++i) captionGrid.Cell(0, i - 1) = DialogFieldLabels[i];

  int32_t gridWidth = w + 2 * c + (visibleRows < rows ? 23 : 0);
  valueGrid.SetSize(c, rows);
  valueGrid.fixedCols = 0;
  valueGrid.fixedRows = 0;
  Place(valueGrid, x + DialogColumnWidths[0] + 2, nCols < 0 ? y + 21 : y + 1, gridWidth, 0);
  valueGrid.height = Scaled(h);
  ClearGrid(valueGrid, c, rows);
  valueGrid.color = ButtonFaceColor;
  valueGrid.font = BoldFont(BlackColor, false);
  valueGrid.border = false;
  valueGrid.editable = true;
  valueGrid.scrollBars = TScrollBars::Vertical;
  for (int32_t j = 0; j < c; ++j) valueGrid.colWidths[static_cast<size_t>(j)] = Scaled(DialogColumnWidths[j + 1]);

  for (TStringGrid* g : {&captionGrid, &valueGrid}) {
    g->defaultRowHeight = 20;
    std::fill(g->rowHeights.begin(), g->rowHeights.end(), Scaled(g->defaultRowHeight));
  }
  for (int32_t i = 1; i <= rows; ++i)
    for (int32_t j = 1; j <= c; ++j) valueGrid.Cell(j - 1, i - 1) = GridCellText(fieldWidth, DialogFieldValues[i][j]);
}

void ClearGrid(TStringGrid& grid, int32_t columns, int32_t rows) {
  for (int32_t r = 0; r < std::min(rows, grid.rowCount); ++r)
    for (int32_t c = 0; c < std::min(columns, grid.colCount); ++c) grid.Cell(c, r) = " ";
}

void ShowParameterGrid(TStringGrid& grid, int32_t n) {
  n = std::max(0, n);
  // Names and flags, not the cells of a number grid: the editor reads them itself.
  if (&grid == &Form2.StringGrid1) std::erase_if(Form2.numberFields, [](const TNumberField& f) { return f.edit == 0; });
  Place(grid, 5, 0, n > 16 ? 596 : 577, 360);
  grid.top = 0;  // absolute
  grid.SetSize(7, n + 1);
  grid.fixedCols = 0;
  grid.fixedRows = n + 1 > 1 ? 1 : 0;
  grid.font = BoldFont(LimeColor, false);
  grid.color = BlackColor;
  ClearGrid(grid, 7, n + 1);
  const int32_t widths[7] = {120, 50, 95, 100, 95, 55, 55};
  for (int32_t j = 0; j < 7; ++j) grid.colWidths[static_cast<size_t>(j)] = Scaled(widths[j]);
  std::fill(grid.rowHeights.begin(), grid.rowHeights.end(), Scaled(grid.defaultRowHeight));
  const char* header[7] = {"", " N", "Lower limit", "Parameter", "Upper limit", " a", " b"};
  for (int32_t j = 0; j < 7; ++j) grid.Cell(j, 0) = header[j];
}

// ---- showing the windows ----

void ShowDialogModal() {
  Form2.closeRequested = false;
  Form2.visible = true;
  Ui().ShowModal(Form2);
  Form2.visible = false;
}

void ShowDialogModeless() {
  Form2.closeRequested = false;
  Form2.visible = true;
  Ui().ShowModeless(Form2);
}

void ShowInfoModal() {
  Form3.closeRequested = false;
  Form3.visible = true;
  Ui().ShowInfoModal(Form3);
  Form3.visible = false;
}

void FillValueColumn(int32_t n, const char* const* labels, const double* values, int32_t labelWidth,
                     int32_t valueWidth) {
  DialogColumnWidths[0] = labelWidth;
  DialogColumnWidths[1] = valueWidth;
  for (int32_t i = 1; i <= std::min(n, DialogFieldRows); ++i) {
    DialogFieldLabels[i] = labels[i - 1];
    DialogFieldValues[i][1] = values[i - 1];
  }
}
