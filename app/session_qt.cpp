#include "app/session_qt.h"
#include <QApplication>
#include <filesystem>
#include "app/main_window_view.h"
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/qt/qt_backend.h"
#include "core/settings_file.h"
#include "crystal/crystal_buttons.h"
#include "mainwin/main_window.h"
#include "mainwin/session.h"
#include "mainwin/start_dialog.h"

int MainProgram(const TProgramOptions& options) {
  // 1-3. The tables have their defaults; the application exists.
  ScreenScale = 1.0;
  FontSize = 10;
  // 4.
  std::error_code ec;
  WorkDir = options.workDir.empty() ? std::filesystem::current_path(ec).string() : options.workDir;
  DialogHint = WorkDir + "/" + SettingsFileName;
  IniFileName = WorkDir;
  EventFileDir = WorkDir;
  // 5-7.
  QtBackend backend;
  ScopedUi guard(backend);
  InstallCrystalButtons();
  CreateSessionWindows();
  MainWindowView view(Form1);
  TerminateApplication = [&backend] { backend.RequestQuit(); };
  // 8-10. A cancelled start makes and closes the session files, and ends without the loop: a
  // quit asked before the loop runs would be lost.
  const bool accepted = ShowStartDialog();
  ScreenScale = 1.25;
  FontSize = 12;
  int code = 0;
  if (!StartSession()) {
    code = 1;
  } else if (!accepted) {
    FinishSession();
  } else {
    // 11.
    view.Refresh();
    view.show();
    code = QApplication::exec();
    if (!SessionEnded) FinishSession();
  }
  TerminateApplication = [] {};
  return code;
}
