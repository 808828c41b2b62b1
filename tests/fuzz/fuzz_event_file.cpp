// An event file turned into layer spectra ("Transform Events to the Spectrum"): the first 15
// bytes are the settings the dialog shows (taken with OK), the rest is the file. Every layer's
// question is answered Yes up to 8 layers. The spectrum and the layer results stay finite.
#include <algorithm>
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "spectrum/spectrum_events.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzUi ui;
  ScopedUi guard(ui);
  ui.yesLimit = 8;
  FuzzClearLog();
  FuzzBytes in(data, size);
  TEventSettings s;
  s.column = 1 + (in.Byte() & 1);
  s.en1 = static_cast<int16_t>(in.Word()), s.en2 = static_cast<int16_t>(in.Word());
  s.t1 = static_cast<int16_t>(in.Word()), s.t2 = static_cast<int16_t>(in.Word());
  s.dE = static_cast<int16_t>(in.Word()), s.dT = static_cast<int16_t>(in.Word());
  s.length = in.Word();
  EventSettings = s;
  ui.ChooseFile(FuzzFile(in.Rest(), in.RestSize(), "events.dat"));
  EventsToSpectrum();
  const TSpectrum& sp = *SpectrumList[1];
  CheckSpectrumFinite(sp, 1, MaxChannels, "event spectrum");
  return 0;
}
