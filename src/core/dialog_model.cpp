#include "core/dialog_model.h"
#include <algorithm>
#include "core/abandon.h"

TForm2 Form2;
std::array<std::function<void()>, 17> ExtraButtonHandlers;

bool TCheckListBox::Checked(int32_t i) const {
  return i >= 0 && i < static_cast<int32_t>(checked.size()) && checked[static_cast<size_t>(i)];
}

void TCheckListBox::SetChecked(int32_t i, bool on) {
  if (i >= 0 && i < static_cast<int32_t>(checked.size())) checked[static_cast<size_t>(i)] = on;
}

void TStringGrid::SetSize(int32_t cols, int32_t rows) {
  cols = std::max(0, cols);
  rows = std::max(0, rows);
  std::vector<std::string> next(static_cast<size_t>(cols) * static_cast<size_t>(rows));
  if (!cells_.empty())  // a new grid has its default size but no cells yet
    for (int32_t r = 0; r < std::min(rows, rowCount); ++r)
      for (int32_t c = 0; c < std::min(cols, colCount); ++c)
        next[static_cast<size_t>(r * cols + c)] = std::move(cells_[static_cast<size_t>(r * colCount + c)]);
  cells_ = std::move(next);
  colCount = cols;
  rowCount = rows;
  colWidths.resize(static_cast<size_t>(cols), 64);
  rowHeights.resize(static_cast<size_t>(rows), defaultRowHeight);
}

std::string& TStringGrid::Cell(int32_t col, int32_t row) {
  if (col < 0 || row < 0 || col >= colCount || row >= rowCount)
    AbandonOperation("Error, grid cell " + std::to_string(col) + "," + std::to_string(row) +
                     " out of range");
  return cells_[static_cast<size_t>(row * colCount + col)];
}

const std::string& TStringGrid::Cell(int32_t col, int32_t row) const {
  return const_cast<TStringGrid*>(this)->Cell(col, row);
}

namespace {
template <class T, size_t N>
T& Pick(TForm2& f, T TForm2::*const (&table)[N], int32_t i, const char* what) {
  if (i < 1 || i > static_cast<int32_t>(N))
    AbandonOperation(std::string("Error, no ") + what + " " + std::to_string(i));
  return f.*table[i - 1];
}

TButton TForm2::*const kButtons[] = {
    &TForm2::Button1,  &TForm2::Button2,  &TForm2::Button3,  &TForm2::Button4,
    &TForm2::Button5,  &TForm2::Button6,  &TForm2::Button7,  &TForm2::Button8,
    &TForm2::Button9,  &TForm2::Button10, &TForm2::Button11, &TForm2::Button12,
    &TForm2::Button13, &TForm2::Button14, &TForm2::Button15, &TForm2::Button16};
TLabel TForm2::*const kLabels[] = {&TForm2::Label1, &TForm2::Label2, &TForm2::Label3, &TForm2::Label4,
                                   &TForm2::Label5, &TForm2::Label6, &TForm2::Label7, &TForm2::Label8,
                                   &TForm2::Label9, &TForm2::Label10, &TForm2::Label11};
TEdit TForm2::*const kEdits[] = {&TForm2::Edit1, &TForm2::Edit2, &TForm2::Edit3, &TForm2::Edit4};
TImage TForm2::*const kImages[] = {&TForm2::Image1, &TForm2::Image2, &TForm2::Image3, &TForm2::Image4};
TBevel TForm2::*const kBevels[] = {&TForm2::Bevel1, &TForm2::Bevel2, &TForm2::Bevel3};
}  // namespace

TButton& TForm2::Button(int32_t i) { return Pick(*this, kButtons, i, "button"); }
TLabel& TForm2::Label(int32_t i) { return Pick(*this, kLabels, i, "label"); }
TEdit& TForm2::Edit(int32_t i) { return Pick(*this, kEdits, i, "edit"); }
TImage& TForm2::Image(int32_t i) { return Pick(*this, kImages, i, "image"); }
TBevel& TForm2::Bevel(int32_t i) { return Pick(*this, kBevels, i, "bevel"); }
const TButton& TForm2::Button(int32_t i) const { return const_cast<TForm2*>(this)->Button(i); }
const TLabel& TForm2::Label(int32_t i) const { return const_cast<TForm2*>(this)->Label(i); }
const TEdit& TForm2::Edit(int32_t i) const { return const_cast<TForm2*>(this)->Edit(i); }
const TImage& TForm2::Image(int32_t i) const { return const_cast<TForm2*>(this)->Image(i); }
const TBevel& TForm2::Bevel(int32_t i) const { return const_cast<TForm2*>(this)->Bevel(i); }

TForm2::TForm2() {
  width = 780;
  height = 580;
  const char* captions[16] = {"OK", "Cancel", "Help", "Show Direct Lattice", "", "Save", "B7", "Fourie",
                              "Browse", "Show Space Gr.", "Find Space Group", "save fourier", "", "",
                              "", ""};
  for (int32_t i = 1; i <= 16; ++i) Button(i).caption = captions[i - 1];

  StringGrid1.color = AquaColor;
  StringGrid1.fixedColor = MaroonColor;
  StringGrid1.scrollBars = TScrollBars::Vertical;
  StringGrid1.editable = true;
  StringGrid2.color = WhiteColor;
  StringGrid2.fixedColor = MaroonColor;
  StringGrid2.scrollBars = TScrollBars::None;
  StringGrid2.editable = false;
  for (int32_t i = 1; i <= 4; ++i) Edit(i).font.color = BlackColor;
  Memo1.color = BlackColor;
  RadioGroup2.color = TealColor;
  ComboBox1.color = BlackColor;
  ListBox1.color = BlackColor;
  RadioGroup1.color = MaroonColor;
  Image1.SetBounds(0, 0, 780, 580);  // aligned to the left edge of the window
  Timer1.interval = 0;  // the one-second start-up firing is left out: nothing waits for it
}
