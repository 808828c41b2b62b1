// The Cf/Bk spectrum list: a header line, then a point per line from its 1st and 14th numbers.
// The current spectrum afterwards holds 1..n finite points, n within the channels, and the
// result file says how many items were read.
#include <string>
#include "core/number_format.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "mainwin/settings_dialogs.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  CurrentSpectrum = 1;
  TSpectrum& sp = FreshSpectrum(1);
  const std::string name = FuzzFile(data, size, "list.sp");
  ReadCfBkSpectrumList(name);
  FuzzCheck(sp.FirstChannel == 1 && sp.WorkFirst == 1, "first channel");
  FuzzCheck(sp.LastChannel >= 0 && sp.LastChannel <= MaxChannels && sp.WorkLast == sp.LastChannel, "last channel");
  CheckSpectrumFinite(sp, 1, sp.LastChannel, "Cf/Bk spectrum");
  for (int32_t c = 1; c <= sp.LastChannel; ++c) FuzzCheck(sp.E[c] >= 1.0, "an error below sqrt(1)");
  FuzzCheck(LogFile.Contents() == "Input of Cf/Bk spectrum " + name + FormatInteger(sp.LastChannel, 5) + " items\r\n",
            "the result line");
  return 0;
}
