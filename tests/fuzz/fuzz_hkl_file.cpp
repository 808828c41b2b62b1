// "Input hkl set from a file" through its dialog, into phase 1 of the ZrO2 set-up (monoclinic,
// four atoms). The first byte chooses the d range typed into the dialog; the rest is the file. An
// abandoned read leaves the phase's list as it was; a taken list holds finite values only.
#include <filesystem>
#include <fstream>
#include <sstream>
#include "core/abandon.h"
#include "core/model_tables.h"
#include "crystal/hkl_file.h"
#include "ini/ini_reader.h"
#include "fuzz_support.h"

namespace {

uint64_t ListChecksum(int32_t p) {
  uint64_t h = ChecksumOf(PhaseTable[p].ReflectionCount, 0);
  for (int32_t i = 1; i <= MaxReflections; ++i) {
    const THklRecord& r = HklTable[i][p];
    for (int32_t v : {r.h, r.k, r.l, r.Multiplicity}) h = ChecksumOf(v, h);
    for (double v : {r.A, r.B, r.q, r.d, r.IntensityFactor}) h = ChecksumOf(v, h);
  }
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSetUp();
  FuzzUi ui;
  ScopedUi guard(ui);
  const std::filesystem::path dir = std::filesystem::path(VKEST_SOURCE_DIR) / "tests/ini/data";
  std::ifstream file(dir / "zro2.ini", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir);  // the spectrum named in the file
  ReadIniText(text.str(), 1, true, false, (dir / "zro2.ini").string());
  std::filesystem::current_path(before);
  FuzzCheck(PhaseTable[1].Volume > 0 && PhaseTable[1].AtomCount == 4, "the ZrO2 set-up did not load");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  FuzzBytes in(data, size);
  static const char* const ranges[4][2] = {{"0.5", "10"}, {"0", "1e300"}, {"1.2", "1.25"}, {"0.01", "100"}};
  const uint8_t choice = in.Byte();
  const std::string path = FuzzFile(in.Rest(), in.RestSize(), "h.hkl");
  ui.ExpectDialog("Input hkl set from a file").Radio(1).Edit(1, ranges[choice & 3][0]).Edit(2, ranges[choice & 3][1])
      .Edit(3, path).Ok();
  const uint64_t before = ListChecksum(1);
  try {
    InputHklFile();
  } catch (const OperationAbandoned&) {
    FuzzCheck(ListChecksum(1) == before, "an abandoned hkl read changed the list");
    return 0;
  }
  const int32_t n = PhaseTable[1].ReflectionCount;
  FuzzCheck(n >= 0 && n <= MaxHklFileReflections, "reflection count " + std::to_string(n));
  for (int32_t i = 1; i <= n; ++i) {
    const THklRecord& r = HklTable[i][1];
    for (double v : {r.A, r.B, r.q, r.d, r.IntensityFactor}) FuzzCheckFinite(v, "reflection " + std::to_string(i));
  }
  FuzzCheckFinite(PhaseTable[1].MaxF, "MaxF");
  FuzzCheckFinite(PhaseTable[1].MeanMultiplicity, "mean multiplicity");
  return 0;
}
