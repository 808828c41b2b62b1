// The summary file of a sequence analysis: one "#Step" block per analysed spectrum in fixed
// columns (widened, never asterisks, when a number needs more room: a line beginning with "*" is
// a comment to the reader), and the display that reads the blocks back into the result file as
// the evolution of one cell, one reflection or one peak over the steps.
#include "evolution/trevo_state.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/peak_fit_models.h"
#include "peaks/peak_areas.h"

namespace {

std::string R(int32_t width, int32_t decimals, double x) { return FormatFixed(width, decimals, x); }
std::string I(int32_t width, int32_t n) { return FormatFixed(width, 0, n); }

double Value(int32_t k) { return FittedValue(k); }
double Error(int32_t k) { return FittedError(k); }

// The numbers of a line (at most 20).
std::vector<double> Numbers(const std::string& line) {
  std::vector<double> out;
  int32_t n = 0;
  ParseNumbers(n, line);
  for (int32_t i = 1; i <= std::min(n, 20); ++i) out.push_back(NumberBuffer[i]);
  return out;
}

void WritePeakBlock(TextFile& f, const TSpectrum& sp, bool simple) {
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  const double w0 = Value(2 * n + 7), w1 = Value(2 * n + 13), w0Error = Error(2 * n + 7);
  f.WriteLine(I(5, n) + " peaks processed");
  f.WriteLine(" Width parameters  " + R(9, 2, w0) + R(9, 2, w1));
  std::vector<double> areas(static_cast<size_t>(n) + 1, 0.0);
  if (simple) {
    bool widthsVary = false;
    ComputePeakAreas(widthsVary);
    for (int32_t i = 1; i <= n && i <= NumberBufferSize; ++i) areas[i] = NumberBuffer[i];
    f.WriteLine("     Amplitude  Amp.Err Area Position Pos.Err Halfwidth HWD-err");
  } else {
    f.WriteLine("     Amplitude  Amp.Err Position Pos.Err Halfwidth HWD-err");
  }
  int32_t first = 1, last = 1;
  WorkingRange(sp, first, last);
  for (int32_t i = 1; i <= n; ++i) {
    // The law's width at the peak's own position, on the abscissa the fit's model uses.
    const double position = Value(6 + n + i);
    double width = w0 + w1 * NormalisedAbscissa(position, first, last);
    if (!simple && WidthMode == -1) width = Value(2 * n + 6 + i);
    if (simple)
      f.WriteLine(I(4, i) + R(9, 0, Value(6 + i)) + R(9, 0, Error(6 + i)) + R(9, 0, areas[i]) + R(9, 2, position) +
                  R(8, 2, Error(6 + n + i)) + R(8, 2, width) + R(8, 2, w0Error));
    else
      f.WriteLine(I(5, i) + R(9, 0, Value(6 + i)) + R(9, 0, Error(6 + i)) + R(9, 2, position) +
                  R(11, 2, Error(6 + n + i)) + R(9, 2, width) + R(9, 2, w0Error));
  }
}

void WriteRietveldBlock(TextFile& f, TSpectrum& sp) {
  const double chi = FitParameters ? FitParameters->ChiDf : 0.0;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const TTrevoPhase& t = TrevoPhases[p];
    const int32_t np = std::clamp(t.ReflectionCount, 0, TrevoReflectionCapacity);
    const double scale = Value(PhaseParameterOffset(p) + 1);
    f.WriteLine("* PHASE ");
    f.WriteLine(I(3, p) + I(7, np));
    f.WriteLine("* spec ch^2 unit_cell occu_11 therm_11 scale  (11=ph1,at1)");
    const double third = PhaseTable[p].CrystalSystem == 7 ? t.Cell[3] : t.Cell[2];
    f.WriteLine(R(8, 2, chi) + R(9, 4, t.Cell[0]) + R(9, 4, t.Cell[1]) + R(9, 4, third) + R(6, 3, Value(21)) +
                R(6, 2, Value(25)) + R(10, 6, scale));
    f.WriteLine("*            di      chan_c   peak   hkl    amplitude");
    for (int32_t j = 1; j <= np; ++j) {
      const THklRecord& h = HklTable[j][p];
      const THklRecord& r = t.Reflections[j];
      const double d = TrevoIdentificationD[j][p];
      f.WriteLine(I(4, j) + R(9, 4, d) + R(9, 2, sp.DToChannel(d)) + R(9, 4, h.d) + I(4, r.h) + I(4, r.k) + I(4, r.l) +
                  R(10, 0, (h.A * h.A + h.B * h.B) * scale));
    }
  }
}

// A reader over the summary file as it stands; the file stays open for the next blocks.
void OpenForReading(TextFile& in) {
  if (QuorinFile.Name() == "(memory)") {
    in.ResetFromText(QuorinFile.Contents(), "quorin");
    return;
  }
  if (QuorinFile.IsWriting()) QuorinFile.Flush();
  in.Reset(QuorinFile.Name().empty() ? ResultFileName : QuorinFile.Name());
}

void Corrupt() { ShowMsg("The quorin.res file is corrupt"); }

// Number i of a line as a count; false when the line lacks it or it is beyond an int32.
bool Count(const std::vector<double>& v, size_t i, int32_t& n) { return i < v.size() && RoundToInt32(v[i], n); }

// One line that is not a comment, false at the end of the file.
bool NextLine(TextFile& in, std::string& line) {
  while (!in.Eof()) {
    line = in.ReadLine();
    if (line.empty() || line[0] != '*') return true;
  }
  return false;
}

// Choice 1 (cell lines) or 2 (reflection lines) of the chosen phase over every block.
void ListCellOrReflection(int32_t choice, int32_t phase, int32_t h, int32_t k, int32_t l) {
  TextFile in;
  OpenForReading(in);
  std::string line;
  if (!NextLine(in, line)) return Corrupt();
  const std::vector<double> head = Numbers(line);
  int32_t phases = 0;
  if (!head.empty() && !Count(head, 0, phases)) return Corrupt();
  if (!NextLine(in, line) || line.find("#Step") == std::string::npos) return Corrupt();
  const int32_t first = std::max(1, isp1);
  for (int32_t c = 1; c <= std::max(LastStep, 1); ++c) {
    if (!NextLine(in, line)) return Corrupt();  // the spectrum's name
    for (int32_t p = 1; p <= phases; ++p) {
      if (!NextLine(in, line)) return Corrupt();
      int32_t np = 0;
      if (!Count(Numbers(line), 1, np)) return Corrupt();
      if (!NextLine(in, line)) return Corrupt();
      if (choice == 1 && p == phase) LogLine(I(4, first + c - 1) + line);
      for (int32_t j = 1; j <= np; ++j) {
        if (!NextLine(in, line)) return Corrupt();
        const std::vector<double> v = Numbers(line);
        if (choice == 2 && p == phase && v.size() >= 7 && std::nearbyint(v[4]) == h && std::nearbyint(v[5]) == k &&
            std::nearbyint(v[6]) == l)
          LogLine(line);
      }
    }
    if (!NextLine(in, line)) return;  // the end of the file ends the listing
    if (line.find("#Step") == std::string::npos) return Corrupt();
  }
}

// The peak line chosen in every block: row m of the block (simple kind) or the line of the
// position nearest to target (Fitra kind, whose peaks change from step to step).
void ListPeak(int32_t m, double target, bool nearest) {
  TextFile in;
  OpenForReading(in);
  in.SkipLine();
  in.SkipLine();
  if (in.Eof()) return Corrupt();  // no block yet
  for (int32_t c = 1; !in.Eof(); ++c) {
    const std::string head = in.ReadLine();
    if (head.find("#Step") == std::string::npos) return Corrupt();
    in.SkipLine();
    in.SkipLine();
    const std::string label = (std::string(8, ' ') + "Sp" + std::to_string(c)).substr(0, 15);
    const std::vector<double> count = Numbers(in.ReadLine());
    in.SkipLine();
    in.SkipLine();
    int32_t n = 0;
    if (!Count(count, 0, n)) return Corrupt();
    std::string chosen;
    double best = 1e17;
    for (int32_t i = 1; i <= n; ++i) {
      if (in.Eof()) return Corrupt();
      const std::string line = in.ReadLine();
      if (!nearest) {
        if (i == m) chosen = line;
        continue;
      }
      const std::vector<double> v = Numbers(line);
      if (v.size() >= 4 && std::fabs(v[3] - target) < best) best = std::fabs(v[3] - target), chosen = line;
    }
    if (!chosen.empty()) LogLine(chosen + label);
  }
  LogLine("");
}

// The cell and reflection path (Rietveld blocks).
void DisplayCellEvolution() {
  while (true) {
    TEvolutionChoices& e = EvolutionChoices;
    BeginDialog(1);
    SetDialogOptions({" Unit cell evolution", " Reflection evolution"}, std::clamp(e.choice, 1, 2));
    ShowRadioGroup(1, 1, 20, 70, 300, 20);
    DialogEditLabel1 = " Enter the phase;  0 for exit";
    DialogEditText1 = std::to_string(e.phase);
    DialogEditLabel2 = " Enter hkl ";
    DialogEditText2 = std::to_string(e.h) + " " + std::to_string(e.k) + " " + std::to_string(e.l);
    ShowEditFields(20, 250, 120, 2, 100);
    NumberEdit(1);
    ShowDialogModal();
    if (DialogOk != 1) return;
    double phase = 0;
    StrToFloatChecked(Form2.Edit1.text, phase);
    if (DialogOk != 1) return;
    const int32_t choice = Form2.RadioGroup1.itemIndex == 1 ? 2 : 1;
    const std::vector<double> hkl = Numbers(Form2.Edit2.text);
    if (hkl.size() < 3) {
      ShowMsg("Three indices h k l wanted; the last ones are kept");
    } else {
      e.h = static_cast<int32_t>(std::nearbyint(hkl[0]));
      e.k = static_cast<int32_t>(std::nearbyint(hkl[1]));
      e.l = static_cast<int32_t>(std::nearbyint(hkl[2]));
    }
    e.choice = choice;
    e.phase = static_cast<int32_t>(std::nearbyint(std::clamp(phase, -1e6, 1e6)));
    if (e.phase == 0) return;
    LogLine("Phase " + I(3, e.phase) +
            (choice == 1 ? " ch^2 unit_cell occu therm scale" : "  hkls= " + I(4, e.h) + I(4, e.k) + I(4, e.l)));
    ListCellOrReflection(choice, e.phase, e.h, e.k, e.l);
    e.phase = e.phase >= std::max(PhaseCount, 1) ? 1 : e.phase + 1;
  }
}

// The peak path (simple and Fitra blocks).
void DisplayPeakEvolution() {
  LogLine(" Amplitude  Ampl.err   Area  Position  Pos.Err  HWidth  HW-err Spec");
  for (int32_t next = 1;; ++next) {
    BeginDialog(1);
    PlaceLabel(Form2.Label1, 20, 20, " Enter peak position, 0 for Exit", WhiteColor, TextBackgroundColor);
    const bool inTable = next <= TrevoPeakCapacity && TrevoPeakTable[next].reference != 0;
    DialogEditLabel1 = " Position ";
    DialogEditText1 = inTable ? FormatFixed(0, 0, std::nearbyint(TrevoPeakTable[next].reference)) : "0";
    ShowEditFields(20, 150, 60, 1, 100);
    NumberEdit(1);
    ShowDialogModal();
    if (DialogOk != 1) return;
    double x = 0;
    StrToFloatChecked(Form2.Edit1.text, x);
    if (DialogOk != 1 || x == 0) return;
    LogLine("Peak ident= " + R(9, 2, x));
    int32_t m = 0;
    double best = 1e17;
    for (int32_t i = 1; i <= TrevoPeakCapacity; ++i) {
      const double e = std::fabs(TrevoPeakTable[i].reference - x);
      if (TrevoPeakTable[i].reference != 0 && e < best) best = e, m = i;  // the first of equal distances
    }
    ListPeak(m, x, TrevoMode == 1);
  }
}

}  // namespace

void WriteStepBlock(int32_t index, int32_t mode) {
  (void)mode;  // the block kind follows TrevoMode
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s) return;
  TextFile& f = QuorinFile;
  if (!f.IsWriting()) return;
  f.WriteLine("#Step" + I(9, index));
  f.WriteLine("* Spectrum");
  f.WriteLine(index >= 1 && index <= SequenceCapacity ? SequenceFileNames[index] : std::string());
  if (TrevoMode == 2)
    WriteRietveldBlock(f, *s);
  else
    WritePeakBlock(f, *s, TrevoMode == 0);
}

void DisplayEvolution() {
  DialogCaption = "Display evolution";
  LogLine(std::string(20, ' ') + "EVOLUTION");
  if (TrevoMode == 2)
    DisplayCellEvolution();
  else
    DisplayPeakEvolution();
}
