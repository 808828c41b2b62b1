// A command file read as the INI reader reads a chosen file (FUZZ_MODE 1 the INI language, 0 the
// dat dialect), the model reset first, every question and dialog answered with its default.
// Whatever the file holds, the numbers stored in the phases, atoms and spectra stay finite.
#include <algorithm>
#include <string_view>
#include "core/abandon.h"
#include "core/model_tables.h"
#include "core/spectrum.h"
#include "ini/ini_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSetUp();
  FuzzCopyData(VKEST_SOURCE_DIR "/tests/ini/data");  // the spectra and lists the corpus names
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEnterFolder();
  FuzzSession session;
  // Every input starts from fresh spectra, so that a finding replays from its input alone.
  for (int32_t s = 0; s <= 4; ++s) FreshSpectrum(s);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    ReadIniText(text, FUZZ_MODE, true, false, FuzzDir() + (FUZZ_MODE == 1 ? "/f.ini" : "/f.dat"));
  } catch (const OperationAbandoned&) {
    // The command dispatch ends the command here; the checks below still hold.
  }
  for (int32_t p = 1; p <= MaxPhases; ++p) {
    const LATTICE& l = PhaseTable[p];
    for (double v : l.Cell) FuzzCheckFinite(v, "cell of phase " + std::to_string(p));
    const int32_t atoms = std::clamp(l.AtomCount, 0, MaxAtoms);
    FuzzCheck(atoms == l.AtomCount, "atom count " + std::to_string(l.AtomCount));
    for (int32_t a = 1; a <= atoms; ++a) {
      const ATOM& at = AtomTable[a][p];
      for (double v : {at.Occupation, at.X, at.Y, at.Z, at.T11}) FuzzCheckFinite(v, "atom " + std::to_string(a));
    }
  }
  for (int32_t s = 0; s <= 4; ++s) {
    const TSpectrum& sp = *SpectrumList[s];
    FuzzCheck(sp.FirstChannel >= 1 && sp.LastChannel <= MaxChannels, "channel range of spectrum " + std::to_string(s));
    for (double v : {sp.ChanWidth, sp.Delay, sp.Theta, sp.FlightPath, sp.Lambda, sp.W0, sp.Dw0, sp.W1, sp.W2})
      FuzzCheckFinite(v, "header of spectrum " + std::to_string(s));
    CheckSpectrumFinite(sp, sp.FirstChannel, sp.LastChannel, "spectrum " + std::to_string(s));
  }
  return 0;
}
