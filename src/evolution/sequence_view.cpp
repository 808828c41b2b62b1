// Viewing the evolution sequence and editing the module's auxiliary data.
#include "evolution/sequence_view.h"
#include <algorithm>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/graph_drawing.h"
#include "core/local_analysis.h"
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "evolution/sequence_driver.h"
#include "evolution/trevo_state.h"
#include "peaks/peak_search.h"

namespace {

constexpr int32_t HalfWidthPoints = 16383;  // the peak search's copy of the working range
constexpr int32_t ReflectionsButton = 10;

std::string NoBlanks(std::string s) {
  DeleteSpaces(s);
  return s;
}

// The information lines of the view: the spectrum, its channels, d range, maximum and peaks.
void ViewInfoLines(const TSpectrum& sp, int32_t index) {
  InfoLines.count = 0;
  AddInfoLine("");
  std::string name = sp.Name;  // upper-cased on a copy: the stored name keeps its case
  UpperCaseUtf8(name);
  AddInfoLine("Spectrum =  " + name + "    Step number " + std::to_string(index));
  AddInfoLine("Channels= " + std::to_string(sp.WorkFirst) + " - " + std::to_string(sp.WorkLast));
  AddInfoLine("     d=" + FormatFixed(0, 4, sp.ChannelToD(sp.WorkFirst)) + " - " +
              FormatFixed(0, 4, sp.ChannelToD(sp.WorkLast)));
  double ymax = 0;
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) ymax = std::max(ymax, sp.Y[c]);
  AddInfoLine("Max= " + FormatFixed(0, 0, ymax) + "   " + std::to_string(MarkedPointCount) + " peaks");
}

// "Show the reflections": the peaks with their d-spacings in the information lines.
void ListPeaksWithD(const TSpectrum& sp) {
  for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, TrevoPeakCapacity); ++i)
    AddInfoLine(FormatInteger(i, 4) + FormatFixed(9, 2, MarkedPoints[i]) + FormatFixed(9, 5, sp.ChannelToD(MarkedPoints[i])));
  LoadInfoLines(Form2.ListBox1);
}

void PlotViewedSpectrum(const TSpectrum& sp) {
  const int32_t n = std::clamp(sp.WorkLast - sp.WorkFirst + 1, 1, NumberBufferSize - TrevoPeakCapacity);
  for (int32_t i = 1; i <= n; ++i) NumberBuffer[i] = sp.Y[sp.WorkFirst + i - 1];
  const int32_t marks = std::clamp(MarkedPointCount, 0, TrevoPeakCapacity);
  for (int32_t j = 1; j <= marks; ++j) NumberBuffer[n + j] = MarkedPoints[j] - sp.WorkFirst + 1;
  PlotGraphs(Form2.Image1, n, 1, 310, marks);
}

void LogEmpiricHalfWidths(const TSpectrum& sp) {
  LogLine("Empiric halfwidths - number, peak position, d, width");
  for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, TrevoPeakCapacity); ++i) {
    const double w = EmpiricHalfWidth(sp.Y, sp.WorkFirst, sp.WorkLast, MarkedPoints[i]);
    if (w > 0)
      LogLine(FormatInteger(i, 4) + FormatFixed(9, 2, MarkedPoints[i]) + FormatFixed(9, 5, sp.ChannelToD(MarkedPoints[i])) +
              FormatFixed(9, 2, w));
  }
}

// Reads the grid cell of row, col (1-based); false, with DialogOk 0, for a non-number.
bool GridValue(int32_t row, int32_t col, double& v) {
  StrToFloatChecked(Form2.StringGrid1.Cell(col - 1, row - 1), v);
  if (!std::isfinite(v)) DialogOk = 0;
  return DialogOk == 1;
}

void EditPeakBounds() {
  DialogCaption = "Peaks and their bounds";
  BeginDialog(1);
  ShowMemo(10, 300);
  Form2.Memo1.lines = PeakBoundsLines();
  ShowDialogModal();
  if (DialogOk == 1) StorePeakBoundsLines(Form2.Memo1.lines);
}

void EditSideValues() {
  DialogCaption = "Show and edit auxiliary data";
  BeginDialog(1);
  const TSideValues s = CurrentSideValues();
  const char* const rows[6] = {"a11   a22", "compr  PRFscale", "sens  res", "W0  W1", "dW0  dW1", "Regulizer  dback"};
  const double values[6][2] = {{s.a11, s.a22}, {s.compr, s.prf}, {s.sens, s.res},
                               {s.w0, s.w1},   {s.dw0, s.dw1},   {s.regulizer, s.dback}};
  for (int32_t r = 1; r <= 6; ++r) {
    DialogFieldLabels[r] = rows[r - 1];
    DialogFieldValues[r][1] = values[r - 1][0], DialogFieldValues[r][2] = values[r - 1][1];
  }
  DialogColumnWidths[0] = 150, DialogColumnWidths[1] = 70, DialogColumnWidths[2] = 70;
  ShowNumberGrid(10, 20, 6, 8, 2, 6);
  ShowDialogModal();
  if (DialogOk != 1) return;
  TSideValues v = s;
  double* left[6] = {&v.a11, &v.compr, &v.sens, &v.w0, &v.dw0, &v.regulizer};
  double* right[6] = {&v.a22, &v.prf, &v.res, &v.w1, &v.dw1, &v.dback};
  for (int32_t r = 1; r <= 6; ++r)
    if (!GridValue(r, 1, *left[r - 1]) || !GridValue(r, 2, *right[r - 1])) return;
  StoreSideValues(v, true);
}

}  // namespace

double EmpiricHalfWidth(const double* y, int32_t first, int32_t last, double position) {
  first = std::max(1, first);
  last = std::min({last, MaxChannels, first + HalfWidthPoints - 1});
  const int32_t n = last - first + 1;
  const int32_t i = RoundHalfEven(position) - first + 1;
  if (n < 3 || i < 1 || i > n) return 0;
  double width = -1;
  // y + first - 1 makes point 1 the first channel.
  PeakHalfWidthAt(y + first - 1, n + 1, i, width, n);
  return width > 0 ? width / 2 : 0;
}

std::vector<std::string> PeakBoundsLines() {
  std::vector<std::string> lines;
  for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, TrevoPeakCapacity); ++i) {
    const TTrevoPeak& t = TrevoPeakTable[i];
    lines.push_back(std::to_string(RoundHalfEven(t.lower)) + " " + std::to_string(RoundHalfEven(t.reference)) + " " +
                    std::to_string(RoundHalfEven(t.upper)) + " " + std::to_string(RoundHalfEven(t.model)));
  }
  return lines;
}

bool StorePeakBoundsLines(const std::vector<std::string>& lines) {
  struct TRow {
    double v[4] = {};
    int32_t n = 0;
  };
  std::vector<TRow> rows;
  for (const std::string& line : lines) {
    if (IsBlank(line)) continue;
    TRow r;
    ParseNumbers(r.n, line);
    if (r.n < 3) {
      ShowMsg("Error, fewer than three numbers in the line \"" + line + "\"");
      return false;
    }
    for (int32_t k = 0; k < std::min(r.n, 4); ++k) r.v[k] = NumberBuffer[k + 1];
    rows.push_back(r);
  }
  if (static_cast<int32_t>(rows.size()) > TrevoPeakCapacity) {
    ShowMsg("Too many peaks, the first " + std::to_string(TrevoPeakCapacity) + " are kept");
    rows.resize(TrevoPeakCapacity);
  }
  MarkedPointCount = static_cast<int32_t>(rows.size());
  for (int32_t i = 1; i <= MarkedPointCount; ++i) {
    const TRow& r = rows[static_cast<size_t>(i - 1)];
    TTrevoPeak& t = TrevoPeakTable[i];
    t.lower = r.v[0], t.reference = r.v[1], t.upper = r.v[2];
    t.model = r.n == 4 ? r.v[3] : 0;
    MarkedPointModels[i] = RoundHalfEven(std::clamp(t.model, -1e9, 1e9));
    MarkedPoints[i] = t.reference;
  }
  return true;
}

void ViewSpectrumSequence(int32_t& count) {
  AskSequenceSettings();
  if (DialogOk != 1) return;
  CompressionAsked = AngularCorrectionSaid = 0;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  count = sp->WorkLast - sp->WorkFirst + 1;
  int32_t reached = 0;
  for (int32_t step = isp1; step <= isp2; ++step) {
    const int32_t index = SequenceIndexOfStep(step);
    LoadSequenceSpectrum(index);
    if (DialogOk == 0) break;  // a missing file ends the view after its message
    CorrectForCompression();
    SetSpectrumRange();
    reached = step;
    if (PrintEmpiricHalfwidths) LogEmpiricHalfWidths(*sp);
    DialogCaption = "Viewing the spectrum sequence";
    BeginDialog(1);
    ViewInfoLines(*sp, index);
    ShowListBox(10, 300, 400, 80);
    ClearDialogImage();
    PlotViewedSpectrum(*sp);
    LastStep = step;
    Form2ClickMode = MainMode == 3 ? 4 : 3;
    if (TrevoMode == 0) {
      ShowDialogModeless();
      continue;
    }
    PlaceButton(Form2.Button(ReflectionsButton), 300, 390, "Show the reflections", 20, 110);
    ExtraButtonHandlers[ReflectionsButton] = [sp] { ListPeaksWithD(*sp); };
    ShowDialogModal();
    ExtraButtonHandlers[ReflectionsButton] = nullptr;
    Form2.Button(ReflectionsButton).visible = false;
    if (DialogOk != 1) break;
  }
  count = PeakSearchLast - PeakSearchFirst + 1;
  DialogCaption = "Viewing the spectrum sequence";
  BeginDialog(1);
  InfoLines.count = 0;
  AddInfoLine("Sensitivity= " + NoBlanks(FormatFixed(0, 2, PeakSensitivity)) + "   Resolution= " +
              NoBlanks(FormatFixed(0, 2, PeakResolution)));
  AddInfoLine("Max number of peaks in a spectrum=" + std::to_string(MaxPeaksFound));
  AddInfoLine(std::to_string(reached) + " spectra processed out of " + std::to_string(SequenceCount));
  ShowListBox(10, 10, 400, 80);
  ShowDialogModal();
  DialogOk = 1;
}

void EditTrevoAuxData() {
  DialogCaption = "Show and edit auxiliary data";
  BeginDialog(1);
  SetDialogOptions({" Show peak threes", " Show info for simple fit", " Set Corrector for Variance"}, 1);
  ShowRadioGroup(1, 1, 10, 80, 250, 10);
  ShowDialogModal();
  if (DialogOk != 1) return;
  // Items 1 and 3 both open the peak editor.
  if (Form2.RadioGroup1.itemIndex == 1)
    EditSideValues();
  else
    EditPeakBounds();
}
