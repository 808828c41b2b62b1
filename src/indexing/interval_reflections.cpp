// The reflections of a d interval, the index order and the fit plot.
#include "indexing/interval_reflections.h"
#include <algorithm>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/reflection_lists.h"
#include "indexing/indexing_results.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"

namespace {

constexpr double Degrees = 57.2958;

int32_t Lines() { return std::clamp(DSpacingCount, 0, MaxDSpacings); }

// Pixel column of d on the 500-pixel axis from dMin.
int32_t PlotColumn(double d, double dMin, double span) {
  const double x = 500 * (d - dMin) / std::max(span, 1e-4);
  return 5 + RoundHalfEven(std::clamp(x, -1e6, 1e6));
}

}  // namespace

void SwapIntegers(int32_t& a, int32_t& b) { std::swap(a, b); }

void OrderIndexTriple(int32_t h, int32_t k, int32_t l, int32_t system, int32_t& ho, int32_t& ko, int32_t& lo) {
  ho = h, ko = k, lo = l;
  if (system < 4 || system > 7) return;
  if (std::abs(k) > std::abs(h)) SwapIntegers(ho, ko);
  if (system == 5 && std::abs(k) < l) SwapIntegers(ko, lo);
}

std::string IntervalRow(int32_t p, int32_t j) {
  const THklRecord& r = HklTable[j][p];
  int32_t o[3];
  OrderIndexTriple(r.h, r.k, r.l, PhaseTable[p].CrystalSystem, o[0], o[1], o[2]);
  std::string row = FormatInteger(o[0], 5) + FormatInteger(o[1], 5) + FormatInteger(o[2], 5);
  row += PhaseCount > 1 ? FormatInteger(p, 5) : std::string(5, ' ');
  row += FormatNumber(10, 5, r.d);
  int32_t best = 0;
  double gap = 1e15;
  for (int32_t i = 1; i <= Lines(); ++i)
    if (std::fabs(DSpacingList[i].d - r.d) < gap) gap = std::fabs(DSpacingList[i].d - r.d), best = i;
  if (best == 0) return row;
  const TDSpacingRecord& line = DSpacingList[best];
  if (gap < 1.4 * line.Error) return row + FormatNumber(9, 5, line.d);
  return row + std::string(6, ' ') + FormatNumber(9, 5, line.d);
}

void ShowAllReflections() {
  if (Lines() < 1) {
    ShowMsg("No d-spacings");
    return;
  }
  DialogCaption = " Show all the reflections";
  SetHelpLines(IntervalReflectionsHelp);
  BeginDialog(1);
  DialogColumnWidths[0] = 180;
  DialogColumnWidths[1] = 100;
  DialogFieldLabels[1] = " Interval beginning (A) = ";
  DialogFieldLabels[2] = " Interval end (A) = ";
  DialogFieldValues[1][1] = DSpacingList[Lines()].d - 0.1;
  DialogFieldValues[2][1] = DSpacingList[1].d + 0.01;
  ShowNumberGrid(10, 40, 2, 10, 1, 2);
  std::string err = FormatNumber(8, 5, AverageDError);
  DeleteSpaces(err);
  PlaceLabel(Form2.Label1, 10, 110, " Average experimental error = " + err, WhiteColor, TextBackgroundColor);
  Form2.CheckBox1.caption = " Save all reflections to res-file ";
  Form2.CheckBox1.checked = false;
  Form2.CheckBox1.visible = true;
  Form2.CheckBox1.SetBounds(Scaled(10), Scaled(140), Scaled(300), Scaled(20));
  ShowDialogModal();
  if (DialogOk != 1) return;
  double low = 0, high = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 0), low);
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 1), high);
  if (DialogOk != 1) return;
  if (low > high) std::swap(low, high);
  const bool save = Form2.CheckBox1.checked;
  const std::string header = "  h    k   l    [phase]      d      d_exp.   d_out";
  if (save) {
    const std::string title = "CALCULATED Ds TO D_exp";
    LogLine(std::string(40 - title.size(), ' ') + title);
    LogLine(header);
  }
  SortHklsByD();
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    InfoLines.count = 0;
    AddInfoLine(header);
    int32_t count = 0;
    for (int32_t j = 1, n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); j <= n; ++j) {
      const double d = HklTable[j][p].d;
      if (d < low || d > high) continue;
      ++count;
      const std::string row = IntervalRow(p, j);
      AddInfoLine(row);
      if (save) LogLine(row);
    }
    int32_t resolved = 0;
    CountVisibleReflections(resolved, p);
    for (const std::string& s :
         {std::to_string(count) + " reflections", "N of error-resolved ones = " + std::to_string(resolved)}) {
      AddInfoLine(s);
      if (save) LogLine(s);
    }
    PrepareInfoWindow(5, 450, 370, 2);
    Form3.caption = " Phase " + std::to_string(p);
    ShowInfoModal();
  }
}

void PlotCurrentFit() {
  const int32_t n = Lines();
  if (n < 1) return;  // the d range comes from the first and the last line
  Form2.left = 0, Form2.top = 0;
  Form2.width = Scaled(550), Form2.height = Scaled(410);
  TImage& image = Form2.Image1;
  TImageCanvas& c = image.canvas;
  if (c.Width() < 516 || c.Height() < 50) {
    c.Resize(std::max(c.Width(), 516), std::max(c.Height(), 50));
    c.Brush.color = BlackColor;
    c.Brush.style = TBrushStyle::Solid;
    c.FillRect(0, 0, 516, 50);
  }
  image.SetBounds(0, Scaled(120), Scaled(516), Scaled(50));
  image.visible = true;
  const TAULSM* fit = CelixFitter.get();
  TLabel* rows[4] = {&Form2.Label1, &Form2.Label2, &Form2.Label3, &Form2.Label4};
  for (int32_t p = 1; p <= std::min(std::clamp(PhaseCount, 0, MaxPhases), 4); ++p) {
    if (!fit || 6 * p > std::min(fit->NPar, fit->RecordCapacity())) break;
    const ParameterRecord* r = &fit->Records[6 * (p - 1)];
    std::string s = "Parameters, ph" + std::to_string(p) + " = ";
    for (int32_t e = 1; e <= 3; ++e) s += FormatNumber(8, 3, r[e].value);
    for (int32_t e = 4; e <= 6; ++e) s += FormatNumber(8, 2, ArcCosClamped(r[e].value) * Degrees);
    s += "      V= " + FormatNumber(8, 1, CellVolumeFromCosines(r[1].value, r[2].value, r[3].value, r[4].value,
                                                                r[5].value, r[6].value));
    PlaceLabel(*rows[p - 1], 5, 50 + 14 * (p - 1), s, WhiteColor, BlackColor);
  }
  const double dMin = DSpacingList[n].d, dMax = DSpacingList[1].d;
  const double span = std::fabs(dMax - dMin);
  PlaceLabel(Form2.Label5, 5, 173, FormatNumber(8, 4, dMin), AquaColor, BlackColor);
  PlaceLabel(Form2.Label6, 460, 173, FormatNumber(8, 4, dMax), AquaColor, BlackColor);
  PlaceLabel(Form2.Label7, 5, 190, " ds calculated (aqua, etc.) versus experimental (magenta);", AquaColor, BlackColor);
  const double best = fit ? fit->BestDeviation : 0;
  static const int32_t colours[5] = {0, AquaColor, YellowColor, WhiteColor, LimeColor};
  for (int32_t i = 1; i <= n; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    const int32_t x = PlotColumn(line.d, dMin, span);
    const int32_t e = std::min(3, RoundHalfEven(std::clamp(500 * line.Error / std::max(span, 1e-6), -1e6, 1e6)));
    c.Pen.color = FuchsiaColor;
    c.MoveTo(x - e, 30);
    c.LineTo(x + e, 30);
    c.LineTo(x, 48);
    c.LineTo(x - e, 30);
    c.SetPixel(x, 48, FuchsiaColor);
    if (line.Phase >= 1 && line.Phase <= 4) c.Pen.color = colours[line.Phase];
    const int32_t t = PlotColumn(line.DCalc, dMin, span);
    c.MoveTo(t, 0);
    c.LineTo(t, std::fabs(line.d - line.DCalc) > best ? 20 : 29);
  }
  PlaceLabel(Form2.Label8, 5, 350, TestTrueCell, AquaColor, BlackColor);
  Ui().ImageChanged(c);
}
