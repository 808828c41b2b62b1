#include "app/point_box_view.h"
#include <QListWidget>
#include <algorithm>
#include "core/canvas.h"
#include "core/display_text.h"
#include "core/qt/qt_fonts.h"
#include "mainwin/main_window.h"

PointBoxView::PointBoxView(QWidget* owner, const TForm4& model)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), model_(model), list_(new QListWidget(this)) {
  setObjectName("Form4");
  setAttribute(Qt::WA_ShowWithoutActivating);  // the keys stay with the main window
  list_->setObjectName("ListBox1");
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setFrameShape(QFrame::NoFrame);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setStyleSheet("PointBoxView { background-color: black; }");
}

void PointBoxView::Refresh(const QRect& keepClear) {
  if (!model_.visible) {
    hide();
    return;
  }
  QWidget* owner = parentWidget();
  QRect box(owner->frameGeometry().topLeft() + QPoint(model_.left - Form1.left, model_.top - Form1.top),
            QSize(std::max(1, model_.width), std::max(1, model_.height)));
  // A thinner frame than the one the layout was made for would put the box over the side panel.
  if (keepClear.isValid() && box.intersects(keepClear))
    box.moveBottom(std::max(keepClear.top() - 1, owner->mapToGlobal(QPoint(0, 0)).y() + box.height() - 1));
  setGeometry(box);
  const TListBox& l = model_.ListBox1;
  list_->setGeometry(l.left, l.top, std::max(0, l.width), std::max(0, l.height));
  list_->setVisible(l.visible);
  const QString style = QString("QListWidget { color: %1; background-color: %2; }")
                            .arg(QColor::fromRgb(ColorToRgb(l.font.color)).name(),
                                 QColor::fromRgb(ColorToRgb(l.color)).name());
  if (list_->styleSheet() != style) list_->setStyleSheet(style);
  list_->clear();
  for (const std::string& item : l.items) list_->addItem(DisplayText(item));
  // Every line in sight: a smaller font where they do not fit.
  FitListFont(list_, ModelFont(l.font), true);
  show();
  raise();
}
