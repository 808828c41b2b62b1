// The spectrum defaults file "vkest.def" read into a spectrum: the values taken are finite.
#include "core/spectrum.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  TSpectrum* sp = &FreshSpectrum(1);
  const uint64_t channels = Checksum(sp->Y, sizeof sp->Y, Checksum(sp->E, sizeof sp->E, Checksum(sp->X, sizeof sp->X)));
  ReadSpectrumInfo(FuzzFile(data, size, SpectrumDefaultsFileName), *sp, 0);
  for (double v : {sp->ChanWidth, sp->Delay, sp->Theta, sp->FlightPath, sp->W0, sp->Dw0, sp->W1, sp->W2, sp->Lambda,
                   sp->Abs1, sp->Abs2, sp->Factor})
    FuzzCheckFinite(v, "a spectrum default");
  FuzzCheck(Checksum(sp->Y, sizeof sp->Y, Checksum(sp->E, sizeof sp->E, Checksum(sp->X, sizeof sp->X))) == channels,
            "the defaults file changed the channels");
  return 0;
}
