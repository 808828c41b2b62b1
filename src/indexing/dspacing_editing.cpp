// The measured d-spacing list: its sources and its editors.
#include "indexing/dspacing_editing.h"
#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/info_windows.h"
#include "indexing/indexing_state.h"
#include "spectrum/dspacing_file.h"
#include "spectrum/spectrum_checks.h"

namespace {

int32_t Lines() { return std::clamp(DSpacingCount, 0, MaxDSpacings); }

// The list fills from entry 1; entries beyond the table's 200 are dropped and counted.
struct ListFiller {
  std::vector<TDSpacingRecord> entries;
  int32_t dropped = 0;
  void Add(const TDSpacingRecord& e) {
    if (static_cast<int32_t>(entries.size()) < MaxDSpacings)
      entries.push_back(e);
    else
      ++dropped;
  }
  // Into DSpacingList; a message when entries were dropped.
  void Store() const {
    DSpacingCount = static_cast<int32_t>(entries.size());
    for (int32_t i = 1; i <= DSpacingCount; ++i) DSpacingList[i] = entries[static_cast<size_t>(i - 1)];
    if (dropped > 0)
      ShowMsg("Only the first " + std::to_string(MaxDSpacings) + " d-spacings are kept, " + std::to_string(dropped) +
              " dropped");
  }
};

bool MarkedPointsToList(TSpectrum& sp) {
  if (MarkedPointCount < 1) {
    ShowMsg("Error, no marked points (peaks)");
    DialogOk = 0;
    return false;
  }
  ListFiller list;
  for (int32_t k = 1; k <= std::clamp(MarkedPointCount, 0, MarkedPointCapacity); ++k) {
    const double x = MarkedPoints[k];
    if (!(x >= 3 && x <= 16381)) continue;
    int32_t c = RoundHalfEven(x);
    double p = c;
    if (RefineMarkedPositions != 0) RefineMarkedPoint(sp, c, p);
    MarkedPoints[k] = c;
    TDSpacingRecord e;
    e.Error = DefaultDError;
    e.X = sp.AxisKind == AxisAngular ? sp.X[c] : p;
    e.d = sp.ChannelToD(p);
    list.Add(e);
  }
  list.Store();
  return true;
}

bool FileToList(TSpectrum& sp) {
  DialogCaption = "Enter the D-Spacings FileName";
  if (DSpacingDataType >= 1) {
    sp.AxisKind = DSpacingDataType == 3 ? AxisTimeOfFlight : AxisAngular;
    CheckTofInformation(1);
    if (DialogOk != 1) return false;
  }
  DialogCaption = "Enter the D-Spacings FileName";
  AskFileName(DSpacingFileName, 0);
  if (DialogOk != 1) return false;
  ReadDSpacingFile(DSpacingFileName);
  return DialogOk == 1;
}

bool PhaseToList(TSpectrum& sp) {
  int32_t p = 1;
  if (PhaseCount > 1) {
    DialogCaption = "Specify the phase";
    BeginDialog(1);
    SetDialogOptions({" 1", " 2", " 3", " 4"}, 1);
    ShowRadioGroup(1, 1, 10, 130, 200, 20);
    ShowDialogModal();
    if (DialogOk != 1) return false;
    p = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 4);
  }
  const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
  if (n == 0) {
    ShowMsg("No hkls for phase " + std::to_string(p));
    return false;
  }
  ListFiller list;
  for (int32_t k = 1; k <= n; ++k) {
    TDSpacingRecord e;
    e.d = HklTable[k][p].d;
    e.X = sp.DToChannel(e.d);
    list.Add(e);
  }
  list.Store();
  return true;
}

// The form dialog; false after Cancel or a bad number.
bool AskSource() {
  DialogCaption = "Form the d-distribution";
  SetHelpLines(DSpacingInputHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, " There are " + std::to_string(MarkedPointCount) + " points marked ", BlackColor,
             AquaColor);
  PlaceLabel(Form2.Label2, 10, 30, " Specify data source ", WhiteColor, TextBackgroundColor);
  SetDialogOptions(
      {"file with d's", "points marked on graph ", "find peaks", "read from screen", "spectrum d's (hkls)"},
      std::clamp(DSpacingSource, 1, 5));
  ShowRadioGroup(1, 1, 10, 120, 200, 50);
  PlaceLabel(Form2.Label3, 220, 30, " Enter data type ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"d-spacings", "thetas", "2_thetas", "TOF-channels"}, std::clamp(DSpacingDataType + 1, 1, 4));
  ShowRadioGroup(2, 1, 220, 100, 180, 50);
  Form2.CheckBox1.caption = " Refine peak positions (if from graph)";
  Form2.CheckBox1.checked = RefineMarkedPositions != 0;
  Form2.CheckBox1.visible = true;
  Form2.CheckBox1.SetBounds(Scaled(10), Scaled(190), Scaled(300), Scaled(20));
  DialogEditLabel1 = "Constant d error";
  DialogEditText1 = FormatNumber(10, 6, DefaultDError);
  ShowEditFields(10, 150, 230, 1, 100);
  NumberEdit(1);
  TestTrueCell = " ";
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double error = 0;
  StrToFloatChecked(Form2.Edit1.text, error);
  if (DialogOk != 1 || !std::isfinite(error)) {
    DialogOk = 0;
    return false;
  }
  DSpacingSource = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 5);
  DSpacingDataType = std::clamp(Form2.RadioGroup2.itemIndex, 0, 3);
  RefineMarkedPositions = Form2.CheckBox1.checked ? 1 : 0;
  DefaultDError = error;
  return true;
}

// The tokens of an editor line as numbers; false when one is not a number.
bool EditorNumbers(std::string_view s, std::vector<double>& v) {
  v.clear();
  std::string t(s);
  for (char& ch : t)
    if (ch == ',' || ch == '\t' || ch == ';') ch = ' ';
  size_t pos = 0;
  while ((pos = t.find_first_not_of(' ', pos)) != std::string::npos) {
    const size_t end = std::min(t.find(' ', pos), t.size());
    double x = 0;
    uint8_t ok = 0;
    StrToFloatRobust(std::string_view(t).substr(pos, end - pos), x, ok);
    if (ok == 0 || !std::isfinite(x)) return false;
    if (v.size() < 7) v.push_back(x);
    pos = end;
  }
  return true;
}

int32_t RoundedIndex(double x) { return RoundHalfEven(std::clamp(x, -1e6, 1e6)); }

}  // namespace

void RefineMarkedPoint(const TSpectrum& sp, int32_t& c, double& p) {
  c = std::clamp(c, 3, MaxChannels - 3);
  int32_t best = c;
  for (int32_t j = c - 3; j <= c + 3; ++j)
    if (sp.Y[j] > sp.Y[best]) best = j;
  c = std::clamp(best, 3, MaxChannels - 3);
  double sum = 0, weight = 0;
  for (int32_t j = -2; j <= 2; ++j) {
    sum += j * std::fabs(sp.Y[c + j]);
    weight += std::fabs(sp.Y[c + j]);
  }
  p = c + sum / std::max(weight, 1.0);
  c = RoundHalfEven(p);
}

void FormDSpacings() {
  if (!AskSource()) return;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) {
    DialogOk = 0;
    return;
  }
  bool formed = false;
  switch (DSpacingSource) {
    case 3:
      for (;;) {
        FindPeaksDialog();
        if (DialogOk != 1) return;
        if (Ui().AskYesNo(std::to_string(MarkedPointCount) + " peaks found. Proceed? If NO - retry.",
                          MsgKind::Confirmation))
          break;
      }
      formed = MarkedPointsToList(*sp);
      break;
    case 2: formed = MarkedPointsToList(*sp); break;
    case 1: formed = FileToList(*sp); break;
    case 4:
      EditDSpacingList();
      formed = DialogOk == 1;
      break;
    default: formed = PhaseToList(*sp); break;
  }
  if (!formed || DSpacingCount == 0) return;
  AssignDSpacings();
  ShowDSpacings();
}

void TransformDErrors() {
  const int32_t n = Lines();
  if (n == 0) {
    ShowMsg("Error, no d-spacings");
    return;
  }
  DialogCaption = "Transform d-errors";
  SetHelpLines(DSpacingInputHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "  If intensities I are given instead of d-errors, ", WhiteColor,
             TextBackgroundColor);
  PlaceLabel(Form2.Label2, 10, 25, " one can get them as:    err = const/sqrt(I) ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"Multiply errors by constant", "Turn intensities to errors", "Set constant errors",
                    "Take errors as part of ds"});
  ShowRadioGroup(1, 1, 10, 110, 300, 50);
  DialogColumnWidths[0] = 150;
  DialogColumnWidths[1] = 100;
  DialogFieldLabels[1] = "Constant (part)= ";
  DialogFieldValues[1][1] = 0.01;
  ShowNumberGrid(10, 180, 1, 10, 1, 1);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double c = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 0), c);
  if (DialogOk != 1 || !std::isfinite(c)) return;
  if (c == 0) {
    ShowMsg("Error ,const=0");
    return;
  }
  c = std::fabs(c);  // a negative error would switch off the merging of visible reflections
  switch (Form2.RadioGroup1.itemIndex) {
    case 1: {
      double top = std::fabs(DSpacingList[1].Error);
      for (int32_t i = 1; i <= n; ++i) top = std::max(top, DSpacingList[i].Error);
      if (top == 0) {
        ShowMsg("d-spacing errors=0!");
        return;
      }
      for (int32_t i = 1; i <= n; ++i) {
        double& e = DSpacingList[i].Error;
        if (top < 1.0) e /= top;
        e = c / std::sqrt(std::max(1e-6, std::fabs(e)));
      }
      break;
    }
    case 2:
      for (int32_t i = 1; i <= n; ++i) DSpacingList[i].Error = c;
      break;
    case 3:
      for (int32_t i = 1; i <= n; ++i) DSpacingList[i].Error = DSpacingList[i].d * c;
      break;
    default:
      for (int32_t i = 1; i <= n; ++i) DSpacingList[i].Error *= c;
      break;
  }
  double sum = 0;
  for (int32_t i = 1; i <= n; ++i) sum += DSpacingList[i].Error;
  AverageDError = sum / std::max(1, n);
  ShowDSpacings();
}

void DeleteCloseDSpacings() {
  const int32_t n = Lines();
  if (n == 0) {
    ShowMsg("Error, no d-spacings");
    return;
  }
  DialogCaption = "delete close ds";
  BeginDialog(1);
  DialogColumnWidths[0] = 170;
  DialogColumnWidths[1] = 100;
  DialogFieldLabels[1] = "N of ds to be deleted";
  DialogFieldValues[1][1] = std::max(1, RoundHalfEven(n / 10.0));
  ShowNumberGrid(10, 40, 1, 10, 1, 1);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double v = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 0), v);
  if (DialogOk != 1 || !std::isfinite(v)) return;
  const int32_t passes = std::min(RoundHalfEven(std::clamp(v, -1e6, 1e6)), std::max(0, n - 7));
  for (int32_t r = 1; r <= passes; ++r) {
    int32_t at = 0;
    double gap = 100000.0;
    for (int32_t i = 2; i <= n; ++i) {
      const double g = std::fabs(DSpacingList[i].d - DSpacingList[i - 1].d);
      if (g <= gap) gap = g, at = i;
    }
    if (at > 0) DSpacingList[at].d = r * 1000.0;
  }
  int32_t kept = 0;
  for (int32_t i = 1; i <= n; ++i)
    if (DSpacingList[i].d < 1000) DSpacingList[++kept] = DSpacingList[i];
  DSpacingCount = kept;
  AssignDSpacings();
}

std::string DSpacingEditorLine(int32_t i) {
  const TDSpacingRecord& e = DSpacingList[std::clamp(i, 0, MaxDSpacings)];
  return FormatNumber(8, 4, e.d) + FormatNumber(8, 4, e.Error) + FormatNumber(8, 2, e.X) + FormatInteger(e.h, 4) +
         FormatInteger(e.k, 4) + FormatInteger(e.l, 4) + FormatInteger(e.Phase, 4);
}

void EditDSpacings() {
  if (Lines() == 0) {
    ShowMsg("No d-spacings");
    return;
  }
  EditDSpacingInfo(1);
  if (DialogOk != 1) return;
  EditDSpacingList();
}

void EditDSpacingList() {
  DialogCaption = "Edit(add/delete) d-spacings: d,err,x[,h,k,l,ph]";
  PrepareDialog(360, 0, 430);
  ShowMemo(5, 345);
  for (int32_t i = 1; i <= Lines(); ++i) Form2.Memo1.lines.push_back(DSpacingEditorLine(i));
  ShowDialogModal();
  if (DialogOk != 1) return;
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  ListFiller list;
  std::vector<double> v;
  for (const std::string& s : Form2.Memo1.lines) {
    if (!EditorNumbers(s, v) || v.empty()) continue;  // letters, or no number at all
    v.resize(7, 0.0);
    TDSpacingRecord e;
    e.d = v[0], e.Error = v[1], e.X = v[2];
    e.h = RoundedIndex(v[3]), e.k = RoundedIndex(v[4]), e.l = RoundedIndex(v[5]), e.Phase = RoundedIndex(v[6]);
    if (sp && sp->Present && e.d > 0 && e.X == 0) e.X = sp->DToChannel(e.d);
    list.Add(e);
  }
  list.Store();
  if (DSpacingCount != 0) AssignDSpacings();
}

void TwoThetasToD() {
  const int32_t n = Lines();
  if (n == 0) {
    ShowMsg("No 2thetas");
    return;
  }
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  if (sp->Lambda == 0) {
    ShowMsg("No lambda");
    return;
  }
  const int32_t type = std::clamp(DSpacingDataType, 0, 3);
  for (int32_t i = 1; i <= n; ++i) {
    TDSpacingRecord& e = DSpacingList[i];
    e.d = type == 1 || type == 2 ? AbscissaToD(*sp, type, e.X, e.d) : sp->ChannelToD(e.X);
    e.Error = DefaultDError;
  }
  AssignDSpacings();
}
