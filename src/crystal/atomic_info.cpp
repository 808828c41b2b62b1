#include "crystal/atomic_info.h"
#include <algorithm>
#include <cstdint>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/site_symmetry.h"
#include "crystal/equivalent_positions.h"

namespace {

bool MagneticPhase(int32_t p) { return PhaseModelFlags[p] == 1; }

int32_t PhasesInUse() { return std::clamp(PhaseCount, 0, MaxPhases); }
int32_t AtomsOf(int32_t p) { return std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); }

// The list in the dialog's list box, shown modally; false when the user cancelled.
bool ShowList(std::vector<std::string> lines) {
  DialogCaption = "Atomic information.";
  PrepareDialog(600, 1, 430);
  SetHelpLines(EmptyHelpTopic);
  PlaceListBox(Form2.ListBox1, 5, 10, 350, 580);
  Form2.ListBox1.items = std::move(lines);
  ShowDialogModal();
  return DialogOk != 0;
}

}  // namespace

std::vector<std::string> AtomicInfoLines() {
  std::vector<std::string> out;
  for (int32_t p = 1; p <= PhasesInUse(); ++p) {
    const int32_t atoms = AtomsOf(p);
    if (atoms == 0) {
      ShowMsg("No atoms for phase " + std::to_string(p));
      continue;
    }
    const bool magnetic = MagneticPhase(p);
    out.push_back(std::string(24, ' ') + "PHASE " + std::to_string(p));
    for (int32_t j = 1; j <= atoms; ++j) {
      const ATOM& a = AtomTable[j][p];
      out.push_back(a.Name + (magnetic ? " magnetic" : "") + "  (occupation, X, Y, Z, Tij) =");
      std::string values = FormatNumber(7, 2, a.Occupation);
      for (double x : {a.X, a.Y, a.Z}) values += FormatNumber(7, 4, x);
      for (double t : {a.T11, a.T12, a.T13, a.T22, a.T23, a.T33}) values += FormatNumber(7, 2, t);
      out.push_back(values);
      // The occupation is the occupied part of the site times this multiplicity (up to a factor
      // common to the phase): the structure factor sums every image of the atom.
      const double xyz[3] = {a.X, a.Y, a.Z};
      out.push_back("Site multiplicity = " + std::to_string(FindSiteSymmetry(PhaseTable[p], xyz).multiplicity));
      // The nuclear length does not scatter in a magnetic phase's model: shown as 0.
      out.push_back("Weight = " + FormatNumber(9, 1, a.Weight) + "  Radius = " + FormatNumber(9, 2, a.Radius) +
                    "  Scatt. = " + FormatNumber(10, 5, magnetic ? 0.0 : a.ScatteringLength));
      out.push_back("Absor1 = " + FormatNumber(9, 2, a.Absorption1) + "  Absor2 = " +
                    FormatNumber(9, 2, a.Absorption2));
      if (magnetic) out.push_back("Mag.moment= " + FormatNumber(8, 3, a.MagneticMoment) + "  Ionname= " + a.IonName);
      out.push_back(" ");
    }
  }
  return out;
}

std::vector<std::string> EquivalentPositionLines(int32_t phase, int32_t atom) {
  std::vector<std::string> out;
  if (phase < 1 || phase > MaxPhases || atom < 1 || atom > MaxAtoms) return out;
  FindEquivalentPositions(phase, atom, EquivalentPositions);
  const TEquivalentPositions& list = EquivalentPositions;
  out.push_back("Atom " + AtomTable[atom][phase].Name);
  out.push_back("Coinciding equivalent atoms (x,y,z, n of coinc.)");
  int32_t shown = 0;
  for (int32_t i = 1; i <= std::clamp(list.count, 0, MaxEquivalentPositions); ++i) {
    if (!list.Kept(i)) continue;
    const TEquivalentPosition& r = list.records[i];
    out.push_back(std::to_string(++shown) + "  " + FormatNumber(9, 4, r.x) + "  " + FormatNumber(9, 4, r.y) + "  " +
                  FormatNumber(9, 4, r.z) + "  " + FormatNumber(9, 0, r.count));
  }
  return out;
}

void ShowAtomicInfo() {
  if (!ShowList(AtomicInfoLines())) return;
  for (int32_t p = 1; p <= PhasesInUse(); ++p)
    for (int32_t j = 1; j <= AtomsOf(p); ++j)
      if (!ShowList(EquivalentPositionLines(p, j))) return;
}
