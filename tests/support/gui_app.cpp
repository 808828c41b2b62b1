#include "support/gui_app.h"
#include <QGuiApplication>

void RequireGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "vkest-test";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

// The font configuration library keeps a few allocations until the process ends; they are not
// leaks of this program.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
