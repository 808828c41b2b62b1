// vkest: a workbench for powder diffraction.
#include <QApplication>
#include <QMainWindow>
#include "app/banner.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vkest");
  QMainWindow window;
  window.setWindowTitle(QString::fromUtf8(kBanner));
  window.resize(640, 480);
  window.show();
  return QApplication::exec();
}
