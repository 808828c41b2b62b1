// vkest: a workbench for powder diffraction.
#include <QApplication>
#include "app/session_qt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vkest");
  return MainProgram();
}
