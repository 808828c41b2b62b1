// The files of a phase-evolution sequence: the list of spectrum (and variance) file names, then
// its first step loaded as the sequence driver loads it. The input is the list, a zero byte, and
// the bytes of the step's spectrum file ("s1.sp", also "v1.sp" for its variance); the first byte
// chooses the file kind and whether the list holds variances. A step that loads is finite.
#include <algorithm>
#include <cstring>
#include <memory>
#include "core/dialog_state.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "evolution/trevo_state.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzBytes in(data, size);
  const uint8_t options = in.Byte();
  const auto* rest = in.Rest();
  const size_t n = in.RestSize();
  const auto* zero = static_cast<const uint8_t*>(std::memchr(rest, 0, n));
  const size_t listSize = zero ? static_cast<size_t>(zero - rest) : n;
  const std::string list = FuzzFile(rest, listSize, "seq.lst");
  const uint8_t* file = zero ? zero + 1 : rest + n;
  const size_t fileSize = static_cast<size_t>(rest + n - file);
  FuzzFile(file, fileSize, "s1.sp");
  FuzzFile(file, fileSize, "v1.sp");

  SpectraOnlySequence = options & 1;
  CorrectForEffectiveSpectrum = 0;
  SpectrumDir = FuzzDir();
  SequenceCount = 0;
  TextFile f;
  int32_t count = 0;
  ReadSpectrumSequence(f, list, count, SpectraOnlySequence == 0 ? 1 : 0);
  FuzzCheck(count >= 0 && count <= SequenceCapacity, "sequence count " + std::to_string(count));
  SequenceCount = count;
  if (count < 1) return 0;
  // Names are folder-relative; one leading out of the folder is not this test's business.
  for (int32_t i = 1; i <= std::min(2 * count, SequenceCapacity); ++i)
    if (SequenceFileNames[static_cast<size_t>(i)].find('/') != std::string::npos) return 0;
  CurrentSpectrum = 1;
  TSpectrum& sp = FreshSpectrum(1);
  sp.FileType = 1 + ((options >> 1) & 3);
  sp.LastChannel = sp.WorkLast = 2048;
  LoadSequenceSpectrum(1);
  if (DialogOk == 1 && IoOk == 1) CheckSpectrumFinite(sp, sp.FirstChannel, sp.LastChannel, "sequence step");
  return 0;
}
