#include "indexing/indexing_preparation.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/neighbour_services.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/phase_editor.h"
#include "crystal/reflection_lists.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"

namespace {

constexpr int32_t IndexingModeIndex = 1;  // MainMode of the powder indexing
constexpr double IndexLimit = 1 << 18;    // typed and automatic hkl bounds are held to this
constexpr const char* TooManyPhases = "Too many phases for indexing: at most 4";

// What a refused preparation puts back.
struct Snapshot {
  std::vector<LATTICE> phases;
  std::vector<THklRecord> hkls;
  std::vector<ParameterRecord> records;
  int32_t bounds[MaxPhases + 1][5];
  double volumes[MaxPhases + 1], minimizers[MaxPhases + 1];
  std::vector<ParameterRecord> fitRecords;
  int32_t fitNPar = 0, fitNPoints = 0, fitNTries = 0;

  Snapshot() {
    phases.assign(PhaseTable, PhaseTable + MaxPhases + 1);
    hkls.assign(&HklTable[0][0], &HklTable[0][0] + (MaxReflections + 1) * (MaxPhases + 1));
    records.assign(parar, parar + IndexingRecordCapacity + 1);
    std::copy(&HklBounds[0][0], &HklBounds[0][0] + (MaxPhases + 1) * 5, &bounds[0][0]);
    std::copy(CellVolumes, CellVolumes + MaxPhases + 1, volumes);
    std::copy(VolumeMinimizers, VolumeMinimizers + MaxPhases + 1, minimizers);
    if (const TAULSM* fit = CelixFitter.get()) {
      fitRecords = fit->Records;
      fitNPar = fit->NPar, fitNPoints = fit->NPoints, fitNTries = fit->NTries;
    }
  }
  void Restore() const {
    std::copy(phases.begin(), phases.end(), PhaseTable);
    std::copy(hkls.begin(), hkls.end(), &HklTable[0][0]);
    std::copy(records.begin(), records.end(), parar);
    std::copy(&bounds[0][0], &bounds[0][0] + (MaxPhases + 1) * 5, &HklBounds[0][0]);
    std::copy(volumes, volumes + MaxPhases + 1, CellVolumes);
    std::copy(minimizers, minimizers + MaxPhases + 1, VolumeMinimizers);
    if (TAULSM* fit = CelixFitter.get(); fit && !fitRecords.empty()) {
      fit->Records = fitRecords;
      fit->NPar = fitNPar, fit->NPoints = fitNPoints, fit->NTries = fitNTries;
    }
  }
};

// Set by a refusal of the preparation (not by a Cancel): the tables go back as they were.
bool refused = false;

bool Refuse(const std::string& text) {
  ShowMsg(text);
  refused = true;
  return false;
}

int32_t Lines() { return std::clamp(DSpacingCount, 0, MaxDSpacings); }

bool AllAbscissaeZero() {
  double sum = 0;
  for (int32_t i = 1; i <= Lines(); ++i) sum += std::fabs(DSpacingList[i].X);
  return sum == 0;
}

// Free cell parameters of a crystal system.
int32_t SystemParameters(int32_t system) {
  static const int32_t n[8] = {6, 6, 4, 3, 2, 1, 2, 2};
  return n[std::clamp(system, 1, 7)];
}

int32_t SystemTries(int32_t system) {
  switch (system) {
    case 1: return 4000;
    case 2: return 3000;
    case 5: return 1000;
    default: return 2000;
  }
}

// The smallest h and k a system needs: non-negative k for monoclinic and hexagonal, h and k for
// orthorhombic, tetragonal and cubic.
void ClampLowerIndices(int32_t system, double& hMin, double& kMin) {
  if (system == 2 || system == 6) kMin = std::max(kMin, 0.0);
  if (system == 3 || system == 4 || system == 5) hMin = std::max(hMin, 0.0), kMin = std::max(kMin, 0.0);
}

int32_t RoundIndex(double x) { return RoundHalfEven(std::clamp(x, -IndexLimit, IndexLimit)); }

// The order of the point group of a system's lattice (the d of h k l repeats that many times
// among the reciprocal lattice points), and the share of lattice points a centring keeps (type
// R is primitive on rhombohedral axes, the only axes it is searched on).
double HolohedryOrder(int32_t system) {
  static const double order[8] = {2, 2, 4, 8, 16, 48, 24, 12};
  return order[std::clamp(system, 0, 7)];
}
double CentringMultiplicity(int32_t type) {
  static const double m[7] = {1, 2, 2, 2, 4, 2, 1};
  return m[std::clamp(type, 0, 6)];
}

// The volume at which a cell of this system and lattice type has about twice as many distinct
// reflections with d >= dMin as lines were measured: the reciprocal lattice points in the sphere
// of radius 1/dMin are 4 pi V / (3 dMin^3), each d shared by the holohedry's order. Rounded, so
// that the dialog gives it back unchanged. A triclinic search is the one for a lattice of unknown
// system: its primitive cell may be that of a cubic lattice, whose lines coincide 24 times.
double EstimatedVolumeLimit(int32_t system, int32_t type, int32_t lines, double dMin) {
  const double order = system == 1 ? HolohedryOrder(5) : HolohedryOrder(system);
  const double points = 2.0 * std::max(lines, 1) * order * CentringMultiplicity(type);
  return std::max(1.0, std::nearbyint(points * 3 * dMin * dMin * dMin / (4 * std::numbers::pi)));
}

// The reflections the index box of bound m gives a system, roughly (the table has room for
// MaxReflections).
double IndexBoxCount(int32_t system, int32_t type, double m) {
  const double n = m + 1, w = 2 * m + 1;
  double count = 0;
  switch (system) {
    case 1: count = w * w * n; break;
    case 2: count = w * n * n; break;
    case 3: count = n * n * n; break;
    case 4: count = n * n * n / 2; break;
    case 5: count = n * n * n / 6; break;
    case 6: count = w * n * n / 4; break;
    default: count = w * w * n / 12; break;
  }
  return count / CentringMultiplicity(type);
}

// The index bounds that generate every reflection with d >= dMin of any cell whose a and b stay
// below edgeMax and c below cMax: |h| = |a . r*| <= a / d, l <= c / d. Held to what the
// reflection table takes (the box of bound m with l up to ml has (ml + 1) / (m + 1) of its count).
void AutomaticIndexBounds(int32_t system, int32_t type, double edgeMax, double cMax, double dMin, int32_t& m,
                          int32_t& ml) {
  const auto bound = [&](double e) {
    return static_cast<int32_t>(std::ceil(std::clamp(e / std::max(dMin, 1e-3), 1.0, 1e4)));
  };
  m = bound(edgeMax), ml = std::max(bound(cMax), m);
  while (m > 1 && IndexBoxCount(system, type, m) * (ml + 1) / (m + 1) > 0.9 * MaxReflections) {
    ml = std::max(ml - std::max(ml / m, 1), m - 1);
    --m;
  }
}

}  // namespace

// The automatic start cell's edges reach this many times d1 + 0.25: twice for phase 1 (h00 with
// h = 2 may be the first line of an axis), once for later phases; twice that for F and I cells of
// the orthorhombic to cubic systems, whose axial lines may start at h = 4 (a 4_1 axis, a d glide).
// The unique axis c of a primitive tetragonal cell reaches 4 times (a 4_1 axis: 004 is its first
// line) and of a hexagonal cell 6 times (3_1, 6_1 axes: 003, 006). A reduced triclinic cell hides
// the lattice's screw axes and centring: its edges reach 2.25 times (the primitive cell of Ia-3d,
// a sqrt 3 / 2 with 211 the first line: 2.12 d1), its longest 3 times (along a 3_1 or 4_1 axis,
// c = 3 d003 or 4 d004 with d004 below d1; across a body-centred cell with a long c).
double EdgeReach(int32_t p, int32_t system, int32_t type, int32_t edge) {
  const double deep = (type == 4 || type == 5) && system >= 3 && system <= 5 ? 2 : 1;
  const double phase = std::max(3 - p, 1);
  if (p == 1 && system == 1) return edge == 3 ? 3 : 2.25;
  if (edge == 3 && p == 1 && type == 0 && (system == 4 || system == 6)) return (system == 4 ? 4 : 6) * deep;
  return phase * deep;
}

namespace {

// The volume limits the preparation set itself; a limit other than these and the default was
// set by the user or a data set and is kept.
double AutomaticVolumes[MaxPhases + 1] = {};

// Reads grid cells (column, rows 0..n-1) into v; false when one is not a number.
bool ReadGridColumn(int32_t column, int32_t n, double* v) {
  for (int32_t r = 0; r < n; ++r) {
    StrToFloatChecked(Form2.StringGrid1.Cell(column, r), v[r]);
    if (DialogOk != 1) return false;
  }
  return true;
}

// Step 2: the choices of phase p. False when the preparation ends.
bool AskPhaseChoices(int32_t p) {
  LATTICE& phase = PhaseTable[p];
  DialogCaption = " Phase= " + std::to_string(p);
  BeginDialog(1);
  if (p == 1) {
    PlaceLabel(Form2.Label1, 10, 5, "Select the mode for " + IndexingTitle + " ", WhiteColor, TextBackgroundColor);
    DialogOptions = IndexingModeOptions;
    DialogOptions.defaultItem = std::clamp(IndexingMode + 2, 1, 3);
    ShowRadioGroup(1, 1, 10, 70, 300, 25);
  }
  PlaceLabel(Form2.Label2, 10, 100, " Select the symmetry ", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (int32_t s = 1; s <= 7; ++s)
    DialogOptions.captions[s] = std::string("  ") + CrystalSystemTable[s].name + "  " + CrystalSystemTable[s].letters;
  DialogOptions.count = 7;
  DialogOptions.defaultItem = std::clamp(phase.CrystalSystem, 1, 7);
  ShowComboBox(10, 120, 250);
  PlaceLabel(Form2.Label3, 10, 150, " Select lattice type ---> ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" Type P", " Type A", " Type B", " Type C", " Type F", " Type I", " Type R"},
                   std::clamp(phase.LatticeType + 1, 1, 7));
  ShowRadioGroup(2, 7, 10, 40, 400, 170);
  if (p == 1)
    SetDialogOptions({"Set automatically hkl bounds", "Set automatically the volume", "Initialize automatically parameters ",
                      "Fit cynematic parameters", "Fit d-spacings", "Use space group"});
  else
    SetDialogOptions({"Set automatically hkl bounds", "Set automatically the volume", "Initialize automatically parameters ",
                      "Use space group"});
  ShowCheckListBox(10, 220, 300, DialogOptions.count * 18 + 4);
  TCheckListBox& list = Form2.CheckListBox1;
  list.SetChecked(0, AutoHklBounds != 0);
  list.SetChecked(1, AutoCellVolume != 0);
  list.SetChecked(2, AutoInitCell != 0);
  if (p == 1) {
    list.SetChecked(3, CynematicFit == 1);
    list.SetChecked(4, DSpacingDataType == 0);
  }
  list.SetChecked(p == 1 ? 5 : 3, UseSpaceGroup != 0);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  if (p == 1) IndexingMode = std::clamp(Form2.RadioGroup1.itemIndex, 0, 2) - 1;
  if (IndexingMode == 1) {
    if (PhaseCount > 1) {
      PhaseCount = 1;
      return Refuse("In this mode N of phases = 1");
    }
    bool indexed = false;
    for (int32_t i = 1; i <= Lines(); ++i) {
      const TDSpacingRecord& l = DSpacingList[i];
      indexed = indexed || l.h != 0 || l.k != 0 || l.l != 0;
    }
    if (!indexed) return Refuse("No indexed data");
  }
  const int32_t system = std::clamp(Form2.ComboBox1.itemIndex + 1, 1, 7);
  if (system != phase.CrystalSystem) BinDefaultsSet = 0;
  phase.CrystalSystem = system;
  phase.LatticeType = system == 7 ? 6 : std::clamp(Form2.RadioGroup2.itemIndex, 0, 6);
  // A search in a type the system does not have (monoclinic I, cubic C) cannot succeed.
  if (!BravaisTypeAllowed(system, phase.LatticeType)) return Refuse("Symmetry and type not compatible");
  AutoHklBounds = list.Checked(0);
  AutoCellVolume = list.Checked(1);
  AutoInitCell = list.Checked(2);
  UseSpaceGroup = list.Checked(p == 1 ? 5 : 3);
  if (p == 1) {
    CynematicFit = list.Checked(3) ? 1 : 0;
    if (list.Checked(4)) DSpacingDataType = 0;
  }
  if (AllAbscissaeZero() && DSpacingDataType != 0) return Refuse("Error, channels(2thetas)=0");
  MainMode = IndexingModeIndex;
  ParameterArrayMode = IndexingModeIndex;
  return true;
}

// Step 3: hkl bounds, volume limit and minimiser of phase p. False when the preparation ends.
bool AskBounds(int32_t p) {
  const int32_t system = PhaseTable[p].CrystalSystem;
  const double d1 = DSpacingList[1].d, dLast = DSpacingList[Lines()].d;
  int32_t* b = HklBounds[p];
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 10, "Set hkl bounds", WhiteColor, TextBackgroundColor);
  if (IndexingMode >= 0 && SystemParameters(system) > DSpacingCount)
    PlaceLabel(Form2.Label2, 10, 220, "Warning! N of D-spacings < n of parameters", WhiteColor, RedColor);
  double dMin = dLast, dMax = d1;
  for (int32_t i = 1; i <= Lines(); ++i)
    if (DSpacingList[i].d > 0) dMin = std::min(dMin, DSpacingList[i].d), dMax = std::max(dMax, DSpacingList[i].d);
  if (AutoHklBounds) {
    // The edges reach the upper bound of the start cell (automatic, or the one already set); l
    // as far as c reaches.
    const int32_t type = PhaseTable[p].LatticeType;
    double edgeMax = EdgeReach(p, system, type, 1) * (dMax + 0.25);
    double cMax = EdgeReach(p, system, type, 3) * (dMax + 0.25);
    if (!AutoInitCell) {
      edgeMax = 0;
      for (int32_t e = 1; e <= 3; ++e) edgeMax = std::max(edgeMax, parar[6 * (p - 1) + e].upper);
      cMax = edgeMax;
    }
    if (IndexingMode == -1 && NoCrystalInfo == 0)  // indexing only: the known cell
      cMax = edgeMax = std::max({PhaseTable[p].Cell[0], PhaseTable[p].Cell[1], PhaseTable[p].Cell[2]}) * 1.01;
    int32_t m = 0, ml = 0;
    AutomaticIndexBounds(system, type, edgeMax, cMax, dMin, m, ml);
    b[0] = m, b[1] = -m, b[2] = m, b[3] = -m, b[4] = ml;
  }
  const double given = CellVolumes[p];
  if (AutoCellVolume && (given == AutomaticVolumes[p] || given == DefaultCellVolume || !(given > 0))) {
    CellVolumes[p] = EstimatedVolumeLimit(system, PhaseTable[p].LatticeType, Lines(), dMin);
    AutomaticVolumes[p] = CellVolumes[p];
  }
  static const char* const labels[7] = {" h_max =", " h_min =", " k_max =", " k_min =", " l_max =", " Volume_max=",
                                        " Minimizer ="};
  double shown[5] = {double(b[0]), double(b[1]), double(b[2]), double(b[3]), double(b[4])};
  ClampLowerIndices(system, shown[1], shown[3]);
  DialogColumnWidths[0] = 110;
  DialogColumnWidths[1] = 90;
  for (int32_t r = 1; r <= 7; ++r) DialogFieldLabels[r] = labels[r - 1];
  for (int32_t r = 1; r <= 5; ++r) {
    DialogFieldValues[r][1] = IndexingMode == 1 ? 0 : shown[r - 1];
    if (IndexingMode == 1) DialogFieldLabels[r] = " ";
  }
  DialogFieldValues[6][1] = std::nearbyint(CellVolumes[p]);
  DialogFieldValues[7][1] = IndexingMode == 1 ? 0 : VolumeMinimizers[p];
  ShowNumberGrid(10, 40, 7, 8, 1, 7);
  if (AllAbscissaeZero())
    PlaceLabel(Form2.Label3, 10, 250, "Channels (angles) in dsp-distribution = 0", WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double v[7];
  if (!ReadGridColumn(0, 7, v)) return false;
  // A limit that is not positive would scale every trial cell to nothing.
  if (!(v[5] > 0) || !std::isfinite(v[5])) return Refuse("Wrong HKL bounds or cell volume");
  CellVolumes[p] = v[5];
  VolumeMinimizers[p] = v[6];
  if (IndexingMode != 1)
    for (int32_t r = 0; r < 5; ++r) b[r] = RoundIndex(v[r]);
  if (b[0] < b[1] || b[2] < b[3] || b[4] * CellVolumes[p] == 0) ShowMsg("Wrong HKL bounds or cell volume");
  double hMin = b[1], kMin = b[3];
  ClampLowerIndices(system, hMin, kMin);
  b[1] = int32_t(hMin), b[3] = int32_t(kMin);
  return true;
}

// Degrees of an angle record held as a cosine.
double CosineDegrees(double c) { return ArcCosClamped(c) * RadToDeg; }

// Step 4: the start cell and its bounds. False when the preparation ends.
bool AskCell(int32_t p) {
  LATTICE& phase = PhaseTable[p];
  const int32_t system = phase.CrystalSystem;
  const int32_t first = 6 * (p - 1);
  ParameterRecord* r = &parar[first];  // r[1..6]
  if (AutoInitCell) {
    const double v = DSpacingList[1].d + 0.25;
    for (int32_t e = 1; e <= 3; ++e)
      r[e].lower = 2.0, r[e].value = v, r[e].upper = EdgeReach(p, system, phase.LatticeType, e) * v;
    for (int32_t e = 4; e <= 6; ++e) r[e].lower = 90, r[e].value = 90, r[e].upper = 135;
    // Obtuse rhombohedra (c/a below 1.22 on hexagonal axes) have no primitive cell below 90
    // degrees; 120 is the flat limit. Layered ones are acute: alpha 24 degrees for c/a 7 (Bi2Te3).
    if (system == 7)
      for (int32_t e = 4; e <= 6; ++e) r[e].lower = AcuteRhombohedralLimit, r[e].upper = 120;
    // A hexagonal lattice's reduced cell has 120 degrees between its two short edges: with gamma
    // up to 125 its long axis stays on c, whose edge and index bounds reach farthest (3_1 axes,
    // long-c layered cells).
    if (system == 1) r[6].lower = 75, r[6].upper = 125;
    if (system == 6) r[6].lower = r[6].value = r[6].upper = 120;
    if (IndexingMode == -1 && NoCrystalInfo == 0)
      for (int32_t e = 1; e <= 6; ++e) r[e].value = phase.Cell[e - 1];
  }
  ApplyCellSymmetry(first, system);
  DialogCaption = "Set lattice parameters and their bounds";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 10, "                  Lower      Parameter    Upper   ", WhiteColor, TextBackgroundColor);
  static const char* const labels[6] = {" A =", " B =", " C =", "alpha =", "beta  =", "gamma ="};
  DialogColumnWidths[0] = 70;
  DialogColumnWidths[1] = 65;
  DialogColumnWidths[2] = 75;
  DialogColumnWidths[3] = 65;
  for (int32_t e = 1; e <= 6; ++e) {
    double lo = r[e].lower, v = r[e].value, up = r[e].upper;
    if (e >= 4 && std::fabs(v) <= 1) {
      v = CosineDegrees(v);
      lo = CosineDegrees(r[e].lower), up = CosineDegrees(r[e].upper);
      if (lo > up) std::swap(lo, up);
    }
    DialogFieldLabels[e] = labels[e - 1];
    DialogFieldValues[e][1] = lo, DialogFieldValues[e][2] = v, DialogFieldValues[e][3] = up;
  }
  ShowNumberGrid(5, 30, 6, 8, 3, 6);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double lo[6], v[6], up[6];
  if (!ReadGridColumn(0, 6, lo) || !ReadGridColumn(1, 6, v) || !ReadGridColumn(2, 6, up)) return false;
  for (int32_t e = 1; e <= 6; ++e) r[e].lower = lo[e - 1], r[e].value = v[e - 1], r[e].upper = up[e - 1];
  ApplyCellSymmetry(first, system);
  if (IndexingMode == -1)
    for (int32_t e = 1; e <= 6; ++e) r[e].lower = r[e].upper = r[e].value;
  double cell[6];
  for (int32_t e = 0; e < 6; ++e) cell[e] = r[e + 1].value;
  if (!(cell[0] * cell[1] * cell[2] != 0) || !(cell[3] * cell[4] * cell[5] != 0))
    return Refuse("Wrong lattice parameters");
  std::copy(cell, cell + 6, phase.Cell);
  std::copy(cell, cell + 6, phase.PreviousCell);
  phase.Volume = CellVolume(phase.Cell);
  phase.PreviousVolume = phase.Volume;
  CellMetric(phase.Cell, phase.ReciprocalCell, phase.ReciprocalVolume, 0);
  for (int32_t e = 4; e <= 6; ++e) {
    ParameterRecord& a = r[e];
    a.lower = std::cos(a.lower / RadToDeg), a.value = std::cos(a.value / RadToDeg), a.upper = std::cos(a.upper / RadToDeg);
    if (a.lower > a.upper) std::swap(a.lower, a.upper);
  }
  for (int32_t e = 1; e <= 6; ++e) {
    ParameterRecord& a = r[e];
    if (a.lower > a.upper) {
      ShowMsg("Wrong parameter bounds " + std::to_string(e) + " Exchanged.");
      std::swap(a.lower, a.upper);
    }
    a.value = std::clamp(a.value, a.lower, a.upper);
  }
  MinimumPhaseLines[p] = SystemMinimumLines(system);
  return true;
}

// Step 5: the instrument records after the cells. False when the preparation ends.
bool AskInstrument(int32_t first) {
  const TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return Refuse("Wrong parameters");
  const bool tof = sp->AxisKind == AxisTimeOfFlight;
  DialogCaption = "Enter cynematic parameters and bounds";
  BeginDialog(1);
  DialogColumnWidths[0] = 90;
  for (int32_t c = 1; c <= 3; ++c) DialogColumnWidths[c] = 80;
  const char* labels[3] = {"FlightPath", "Theta", "Delay(ch)"};
  double rows[3] = {sp->FlightPath, sp->Theta, sp->Delay};
  if (!tof) {
    labels[0] = "Lambda", labels[1] = "", labels[2] = "0-shift";
    rows[0] = sp->Lambda, rows[1] = 0;
  }
  for (int32_t i = 1; i <= 3; ++i) {
    DialogFieldLabels[i] = labels[i - 1];
    const double spread = i == 3 ? 1 : 0;
    DialogFieldValues[i][1] = rows[i - 1] - spread;
    DialogFieldValues[i][2] = rows[i - 1];
    DialogFieldValues[i][3] = rows[i - 1] + spread;
  }
  ShowNumberGrid(5, 30, 3, 8, 3, 3);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double lo[3], v[3], up[3];
  if (!ReadGridColumn(0, 3, lo) || !ReadGridColumn(1, 3, v) || !ReadGridColumn(2, 3, up)) return false;
  bool wrong = v[0] == 0;
  for (int32_t i = 0; i < 3; ++i) {
    ParameterRecord& r = parar[first + 1 + i];
    r.lower = lo[i], r.value = v[i], r.upper = up[i];
    wrong = wrong || !(v[i] >= lo[i] && v[i] <= up[i]);
  }
  return wrong ? Refuse("Wrong parameters") : true;
}

// Step 7: the reflections of every phase. False when the preparation ends.
bool FormReflections() {
  if (IndexingMode != 1) {
    if (UseSpaceGroup) EditPhaseInfo(2);
    GeneratePhaseHkls();
  } else {
    GeneratePhaseHkls();
    for (int32_t i = 1; i <= Lines(); ++i) HklTable[i][1].d = DSpacingList[i].d;
  }
  int32_t total = 0;
  for (int32_t p = 1; p <= PhaseCount; ++p) total += std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
  if (total == 0 && IndexingMode != 1) return Refuse("No hkls generated");
  if (DSpacingCount > total)
    return Refuse("Error, more ds than hkls " + std::to_string(DSpacingCount) + " < " + std::to_string(total));
  return true;
}

void ShowPreparedInfo() {
  InfoLines.count = 0;
  AddInfoLine(IndexingTitle + " Data prepared");
  if (IndexingMode != 1) {
    AddInfoLine("For " + std::to_string(DSpacingCount) + " reflections hkls generated");
    for (int32_t p = 1; p <= PhaseCount; ++p)
      AddInfoLine(std::to_string(PhaseTable[p].ReflectionCount) + " for phase " + std::to_string(p));
  }
  ShowInfoWindow();
  ResetDialogForm(550, 410);
  TImage& image = Form2.Image1;
  TImageCanvas& c = image.canvas;
  c.Resize(std::max(c.Width(), Form2.width), std::max(c.Height(), Form2.height));
  c.Brush.color = GreenColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, Form2.width, Form2.height);
  image.SetBounds(0, 0, Form2.width, Form2.height);
  image.visible = true;
  Ui().ImageChanged(c);
}

// Steps 2 to 7; false when the preparation ends early.
bool PrepareSteps(TAULSM& fit) {
  if (DSpacingCount < 1) return Refuse("Error, no d-spacings for indexing");
  for (int32_t p = 1; p <= PhaseCount; ++p) {
    if (!AskPhaseChoices(p)) return false;
    if (6 * PhaseCount + 3 * CynematicFit > IndexingRecordCapacity) return Refuse(TooManyPhases);
    if (!AskBounds(p) || !AskCell(p)) return false;
  }
  const int32_t cells = 6 * PhaseCount;
  if (CynematicFit == 1 && !AskInstrument(cells)) return false;
  ParameterNames();
  fit.NPoints = DSpacingCount;
  fit.NPar = cells + 3 * CynematicFit;
  fit.NTries = 0;
  for (int32_t p = 1; p <= PhaseCount; ++p) fit.NTries += SystemTries(PhaseTable[p].CrystalSystem);
  for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i] = parar[i];
  SelectExclusive(IndexingModeIndex, 1);
  return FormReflections();
}

}  // namespace

void ApplyCellSymmetry(int32_t first, int32_t system) {
  if (first < 0 || first + 6 > MaxParameters) return;
  ParameterRecord* r = &parar[first];  // r[1..6]: a, b, c, alpha, beta, gamma
  auto fix = [&](int32_t e, double v) { r[e].lower = r[e].value = r[e].upper = v; };
  auto tie = [&](int32_t e, int32_t master, bool value) {
    r[e].lower = r[master].lower, r[e].upper = r[master].upper;
    if (value) r[e].value = r[master].value;
    r[e].n = first + master, r[e].a = 1, r[e].b = 0;
  };
  switch (system) {
    case 2:
      fix(4, 90), fix(6, 90);
      break;
    case 3:
      fix(4, 90), fix(5, 90), fix(6, 90);
      break;
    case 4:
      fix(4, 90), fix(5, 90), fix(6, 90);
      tie(2, 1, true);
      break;
    case 5:
      fix(4, 90), fix(5, 90), fix(6, 90);
      tie(2, 1, true), tie(3, 1, true);
      break;
    case 6:
      fix(4, 90), fix(5, 90), fix(6, 120);
      tie(2, 1, false);
      break;
    case 7:
      tie(2, 1, true), tie(3, 1, true);
      tie(5, 4, true), tie(6, 4, true);
      break;
    default:
      break;
  }
}

void PrepareIndexing() {
  DialogCaption = IndexingTitle;
  SetParametersPending(1 << IndexingModeIndex, 1);
  SetFitPending(1 << IndexingModeIndex, 1);
  SetHelpLines(IndexingModesHelp);
  for (int32_t i = 1; i <= IndexingRecordCapacity; ++i) parar[i].n = i, parar[i].a = 1, parar[i].b = 0;
  CreateCelixFitter();
  TAULSM& fit = *CelixFitter;
  if (FitControlsGiven == 0) {
    fit.SetFitDefaults();
    DefaultFitControls = fit.Controls();
  }
  if (PhaseCount < 1 || PhaseCount > MaxIndexingPhases) {
    ShowMsg(TooManyPhases);
    return;
  }
  const Snapshot before;
  refused = false;
  if (!PrepareSteps(fit)) {
    // A Cancel keeps what the dialogs answered so far; a refusal puts the tables back.
    if (refused) before.Restore();
    return;
  }
  fit.BestFunctional = fit.BestDeviation = fit.BestMaxResidual = 1e19;
  fit.BestMerit = fit.BestVolume = 0;
  fit.TopMerit = -std::numeric_limits<double>::infinity();
  if (IndexingMode == 0) {
    TFitControls& c = DefaultFitControls;
    c.GNIter = 10, c.Step = 0.95, c.Damp = 0.025, c.ConvergenceMode = 1, c.Alpha = 1.0, c.FunctionalLimit = 0.0;
  } else if (IndexingMode == 1) {
    DefaultFitControls.ConvergenceMode = 0, DefaultFitControls.GNIter = 30, DefaultFitControls.Step = 0.25;
  }
  ParametersPending[IndexingModeIndex] = 0;
  ShowPreparedInfo();
  for (int32_t i = 1; i <= std::min(fit.NPar, IndexingRecordCapacity); ++i) BestValues[i] = fit.Records[i].value;
  MainMode = IndexingModeIndex;
  ParameterArrayMode = IndexingModeIndex;
}
