#include "crystal/phase_editor.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/space_groups.h"
#include "core/text_file.h"
#include "crystal/group_file.h"
#include "crystal/space_group_entry.h"

int32_t EditedPhase = 0;

namespace {

// The items of the first dialog's check list, and the source flags they set (0-based).
enum SourceItem : int32_t { MagneticItem = 0, FileItem = 1, ScreenItem = 2, DataBaseItem = 3 };

constexpr int32_t GroupFieldWidth = 8;
constexpr int32_t CellFieldWidth = 10;
// Largest group number taken from the dialog (the table's number field has four columns).
constexpr double MaxGroupNumber = 9999;

// Clears EditedPhase however the editor ends.
struct EditedPhaseGuard {
  ~EditedPhaseGuard() { EditedPhase = 0; }
};

// Value-grid row `row` (1-based) as a number: a cell whose text the user left as shown keeps the
// value it showed bit for bit; another text is read with StrToFloatChecked.
double GridValue(int32_t row, int32_t fieldWidth) {
  std::string text = Form2.StringGrid1.Cell(0, row - 1), shown = GridCellText(fieldWidth, DialogFieldValues[row][1]);
  DeleteSpaces(text);
  DeleteSpaces(shown);
  if (text == shown) return DialogFieldValues[row][1];
  double v = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, row - 1), v);
  return v;
}

// Numeric-grid rows 1..n from labels and values; caption column 180, value column w.
void FillGrid(int32_t n, const char* const* labels, const double* values, int32_t valueWidth) {
  FillValueColumn(n, labels, values, 180, valueWidth);
}

std::string PhaseText(int32_t p) { return "phase " + std::to_string(p) + " "; }

// The first dialog of phase p. Returns false when the editor ends (Cancel or a refusal).
bool AskPhaseGroup(int32_t p, int32_t mode) {
  LATTICE& ph = PhaseTable[p];
  DialogCaption = "Phase information";
  BeginDialog(1);
  const bool full = mode != 1;
  if (full) {
    std::string hint = " Specify the unit cell info";
    if (PhaseCount > 1) hint += " for phase " + std::to_string(p) + " ";
    PlaceLabel(Form2.Label1, 5, 5, hint, WhiteColor, TextBackgroundColor);
    const char* labels[2] = {"Space group number =", "Setting ="};
    const double values[2] = {double(ph.SpaceGroup), double(MaxI(ph.Setting, 1))};
    FillGrid(2, labels, values, 70);
    ShowNumberGrid(5, 30, 2, GroupFieldWidth, 1, 2);
    PlaceLabel(Form2.Label2, 30, 275, " See Help for non-standard group", WhiteColor, TextBackgroundColor);
    DialogOptions = LREC{};
    DialogOptions.captions[1] = p == 1 ? "" : " The phase is MAGNETIC ";
    DialogOptions.captions[2] = std::string(" Non-standard space group from ") + "a file ";
    DialogOptions.captions[3] = std::string(" Non-standard space group from ") + "the screen ";
    DialogOptions.captions[4] = std::string(" Non-standard space group from ") + "a data base";
    DialogOptions.count = 4;
    ShowCheckListBox(6, 300, 318, 68);
    for (int32_t i = 0; i < 4; ++i) Form2.CheckListBox1.SetChecked(i, ph.SourceFlags[i] != 0);
  }
  // The crystallographic buttons (their handlers read the grid and EditedPhase).
  PlaceButton(Form2.Button16, 70, 95, "Show the symmetries", 20, 175);
  PlaceButton(Form2.Button10, 70, 115, "Show the Space Group", 20, 175);
  PlaceButton(Form2.Button11, 70, 135, "Find the Space Group", 20, 175);
  PlaceButton(Form2.Button13, 70, 155, "Show space group names", 20, 175);
  PlaceLabel(Form2.Label3, 5, 210, " Select lattice type ", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (int32_t t = 0; t < 7; ++t) DialogOptions.captions[t + 1] = std::string(" Type ") + LatticeTypeLetters[t];
  DialogOptions.count = 7;
  DialogOptions.defaultItem = std::clamp(ph.LatticeType, 0, 6) + 1;
  ShowRadioGroup(1, 2, 180, 72, 230, 200);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  const int32_t chosenType = std::clamp(Form2.RadioGroup1.itemIndex, 0, 6);
  if (!full) {
    // The d-spacing simulation forms reflections with the lattice type chosen here.
    ph.LatticeType = chosenType;
    return true;
  }

  bool ticks[4];
  for (int32_t i = 0; i < 4; ++i) ticks[i] = Form2.CheckListBox1.Checked(i);
  double number = 0, setting = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 0), number);
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 1), setting);
  // 0 is an empty field, 1.001 one that is not a number.
  const double s = std::isfinite(setting) ? std::nearbyint(setting) : 0;
  if (setting == 0 || setting == 1.001 || (s != 1 && s != 2)) {
    ShowMsg("Wrong setting");
    DialogOk = 0;
    return false;
  }
  if (number == 0 || number == 1.001 || !(number >= 1 && number <= MaxGroupNumber)) {
    ShowMsg("Error, wrong space group");
    DialogOk = 0;
    return false;
  }
  ph.SpaceGroup = RoundHalfEven(number);
  ph.Setting = static_cast<int32_t>(s);
  DialogOk = 1;
  ph.CrystalSystem = CrystalSystemOfGroup(ph.SpaceGroup, ph.Setting);
  PhaseModelFlags[p] = ticks[MagneticItem] ? 1 : 0;
  for (int32_t i = 0; i < 4; ++i) ph.SourceFlags[i] = ticks[i] ? 1 : 0;

  // The first source ticked builds the group. The screen and file builders set no symbols: the
  // previous group's would otherwise choose the lattice type below.
  const bool nonStandard = ticks[FileItem] || ticks[ScreenItem] || ticks[DataBaseItem];
  if (ticks[DataBaseItem]) {
    NameNonStandardGroup(p);
  } else if (ticks[ScreenItem]) {
    ph.Schoenflies.clear();
    ph.HermannMauguin.clear();
    EnterNonStandardGroup(p);
  } else if (ticks[FileItem]) {
    ph.Schoenflies.clear();
    ph.HermannMauguin.clear();
    ReadNonStandardGroup(p, 0);
  } else {
    ExpandSpaceGroup(p);
  }
  if (DialogOk == 0) return false;

  ph.LatticeType = chosenType;
  if (!ph.HermannMauguin.empty()) {
    const size_t t = LatticeTypeLetters.find(ph.HermannMauguin[0]);
    if (t != std::string::npos) ph.LatticeType = static_cast<int32_t>(t);
  }
  if (!nonStandard) CheckSecondSetting(p);
  return true;
}

// The cell dialog of phase p; false when the editor ends.
bool AskCell(int32_t p) {
  LATTICE& ph = PhaseTable[p];
  const int32_t system = std::clamp(ph.CrystalSystem, 1, 7);
  SetSystemAngles(ph.Cell[3], ph.Cell[4], ph.Cell[5], system);
  DialogCaption = "Check lattice information";
  BeginDialog(1);
  std::string name = CrystalSystemRow(system).name;
  PlaceLabel(Form2.Label1, 5, 20, "Enter " + name.substr(0, 18) + " cell parameters, " + PhaseText(p), WhiteColor,
             TextBackgroundColor);
  const double* c = ph.Cell;
  const bool gammaRow = ph.Setting == 1;  // monoclinic setting 1: unique axis c
  const auto angle = [c](int32_t i) { return c[i] == 0 ? 90.0 : c[i]; };
  const char* labels[6] = {" A (Angs) ="};
  double values[6] = {c[0]};
  int32_t n = 1;
  const auto row = [&](const char* label, double v) {
    labels[n] = label;
    values[n++] = v;
  };
  switch (system) {
    case 1:
      row(" B (Angs) =", c[1]), row(" C (Angs) =", c[2]);
      row(" alpha (Deg) =", angle(3)), row(" beta (Deg) =", angle(4)), row(" gamma (Deg) =", angle(5));
      break;
    case 2:
      row(" B (Angs) =", c[1]), row(" C (Angs) =", c[2]);
      gammaRow ? row(" gamma (Deg) =", c[5]) : row(" beta (Deg) =", c[4]);
      break;
    case 3: row(" B (Angs) =", c[1]), row(" C (Angs) =", c[2]); break;
    case 4: case 6: row(" C (Angs) =", c[2]); break;
    case 7: row(" alpha (Deg) =", c[3]); break;
    default: break;
  }
  FillGrid(n, labels, values, 80);
  ShowNumberGrid(5, 50, n, CellFieldWidth, 1, n);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  double v[6] = {};
  for (int32_t i = 0; i < n; ++i) v[i] = GridValue(i + 1, CellFieldWidth);
  const bool numbers = DialogOk == 1;
  double cell[6];
  std::copy(c, c + 6, cell);
  switch (system) {
    case 1: std::copy(v, v + 6, cell); break;
    case 2:
      std::copy(v, v + 3, cell);
      cell[gammaRow ? 5 : 4] = v[3];
      cell[gammaRow ? 4 : 5] = 90;
      break;
    case 3: std::copy(v, v + 3, cell); break;
    case 4: case 6: cell[0] = cell[1] = v[0], cell[2] = v[1]; break;
    case 5: cell[0] = cell[1] = cell[2] = v[0]; break;
    case 7: cell[0] = cell[1] = cell[2] = v[0], cell[3] = cell[4] = cell[5] = v[1]; break;
    default: break;
  }
  SetSystemAngles(cell[3], cell[4], cell[5], system);
  // Edges positive, angles inside (0, 180) and together forming a cell: 57.29578 degrees per
  // radian leaves a flat cell (120, 120, 120) a volume of about 3e-4 abc.
  bool good = numbers;
  for (int32_t i = 0; i < 3; ++i) good = good && std::isfinite(cell[i]) && cell[i] > 0;
  for (int32_t i = 3; i < 6; ++i) good = good && cell[i] > 0 && cell[i] < 180;
  const double volume = good ? CellVolume(cell) : 0;
  if (!good || !std::isfinite(volume) || !(volume > 1e-3 * cell[0] * cell[1] * cell[2])) {
    ShowMsg("Wrong unit cell parameters");
    DialogOk = 0;
    return false;
  }
  // A group read from a file is checked against the cell it is given here.
  const bool fromFile = ph.SourceFlags[FileItem] && !ph.SourceFlags[ScreenItem] && !ph.SourceFlags[DataBaseItem];
  if (const int32_t broken = fromFile ? MetricBrokenBy(ph, cell) : 0; broken != 0) {
    ShowMetricBroken(broken);
    DialogOk = 0;
    return false;
  }
  std::copy(cell, cell + 6, ph.Cell);
  std::copy(cell, cell + 6, ph.PreviousCell);
  ph.Volume = ph.PreviousVolume = volume;
  CellMetric(ph.Cell, ph.ReciprocalCell, ph.ReciprocalVolume, 0);
  PhaseMetric(p);
  return true;
}

// The moment-direction dialog of magnetic phase p; false when the editor ends.
bool AskMomentAngles(int32_t p) {
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 20, "Set mag.moment angles, " + PhaseText(p), WhiteColor, TextBackgroundColor);
  MomentAxisAngles(p, 0);
  const char* labels[3] = {"Phi_a (deg) = ", "Phi_b (deg) = ", "Phi_c (deg) = "};
  FillGrid(3, labels, &DialogNumbers[1], 80);
  ShowNumberGrid(5, 50, 3, CellFieldWidth, 1, 3);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double phi[3];
  for (int32_t i = 0; i < 3; ++i) phi[i] = GridValue(i + 1, CellFieldWidth);
  if (DialogOk != 1) return false;  // a field that is not a number
  for (int32_t i = 0; i < 3; ++i) DialogNumbers[i + 1] = phi[i];
  if (std::fabs(phi[0]) + std::fabs(phi[1]) + std::fabs(phi[2]) == 0) ShowMsg("Mag.moment=0");
  SetCellCosines(p);
  return true;
}

void LogCell(int32_t p) {
  const LATTICE& ph = PhaseTable[p];
  LogLine("Phase " + FormatInteger(p, 1) + ":  Space group= " + FormatInteger(ph.SpaceGroup, 3) +
          "  Setting= " + FormatInteger(ph.Setting, 1) + " Volume= " + FormatNumber(7, 1, ph.Volume));
  std::string line = std::string(CrystalSystemRow(ph.CrystalSystem).name) + " cell =";
  for (int32_t i = 0; i < 3; ++i) line += FormatNumber(9, 4, ph.Cell[i]);
  for (int32_t i = 3; i < 6; ++i) line += FormatNumber(7, 2, ph.Cell[i]);
  LogLine(line);
}

// The dialogs of phase p on the phase record itself; false when the editor ends.
bool EditPhase(int32_t p, int32_t mode) {
  if (!AskPhaseGroup(p, mode)) return false;
  if (mode == 2) return true;
  if (!AskCell(p)) return false;
  if (PhaseModelFlags[p] == 1 && !AskMomentAngles(p)) return false;
  LATTICE& ph = PhaseTable[p];
  std::copy(ph.Cell, ph.Cell + 3, ph.IndexNormalisers);
  LogCell(p);
  return true;
}

}  // namespace

void EditPhaseInfo(int32_t mode) {
  EditedPhaseGuard guard;
  SetHelpLines(UnitCellHelp);
  const int32_t phases = std::clamp(PhaseCount, 1, MaxPhases);
  bool changed = false;
  for (int32_t p = 1; p <= phases; ++p) {
    // The phase in hand is written back as it was unless all its dialogs succeed.
    const LATTICE saved = PhaseTable[p];
    const int32_t savedFlag = PhaseModelFlags[p];
    EditedPhase = p;
    if (!EditPhase(p, mode)) {
      PhaseTable[p] = saved;
      PhaseModelFlags[p] = savedFlag;
      DialogOk = 0;
      // The phases finished before keep their new data: their parameters must be set again.
      if (changed && mode != 2) SetParametersPending(7, 1);
      return;
    }
    changed = true;
  }
  if (mode != 2) SetParametersPending(7, 1);
  NoCrystalInfo = 0;
  DialogOk = 1;
}

void SetCellCosines(int32_t p) {
  if (!TableIndexOk(p, 1, MaxPhases, "phase")) return;
  LATTICE& ph = PhaseTable[p];
  double* x = ph.MomentDirection;
  if (ph.CrystalSystem == 5) {
    x[0] = 0, x[1] = 0, x[2] = 1;
    return;
  }
  // Projections on the reciprocal axes: m . a* = a* cos Phi_a ...; a right angle (its cosine
  // below 1e-6, as 90 / RadToDeg leaves 1.3e-8) projects nothing.
  double u[3];
  for (int32_t i = 0; i < 3; ++i) {
    const double cosine = std::cos(DialogNumbers[i + 1] / RadToDeg);
    u[i] = std::fabs(cosine) < 1e-6 ? 0.0 : ph.ReciprocalCell[i] * cosine;
  }
  // x = G u, G the direct metric: the coefficients of m on a*, b*, c*.
  const double* c = ph.Cell;
  const double ca = std::cos(c[3] / RadToDeg), cb = std::cos(c[4] / RadToDeg), cg = std::cos(c[5] / RadToDeg);
  const double g[3][3] = {{c[0] * c[0], c[0] * c[1] * cg, c[0] * c[2] * cb},
                          {c[0] * c[1] * cg, c[1] * c[1], c[1] * c[2] * ca},
                          {c[0] * c[2] * cb, c[1] * c[2] * ca, c[2] * c[2]}};
  double v[3], largest = 0;
  for (int32_t i = 0; i < 3; ++i) {
    v[i] = g[i][0] * u[0] + g[i][1] * u[1] + g[i][2] * u[2];
    largest = MaxD(largest, std::fabs(v[i]));
  }
  for (int32_t i = 0; i < 3; ++i) {
    const double r = largest > 0 && std::isfinite(largest) ? v[i] / largest : 0.0;
    x[i] = std::fabs(r) < 1e-6 ? 0.0 : r;
  }
}

void CheckSecondSetting(int32_t p) {
  if (!TableIndexOk(p, 1, MaxPhases, "phase")) {
    DialogOk = 0;
    return;
  }
  LATTICE& ph = PhaseTable[p];
  const int32_t number = ph.SpaceGroup;
  const int32_t system = CrystalSystemOfGroup(number, ph.Setting);
  if (!InRange(number, 143, 194)) ph.CrystalSystem = system;
  if (ph.Setting == 2 &&
      std::find(SecondSettingGroups.begin(), SecondSettingGroups.end(), number) == SecondSettingGroups.end()) {
    ShowMsg("No 2nd setting for " + std::to_string(number));
    DialogOk = 0;
    ph.Setting = 1;
    return;
  }
  const int32_t type = ph.LatticeType;
  const char letter = InRange(type, 0, 6) ? LatticeTypeLetters[static_cast<size_t>(type)] : '?';
  // An R group on hexagonal axes (setting 2) is hexagonal with the R centring.
  const bool hexagonalR = ph.CrystalSystem == 6 && type == 6 && ph.Setting == 2 &&
                          CrystalSystemOfGroup(number, 1) == 7;
  const bool allowed = BravaisTypeAllowed(ph.CrystalSystem, type) || hexagonalR;
  if (!allowed || ph.HermannMauguin.find(letter) == std::string::npos)
    ShowMsg("Check: is Bravais type really " + std::string(1, letter) + LineBreak + " the simmetry formula= " +
            ph.HermannMauguin);
}
