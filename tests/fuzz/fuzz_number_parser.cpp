// The free-field number parser that reads every number of a file or a dialog field: the line
// split into NumberBuffer, one field through the robust and the checked conversion.
#include <algorithm>
#include <string_view>
#include "core/dialog_state.h"
#include "core/number_buffer.h"
#include "core/number_parse.h"
#include "core/toolbox.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  int32_t n = -1;
  ParseNumbers(n, s);
  FuzzCheck(n >= 0 && n <= NumberBufferSize, "number count " + std::to_string(n));
  for (int32_t i = 1; i <= n; ++i) FuzzCheckFinite(NumberBuffer[i], "number " + std::to_string(i));
  double x = 0;
  uint8_t ok = 2;
  StrToFloatRobust(s, x, ok);
  FuzzCheck(ok <= 1, "ok flag");
  FuzzCheckFinite(x, "StrToFloatRobust");
  DialogOk = 1;
  StrToFloatChecked(s, x);
  FuzzCheckFinite(x, "StrToFloatChecked");
  FuzzCheck(DialogOk == 1 || x == 1.001, "a refused field gives 1.001");
  return 0;
}
