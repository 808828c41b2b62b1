// The phase-evolution summary file read back by the evolution display: the cell, reflection and
// peak listings over every block. The first bytes choose the kind of blocks (TrevoMode), the
// listing, the phase, h k l and the number of steps; the rest is the file. Whatever the file
// holds, the display shows at most its one "corrupt" message per listing and lists only lines of
// the file (a peak line with its spectrum label).
#include <string>
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/text_file.h"
#include "evolution/trevo_state.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  FuzzBytes in(data, size);
  const uint8_t kind = in.Byte(), phase = in.Byte(), steps = in.Byte();
  const int8_t h = static_cast<int8_t>(in.Byte()), k = static_cast<int8_t>(in.Byte()), l = static_cast<int8_t>(in.Byte());
  const std::string file(reinterpret_cast<const char*>(in.Rest()), in.RestSize());
  QuorinFile.RewriteToMemory();
  QuorinFile.Write(file);
  TrevoMode = kind % 3;
  PhaseCount = 1 + phase % MaxPhases;
  LastStep = steps % 40, isp1 = 1 + steps / 40;
  EvolutionChoices = TEvolutionChoices{};
  const std::string position = std::to_string(1 + (phase >> 2) * 37);
  if (TrevoMode == 2)
    ui.ExpectDialog("Display evolution").Radio(kind / 3 % 2 + 1).Edit(1, std::to_string(1 + phase % 4))
        .Edit(2, std::to_string(h) + " " + std::to_string(k) + " " + std::to_string(l)).Ok();
  else
    ui.ExpectDialog("Display evolution").Edit(1, position).Ok();
  ui.ExpectDialog("Display evolution").Cancel();
  DisplayEvolution();
  int32_t corrupt = 0;
  for (const std::string& t : ui.transcript)
    if (t.rfind("MSG: ", 0) == 0) {
      FuzzCheck(t == "MSG: The quorin.res file is corrupt", "unexpected message " + t);
      ++corrupt;
    }
  FuzzCheck(corrupt <= 1, "more than one corrupt message");
  // Every listed line (past the display's own titles) is a line of the file, a peak line
  // followed by its label "Sp" + the block number.
  const std::string& log = LogFile.Contents();
  size_t pos = 0;
  for (int32_t n = 0; pos < log.size(); ++n) {
    const size_t end = log.find("\r\n", pos);
    FuzzCheck(end != std::string::npos, "an unended result line");
    std::string line = log.substr(pos, end - pos);
    pos = end + 2;
    if (n < (TrevoMode == 2 ? 1 : 3) || line.empty()) continue;
    if (TrevoMode != 2) {
      const size_t sp = line.rfind("Sp");
      FuzzCheck(sp != std::string::npos && sp >= 8, "a peak line without its label: " + line);
      line.erase(sp - 8);
    } else if (line.rfind("Phase ", 0) == 0) {
      continue;
    } else if (line.size() >= 4 && file.find(line) == std::string::npos) {
      line.erase(0, 4);  // a cell line numbered by its step
    }
    FuzzCheck(file.find(line) != std::string::npos, "a listed line not in the file: " + line);
  }
  return 0;
}
