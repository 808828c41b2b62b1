// The dialog window as the user sees it: the controls each routine shows with their contents,
// what comes back after OK, Cancel, Esc or the close box, and the geometry of the grids.
#include <gtest/gtest.h>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "support/gui_app.h"
#include "support/picture_match.h"
#include "support/scripted_fixture.h"

namespace {
using Lines = std::vector<std::string>;

using DialogToolkitTest = DialogTest;

TEST_F(DialogToolkitTest, WaysOutAndNumbersReadBack) {
  struct Exit { const char* how; void (*act)(DialogScript&); int32_t ok; };
  const Exit exits[] = {
      {"OK", [](DialogScript& s) { s.Ok(); }, 1},
      {"Cancel", [](DialogScript& s) { s.Cancel(); }, 0},
      {"Esc", [](DialogScript& s) { s.Esc(); }, 0},
      {"close box", [](DialogScript& s) { s.Close(); }, 0},  // dismissed: Cancel, not OK
  };
  for (const Exit& e : exits) {
    e.act(ui.ExpectDialog("Test dialog"));
    BeginDialog(0);
    ShowDialogModal();
    EXPECT_EQ(DialogOk, e.ok) << e.how;
  }
  // What is typed comes back; a field that is no number reads 1.001 and cancels even after OK.
  struct Typed { const char* text; double value; int32_t ok; };
  for (const Typed& t : {Typed{"1,5", 1.5, 1}, Typed{"-7", -7, 1}, Typed{"1.5x", 1.001, 0}}) {
    ui.ExpectDialog("Test dialog").Edit(1, t.text).Ok();
    BeginDialog(0);
    ShowEditFields(10, 150, 40, 1, 80);
    ShowDialogModal();
    double v = 0;
    StrToFloatChecked(Form2.Edit1.text, v);
    EXPECT_EQ(v, t.value) << t.text;
    EXPECT_EQ(DialogOk, t.ok) << t.text;
  }
}

// OK with a number field that holds no number, or one outside what the field allows, names the
// field and keeps the window open with the text as typed; Cancel then leaves DialogOk 0, and
// fields that hold what they allow close it. A blank field reads as 0; "," is a decimal point.
TEST_F(DialogToolkitTest, OkNamesAFieldThatHoldsNoNumberOrTooMuch) {
  auto show = [] {
    BeginDialog(0);
    DialogEditLabel1 = "Spectrum number =";
    DialogEditText1 = "1";
    DialogEditLabel2 = "file name";  // not a number field
    DialogEditText2 = "m.bmp";
    ShowEditFields(10, 150, 40, 2, 80);
    NumberEdit(1, 0, 4);
    DialogColumnWidths[0] = 150, DialogColumnWidths[1] = 70, DialogColumnWidths[2] = 70;
    DialogFieldLabels[1] = "Number of bins in A", DialogFieldLabels[2] = " Interval_I1 ";
    DialogFieldValues[1][1] = DialogFieldValues[1][2] = 3, DialogFieldValues[2][1] = DialogFieldValues[2][2] = 10;
    ShowNumberGrid(10, 100, 2, 8, 2, 2);
    LimitGridRow(1, 1, HUGE_VAL);
    LimitGridRow(2, 1, 1024);
    ShowDialogModal();
  };
  struct Case { int32_t edit, col, row; const char* text; const char* message; };
  const Case cases[] = {
      {1, 0, 0, "abc", "Error, Spectrum number: \"abc\" is not a number"},
      {1, 0, 0, "5", "Error, Spectrum number = 5 is out of range (0 to 4)"},
      {0, 0, 0, "-3", "Error, Number of bins in A (column 1) = -3 is out of range (at least 1)"},
      {0, 1, 0, " ", "Error, Number of bins in A (column 2) = 0 is out of range (at least 1)"},
      {0, 1, 1, "-5", "Error, Interval_I1 (column 2) = -5 is out of range (1 to 1024)"},
      {0, 0, 1, "1e999x", "Error, Interval_I1 (column 1): \"1e999x\" is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DialogScript& s = ui.ExpectDialog("Test dialog");
    (c.edit ? s.Edit(c.edit, c.text) : s.Cell(c.col, c.row, c.text)).Press(1);
    ui.ExpectMessage(c.message);
    s.Inspect([&c](TForm2& f) {
      EXPECT_FALSE(f.closeRequested);
      EXPECT_EQ(c.edit ? f.Edit(c.edit).text : f.StringGrid1.Cell(c.col, c.row), c.text);
    }).Cancel();
    show();
    EXPECT_EQ(DialogOk, 0);
    EXPECT_EQ(ui.Messages().back(), c.message);
  }
  // What the fields allow closes the window at once, whatever the text field holds.
  ui.ExpectDialog("Test dialog").Edit(1, "4").Edit(2, "x.bmp").Cell(0, 0, "1,5").Cell(1, 1, "1024").Ok();
  const size_t messages = ui.Messages().size();
  show();
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(ui.Messages().size(), messages);
}

void Options(int32_t count, int32_t defaultItem) {
  DialogOptions = PhaseChoice;
  DialogOptions.count = count;
  DialogOptions.defaultItem = defaultItem;
}

TEST_F(DialogToolkitTest, ControlsShownWithTheirContents) {
  struct Case { const char* what; std::function<void()> show; Lines shown; };
  const Case cases[] = {
      {"edit fields: count 0 still shows pair 1",
       [] { DialogEditLabel1 = " a = "; DialogEditText1 = "1"; ShowEditFields(10, 150, 40, 0, 80); },
       {"  Label1 \" a = \"", "  Edit1 \"1\""}},
      {"radio group with its default (1-based)", [] { Options(4, 3); ShowRadioGroup(1, 0, 20, 200, 270, 30); },
       {"  RadioGroup1 ( )\" 1\" ( )\" 2\" (*)\" 3\" ( )\" 4\""}},
      {"check list, nothing checked", [] { Options(2, 1); ShowCheckListBox(5, 6, 100, 90); },
       {"  CheckListBox1 [ ]\" 1\" [ ]\" 2\""}},
      {"combo: a default beyond the count shows the last caption", [] { Options(3, 5); ShowComboBox(5, 6, 100); },
       {"  ComboBox1 \" 3\" of ( )\" 1\" ( )\" 2\" (*)\" 3\""}},
      {"list of the information lines",
       [] { InfoLines.count = 0; AddInfoLine("first"); AddInfoLine("second"); ShowListBox(5, 10, 300, 200); },
       {"  ListBox1 2 lines", "    \"first\"", "    \"second\""}},
      {"memo starts empty", [] { Form2.Memo1.lines = {"old"}; ShowMemo(5, 590); }, {"  Memo1 0 lines"}},
      {"number grid: integral in the field, others short, too wide with an exponent",
       [] {
         DialogColumnWidths[0] = 100;
         DialogColumnWidths[1] = DialogColumnWidths[2] = 80;
         DialogFieldLabels[1] = " Count ";
         DialogFieldLabels[2] = " Big ";
         DialogFieldValues[1][1] = 5;
         DialogFieldValues[1][2] = 0.25;
         DialogFieldValues[2][1] = 1234567.891;
         DialogFieldValues[2][2] = -3;
         ShowNumberGrid(10, 40, 10, 8, 2, 2);
       },
       {"  StringGrid2 2x2", "    row 0: \" Count \" \"\"", "    row 1: \" Big \" \"\"", "  StringGrid1 2x2",
        "    row 0: \"       5\" \"0.250000\"", "    row 1: \"1.234568+6\" \"      -3\""}},
      {"parameter grid: header row, blank cells", [] { ShowParameterGrid(Form2.StringGrid1, 1); },
       {"  StringGrid1 7x2", "    row 0: \"\" \" N\" \"Lower limit\" \"Parameter\" \"Upper limit\" \" a\" \" b\"",
        "    row 1: \" \" \" \" \" \" \" \" \" \" \" \" \" \""}},
      {"bevels 1..3 only, the cleared image", [] { ShowBevel(1, 2, 3, 2, 4); ShowBevel(1, 2, 3, 4, 4); ClearDialogImage(); },
       {"  Image1", "  Bevel2"}},
  };
  for (const Case& c : cases) {
    BeginDialog(0);
    c.show();
    Lines expected = c.shown;
    expected.push_back("  [OK] [Cancel] [Help]");
    EXPECT_EQ(DescribeDialog(Form2), expected) << c.what;
  }
  EXPECT_EQ(GridCellText(3, 123456.0), "  1.234560+5");  // an integer too wide for its field
  EXPECT_EQ(Form2.Image1.canvas.GetPixel(309, 289), BlackColor);
  ScreenScale = 1.25;  // the cleared area is scaled like the graphs drawn in it
  Form2.Image1.canvas.SetPixel(387, 361, WhiteColor);
  ClearDialogImage();
  EXPECT_EQ(Form2.Image1.canvas.GetPixel(387, 361), BlackColor);  // Scaled(310) - 1, Scaled(290) - 1
}

TEST_F(DialogToolkitTest, ResetAndAnswerRow) {
  Form2.Image4.visible = Form2.Label11.visible = Form2.Button16.visible = Form2.StringGrid1.visible = true;
  DialogOk = 0;
  ScreenScale = 1.25;
  ResetDialogForm(420, 440);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(DescribeDialog(Form2), Lines{"  Image4"});  // the reset leaves Image4 alone
  EXPECT_EQ(Form2.width, 525);  // scaled
  Form2.Image4.visible = false;
  ScreenScale = 1.0;

  ListSavedFlag = 1;
  PrepareDialog(420, 0, 450);
  EXPECT_EQ(ListSavedFlag, 1);  // only style 1 clears it
  EXPECT_TRUE(Form2.Button1.isDefault);
  PrepareDialog(500, 1, 450);
  EXPECT_EQ(std::tuple(ListSavedFlag, Form2.Button6.visible), std::tuple(0, true));  // style 1: Save
}

TEST_F(DialogToolkitTest, GridGeometry) {
  DialogColumnWidths[0] = 100;
  for (int j = 1; j <= 10; ++j) DialogColumnWidths[j] = 60;
  struct Case { int32_t visibleRows, nCols, nRows; double scale; int32_t cols, rows, top, width, height; };
  const Case cases[] = {
      {10, 3, 30, 1.0, 3, 30, 41, 180 + 6 + 23, 211},   // rows out of sight: a scroll bar
      {7, 3, 7, 1.0, 3, 7, 41, 180 + 6, 148},            // every row in sight: none
      {100, 2, 500, 1.0, 2, 100, 41, 124, 2101},         // as many in sight as the table holds: none
      {10, -3, 5, 1.0, 3, 5, 61, 186, 106},              // a negative count: 20 lower
      {10, 3, 30, 1.25, 3, 30, 51, 261, 264},            // scaled, halves to even
      {200, 12, 500, 1.0, 10, 100, 41, 620, 2101},       // held to the table
  };
  for (const Case& c : cases) {
    ScreenScale = c.scale;
    ShowNumberGrid(10, 40, c.visibleRows, 8, c.nCols, c.nRows);
    const TStringGrid& g = Form2.StringGrid1;
    EXPECT_EQ(std::vector<int32_t>({g.colCount, g.rowCount, g.top, g.width, g.height, Form2.StringGrid2.height}),
              std::vector<int32_t>({c.cols, c.rows, c.top, c.width, c.height, c.height}))
        << c.nCols << " columns, " << c.nRows << " rows at scale " << c.scale;
  }
  ScreenScale = 1.0;
  ShowParameterGrid(Form2.StringGrid1, 3);
  const int32_t narrow = Form2.StringGrid1.width;
  ShowParameterGrid(Form2.StringGrid1, 17);
  EXPECT_GT(Form2.StringGrid1.width, narrow);  // rows out of sight: room for the scroll bar
}

TEST_F(DialogToolkitTest, NothingIndexesOutsideTheStock) {
  ShowParameterGrid(Form2.StringGrid1, 2);
  EXPECT_THROW(Form2.StringGrid1.Cell(7, 0), OperationAbandoned);
  EXPECT_THROW(Form2.StringGrid1.Cell(0, 3), OperationAbandoned);
  EXPECT_THROW(Form2.Button(17), OperationAbandoned);
  EXPECT_THROW(Form2.Edit(0), OperationAbandoned);
}

TEST_F(DialogToolkitTest, OutputLineGoesToMemoOrResultFile) {
  ShowMemo(5, 300);
  OutputLine("to memo", 2);
  OutputLine("to file", 1);
  EXPECT_EQ(Form2.Memo1.lines, Lines{"to memo"});
  EXPECT_EQ(LogLines(), Lines{"to file"});
}
// A label redrawn in place ("Z= 0.08" where "Z= 0.00" stood, at scale 1.5) reads as the new
// text alone: the same picture as the new text drawn on a clean image.
TEST_F(DialogToolkitTest, ARedrawnImageLabelHidesTheOldOne) {
  RequireGuiApplication();
  ScreenScale = 1.5;
  auto fresh = [] {
    TImageCanvas c;
    c.Resize(480, 450);
    c.Brush.color = BlackColor;
    c.FillRect(0, 0, 480, 450);
    c.Font.color = LimeColor;
    c.Brush.style = TBrushStyle::Clear;
    return c;
  };
  TImageCanvas redrawn = fresh(), clean = fresh();
  ClearedTextOut(redrawn, 5, 210, 310, "Z= -10.00");
  ClearedTextOut(redrawn, 5, 210, 310, "Z= 0.08");
  ClearedTextOut(clean, 5, 210, 310, "Z= 0.08");
  const PictureMatch m = ComparePictures(redrawn, clean, 0, 300, 470, 360, LimeColor);
  EXPECT_EQ(m.differing, 0);
  EXPECT_GT(m.ink, 20);
  EXPECT_EQ(redrawn.Brush.style, TBrushStyle::Clear);  // the caller's brush is kept
  ScreenScale = 1.0;
}
}  // namespace
