#include "app/point_box_view.h"
#include <QListWidget>
#include <algorithm>
#include "core/canvas.h"
#include "core/display_text.h"
#include "mainwin/main_window.h"

PointBoxView::PointBoxView(QWidget* owner, const TForm4& model)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), model_(model), list_(new QListWidget(this)) {
  setObjectName("Form4");
  setAttribute(Qt::WA_ShowWithoutActivating);  // the keys stay with the main window
  list_->setObjectName("ListBox1");
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setFrameShape(QFrame::NoFrame);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setStyleSheet("PointBoxView { background-color: black; }");
}

void PointBoxView::Refresh() {
  if (!model_.visible) {
    hide();
    return;
  }
  setGeometry(model_.left, model_.top, std::max(1, model_.width), std::max(1, model_.height));
  const TListBox& l = model_.ListBox1;
  list_->setGeometry(l.left, l.top, std::max(0, l.width), std::max(0, l.height));
  list_->setVisible(l.visible);
  QFont font(l.font.fixedPitch ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
  font.setStyleHint(l.font.fixedPitch ? QFont::Monospace : QFont::SansSerif);
  font.setPointSize(std::max(1, l.font.size));
  font.setBold(l.font.bold);
  list_->setFont(font);
  const QString style = QString("QListWidget { color: %1; background-color: %2; }")
                            .arg(QColor::fromRgb(ColorToRgb(l.font.color)).name(),
                                 QColor::fromRgb(ColorToRgb(l.color)).name());
  if (list_->styleSheet() != style) list_->setStyleSheet(style);
  list_->clear();
  for (const std::string& item : l.items) list_->addItem(DisplayText(item));
  show();
  raise();
}
