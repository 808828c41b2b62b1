// The d-spacing file of the indexing module. The first byte chooses the kind of abscissae, the
// axis of the current spectrum and a calibration with zeros; the rest is the file. A refused
// file leaves the list and its count as they were; a taken one stores finite values only.
#include <memory>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "fuzz_support.h"

namespace {

uint64_t ListChecksum() {
  uint64_t h = ChecksumOf(DSpacingCount, 0);
  for (const TDSpacingRecord& r : DSpacingList) {
    for (double v : {r.d, r.Error, r.DCalc, r.X, r.XCalc}) h = ChecksumOf(v, h);
    for (int32_t v : {r.h, r.k, r.l, r.ReflectionIndex, r.Phase, int32_t{r.Assigned}}) h = ChecksumOf(v, h);
  }
  return h;
}

}  // namespace

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  FuzzBytes in(data, size);
  const uint8_t options = in.Byte();
  DSpacingDataType = options & 3;
  TSpectrum& sp = FreshSpectrum(1);
  CurrentSpectrum = 1;
  sp.AxisKind = ((options >> 2) & 3) % 3;
  if (options & 16) sp.Lambda = 0;
  if (options & 32) sp.FlightPath = 0;
  if (options & 64) sp.Delay = -3.5;
  ui.answerYes = (options & 128) == 0;
  // A list from an earlier input stays until a file is taken.
  const uint64_t before = ListChecksum();
  ReadDSpacingFile(FuzzFile(in.Rest(), in.RestSize(), "d.txt"));
  if (DialogOk != 1) {
    FuzzCheck(ListChecksum() == before, "a refused d-spacing file changed the list");
  } else {
    FuzzCheck(DSpacingCount >= 1 && DSpacingCount <= MaxDSpacings, "count " + std::to_string(DSpacingCount));
    for (int32_t i = 1; i <= DSpacingCount; ++i) {
      FuzzCheckFinite(DSpacingList[i].d, "d");
      FuzzCheckFinite(DSpacingList[i].Error, "error of d");
      FuzzCheckFinite(DSpacingList[i].X, "abscissa");
    }
  }
  return 0;
}
