// The parameter array as text rows: the form the INI reader takes back and the clipboard carries.
#include <algorithm>
#include <string>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/text_file.h"
#include "crystal/cell_rows.h"
#include "crystal/parameter_editor.h"
#include "ini/ini_writer.h"

namespace {

// n (3, wider from record 1000 on: asterisks would turn the row into a comment), lower, value
// and upper in the exponent form without the letter (13 wide, 5 digits), a and b (7:3, with the
// decimals a tie such as 1/3 needs), a blank and the short name.
std::string ParameterRowText(const ParameterRecord& r) {
  std::string line = IniIntField(3, r.n);
  for (double v : {r.lower, r.value, r.upper}) line += IniExponent(13, 5, v);
  // A widened a or b keeps a blank before it: the reader splits the row at blanks.
  for (double v : {r.a, r.b}) {
    const std::string s = IniField(7, 3, v);
    if (s.front() != ' ') line += ' ';
    line += s;
  }
  line += " " + r.Name.substr(0, 15);
  return line;
}

}  // namespace

void WriteParameterArrayText(TextFile& file, std::vector<std::string>& list, uint8_t toList) {
  auto out = [&](const std::string& line) {
    if (toList) list.push_back(line);
    else file.WriteLine(line);
  };
  TParameter* fit = ModeParameterObject();
  const int32_t mode = MainMode;
  const int32_t npar = fit ? std::clamp(fit->NPar, 0, std::min(fit->RecordCapacity(), MaxParameters)) : 0;

  // Records with the cell rows as cell constants (the indexing layout's cosines as angles). The
  // conversion runs in parar, which is put back afterwards: parar keeps the records the engine
  // holds.
  std::vector<ParameterRecord> rows(static_cast<size_t>(npar) + 1);
  if (fit) std::copy(fit->Records.begin(), fit->Records.begin() + npar + 1, rows.begin());
  if (fit && (mode == 0 || mode == 1 || mode == 2)) {
    std::vector<ParameterRecord> saved(parar, parar + npar + 1);
    std::copy(rows.begin(), rows.end(), parar);
    for (int32_t k = 1; k <= std::clamp(PhaseCount, 0, MaxPhases); ++k)
      // Only rows the engine holds: parar is put back up to npar.
      if (FirstCellRecord(k) != 0 && FirstCellRecord(k) + 5 <= npar && MetricRowsToCell(k)) OrderCellBounds(k);
    std::copy(parar, parar + npar + 1, rows.begin());
    std::copy(saved.begin(), saved.end(), parar);
  }
  auto row = [&](int32_t i, bool converted) {
    if (i >= 1 && i <= npar) out(ParameterRowText(converted ? rows[static_cast<size_t>(i)] : fit->Records[i]));
  };

  static const char* const comments[4] = {"*   Rietveld analysis parameters", "*   Powder indexing parameters",
                                          "*   Powder match parameters", "*   Peak(Exp) analysis parameters"};
  if (mode >= 0 && mode <= 3) out(comments[mode]);
  out("* Npar     BoundL     Parameter       BoundU    ai    bi");
  if (mode != 0 && mode != 2) {
    for (int32_t i = 1; i <= npar; ++i) row(i, mode == 1);
    return;
  }
  for (int32_t i = 1; i <= 10; ++i) row(i, false);
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t o = PhaseParameterOffset(p);
    out("*                PHASE No " + std::to_string(p));
    row(o + 1, false);
    for (int32_t i = 2; i <= 10; ++i) row(o + i, true);
    if (mode == 0) {
      for (int32_t a = 1; a <= std::clamp(PhaseTable[p].AtomCount, 0, MaxAtoms); ++a) {
        out("*         Atom No " + std::to_string(a) + "   " + AtomTable[a][p].Name);
        for (int32_t i = 1; i <= 10; ++i) row(o + 10 * a + i, false);
      }
    } else {
      out("*         Reflection squared amplitudes");
      for (int32_t j = 1; j <= std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); ++j) row(o + 10 + j, false);
    }
  }
  if (mode == 0 && HasMagneticPhase()) {
    out("*        Magnetic par-s");
    for (int32_t i = 1; i <= 3 * phases; ++i) row(ParameterCount(0) + i, false);
  }
  if (AnisotropyOn) {
    out("*        Aniso-parameters");
    for (int32_t i = 1; i <= AnisotropyParameterCount * phases; ++i) row(ParameterCount(1) + i, false);
  }
  if (M2Mode) {
    out("*        M2 Mode parameters");
    row(ParameterCount(2) + 1, false), row(ParameterCount(2) + 2, false);
  }
}
