// INI commands for phases, atoms, magnetic and anisotropic phases and reflection lists.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_state.h"
#include "core/dspacing_list.h"
#include "core/elements.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/space_groups.h"
#include "core/toolbox.h"
#include "core/trevo_records.h"
#include "crystal/cell_update.h"
#include "crystal/group_file.h"
#include "crystal/phase_editor.h"
#include "crystal/reflection_lists.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"

namespace {


// Edges in (0, 10^4] angstrom and angles in (0, 180) degrees: a larger edge would make the
// reflection search run over billions of indices.
constexpr double MaxCellEdge = 1e4;
bool CellPlausible(const double* c) {
  for (int32_t i = 0; i < 3; ++i)
    if (!(c[i] > 0 && c[i] <= MaxCellEdge)) return false;
  for (int32_t i = 3; i < 6; ++i)
    if (!(c[i] > 0 && c[i] < 180)) return false;
  return true;
}

// A cell whose volume is below this fraction of a b c is flat (a = b = c, all angles 120 gives
// 2.6e-4 through the degree constant); the angles it would need lie within 1e-5 degree of flat.
constexpr double FlatCellFraction = 1e-3;
bool CellFlat(const double* c, int32_t system) {
  double cell[6];
  std::copy(c, c + 6, cell);
  SetSystemAngles(cell[3], cell[4], cell[5], std::clamp(system, 1, 7));
  return !(CellVolume(cell) > FlatCellFraction * cell[0] * cell[1] * cell[2]);
}

// A setting the table has for the group: 1, and 2 where a second setting exists.
bool SettingKnown(int32_t nsg, int32_t setting) {
  return setting == 1 ||
         (setting == 2 && std::find(SecondSettingGroups.begin(), SecondSettingGroups.end(), nsg) != SecondSettingGroups.end());
}

bool IsCommandLine(const std::string& line) {
  const std::string key = IniKey(line);
  return std::any_of(IniKeyTable, IniKeyTable + IniKeyCount, [&](const TIniKey& k) { return key == k.key; });
}

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }
int32_t Atoms(int32_t p) { return std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); }
// ResetAtom's flat index of atom i of phase p.
int32_t FlatAtom(int32_t i, int32_t p) { return MaxPhases * (i - 1) + p; }

std::string Squeezed(std::string s) {
  DeleteSpaces(s);
  UpperCaseCyr(s);
  return s;
}

// The reflection count of phase-evolution phase p: n held to what the phase holds and the
// records' room, with a message when it is cut.
int32_t EvolutionCount(int32_t p, double n) {
  const int32_t room = std::min(std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections), TrevoReflectionCapacity);
  int32_t k = 0;
  if (IniInteger(n, 0, room, k)) return k;
  IniWarning("Reflections of phase " + std::to_string(p) + " cut to " + std::to_string(room));
  return n < 0 ? 0 : room;
}

// A line of atom names: the name as it stands (upper case, blanks after it dropped), then the
// scattering length when the line's last item after a blank is a number.
std::string NameAndLength(std::string line, double& length) {
  length = 0.0;
  line.erase(line.find_last_not_of(" \t") + 1);
  if (const size_t cut = line.find_last_of(" \t"); cut != std::string::npos) {
    double x = 0;
    uint8_t ok = 0;
    const std::string item = line.substr(cut + 1);
    StrToFloatRobust(item, x, ok);
    std::string name = line.substr(0, cut);
    name.erase(name.find_last_not_of(" \t") + 1);
    // A charge such as "3+" ends in its sign; a number in a digit or its point.
    const bool number = std::isdigit(static_cast<unsigned char>(item.back())) || item.back() == '.';
    if (ok == 1 && number && std::isfinite(x)) {
      length = x;
      line = std::move(name);
    }
  }
  UpperCaseCyr(line);
  return line;
}

// The moments of the magnetic atoms as the file gives them.
struct FileMoments {
  FileMoments() {
    for (int32_t p = 1; p <= MaxPhases; ++p)
      for (int32_t i = 1; i <= MaxAtoms; ++i) moment[i][p] = AtomTable[i][p].MagneticMoment;
  }
  // A moment the array gives back as occupation x moment over the occupation, both rounded as
  // written, stays the file's own where the sizes agree within the writer's roundings (the
  // array's record of a negative product turns the sign at every update).
  void KeepWhereTheyAgree() const {
    for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
      if (PhaseModelFlags[p] != 1) continue;
      for (int32_t i = 1; i <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++i) {
        double& m = AtomTable[i][p].MagneticMoment;
        if (std::abs(std::abs(m) - std::abs(moment[i][p])) <= 4e-6 * std::abs(moment[i][p])) m = moment[i][p];
      }
    }
  }
  double moment[MaxAtoms + 1][MaxPhases + 1];
};

}  // namespace

void UpdatePhasesKeepingFileMoments() {
  const auto file = std::make_unique<FileMoments>();
  UpdatePhasesFromParameters();
  file->KeepWhereTheyAgree();
}

void ReadIniLatticeParameters() {
  KnownCommand = 1;
  for (int32_t p = 1; p <= Phases(); ++p) {
    std::array<double, 12> v{};
    if (IniReadNumbers(11, v) < 11) return IniError("INI: Too few data in ILP-command");
    // The failing phase keeps its old cell.
    if (v[4] * v[5] * v[6] == 0) return IniError("Error, cell angle=0");
    int32_t nsg = 0, setting = 1, atoms = 0;
    const bool numbers = IniInteger(v[7], -1000, 1000, nsg) && IniInteger(v[8], -9, 9, setting);
    if (numbers && nsg == NonStandardGroup && (PhaseCount == 1 || p == 1)) {
      ShowMsg("777 reserved only for magnetic phase (>1)");
      nsg = 1;
    }
    const bool fromFile = numbers && nsg == NonStandardGroup;
    std::string groupFile;
    if (fromFile) ReadIniFileName(groupFile);
    if (!numbers || !IniInteger(v[9], 0, MaxAtoms, atoms)) {
      IniError("INI: Wrong space group or atom count for phase " + std::to_string(p));
      continue;
    }
    if (!CellPlausible(&v[1])) {
      IniError("Wrong unit cell parameters");
      continue;
    }
    if (CellFlat(&v[1], fromFile ? 1 : CrystalSystemOfGroup(nsg, setting))) {
      IniError("Wrong unit cell parameters: the cell of phase " + std::to_string(p) + " has no volume");
      continue;
    }
    if (!fromFile && nsg != 0 && setting != 2 && !SettingKnown(nsg, setting)) {
      IniWarning("No setting " + std::to_string(setting) + " for " + std::to_string(nsg) + ", setting 1 taken");
      setting = 1;
    }
    LATTICE& ph = PhaseTable[p];
    std::copy(v.begin() + 1, v.begin() + 7, ph.Cell);
    ph.SpaceGroup = nsg, ph.Setting = setting, ph.AtomCount = atoms;
    if (!fromFile) {
      ExpandSpaceGroup(p);
      ph.CrystalSystem = CrystalSystemOfGroup(nsg, setting);
      CheckSecondSetting(p);
    } else {
      PhaseModelFlags[p] = 1;
      SpaceGroupFileName = PhaseGroupFileNames[p] = groupFile;
      std::error_code ec;
      // Only a regular file: the group reader abandons the operation on one it cannot open.
      if (std::filesystem::is_regular_file(groupFile, ec)) ReadNonStandardGroup(p, 1);
      else IniError("No file " + groupFile);
    }
    SetSystemAngles(ph.Cell[3], ph.Cell[4], ph.Cell[5], std::clamp(ph.CrystalSystem, 1, 7));
    ph.Volume = ph.PreviousVolume = CellVolume(ph.Cell);
    std::copy(ph.Cell, ph.Cell + 6, ph.PreviousCell);
    std::copy(ph.Cell, ph.Cell + 3, ph.IndexNormalisers);
    CellMetric(ph.Cell, ph.ReciprocalCell, ph.ReciprocalVolume, 0);
    PhaseMetric(p);
    NoCrystalInfo = 0;
    if (MainMode == 2 && ph.AtomCount == 0) {
      ATOM& a = AtomTable[1][p];
      if (a.Name == " ") a.Name = "Md" + std::to_string(p);
      if (a.ScatteringLength == 0) a.ScatteringLength = 1.0;
      if (a.Occupation == 0) a.Occupation = 1.0;
    }
  }
}

void ReadIniAtomicParameters() {
  KnownCommand = 1;
  if (NoCrystalInfo != 0) return IniError("No phase information available");
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (Atoms(p) == 0) {
      IniError("0 atoms set for phase " + std::to_string(p));
      continue;
    }
    for (int32_t i = 1; i <= Atoms(p); ++i) {
      std::string name;
      std::array<double, 12> v{};
      if (!IniReadText(name)) return IniError("INI: Too few data in IAP-command");
      IniTakeName(name);
      // The numbers may span lines; the next atom's name ends a short list instead of being
      // read as a number.
      const int32_t got = IniReadNumbers(11, v, true);
      if (got == 0) return IniError("INI: Too few data in IAP-command");
      // Occupation, x, y, z and the six thermal values; the scattering length may follow.
      const std::string which = " for atom " + std::to_string(i) + " of phase " + std::to_string(p);
      if (got < 10) {
        IniError("INI: Too few data" + which + " in IAP-command");
        continue;
      }
      if (v[1] < 0) IniWarning("Warning, occupation below 0" + which);
      ATOM& a = AtomTable[i][p];
      a.Occupation = v[1], a.X = v[2], a.Y = v[3], a.Z = v[4];
      a.T11 = v[5], a.T12 = v[6], a.T13 = v[7], a.T22 = v[8], a.T23 = v[9], a.T33 = v[10];
      // An atom without an element (the writer names it but writes it) keeps the file's numbers and
      // no name, so what was written reads back; no look-up gives it a length.
      if (Squeezed(name).empty()) {
        IniWarning("INI: No element name for atom " + std::to_string(i) + " of phase " + std::to_string(p));
        a.Name = name;
        if (got == 11) a.ScatteringLength = v[11];
        continue;
      }
      // 0 lets the element look-up give the standard length.
      a.ScatteringLength = got == 11 ? v[11] : 0.0;
      // Upper case, as the atom editor keeps names and the element table spells them.
      UpperCaseCyr(name);
      uint8_t found = 0;
      FindElement(name, p, i, found);
      // With warnings inhibited the look-up only notes an unknown name: the name is still the file's.
      if (found == 0 && InhibitWarnings != 0) a.Name = name;
    }
  }
  UpdateAtomFixFlags(0);
  // Atoms after the last phase's count (a name line and its numbers each, up to the next
  // command; blank lines between) are passed over and counted.
  int32_t extra = 0;
  for (std::string line; IniReadText(line);) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (IsCommandLine(line)) {
      IniGiveBack(std::move(line));
      break;
    }
    std::array<double, 12> v{};
    IniReadNumbers(11, v, true);
    ++extra;
  }
  if (extra > 0 && Phases() > 0)
    IniWarning("INI: " + std::to_string(extra) + " atoms beyond the " + std::to_string(Atoms(Phases())) +
             " of phase " + std::to_string(Phases()) + " passed over");
}

void ReadIniScatteringAmplitudes() {
  KnownCommand = 1;
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (Atoms(p) == 0) {
      IniError("0 atoms set for phase " + std::to_string(p));
      continue;
    }
    for (int32_t i = 1; i <= Atoms(p); ++i) {
      std::array<double, 2> v{};
      if (IniReadNumbers(1, v) < 1) return IniError("INI: Too few data in ENSSA-command");
      if (v[1] != 0) AtomTable[i][p].ScatteringLength = v[1];
    }
  }
}

void ReadIniAtomsFromParameters() {
  KnownCommand = 1;
  const bool none = UseAvailableArray[0] == 0 && MainMode == 0;
  if (none) IniWarning("No atomic parameters yet initialized");
  for (int32_t p = 1; p <= Phases(); ++p) {
    for (int32_t i = 1; i <= Atoms(p); ++i) {
      std::string line;
      if (!IniReadText(line)) return IniError("INI: Too few data in GAIPA-command");
      IniTakeName(line);
      if (none) continue;  // the lines are passed over
      double length = 0.0;
      const std::string name = NameAndLength(line, length);
      if (Squeezed(name).empty()) {
        IniError("INI: No element name for atom " + std::to_string(i) + " of phase " + std::to_string(p));
        continue;
      }
      AtomTable[i][p].ScatteringLength = length;
      uint8_t found = 0;
      FindElement(name, p, i, found);
      // A name that is no element, with warnings inhibited, keeps its own scattering length;
      // otherwise the atom whose name failed is reset.
      if (found == 0 && length != 0 && InhibitWarnings != 0) AtomTable[i][p].Name = name;
      else if (found == 0) ResetAtom(FlatAtom(i, p));
    }
  }
  if (!none) UpdatePhasesKeepingFileMoments();
}

void ReadIniMagneticPhase() {
  KnownCommand = 1;
  std::array<double, 4> v{};
  IniReadNumbers(2, v);
  int32_t p = 0, s = 0;
  if (!IniInteger(v[1], 2, std::max(PhaseCount, 2), p) || p > Phases()) return IniError("Wrong magnetic phase number");
  const bool systemOk = IniInteger(v[2], 1, 7, s);
  if (!systemOk) IniError("Wrong magnetic symmetry");
  std::array<double, 4> plane{};
  IniReadNumbers(3, plane);
  std::string groupFile;
  IniReadText(groupFile);
  const int32_t atoms = Atoms(p);
  std::vector<std::string> ions(static_cast<size_t>(atoms) + 1);
  std::vector<double> moments(static_cast<size_t>(atoms) + 1);
  for (int32_t i = 1; i <= atoms; ++i)
    if (IniReadText(ions[static_cast<size_t>(i)])) IniTakeName(ions[static_cast<size_t>(i)]);
  for (int32_t i = 1; i <= atoms; ++i) {
    IniReadLine();
    moments[static_cast<size_t>(i)] = NumberBuffer[1];
  }
  LATTICE& ph = PhaseTable[p];
  PhaseModelFlags[p] = 1;
  if (systemOk) ph.CrystalSystem = s;
  std::copy(plane.begin() + 1, plane.end(), ph.MomentDirection);
  ph.SourceFlags[0] = 1;
  std::string bare = groupFile;
  DeleteSpaces(bare);
  std::error_code ec;
  if (!IsDummyName(bare) && !std::filesystem::exists(groupFile, ec)) IniError("No file " + groupFile);
  SpaceGroupFileName = PhaseGroupFileNames[p] = groupFile;
  for (int32_t i = 1; i <= atoms; ++i) {
    ATOM& a = AtomTable[i][p];
    // The table's names may hold a blank ("V 0"): both sides are compared without blanks.
    const std::string ion = Squeezed(ions[static_cast<size_t>(i)]);
    for (int32_t r = 1; r <= IonCount; ++r) {
      if (ion.empty() || Squeezed(IonTable[r].Name) != ion) continue;
      std::copy(IonTable[r].Coefficients, IonTable[r].Coefficients + 7, a.FormFactor);
      a.IonName = IonTable[r].Name;
      break;
    }
    a.MagneticMoment = moments[static_cast<size_t>(i)];
  }
}

void ReadIniAnisotropicPhase() {
  KnownCommand = 1;
  const int32_t n = IniReadLine();
  if (n < 1 || n > 6) return IniError("Wrong anisotropic info");
  int32_t p = 0;
  const bool phaseOk = IniInteger(NumberBuffer[1], 1, Phases(), p);
  std::array<double, AnisotropyParameterCount + 1> v{};
  const int32_t got = IniReadNumbers(AnisotropyParameterCount, v);
  if (!phaseOk || got < AnisotropyParameterCount) return IniError("Wrong anisotropic info");
  AnisotropicPhases[p] = 1;
  AnisotropyOn = 1;
  std::copy(v.begin() + 1, v.end(), PhaseTable[p].Anisotropy);
}

void ReadIniM2Mode() {
  KnownCommand = 1;
  std::array<double, 3> v{};
  if (IniReadNumbers(2, v) < 2) return IniError("INI: Too few data in SMM-command");
  M2ModeValues[0] = v[1], M2ModeValues[1] = v[2];
  M2Mode = 1;
}

void IniFormHkls() {
  KnownCommand = 1;
  if (NoCrystalInfo != 0) return IniError("No phase information available");
  DRangeToChannels(DMin, DMax);
  OrderD(DMin, DMax);
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (PhaseTable[p].AtomCount <= 0) {
      ShowMsg("Warning, no atomic information yet available");
      PhaseTable[p].AtomCount = 1;
      ResetAtom(FlatAtom(1, p));
    }
    FormSymmetricHklList(p, DMin, DMax);
    if (p <= TrevoPhaseCount)
      TrevoPhases[p].ReflectionCount = std::clamp(PhaseTable[p].ReflectionCount, 0, TrevoReflectionCapacity);
  }
  FormHklsOfPhases(1);
}

namespace {

// THKL and SNRA: PhaseCount numbers, refused for more phases than the evolution records hold.
bool ReadEvolutionCounts(std::array<double, MaxPhases + 1>& v, const char* command) {
  const int32_t phases = Phases();
  const int32_t got = IniReadNumbers(phases, v);
  if (phases > TrevoPhaseCount) {
    IniError(std::string(command) + ": at most " + std::to_string(TrevoPhaseCount) + " phases");
    return false;
  }
  if (got < phases) {
    IniError(std::string("INI: Too few data in ") + command + "-command");
    return false;
  }
  return true;
}

}  // namespace

void ReadIniTakeHkls() {
  KnownCommand = 1;
  std::array<double, MaxPhases + 1> v{};
  if (!ReadEvolutionCounts(v, "THKL")) return;
  for (int32_t p = 1; p <= Phases(); ++p) {
    TTrevoPhase& t = TrevoPhases[p];
    const LATTICE& ph = PhaseTable[p];
    t.ReflectionCount = EvolutionCount(p, v[static_cast<size_t>(p)]);
    std::copy(ph.Cell, ph.Cell + 6, t.Cell);
    std::copy(ph.ReciprocalCell, ph.ReciprocalCell + 6, t.ReciprocalCell);
    t.Volume = CellVolume(t.Cell);
    for (int32_t r = 1; r <= t.ReflectionCount; ++r) t.Reflections[r] = HklTable[r][p];
  }
}

void ReadIniReflectionCounts() {
  KnownCommand = 1;
  std::array<double, MaxPhases + 1> v{};
  if (!ReadEvolutionCounts(v, "SNRA")) return;
  for (int32_t p = 1; p <= Phases(); ++p) TrevoPhases[p].ReflectionCount = EvolutionCount(p, v[static_cast<size_t>(p)]);
}
