#include "crystal/crystal_menu.h"
#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/elements.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/space_groups.h"
#include "core/spectrum.h"
#include "crystal/atom_editor.h"
#include "crystal/form_hkl.h"
#include "crystal/hkl_file.h"
#include "crystal/phase_editor.h"
#include "crystal/reflection_lists.h"
#include "core/spectra_utilities.h"

namespace {

constexpr int32_t MenuItems = 8;
constexpr int32_t ExitItem = 6;
// Aluminium, Fm-3m (225), a = 4.0494 angstrom.
constexpr int32_t AluminiumGroup = 225;
constexpr double AluminiumEdge = 4.0494;
constexpr int32_t CubicSystem = 5;

// The status line: the missing spectrum and the switch to Rietveld mode.
std::string MenuStatus() {
  std::string status;
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  const bool present = sp && sp->Present != 0;
  if (!present) status = "No Spectrum " + std::to_string(CurrentSpectrum);
  if (MainMode != 0 && MainMode != 2) {
    MainMode = 0;
    status += "    Rietveld mode is set";
  }
  return status;
}

// The menu once; the chosen item, or 0 after Cancel.
int32_t AskMenuItem(int32_t preselected, const std::string& status) {
  static const std::array<const char*, MenuItems + 1> captions = {
      "",
      "   Set the number of phases",
      "Enter the PHASE information",
      "Enter the ATOMIC information",
      "Form the HKL set",
      "Input the hkl set from a file",
      "Exit ",
      "   Simulate atomic information",
      "   Add the aluminium phase"};
  DialogCaption = "Enter the Crystal Information";
  SetHelpLines(CrystalInfoHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 30, OptionPrompts[1], WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (int32_t i = 1; i <= MenuItems; ++i) DialogOptions.captions[static_cast<size_t>(i)] = captions[static_cast<size_t>(i)];
  if (MainMode == 2) DialogOptions.captions[3] = " ";  // powder match has no atoms
  DialogOptions.count = MenuItems;
  DialogOptions.defaultItem = preselected;
  ShowRadioGroup(1, 1, 20, 220, 300, 52);
  if (!status.empty()) PlaceLabel(Form2.Label2, 5, 280, status, BlueColor, WhiteColor);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  return Form2.RadioGroup1.itemIndex + 1;
}

// A new phase of aluminium with two atoms and its reflection list. The second atom at
// (1/2, 1/2, 0) repeats the first through the F centring; the doubled structure factor goes into
// the scale.
void AddAluminiumPhase() {
  if (PhaseCount >= MaxPhases) {
    ShowMsg("Error, " + std::to_string(MaxPhases) + " phases in use: no room for the aluminium phase");
    DialogOk = 0;
    return;
  }
  const int32_t q = std::max(PhaseCount, 0) + 1;
  PhaseCount = q;
  LATTICE& p = PhaseTable[q];
  p.SpaceGroup = AluminiumGroup;
  p.Setting = 1;
  ExpandSpaceGroup(q);
  for (int32_t i = 0; i < 3; ++i) {
    p.Cell[i] = AluminiumEdge;
    p.Cell[i + 3] = 90;
  }
  std::copy(p.Cell, p.Cell + 6, p.PreviousCell);
  p.Volume = CellVolume(p.Cell);
  p.PreviousVolume = p.Volume;
  p.CrystalSystem = CubicSystem;
  CellMetric(p.Cell, p.ReciprocalCell, p.ReciprocalVolume, 0);
  PhaseMetric(q);
  if (AnisotropyOn) AnisotropicPhases[q] = 1;
  // A group from the table and no moments, whatever the slot held before.
  PhaseModelFlags[q] = 0;
  std::fill(std::begin(p.SourceFlags), std::end(p.SourceFlags), uint8_t{0});
  NoCrystalInfo = 0;

  const double positions[2][3] = {{0, 0, 0}, {0.5, 0.5, 0}};
  p.AtomCount = 2;
  for (int32_t a = 1; a <= 2; ++a) {
    ResetAtom(MaxPhases * (a - 1) + q);
    ATOM& atom = AtomTable[a][q];
    atom.ScatteringLength = 0;  // FindElement then gives aluminium's
    atom.X = positions[a - 1][0];
    atom.Y = positions[a - 1][1];
    atom.Z = positions[a - 1][2];
    atom.Occupation = 1.0;
    uint8_t found = 0;
    FindElement("AL", q, a, found);
  }
  DRangeToChannels(DMin, DMax);
  FormSymmetricHklList(q, DMin, DMax);
  FormHklsOfPhases(1);
  // A new phase changes the layout of the Rietveld, indexing and powder-match arrays.
  SetParametersPending(7, 1);
}

}  // namespace

void EnterCrystalInfo() {
  const std::string status = MenuStatus();
  int32_t item = 2;
  while (true) {
    const int32_t choice = AskMenuItem(item, status);
    switch (choice) {
      case 1:
        AskNumberOfPhases();
        item = 2;
        break;
      case 2:
        EditPhaseInfo(0);
        item = DialogOk == 1 ? 3 : 2;
        break;
      case 3:
        if (MainMode != 2) EditAtomList(0);
        item = DialogOk == 1 ? 4 : 3;
        break;
      case 4:
      case 5:
        if (NoCrystalInfo != 0) {
          ShowMsg("First enter phase information");
          item = 2;
          break;
        }
        choice == 4 ? FormHklSet() : InputHklFile();
        item = ExitItem;
        break;
      case 7:
        EditAtomList(1);
        item = DialogOk == 1 ? 4 : ExitItem;
        break;
      case 8:
        AddAluminiumPhase();
        break;
      default:  // "Exit " or Cancel
        return;
    }
  }
}
