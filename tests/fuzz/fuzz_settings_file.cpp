// The settings file "vkest.fn" read at the start of a session: the values stay in their ranges.
#include "core/settings_file.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  ScreenScale = 1.0, FontSize = 10;
  ReadSettingsFile(FuzzFile(data, size, SettingsFileName));
  FuzzCheck(ScreenScale >= 0.64 && ScreenScale <= 1.56, "screen scale " + std::to_string(ScreenScale));
  FuzzCheck(FontSize >= 8 && FontSize <= 14, "font size " + std::to_string(FontSize));
  FuzzCheck(RusHelp <= 1, "RusHelp");
  FuzzCheck(ui.transcript.empty(), "the settings file showed something");
  return 0;
}
