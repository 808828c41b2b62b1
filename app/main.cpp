// vkest: a workbench for powder diffraction.
#include <QApplication>
#include <QMainWindow>
#include "app/banner.h"
#include "core/qt/qt_backend.h"
#include "crystal/crystal_buttons.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vkest");
  QtBackend ui;
  ScopedUi guard(ui);
  InstallCrystalButtons();
  QMainWindow window;
  window.setWindowTitle(QString::fromUtf8(kBanner));
  window.resize(640, 480);
  window.show();
  return QApplication::exec();
}
