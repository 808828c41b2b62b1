// What a fitted step of the sequence leaves behind: the carried cells and the full Rietveld
// result, the step's information lines, its summary block and graph, and the peak-fit results in
// full or one line per peak.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>
#include "core/canvas.h"
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/graph_drawing.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/cell_update.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"
#include "evolution/step_display.h"
#include "evolution/step_fits.h"
#include "evolution/trevo_state.h"

namespace {

constexpr int32_t ReflectionsButton = 10, PictureButton = 11;
constexpr int32_t MaxStepCurves = 7;
constexpr int32_t GraphWidth = 310;

std::string R(int32_t width, int32_t decimals, double x) { return FormatFixed(width, decimals, x); }
const ParameterRecord& Record(int32_t i) {
  static const ParameterRecord none{};
  const TParameter& fit = *FitParameters;
  return i >= 1 && i <= std::min(fit.NPar, fit.RecordCapacity()) ? fit.Records[i] : none;
}
// The error of record i in a field of width w, "?" where the fit could not determine it.
std::string E(int32_t width, int32_t decimals, int32_t i) {
  if (!FitParameters->ErrorUndeterminedAt(i)) return R(width, decimals, Record(i).Error);
  std::string s = "?";
  PadLeft(s, width);
  return s;
}
std::string WithError(int32_t decimals, double value, double error) {
  std::string s;
  FormatValueWithError(decimals, s, value, error);
  return s;
}
int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }

void WriteFullRietveldResult() {
  LogLine(std::string(" background:") + (BackgroundMode == 1 ? "Real" : "Polynomial"));
  std::string values, errors = "+-";
  for (int32_t i = 4; i <= 9; ++i) values += R(10, 2, Record(i).value), errors += E(10, 2, i);
  LogLine(values);
  LogLine(errors);
  LogLine("D0 parameter= " + R(12, 4, Record(3).value) + " +- " + E(12, 4, 3));
  LogLine("Sp.Corr. par= " + R(12, 4, Record(10).value) + " +- " + E(12, 4, 10));
  LogLine("");
  static const char* const cellLabels[6] = {" A     = ", " B     = ", " C     = ", " alpha = ", " beta  = ", " gamma = "};
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t o = PhaseParameterOffset(p);
    const LATTICE& phase = PhaseTable[p];
    LogLine("  ");
    LogLine(" Parameters:  PhaseScale     W0       W1       W2");
    LogLine("Phase" + std::to_string(p) + "   " + R(14, 6, Record(o + 1).value) + R(10, 2, Record(o + 8).value) +
            R(10, 2, Record(o + 9).value) + R(10, 2, Record(o + 10).value));
    LogLine("     +-  " + E(14, 6, o + 1) + E(10, 2, o + 8) + E(10, 2, o + 9) +
            E(10, 2, o + 10));
    std::string volume = R(0, 2, phase.Volume);
    LogLine(" Vol= " + volume);
    LogLine("    Unit cell parameters");
    for (int32_t i = 0; i < 6; ++i) LogLine(cellLabels[i] + WithError(i < 3 ? 5 : 3, phase.Cell[i], phase.CellErrors[i]));
    LogLine("");
  }
  static const char* const atomLabels[10] = {"Occupation= ", "X         = ", "Y         = ", "Z         = ",
                                             "T11       = ", "T12       = ", "T13       = ", "T22       = ",
                                             "T23       = ", "T33       = "};
  for (int32_t p = 1; p <= Phases(); ++p) {
    LogLine(std::string(20, ' ') + "Atomic parameters,   phase " + std::to_string(p));
    const int32_t o = PhaseParameterOffset(p);
    for (int32_t a = 1; a <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++a) {
      const ATOM& atom = AtomTable[a][p];
      const double v[10] = {atom.Occupation, atom.X, atom.Y, atom.Z, atom.T11, atom.T12, atom.T13, atom.T22, atom.T23, atom.T33};
      LogLine("Atom = " + atom.Name);
      const ParameterRecord& occupation = Record(o + 10 * a + 1);
      if (occupation.lower != occupation.upper) LogLine(atomLabels[0] + WithError(4, v[0], atom.Errors[0]));
      if (atom.MagneticFlag) LogLine("Mag.moment= " + WithError(4, atom.MagneticMoment, 0.0));
      const int32_t last = atom.IsotropicFlag ? 4 : 9;
      for (int32_t i = 1; i <= last; ++i) LogLine(atomLabels[i] + WithError(5, v[i], atom.Errors[i]));
    }
  }
}

// The marked positions of the step (channels): the fitted peaks, or the reflections of every
// phase inside the working interval.
std::vector<double> MarkedPositions(int32_t mode, const TSpectrum& sp, std::vector<std::string>* labels) {
  std::vector<double> out;
  if (mode == 3) {
    const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
    for (int32_t i = 1; i <= n; ++i) {
      const double x = Record(6 + n + i).value;
      out.push_back(x);
      if (labels) labels->push_back(FormatFixed(4, 0, i) + R(9, 2, x) + R(9, 4, sp.ChannelToD(x)));
    }
    return out;
  }
  TSpectrum& s = const_cast<TSpectrum&>(sp);
  for (int32_t p = 1; p <= Phases(); ++p)
    for (int32_t j = 1; j <= std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); ++j) {
      const THklRecord& h = HklTable[j][p];
      const double x = s.DToChannel(h.d);
      if (!(x >= sp.WorkFirst && x <= sp.WorkLast)) continue;
      out.push_back(x);
      if (labels)
        labels->push_back(FormatFixed(2, 0, p) + R(9, 2, x) + R(9, 4, h.d) + FormatFixed(4, 0, h.h) + FormatFixed(4, 0, h.k) +
                          FormatFixed(4, 0, h.l));
    }
  return out;
}

}  // namespace

int32_t StepGraphCurves(int32_t mode, int32_t components) {
  return std::min(MaxStepCurves, components + (mode == 3 && TrevoMode == 0 ? 3 : 4));
}

void DrawStepGraph(int32_t mode, const TSpectrum& sp) {
  const int32_t points = std::clamp(sp.WorkLast - sp.WorkFirst + 1, 1, NumberBufferSize / (MaxStepCurves + 1));
  const int32_t components = mode == 3 ? std::clamp(MarkedPointCount, 0, MarkedPointCapacity) : Phases();
  const int32_t curves = StepGraphCurves(mode, components);
  const bool difference = curves > 3 && !(mode == 3 && TrevoMode == 0);
  ModelSpectrum = CurrentSpectrum;
  for (int32_t i = 1; i <= points; ++i) {
    const int32_t c = sp.WorkFirst + i - 1;
    ModelChannel = c;
    double y = 0, w = 0, f = 0;
    if (mode == 3)
      PeakFitModel(y, w, f, i, 4);
    else
      RietveldModel(y, w, f, i, 4);
    NumberBuffer[i] = sp.Y[c];
    NumberBuffer[points + i] = f;
    NumberBuffer[2 * points + i] = ModelOutput[0];
    int32_t k = 3;
    if (difference) NumberBuffer[k++ * points + i] = sp.Y[c] - f;
    for (int32_t j = 1; k < curves && j < ModelOutputSize - 1; ++j) NumberBuffer[k++ * points + i] = ModelOutput[1 + j];
  }
  const std::vector<double> marks = MarkedPositions(mode, sp, nullptr);
  const int32_t room = NumberBufferSize - curves * points;
  const int32_t nmarks = std::clamp(static_cast<int32_t>(marks.size()), 0, std::max(room, 0));
  for (int32_t j = 1; j <= nmarks; ++j) NumberBuffer[curves * points + j] = marks[j - 1] - sp.WorkFirst + 1;
  PlotEvolutionGraphs(Form2.Image1, points, curves, GraphWidth, nmarks);
  TImageCanvas& c = Form2.Image1.canvas;
  c.Pen.color = YellowColor;
  for (int32_t j = 1; j <= nmarks; ++j) {
    // A caret under the curves at the marker's column.
    const int32_t x = static_cast<int32_t>(std::nearbyint(Scaled(GraphWidth - 20) * (marks[j - 1] - sp.WorkFirst + 1) / points)) + 1;
    const int32_t y = Scaled(StepCaretRow);
    c.MoveTo(x - 3, y + 4);
    c.LineTo(x, y);
    c.LineTo(x + 4, y + 5);
  }
  Ui().ImageChanged(c);
}

void ShowRietveldOutput(int32_t mode, int32_t full) {
  (void)mode;
  if (FitPending[0] && FitPending[2]) {
    StatusMessage = "No fit yet performed";
    return;
  }
  UpdatePhasesFromParameters();
  ParametersToSpectrum();
  for (int32_t p = 1; p <= Phases(); ++p) {
    const LATTICE& phase = PhaseTable[p];
    TTrevoPhase& t = TrevoPhases[p];
    double sum = 0;
    for (int32_t i = 0; i < 3; ++i) sum += (phase.Cell[i] - t.Cell[i]) * (phase.Cell[i] - t.Cell[i]);
    const double dev = std::sqrt(sum);
    LogLine("Cell parameter deviation (A)= " + R(8, 4, dev));
    if (dev <= ucdif) {
      std::copy(std::begin(phase.Cell), std::end(phase.Cell), t.Cell);
      std::copy(std::begin(phase.ReciprocalCell), std::end(phase.ReciprocalCell), t.ReciprocalCell);
      t.Volume = phase.Volume;
    } else {
      LogLine("* Initial cell restored *");
    }
    t.PhaseScale = Record(PhaseParameterOffset(p) + 1).value;
  }
  if (full) WriteFullRietveldResult();
}

void ShowSequenceStep(int32_t mode) {
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s || !FitParameters) return;
  TSpectrum& sp = *s;
  const TParameter& fit = *FitParameters;
  const int32_t index = CurrentSequenceSpectrum;
  InfoLines.count = 0;
  AddInfoLine("Chi2/df=" + R(10, 2, fit.ChiDf) + (fit.ParOnB ? "  parameters hit the bounds" : ""));
  std::string name = sp.Name;  // upper-cased on a copy: the stored name keeps its case
  UpperCaseUtf8(name);
  AddInfoLine("Spectrum =  " + name + "    Step number " + std::to_string(index));
  AddInfoLine("Channels= " + std::to_string(sp.WorkFirst) + " - " + std::to_string(sp.WorkLast) + "   " +
              std::to_string(MarkedPointCount) + " peaks");
  WriteStepBlock(index, mode);
  if (!DialogWhileFitting) return;
  const int32_t keptLines = InfoLines.count;
  while (true) {
    const std::string caption = DialogCaption;
    BeginDialog(1);
    InfoLines.count = keptLines;
    DrawStepGraph(mode, sp);
    DialogCaption = caption;
    SetDialogTitle(WhiteColor);
    ShowListBox(10, 300, 400, 60);
    PlaceButton(Form2.Button(ReflectionsButton), 10, 390, "Show reflections", 20, 110);
    PlaceButton(Form2.Button(PictureButton), 130, 390, "Make bmp file", 20, 110);
    bool picture = false;
    ExtraButtonHandlers[ReflectionsButton] = [mode, &sp] {
      std::vector<std::string> lines;
      MarkedPositions(mode, sp, &lines);
      for (const std::string& line : lines) AddInfoLine(line);
      LoadInfoLines(Form2.ListBox1);
    };
    ExtraButtonHandlers[PictureButton] = [&picture] {
      picture = true;
      Form2.Close();
    };
    ShowDialogModal();
    ExtraButtonHandlers[ReflectionsButton] = nullptr;
    ExtraButtonHandlers[PictureButton] = nullptr;
    Form2.Button(ReflectionsButton).visible = Form2.Button(PictureButton).visible = false;
    if (!picture) break;  // OK or Cancel: the sequence goes on either way
    const TImageCanvas shown = Form2.Image1.canvas;
    std::string file = "step" + std::to_string(index) + ".bmp";
    DialogEditLabel1 = "Enter filename";
    AskFileName(file, 1);
    if (DialogOk == 1) shown.SaveBmp(file);
  }
  DialogOk = 1;
}

void ShowFitraShortOutput(int32_t index) {
  if (FitPending[3]) {
    StatusMessage = "No Fitra fit yet performed";
    return;
  }
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  const ParameterRecord &w0 = Record(2 * n + 7), &w1 = Record(2 * n + 13);
  if (FullResultOutput) {
    LogLine(" background:");
    std::string values, errors = "+-";
    for (int32_t i = 1; i <= 6; ++i) values += R(10, 2, Record(i).value), errors += E(10, 2, i);
    LogLine(values);
    LogLine(errors);
    auto sixPerLine = [n](const std::string& title, auto text) {
      LogLine(title);
      std::string line;
      for (int32_t i = 1; i <= n; ++i) {
        line += text(i);
        if (i % 6 == 0 || i == n) LogLine(line), line.clear();
      }
    };
    sixPerLine("Areas", [&](int32_t i) {
      const ParameterRecord& a = Record(6 + i);
      const double area = a.value * w0.value;
      const double error = std::hypot(w0.value * a.Error, a.value * w0.Error);
      return R(10, 0, area) + " +- " + R(8, 0, error);
    });
    sixPerLine("Positions", [&](int32_t i) {
      const ParameterRecord& x = Record(6 + n + i);
      return R(10, 3, x.value) + " +- " + R(7, 3, x.Error);
    });
    LogLine("Widths");
    LogLine(R(8, 1, w0.value) + " +-" + R(6, 1, w0.Error) + R(8, 1, w1.value) + " +-" + R(6, 1, w1.Error));
  }
  if (ShortFitraOutput) {
    if (FirstStepOfRun()) LogLine("SHORT OUTPUT     Position +- error     Area  +-  error");
    const TShortOutputPeak* entry = nullptr;
    for (int32_t e = 1; e <= std::clamp(ShortOutputPeakCount, 0, ShortOutputCapacity) && !entry; ++e)
      if (index >= ShortOutputPeaks[e].firstSpectrum && index <= ShortOutputPeaks[e].lastSpectrum) entry = &ShortOutputPeaks[e];
    if (entry) {
      std::vector<int32_t> order(static_cast<size_t>(n));
      std::iota(order.begin(), order.end(), 1);
      std::stable_sort(order.begin(), order.end(),
                       [&](int32_t a, int32_t b) { return Record(6 + n + a).value < Record(6 + n + b).value; });
      std::vector<uint8_t> candidate(static_cast<size_t>(n) + 1, 0);
      for (int32_t k = 0; k < std::min(n, std::max(entry->peaks, 0)); ++k) candidate[order[k]] = 1;
      for (int32_t i = 1; i <= n; ++i) {
        const ParameterRecord &a = Record(6 + i), &x = Record(6 + n + i);
        const double area = a.value * w0.value;
        const double error = std::hypot(w0.value * a.Error, a.value * w0.Error);
        if (area >= error && x.value >= entry->lowChannel && x.value <= entry->highChannel && candidate[i])
          LogLine(R(10, 3, x.value) + " +- " + R(9, 3, x.Error) + "   " + R(12, 0, area) + " +- " + R(10, 0, error));
      }
    }
  }
  ResultsUnsaved[3] = 0;
}
