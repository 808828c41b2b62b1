// The structure-factor file of the Fourier synthesis (records h k l multiplicity d Fcos Fsin),
// then the series of the terms read summed on a small grid. A file is taken whole with indices an
// int32 holds, or refused whole with its message and an empty list.
#include <cstdlib>
#include <vector>
#include "core/dialog_state.h"
#include "core/text_file.h"
#include "fourier/fourier_map.h"
#include "fourier/fourier_synthesis.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  TextFile f;
  f.Reset(FuzzFile(data, size, "sf.txt"));
  DialogOk = 1;
  FourierNotes.clear();
  ReadStructureFactorRecords(f);
  f.Close();
  FuzzCheck(FourierTermCount == static_cast<int32_t>(FourierIndexList.size()), "term count");
  if (DialogOk != 1) {
    FuzzCheck(FourierIndexList.empty(), "a refused file left terms");
    FuzzCheck(ui.transcript.size() == 1 && ui.transcript[0].find("beyond the integer range") != std::string::npos,
              "a refusal without its message");
    return 0;
  }
  FuzzCheck(ui.transcript.empty(), "a file taken showed something");
  for (const FOURIERTERM& t : FourierIndexList) {
    FuzzCheck(t.h != INT32_MIN && t.k != INT32_MIN && t.l != INT32_MIN, "an index INT_MIN");
    FuzzCheckFinite(t.A, "Fcos");
    FuzzCheckFinite(t.B, "Fsin");
  }
  // The sums of huge terms may overflow (the map refuses them); the indices must not misbehave.
  std::vector<double> out;
  if (FourierIndexList.size() <= 2000) SumSeriesOnGrid(FourierIndexList, 2, 3, 2, 0, 0, 0, 0.5, 0.25, 0.5, out);
  return 0;
}
