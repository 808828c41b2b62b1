// The point-information box of the main graph on the screen: a frameless tool window over the
// main window holding the TForm4 model's list, aqua bold fixed-pitch text on black. It shows
// what the model says whenever the main window refreshes.
#pragma once
#include <QRect>
#include <QWidget>

class QListWidget;
class TForm4;

class PointBoxView : public QWidget {
  Q_OBJECT
public:
  PointBoxView(QWidget* owner, const TForm4& model);

  // Shows the model as it is now (hidden when the model is). The model's position is relative to
  // the main window's outer frame, as the main window's own is; the box stays clear of keepClear
  // (the side button that ends a click loop, in global pixels).
  void Refresh(const QRect& keepClear = QRect());
  QListWidget* List() const { return list_; }

private:
  const TForm4& model_;
  QListWidget* list_;
};
