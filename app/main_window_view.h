// The main window on the screen: a QMainWindow built once from the TForm1 model (the menu bar,
// the three images, the side buttons and the status lines at the model's absolute positions).
// It shows what the model says whenever the model changes, and sends every menu action, side
// button, key and close request to the model's one handler, TForm1::HandleEvent.
#pragma once
#include <QMainWindow>
#include <array>
#include <vector>
#include "mainwin/main_window.h"

class QAction;
class QLabel;
class QPushButton;
class ImageWidget;
class PointBoxView;

class MainWindowView : public QMainWindow {
  Q_OBJECT
public:
  explicit MainWindowView(TForm1& model);
  ~MainWindowView() override;

  // Shows the model as it is now.
  void Refresh();

  TForm1& Model() const { return model_; }
  // The menu action of top-level entry top (1..14) and its sub-item item (0 the entry itself).
  QAction* Action(int32_t top, int32_t item = 0) const;
  QPushButton* SideButton(int32_t i) const { return buttons_.at(static_cast<size_t>(i)); }
  QLabel* StatusLabel(int32_t i) const { return i == 1 ? label1_ : label2_; }
  ImageWidget* Image(int32_t i) const { return images_.at(static_cast<size_t>(i)); }
  // The point-information box (Form4), a tool window of this one.
  PointBoxView* PointBox() const { return pointBox_; }

protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  // A press on the graph image goes to the model as a graph click with its button and pixel;
  // Alt + letter on the bar and its menus goes to MnemonicKey.
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  struct MenuAction {
    QAction* action;
    int32_t top, item;
  };
  void Dispatch(const TMainEvent& event);
  int MenuBarWidth() const;
  bool MnemonicKey(int key);
  void ReturnKeysToWindow();
  void KeepAboveGraph();

  TForm1& model_;
  std::vector<MenuAction> actions_;
  std::array<QPushButton*, SideButtonCount + 1> buttons_{};
  std::array<ImageWidget*, 4> images_{};
  QLabel* label1_;
  QLabel* label2_;
  QSize shownSize_;
  PointBoxView* pointBox_;
};
