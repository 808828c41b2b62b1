#include "crystal/form_hkl.h"
#include <algorithm>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/reflection_lists.h"

namespace {

// The values the dialog proposes when no d range is stored (angstrom).
constexpr double ShownDMinWhenZero = 0.75;
constexpr double ShownDMaxWhenZero = 20.0;

// The dialog; false after Cancel. ticked[p] := the phase's tick.
bool AskFormHkl(int32_t phases, double& dmin, double& dmax, bool (&ticked)[MaxPhases + 1]) {
  DialogCaption = "Form hkl";
  SetHelpLines(HklRangeHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 20, "Select the symmetry", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  DialogOptions.captions[1] = "Use the actual symmetry";
  DialogOptions.captions[2] = "Use the triclinic symmetry";
  DialogOptions.count = 2;
  DialogOptions.defaultItem = std::clamp(HklSymmetryChoice, 0, 1) + 1;
  ShowRadioGroup(1, 1, 20, 70, 300, 40);

  DialogColumnWidths[0] = 100;
  DialogColumnWidths[1] = 70;
  DialogFieldLabels[1] = "dmin =";
  DialogFieldLabels[2] = "dmax =";
  DialogFieldValues[1][1] = DMin == 0 ? ShownDMinWhenZero : DMin;
  DialogFieldValues[2][1] = DMax == 0 ? ShownDMaxWhenZero : DMax;
  ShowNumberGrid(20, 160, 2, 8, 1, 2);
  if (const TSpectrum* s = SpectrumList[1].get())
    PlaceLabel(Form2.Label2, 200, 160, FormatNumber(8, 0, s->WorkFirst) + "  -  " + FormatNumber(8, 0, s->WorkLast),
               AquaColor, TextBackgroundColor);
  ShowBevel(5, 120, 325, 1, 100);
  PlaceLabel(Form2.Label3, 10, 140, " hkl forming in d-range" + std::string(24, ' ') + "channels", WhiteColor,
             TextBackgroundColor);
  PlaceLabel(Form2.Label4, 10, 240, " hkl forming for the phases: ", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (int32_t p = 1; p <= phases; ++p) DialogOptions.captions[static_cast<size_t>(p)] = "   Phase " + std::to_string(p);
  DialogOptions.count = phases;
  ShowCheckListBox(60, 258, 200, 18 * phases);
  for (int32_t p = 1; p <= phases; ++p) Form2.CheckListBox1.SetChecked(p - 1, true);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  HklSymmetryChoice = std::clamp(Form2.RadioGroup1.itemIndex, 0, 1);
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 0), dmin);
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 1), dmax);
  for (int32_t p = 1; p <= phases; ++p) ticked[p] = Form2.CheckListBox1.Checked(p - 1);
  return DialogOk == 1;
}

}  // namespace

void FormHklSet() {
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  // A phase whose user declined to form it without atoms keeps its atom count 0 and its list.
  bool declined[MaxPhases + 1] = {};
  for (int32_t p = 1; p <= phases; ++p) {
    if (PhaseTable[p].AtomCount > 0) continue;
    if (Ui().AskYesNo("No atomic information for phase " + std::to_string(p) + ". Still form?", MsgKind::Warning)) {
      PhaseTable[p].AtomCount = 1;
      ResetAtom(p);  // atom 1 of phase p
    } else {
      declined[p] = true;
    }
  }
  DefaultHklDRange();

  double dmin = 0, dmax = 0;
  bool ticked[MaxPhases + 1] = {};
  if (!AskFormHkl(phases, dmin, dmax, ticked)) return;
  for (int32_t p = 1; p <= phases; ++p) ticked[p] = ticked[p] && !declined[p];
  if (!FormHklLists(dmin, dmax, ticked)) {
    DialogOk = 0;
    return;
  }

  FormHklsOfPhases(1);
  BeginDialog(1);
  ShowListBox(5, 160, 330, 150);
  ShowDialogModal();
  SetParametersPending(5, 1);  // Rietveld and powder match
}
