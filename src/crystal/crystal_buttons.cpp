#include "crystal/crystal_buttons.h"
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/small_routines.h"
#include "core/space_groups.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/phase_editor.h"
#include "core/spectra_utilities.h"

namespace {

// The Fourier plane written by Button12: grid points 1..30 of x and y.
constexpr int32_t FourierPlanePoints = 30;

// Puts a phase record back when the scope ends, whatever ends it.
class PhaseRestorer {
public:
  explicit PhaseRestorer(int32_t k) : k_(k), saved_(PhaseTable[k]) {}
  ~PhaseRestorer() { PhaseTable[k_] = saved_; }
  PhaseRestorer(const PhaseRestorer&) = delete;
  PhaseRestorer& operator=(const PhaseRestorer&) = delete;

private:
  int32_t k_;
  LATTICE saved_;
};

// A grid cell read as a whole number; false (with DialogOk 0) when it holds no number or one
// far outside any table.
bool GridInteger(int32_t row, int32_t& n) {
  double v = 0;
  DialogOk = 1;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, row), v);
  if (DialogOk != 1 || !(std::fabs(v) < 1e6)) {
    DialogOk = 0;
    return false;
  }
  n = static_cast<int32_t>(std::nearbyint(v));
  return true;
}

}  // namespace

void InstallCrystalButtons() {
  ExtraButtonHandlers[10] = Button10Click;
  ExtraButtonHandlers[11] = Button11Click;
  ExtraButtonHandlers[12] = Button12Click;
  ExtraButtonHandlers[13] = Button13Click;
  ExtraButtonHandlers[14] = Button14Click;
  ExtraButtonHandlers[15] = Button15Click;
  ExtraButtonHandlers[16] = Button16Click;
}

void Button10Click() {
  int32_t number = 0, setting = 0;
  if (!GridInteger(0, number) || !GridInteger(1, setting)) return;
  if (number == 0) {
    ShowMsg("No group 0, setting " + std::to_string(setting));
    DialogOk = 0;
    return;
  }
  const int32_t k = EditedPhase >= 1 && EditedPhase <= MaxPhases ? EditedPhase : 1;
  std::vector<std::string> lines;
  {
    // The group is expanded in the phase's slot and read there; the slot then gets its record back.
    PhaseRestorer restore(k);
    LATTICE& p = PhaseTable[k];
    p.SpaceGroup = number;
    p.Setting = setting;
    ExpandSpaceGroup(k);
    if (DialogOk == 0) return;
    const size_t type = static_cast<size_t>(std::clamp(p.LatticeType, 0, 6));
    lines.push_back(LatticeTypeLetters.substr(type, 1) + "-lattice,  " + (p.Centrosymmetric ? "" : "non ") +
                    "Centrosymmetric");
    lines.push_back(p.Schoenflies + "  " + p.HermannMauguin);
    const int32_t centrings = std::clamp(p.CentringCount, 0, 3);
    lines.push_back("   Translation vectors,  " + std::to_string(centrings) + " item[s]");
    for (int32_t v = 1; v <= centrings; ++v)
      lines.push_back(FormatNumber(5, 2, p.CentringVectors[0][v]) + FormatNumber(5, 2, p.CentringVectors[1][v]) +
                      FormatNumber(5, 2, p.CentringVectors[2][v]));
    const int32_t operations = std::clamp(p.OperationCount, 0, MaxOperations);
    lines.push_back("   Transformations (" + std::to_string(operations) + " item[s])");
    for (int32_t i = 1; i <= operations; ++i) {
      std::string text;
      OperationText(i, k, text);
      lines.push_back(text);
    }
  }
  PrepareInfoWindow(5, 450, 450, 1);
  Form3.caption = "Space group " + std::to_string(number) + " information";
  Form3.Memo1.lines = std::move(lines);
  ShowInfoModal();
}

void Button11Click() {
  std::string symbol = Form2.StringGrid1.Cell(0, 0);
  DeleteSpaces(symbol);
  int32_t number = 0;
  FindSpaceGroup(symbol, number);
  if (DialogOk != 1) return;
  Form2.StringGrid1.Cell(0, 0) = FormatNumber(5, 0, number);
  ShowMsg("Group " + symbol + LineBreak + "Space group= " + std::to_string(number) + ", setting= 1 or 2");
}

void Button12Click() {
  const int32_t slice = FourierSettings.slice;
  if (slice < 1 || slice > FourierGrid) {
    ShowMsg("No slice " + std::to_string(slice) + " in the Fourier map (1 to " + std::to_string(FourierGrid) + ")");
    return;
  }
  LogLine(Form2.caption);
  const double z = (slice - 1) * FourierSettings.zStep + FourierSettings.zLow;
  LogLine("Z= " + FormatNumber(8, 2, z));
  LogLine("Fourier XY-plane (30 x 30)");
  std::string line;
  for (int32_t y = 1; y <= FourierPlanePoints; ++y) {
    line.clear();
    for (int32_t x = 1; x <= FourierPlanePoints; ++x) line += FormatNumber(7, 1, FourierMap[x][y][slice]);
    LogLine(line);
  }
  LogLine("");
}

void Button13Click() {
  InfoLines.count = 0;
  int32_t operations = 0;
  for (int32_t r = 1; r < SpaceGroupRowCount; r += 2 + operations) {
    const char* header = SpaceGroupTable[static_cast<size_t>(r)];
    // The operation rows of the entry, held to the rows the table has.
    operations = std::clamp(IntegerAt(header, 9, 12), 0, SpaceGroupRowCount - r - 1);
    const int32_t entry = IntegerAt(header, 1, 4);
    const int32_t number = std::abs(entry), setting = entry < 0 ? 2 : 1;
    std::string symbol = std::string(Columns(SpaceGroupTable[static_cast<size_t>(r + 1)], 35, 41));
    for (char& c : symbol) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    AddInfoLine(std::string(CrystalSystemRow(CrystalSystemOfGroup(number, setting)).name) + "  space group N = " + FormatNumber(4, 0, number) +
                "  setting= " + std::to_string(setting) + "   " + symbol);
  }
  PrepareInfoWindow(5, 600, 435, 2);
  ShowInfoModal();
}

void Button14Click() {
  PrepareInfoWindow(5, 600, 435, 1);
  std::vector<std::string>& memo = Form3.Memo1.lines;
  TSpectrum* spectrum = SpectrumOrNull(CurrentSpectrum);
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    const LATTICE& phase = PhaseTable[p];
    memo.push_back("UNIT CELL, PHASE " + std::to_string(p) + (PhaseModelFlags[p] == 1 ? " MAGNETIC" : ""));
    for (double v : phase.Cell) memo.push_back(FormatNumber(10, 4, v));
    const int32_t n = std::clamp(phase.ReflectionCount, 0, MaxReflections);
    memo.push_back("Reflections (hkls)  " + std::to_string(n) + " items");
    for (int32_t i = 1; i <= n; ++i) {
      const THklRecord& r = HklTable[i][p];
      const double channel = spectrum ? spectrum->DToChannel(r.d) : 0.0;
      memo.push_back(FormatNumber(9, 5, r.d) + " " + FormatNumber(9, 1, channel) + " " + FormatNumber(4, 0, r.h) + " " +
                     FormatNumber(4, 0, r.k) + " " + FormatNumber(4, 0, r.l));
    }
  }
  ShowInfoModal();
}

void Button15Click() {
  const TSpectrum* spectrum = SpectrumOrNull(CurrentSpectrum);
  const std::string name =
      spectrum ? std::filesystem::path(spectrum->Name).filename().string() : std::string();
  if (IsBlank(name)) {
    ShowMsg("No spectrum name: the picture is not saved");
    return;
  }
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::current_path(ec);
  if (ec) {
    ShowMsg("No current folder: the picture is not saved");
    return;
  }
  const std::string path = folder.string() + "/" + name + ".bmp";
  Form2.Image1.canvas.SaveBmp(path);
  ShowMsg(path + " saved");
}

void Button16Click() {
  InfoLines.count = 0;
  for (size_t s = 1; s < CrystalSystemTable.size(); ++s) {
    const TCrystalSystemRow& row = CrystalSystemTable[s];
    AddInfoLine(std::string(" ") + row.name + "  " + row.letters + "  " + row.groups);
  }
  PrepareInfoWindow(5, 600, 435, 2);
  ShowInfoModal();
}
