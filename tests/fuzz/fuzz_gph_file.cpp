// A GPH file read back and drawn without the model ("m.gph" chosen in the file dialog). A file
// that is refused leaves the shown interval as it was; a taken one shows one channel a row.
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/spectrum.h"
#include "mainwin/gph_file.h"
#include "mainwin/main_window.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  ui.ChooseFile(FuzzFile(data, size, "m.gph"));
  IntervalFirst = 5, IntervalLast = 100, NChannels = 96;
  GphFile(Form1.Image2.canvas, 1);
  if (DialogOk != 1)
    FuzzCheck(IntervalFirst == 5 && IntervalLast == 100 && NChannels == 96, "a refused gph file changed the interval");
  else
    FuzzCheck(IntervalFirst == 1 && IntervalLast >= 1 && NChannels == IntervalLast, "interval of the gph rows");
  return 0;
}
