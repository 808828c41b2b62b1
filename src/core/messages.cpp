#include "core/messages.h"
#include <algorithm>
#include <cmath>
#include <filesystem>
#include "core/dialog_state.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "core/ui_backend.h"

void ShowMsg(const std::string& text) { Ui().ShowMessage(text); }

void ShowMsgOrLog(const std::string& text) { ShowMsg(text); }

void CheckIOResult(const std::string& text) {
  ShowMsg(text + "... InOut error =" + std::to_string(IoResult()));
}

bool ConfirmOverwrite(const std::string& name) {
  std::error_code ec;
  if (!std::filesystem::exists(name, ec)) return true;
  return Ui().AskYesNo(name + " already exists.Overwrite?", MsgKind::Warning);
}

void EraseIfNearlyEmpty(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    SetIoResult(ec == std::errc::no_such_file_or_directory ? 2 : 100);
    AbandonFileOperation("Cannot open", path);
  }
  if (size < 4 && !std::filesystem::remove(path, ec)) {
    SetIoResult(5);
    AbandonFileOperation("Cannot erase", path);
  }
}

bool WaitForFlag(uint8_t& flag) {
  flag = 0;
  while (flag == 0) {
    if (Ui().Quitting()) {
      DialogOk = 0;  // the wait was given up: what waited for it is cancelled
      return false;
    }
    Ui().ProcessEvents();
  }
  return true;
}

int32_t Scaled(double n) { return static_cast<int32_t>(std::nearbyint(n * ScreenScale)); }

double ScaleThatFits(double scale) {
  constexpr int32_t Frame = 40;  // title bar and borders, pixels
  int32_t w = 0, h = 0;
  if (!Ui().ScreenSize(w, h)) return scale;
  for (double s : {scale, 2.0, 1.5, 1.25, 1.0})
    if (s <= scale && std::nearbyint(640 * s) <= w && std::nearbyint(480 * s) + Frame <= h) return s;
  return std::min(scale, 1.0);
}
