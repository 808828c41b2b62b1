// The Fourier synthesis driver, the structure-factor file and the peak list.
#include "fourier/fourier_synthesis.h"
#include <algorithm>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "crystal/cell_update.h"
#include "fourier/fourier_map.h"
#include "fourier/map_peaks.h"

namespace {

const char* const SourceCaptions[] = {" Rietveld fitting", " powder match", " a file", " as difference",
                                      " calculated"};
const char* const BoundLabels[] = {" x0 - x1", " y0 - y1", " z0 - z1"};

struct TChoice {
  int32_t source = 0;
  double lo[3] = {}, hi[3] = {};
  double sensitivity = 0;
};

// The first dialog; false after Cancel. Fills the choice and the three option variables.
bool AskSynthesis(TChoice& ch) {
  DialogCaption = "3-dimensional Fourier synthesis";
  SetHelpLines(FourierMapHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 40, 0, " Take the structure factors from: ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({SourceCaptions[0], SourceCaptions[1], SourceCaptions[2], SourceCaptions[3], SourceCaptions[4]},
                   MainMode == 2 ? 2 : 1);
  ShowRadioGroup(1, 1, 20, 130, 150, 20);
  PlaceLabel(Form2.Label2, 25, 150, " Check the range of bin coordinates ", WhiteColor, TextBackgroundColor);
  const TFourierSettings& f = FourierSettings;
  const double lo[3] = {f.xLow, f.yLow, f.zLow}, hi[3] = {f.xHigh, f.yHigh, f.zHigh};
  for (int32_t r = 1; r <= 3; ++r) {
    DialogFieldLabels[r] = BoundLabels[r - 1];
    DialogFieldValues[r][1] = lo[r - 1], DialogFieldValues[r][2] = hi[r - 1];
  }
  DialogColumnWidths[0] = 100, DialogColumnWidths[1] = 78, DialogColumnWidths[2] = 78;
  ShowNumberGrid(25, 170, 3, 8, 2, 3);
  SetDialogOptions({" Fourier synthesis", " Show the peaks"}, 1);
  ShowRadioGroup(2, 1, 175, 60, 140, 20);
  SetDialogOptions({" Check Peaks <> Atoms and replace", " Make found peaks atomic coordinates"});
  ShowCheckListBox(30, 285, 270, 38);
  Form2.CheckListBox1.SetChecked(0, true);
  Form2.CheckListBox1.SetChecked(1, false);
  DialogEditLabel1 = " Sensitivity=";
  DialogEditText1 = FormatNumber(5, 2, f.threshold);
  ShowEditFields(50, 200, 332, 1, 70);
  NumberEdit(1);
  PlaceLabel(Form2.Label3, 50, 352, " Level from Max for analyzing peaks ", WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  FourierAction = std::clamp(Form2.RadioGroup2.itemIndex, 0, 1);
  LogOption = Form2.CheckListBox1.Checked(0) ? 1 : 0;
  MakeAtomsOption = Form2.CheckListBox1.Checked(1) ? 1 : 0;
  ch.source = std::clamp(Form2.RadioGroup1.itemIndex, 0, 4);
  if (FourierAction == 1) return true;
  for (int32_t r = 0; r < 3; ++r) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, r), ch.lo[r]);
    StrToFloatChecked(Form2.StringGrid1.Cell(1, r), ch.hi[r]);
  }
  StrToFloatChecked(Form2.Edit1.text, ch.sensitivity);
  bool finite = std::isfinite(ch.sensitivity);
  for (int32_t r = 0; r < 3; ++r) finite = finite && std::isfinite(ch.lo[r]) && std::isfinite(ch.hi[r]);
  // A field that is not a number ends the operation: the settings keep their values.
  if (DialogOk != 1 || !finite) {
    ShowMsg("Error, a bound or the sensitivity is not a number");
    DialogOk = 0;
    return false;
  }
  return true;
}

// The phase of several; 0 after Cancel.
int32_t AskPhase() {
  if (PhaseCount <= 1) return 1;
  DialogCaption = "3-dimensional Fourier synthesis";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 40, 10, " Select the phase ", WhiteColor, TextBackgroundColor);
  DialogOptions = PhaseChoice;
  DialogOptions.count = 4;
  DialogOptions.defaultItem = 1;
  ShowRadioGroup(1, 1, 50, 120, 200, 30);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  return std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 4);
}

// The requirement of the source; false after its message (or a file not read).
bool SourceReady(int32_t source, int32_t phase) {
  switch (source) {
    case 0:
      if (FitPending[0] != 0) return ShowMsg("No Rietveld fit performed"), false;
      return true;
    case 1:
    case 3:
      if (FitPending[2] != 0) return ShowMsg("No Powder Match performed"), false;
      return true;
    case 2:
      if (NoCrystalInfo != 0) return ShowMsg("No phase information available"), false;
      ReadStructureFactorFile();
      return DialogOk == 1;
    default:
      if (PhaseTable[phase].ReflectionCount <= 0) return ShowMsg("No HKLs for phase  for this phase"), false;
      return true;
  }
}

void AmplitudeSums(int32_t phase) {
  ObservedAmplitudeSum = CalculatedAmplitudeSum = 0;
  const int32_t base = PhaseParameterOffset(phase) + 10;
  const int32_t n = std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections);
  for (int32_t i = 1; i <= n; ++i) {
    if (base + i >= 1 && base + i <= MaxParameters) ObservedAmplitudeSum += std::sqrt(std::abs(parar[base + i].value));
    const THklRecord& r = HklTable[i][phase];
    CalculatedAmplitudeSum += std::sqrt(r.A * r.A + r.B * r.B);
  }
}

}  // namespace

void ReadStructureFactorRecords(TextFile& f) {
  FourierIndexList.clear();
  FourierTermCount = 0;
  double a[8] = {};
  while (!f.Eof()) {
    int32_t n = 0;
    ReadNumbers(f, 1, 7, n, a);
    if (n == 7) {
      int32_t h = 0, k = 0, l = 0;
      if (!RoundToInt32(a[1], h) || !RoundToInt32(a[2], k) || !RoundToInt32(a[3], l)) {
        // An index no integer holds: the file is refused whole.
        FourierIndexList.clear();
        ShowMsg("Error, an index beyond the integer range in " + f.Name() + "; nothing read");
        DialogOk = 0;
        return;
      }
      FourierIndexList.push_back({h, k, l, a[6], a[7]});
      continue;
    }
    // A "/" line, the end of the file, or an incomplete last record.
    if (n > 0) FourierNotes.push_back("Incomplete last record of " + std::to_string(n) + " numbers dropped");
    break;
  }
  FourierTermCount = static_cast<int32_t>(FourierIndexList.size());
}

void ReadStructureFactorFile() {
  DialogEditLabel1 = " Enter experimental str.factor file name ";
  std::string name;
  SetHelpLines(FourierMapHelp);
  AskFileName(name, 0);
  if (DialogOk != 1) return;
  TextFile f;
  f.Reset(name);
  ReadStructureFactorRecords(f);
  f.Close();
}

void OutputFourierResults() {
  if (FourierPeakCount <= 0) {
    ShowMsg("No Fourier synthesis peaks available");
    return;
  }
  DialogCaption = "   Output of Fourier results";
  PrepareDialog(450, 1, 430);
  SetHelpLines(FourierPeaksHelp);
  ListSavedFlag = 0;
  InfoLines.count = 0;
  AddInfoLine("   Peaks found by Fourier synthesis");
  AddInfoLine("");
  AddInfoLine("   N       X       Y       Z   Ampl.");
  for (int32_t i = 1; i <= std::min(FourierPeakCount, FourierPeakCapacity); ++i) {
    const TFourierPeak& p = FourierPeaks[i];
    AddInfoLine(FormatNumber(4, 0, i) + FormatNumber(8, 4, p.x) + FormatNumber(8, 4, p.y) + FormatNumber(8, 4, p.z) +
                FormatNumber(8, 2, p.amplitude));
  }
  ShowListBox(20, 5, 350, 360);
  ShowDialogModal();
}

void FourierSynthesis() {
  TChoice ch;
  if (!AskSynthesis(ch)) return;
  if (FourierAction == 1) return OutputFourierResults();
  int32_t n[3];
  int32_t fixed = 0;
  for (int32_t r = 0; r < 3; ++r) {
    n[r] = MapPoints;
    if (ch.lo[r] == ch.hi[r]) n[r] = 1, fixed = r + 1;
  }
  if (n[0] == 1 && n[1] == 1 && n[2] == 1) return ShowMsg("Error, 3 equal bound pairs");
  const int32_t phase = AskPhase();
  if (phase == 0) return;
  FourierNotes.clear();
  if (!SourceReady(ch.source, phase)) return;
  // Every check passed: the choice becomes the settings.
  TFourierSettings& f = FourierSettings;
  f.xLow = ch.lo[0], f.xHigh = ch.hi[0], f.yLow = ch.lo[1], f.yHigh = ch.hi[1], f.zLow = ch.lo[2], f.zHigh = ch.hi[2];
  f.xStep = (f.xHigh - f.xLow) / 30.0, f.yStep = (f.yHigh - f.yLow) / 30.0, f.zStep = (f.zHigh - f.zLow) / 30.0;
  f.threshold = ch.sensitivity;
  MapNX = n[0], MapNY = n[1], MapNZ = n[2], FixedAxis = fixed;
  if (ch.source == 3) AmplitudeSums(phase);
  if (ch.source == 0 || ch.source == 1 || ch.source == 3) UpdatePhasesFromParameters();
  LogLine(std::string(10, ' ') + "3-Dimensional Fourier Synthesis");
  LogLine("X,Y,Z range = " + FormatNumber(7, 3, f.xLow) + " - " + FormatNumber(7, 3, f.xHigh) + FormatNumber(9, 3, f.yLow) +
          " - " + FormatNumber(7, 3, f.yHigh) + FormatNumber(9, 3, f.zLow) + " - " + FormatNumber(7, 3, f.zHigh));
  int32_t terms = FourierTermCount;
  DialogOk = 1;
  ComputeFourierMap(terms, phase, ch.source);
  if (DialogOk != 1) {
    FourierIndexList.clear();
    return;
  }
  ShowFourierMap();
  SetHelpLines(FourierPeaksHelp);
  InfoLines.count = 0;
  for (const std::string& note : FourierNotes) AddInfoLine(note);
  FindMapPeaks(terms, phase);
  bool atoms = false;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) atoms = atoms || PhaseTable[p].AtomCount > 0;
  if (atoms && FourierPeakCount > 0) AssignPeaksToAtoms(phase);
  if (MakeAtomsOption != 0) PeaksToAtomCoordinates(phase);
  BeginDialog(0);
  ShowListBox(0, 5, 310, 360);
  FourierIndexList.clear();
  FourierTermCount = 0;
  ShowDialogModal();
}
