// A spectrum file read through ReadSpectrumFile as the spectrum input does. Built once per
// reader: FUZZ_MODE 1 the spectrum (FUZZ_KIND the file kind 1..4), 2 the variance file, 0 the
// effective spectrum (for 0 and 2 the kind comes from the input). The first five bytes are the
// reader options and the channel range, the rest is the file.
#include <algorithm>
#include <memory>
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzBytes in(data, size);
  const uint8_t options = in.Byte(), columns = in.Byte();
  const int32_t i = FUZZ_MODE == 0 ? 0 : 1;
  TSpectrum& sp = FreshSpectrum(i);
  SkipHeader = options & 1;
  ReverseBytes = (options >> 1) & 1;
  StartingChannelOne = (options >> 2) & 1;
  AsciiErrorType = ((options >> 3) & 3) % 3;
  sp.DoubleSigned = (options >> 5) & 1;
  const int32_t kind = FUZZ_KIND > 0 ? FUZZ_KIND : 1 + (options >> 6);
  AsciiColumnX = 1 + (columns & 3), AsciiColumnY = 1 + ((columns >> 2) & 3), AsciiColumnE = 1 + ((columns >> 4) & 3);
  // The channel range as the input dialog accepts it: 1 <= first <= last <= MaxChannels.
  sp.FirstChannel = 1 + in.Word() % MaxChannels;
  sp.LastChannel = sp.FirstChannel + in.Byte() * 128 % (MaxChannels - sp.FirstChannel + 1);
  sp.WorkFirst = sp.FirstChannel, sp.WorkLast = sp.LastChannel;
  VarianceMode = FUZZ_MODE == 2 ? 1 : 0;
  (FUZZ_MODE == 2 ? sp.VarianceFileType : sp.FileType) = kind;
  (FUZZ_MODE == 2 ? sp.VarianceName : sp.Name) = FuzzFile(in.Rest(), in.RestSize(), "spectrum.dat");
  if (FUZZ_MODE == 2 && kind == 4) sp.Name = sp.VarianceName;  // kind 4 always reads Name

  const uint64_t before = SpectrumChecksum(sp);
  ReadSpectrumFile(FUZZ_MODE);
  if (IoOk == 0) {
    FuzzCheck(SpectrumChecksum(sp) == before, "a failed read changed the spectrum");
  } else {
    FuzzCheck(sp.FirstChannel >= 1 && sp.FirstChannel <= sp.LastChannel && sp.LastChannel <= MaxChannels,
              "channel range " + std::to_string(sp.FirstChannel) + ".." + std::to_string(sp.LastChannel));
    CheckSpectrumFinite(sp, sp.FirstChannel, sp.LastChannel, "spectrum read");
    FuzzCheckFinite(sp.Ymax, "Ymax");
    FuzzCheckFinite(sp.Ymin, "Ymin");
    for (double v : {sp.XFirst, sp.XLast, sp.XStep, sp.ChannelOffset, sp.ChannelsPerX}) FuzzCheckFinite(v, "calibration");
  }
  VarianceMode = 0;
  return 0;
}
