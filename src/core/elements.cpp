#include "core/elements.h"
#include <cmath>
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/ui_backend.h"

void FindElement(const std::string& name, int32_t k, int32_t i, uint8_t& found) {
  found = 0;
  std::string s = name;
  UpperCaseCyr(s);
  DeleteSpaces(s);
  if (s.empty()) return;
  if (!TableIndexOk(k, 1, MaxPhases, "phase") || !TableIndexOk(i, 1, MaxAtoms, "atom")) return;
  std::string key;
  if (s.size() >= 2 && s[1] >= 'A' && s[1] <= 'Z')
    key = s.substr(0, 2);
  else
    key = std::string(" ") + s[0];

  ATOM& atom = AtomTable[i][k];
  for (int32_t r = 1; r <= ElementRowCount; ++r) {
    const TElementRow& e = ElementTable[r];
    if (key != e.Symbol) continue;
    found = 1;
    atom.Name = name;
    atom.Weight = e.Weight;
    atom.Radius = e.Radius;
    atom.Absorption1 = e.TotalCrossSection;
    atom.Absorption2 = e.AbsorptionCrossSection;
    if (atom.ScatteringLength == 0) atom.ScatteringLength = e.ScatteringLength;
    const double b = atom.ScatteringLength;
    if (std::fabs(b - e.ScatteringLength) > 1e-7 && PhaseModelFlags[k] != 1 &&
        std::fabs(b - 1.0) > 1e-5) {
      std::string v;
      FormatNumberTo(10, 5, v, b);
      LogLine("Scattering length " + v + " non-standard");
    }
    return;
  }

  const std::string text = ("No Mendeleev match for " + key).substr(0, 75);
  if (InhibitWarnings) {
    LogLine(text);
    return;
  }
  if (Ui().AskYesNo(text + " Ignore?", MsgKind::Warning)) {
    // The atom keeps the element data it had; only the name is taken.
    found = 1;
    atom.Name = name;
  }
}
