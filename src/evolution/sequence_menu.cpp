// The menu of the phase-evolution module, its side values and the spectrum-sequence input.
#include <algorithm>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/help_texts.h"
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/parameter_editor.h"
#include "evolution/sequence_driver.h"
#include "evolution/trevo_state.h"

namespace {

constexpr int32_t FitraEntry = 3;
const char* const MenuRows[5] = {"a11   a22", "compr  PRFscale", "sens  res", "Width0  Width1", "Regulizer  dback"};

// Reads cell (col, row) of the value grid (1-based); false, with DialogOk 0, for a non-number.
bool GridValue(int32_t row, int32_t col, double& v) {
  StrToFloatChecked(Form2.StringGrid1.Cell(col - 1, row - 1), v);
  if (!std::isfinite(v)) DialogOk = 0;
  return DialogOk == 1;
}

// The menu dialog; false after Cancel. item := the chosen item (1..7).
bool ShowTrevoMenu(int32_t preselection, int32_t& item) {
  SetHelpLines(TrevoHelp);
  BeginDialog(1);
  SetDialogOptions({"Enter the Spectrum Sequence", "Analyze the Spectrum Sequence", "View the Spectrum Sequence",
                    "Display the evolution", "   Show and Edit Info", "Info about Parameters", "Quit"},
                   preselection);
  ShowRadioGroup(1, 1, 10, 170, 250, 10);
  const TSideValues s = CurrentSideValues();
  const double values[5][2] = {{s.a11, s.a22}, {s.compr, s.prf}, {s.sens, s.res}, {s.w0, s.w1}, {s.regulizer, s.dback}};
  for (int32_t r = 1; r <= 5; ++r) {
    DialogFieldLabels[r] = MenuRows[r - 1];
    DialogFieldValues[r][1] = values[r - 1][0], DialogFieldValues[r][2] = values[r - 1][1];
  }
  DialogColumnWidths[0] = 150, DialogColumnWidths[1] = 70, DialogColumnWidths[2] = 70;
  ShowNumberGrid(10, 190, 5, 8, 2, 5);
  SetDialogOptions({"Use the Simple Analysis", "Use the FITRA fitting", "Use the Rietveld fitting"},
                   std::clamp(TrevoMode, 0, 2) + 1);
  ShowComboBox(10, 330, 250);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  item = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 7);
  // Every field is read before anything is stored: the left column, then the right one.
  TSideValues v = s;
  double* left[5] = {&v.a11, &v.compr, &v.sens, &v.w0, &v.regulizer};
  double* right[5] = {&v.a22, &v.prf, &v.res, &v.w1, &v.dback};
  for (int32_t r = 1; r <= 5; ++r)
    if (!GridValue(r, 1, *left[r - 1])) return false;
  for (int32_t r = 1; r <= 5; ++r)
    if (!GridValue(r, 2, *right[r - 1])) return false;
  const int32_t mode = std::clamp(Form2.ComboBox1.itemIndex, 0, 2);
  StoreSideValues(v, false);
  TrevoMode = mode;
  MainMode = TrevoMode == 2 ? 0 : 3;
  return true;
}

// "Spectrum input"; false after Cancel.
bool EnterSpectrumSequence() {
  DialogCaption = "Spectrum input";
  BeginDialog(0);
  DialogEditLabel1 = "Enter the list of spectrum names";
  DialogEditText1 = SequenceListName;
  DialogEditLabel2 = "Enter the folder name";
  DialogEditText2 = SpectrumDir;
  DialogEditLabel3 = "Enter the mode sp or sp/var";
  DialogEditText3 = std::to_string(SpectraOnlySequence);
  ShowEditFields(10, 230, 20, 3, 170);
  NumberEdit(3);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double mode = 0;
  StrToFloatChecked(Form2.Edit3.text, mode);
  if (DialogOk != 1 || !std::isfinite(mode)) {
    DialogOk = 0;
    return false;
  }
  SequenceListName = Form2.Edit1.text.substr(0, TrevoNameLength);
  SpectrumDir = Form2.Edit2.text;
  SpectraOnlySequence = RoundHalfEven(mode) == 0 ? 0 : 1;
  TextFile f;
  ReadSpectrumSequence(f, SequenceListName, SequenceCount, SpectraOnlySequence == 0 ? 1 : 0);
  return true;
}

}  // namespace

TSideValues CurrentSideValues() {
  TSideValues v;
  v.compr = compr, v.prf = PRFscale, v.sens = PeakSensitivity, v.res = PeakResolution, v.regulizer = Regulizer;
  v.dw0 = DeltaW0[1], v.dw1 = DeltaW1[1];
  if (const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum)) {
    v.a11 = sp->WorkFirst, v.a22 = std::min(sp->WorkLast, sp->LastChannel);
    v.w0 = sp->W0, v.w1 = sp->W1, v.dback = sp->BackgroundDegree;
  }
  return v;
}

double MenuPrfScale(double v) {
  const double r = std::nearbyint(v);
  return r < 0.01 ? 1.0 : r;
}

bool StoreSideValues(const TSideValues& v, bool withWidthSteps) {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return false;
  const int32_t first = RoundHalfEven(std::clamp(v.a11, -1e9, 1e9));
  const int32_t last = std::min(RoundHalfEven(std::clamp(v.a22, -1e9, 1e9)), sp->LastChannel);
  if (first >= last || first < 1) {
    ShowMsg("Error, the first working channel must lie below the last one");
    return false;
  }
  // Stored into the spectrum the grid showed: the analysis works on the current spectrum.
  sp->WorkFirst = first;
  sp->WorkLast = last;
  compr = v.compr;
  PRFscale = MenuPrfScale(v.prf);
  PeakSensitivity = v.sens;
  PeakResolution = v.res;
  sp->W0 = v.w0;
  sp->W1 = v.w1;
  Regulizer = v.regulizer;
  sp->BackgroundDegree = RoundHalfEven(std::clamp(v.dback, -1e9, 1e9));
  BackgroundMode = sp->BackgroundDegree == 6 ? 1 : 0;
  if (withWidthSteps) DeltaW0[1] = v.dw0, DeltaW1[1] = v.dw1;
  return true;
}

void TrevoMain() {
  // Quit (and a step display) clears the Fitra flag that the module's own analyses set, not that
  // of a Fitra fit made before: those results are still unsaved, however the module is left.
  struct KeepFitraFlag {
    uint8_t before;
    ~KeepFitraFlag() {
      if (before != 0) ResultsUnsaved[FitraEntry] = 1;
    }
  } keep{ResultsUnsaved[FitraEntry]};
  int32_t preselection = 2;
  if (TrevoAutoRun) Form2ClickMode = 4;
  EvolutionChoices = {};
  MaxPeaksFound = 0;
  DialogCaption = "TREVO Input";
  for (;;) {
    int32_t item = 0;
    if (!ShowTrevoMenu(preselection, item)) return;
    switch (item) {
      case 1:
        if (!EnterSpectrumSequence()) return;
        preselection = 2;
        break;
      case 2:
        if (!AnalyzeSpectrumSequence()) return;
        preselection = TrevoAutoRun ? 7 : 4;
        break;
      case 3: {
        LogLine("");
        LogLine("            VIEW THE SPECTRUM SEQUENCE");
        LogLine("");
        int32_t count = SequenceCount;
        ViewSpectrumSequence(count);
        preselection = 1;
        break;
      }
      case 4:
        DisplayEvolution();
        preselection = 4;
        break;
      case 5: EditTrevoAuxData(); break;
      case 6: EditParameterArray(); break;
      default:
        ResultsUnsaved[FitraEntry] = 0;
        Form2.Close();
        return;
    }
  }
}
