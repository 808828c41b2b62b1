// What a person can read on a shown window, measured on the real Qt widgets: every caption's text
// (QFontMetrics of the widget's own font) within the part of its control the style draws it in,
// no control lying over another's text or across a picture's edge, no label running out of its
// frame, every check box's indicator drawn, and every top-level menu of a main window shown on
// the bar (none behind the extension chevron).
#pragma once
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QToolButton>
#include <string>
#include <vector>

namespace readable {

inline std::string Name(const QWidget* w, const QString& text) {
  return std::string(w->metaObject()->className()) + " \"" + text.toStdString() + "\"";
}

// The button's caption as drawn: the mnemonic marks removed.
inline QString Drawn(QString s) {
  s.replace("&&", QString(QChar(1)));
  s.remove('&');
  s.replace(QChar(1), '&');
  return s;
}

inline QRect ButtonContents(const QAbstractButton* b) {
  QStyleOptionButton opt;
  opt.initFrom(b);
  opt.rect = b->rect();
  opt.text = b->text();
  QStyle::SubElement e = qobject_cast<const QCheckBox*>(b)      ? QStyle::SE_CheckBoxContents
                         : qobject_cast<const QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                                                : QStyle::SE_PushButtonContents;
  return b->style()->subElementRect(e, &opt, b);
}

inline QRect CheckIndicator(const QCheckBox* b) {
  QStyleOptionButton opt;
  opt.initFrom(b);
  opt.rect = b->rect();
  return b->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, b);
}

// A caption: its text, the rectangle it is drawn in (the widget's own pixels) and the rectangle
// its text takes there.
struct Caption {
  QString text;
  QRect room, taken;
};

inline std::vector<Caption> Captions(const QWidget* w) {
  std::vector<Caption> out;
  const QFontMetrics fm(w->font());
  auto centred = [&](const QRect& room, const QString& text, bool left) {
    const QSize s = fm.size(0, text);
    const int x = left ? room.left() : room.center().x() - s.width() / 2;
    return QRect(x, room.center().y() - s.height() / 2, s.width(), s.height());
  };
  if (auto* l = qobject_cast<const QLabel*>(w)) {
    if (l->text().isEmpty() || l->textFormat() == Qt::RichText) return out;
    const QRect room = l->contentsRect();
    const QSize s = fm.size(0, l->text());
    out.push_back({l->text(), room, QRect(room.topLeft(), s)});
  } else if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
    const QString text = Drawn(b->text());
    if (text.isEmpty()) return out;
    const QRect room = ButtonContents(b);
    out.push_back({text, room, centred(room, text, !qobject_cast<const QPushButton*>(b))});
  } else if (auto* t = qobject_cast<const QTableWidget*>(w)) {
    for (int r = 0; r < t->rowCount(); ++r)
      for (int c = 0; c < t->columnCount(); ++c) {
        const QTableWidgetItem* item = t->item(r, c);
        if (!item || item->text().trimmed().isEmpty()) continue;
        // Only what the grid shows: the cell within the viewport.
        const QRect cell = t->visualItemRect(item).intersected(t->viewport()->rect()).translated(t->viewport()->pos());
        if (cell.isEmpty()) continue;
        const QFontMetrics cm(item->font().resolve(t->font()));
        // One pixel of padding each side and the grid line.
        const QRect room = cell.adjusted(1, 0, -2, 0);
        out.push_back({item->text(), room, QRect(room.left(), room.top(), cm.horizontalAdvance(item->text()), cm.height())});
      }
  }
  return out;
}

// The problems of one window: each as "<class> "<text>": <what>".
inline std::vector<std::string> Problems(QWidget* window) {
  std::vector<std::string> out;
  std::vector<QWidget*> shown;
  for (QWidget* w : window->findChildren<QWidget*>())
    if (w->isVisibleTo(window) && !w->isWindow()) shown.push_back(w);

  for (QWidget* w : shown) {
    // Every control inside its window as the window opens.
    if (w->parentWidget() == window && !window->rect().contains(w->geometry()))
      out.push_back(Name(w, Captions(w).empty() ? QString() : Captions(w).front().text) + ": control at " +
                    std::to_string(w->x()) + "," + std::to_string(w->y()) + " " + std::to_string(w->width()) + "x" +
                    std::to_string(w->height()) + " beyond the window's " + std::to_string(window->width()) + "x" +
                    std::to_string(window->height()));
    for (const Caption& c : Captions(w)) {
      const QString plain = c.text;
      const QRect drawn(w->mapTo(window, c.taken.topLeft()), c.taken.size());
      if (!window->rect().contains(drawn.intersected(QRect(w->mapTo(window, c.room.topLeft()), c.room.size()))))
        out.push_back(Name(w, plain) + ": text beyond the window's edge");
      if (c.taken.width() > c.room.width())
        out.push_back(Name(w, plain) + ": text " + std::to_string(c.taken.width()) + " px wide in " +
                      std::to_string(c.room.width()));
      if (!qobject_cast<QTableWidget*>(w) && QFontMetrics(w->font()).ascent() + QFontMetrics(w->font()).descent() >
                                                  c.room.height() + 1)
        out.push_back(Name(w, plain) + ": text " + std::to_string(QFontMetrics(w->font()).height()) +
                      " px high in " + std::to_string(c.room.height()));
    }
    // An unticked box must show its square.
    if (auto* box = qobject_cast<QCheckBox*>(w); box && !box->isChecked()) {
      const QImage shot = box->grab().toImage();
      const QRect ind = CheckIndicator(box).intersected(shot.rect());
      int lo = 255, hi = 0;
      for (int y = ind.top(); y <= ind.bottom(); ++y)
        for (int x = ind.left(); x <= ind.right(); ++x) {
          const int g = qGray(shot.pixel(x, y));
          lo = std::min(lo, g), hi = std::max(hi, g);
        }
      if (ind.isEmpty() || hi - lo < 80) out.push_back(Name(w, box->text()) + ": no indicator drawn");
    }
    if (auto* list = qobject_cast<QListWidget*>(w)) {
      bool checkable = false;
      for (int i = 0; i < list->count(); ++i) checkable |= list->item(i)->data(Qt::CheckStateRole).isValid();
      if (checkable && list->horizontalScrollBar()->maximum() > 0)
        out.push_back(Name(w, list->item(0)->text()) + ": items wider than the list");
      if (checkable) {
        const QImage shot = list->viewport()->grab().toImage();
        const int side = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list) + 6;
        for (int i = 0; i < list->count(); ++i) {
          const QRect r = list->visualItemRect(list->item(i)).intersected(shot.rect());
          if (r.isEmpty()) continue;
          int lo = 255, hi = 0;
          for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x < r.left() + side; ++x) {
              const int g = qGray(shot.pixel(x, y));
              lo = std::min(lo, g), hi = std::max(hi, g);
            }
          if (hi - lo < 80) out.push_back(Name(w, list->item(i)->text()) + ": no indicator drawn");
        }
      }
    }
  }

  // No control over another's text: a control later in its parent's stacking order covers what
  // lies under it (a plain frame is only its lines and covers nothing).
  auto below = [](QWidget* a, QWidget* b) {  // a drawn before b
    QWidget* pa = a;
    QWidget* pb = b;
    while (pa->parentWidget() != pb->parentWidget()) {
      if (pa->parentWidget() && pa->parentWidget()->isAncestorOf(pb)) pb = pb->parentWidget();
      else pa = pa->parentWidget();
      if (!pa || !pb) return false;
    }
    const QObjectList& order = pa->parentWidget()->children();
    return order.indexOf(pa) < order.indexOf(pb);
  };
  for (QWidget* a : shown)
    for (const Caption& c : Captions(a)) {
      const QRect text = QRect(a->mapTo(window, c.taken.topLeft()), c.taken.size()).intersected(
          QRect(a->mapTo(window, c.room.topLeft()), c.room.size()));
      for (QWidget* b : shown) {
        if (b == a || b->isAncestorOf(a) || a->isAncestorOf(b) || std::string(b->metaObject()->className()) == "QFrame")
          continue;
        if (qobject_cast<QScrollBar*>(b) || (b->parentWidget() != window && !qobject_cast<QAbstractButton*>(b))) continue;
        const QRect over(b->mapTo(window, QPoint(0, 0)), b->size());
        if (below(a, b) && over.intersects(text))
          out.push_back(Name(a, c.text) + ": covered by " +
                      Name(b, Captions(b).empty() ? QString() : Captions(b).front().text) + " at " +
                      std::to_string(over.x()) + "," + std::to_string(over.y()) + " over the text at " +
                      std::to_string(text.x()) + "," + std::to_string(text.y()) + " " + std::to_string(text.width()) +
                      "x" + std::to_string(text.height()));
      }
    }
  // A label that begins inside a frame ends inside its line.
  for (QWidget* a : shown) {
    auto* label = qobject_cast<QLabel*>(a);
    if (!label) continue;
    for (const Caption& c : Captions(a)) {
      const QRect text(a->mapTo(window, c.taken.topLeft()), c.taken.size());
      for (QWidget* f : shown) {
        auto* frame = qobject_cast<QFrame*>(f);
        if (!frame || std::string(f->metaObject()->className()) != "QFrame" || f->parentWidget() != a->parentWidget())
          continue;
        const QRect inner = QRect(f->mapTo(window, QPoint(0, 0)), f->size()).adjusted(0, 0, -frame->frameWidth(), 0);
        if (inner.contains(text.topLeft()) && text.right() > inner.right())
          out.push_back(Name(a, c.text) + ": text runs " + std::to_string(text.right() - inner.right()) +
                        " px out of its frame");
      }
    }
  }
  // No control across a picture's edge: a control stands on a picture (a panel, a backdrop) or
  // beside it, never over a part of it (the top of a graph).
  for (QWidget* p : shown) {
    if (std::string(p->metaObject()->className()) != "ImageWidget") continue;
    const QRect picture = p->geometry();
    for (QWidget* b : shown) {
      if (b == p || b->parentWidget() != p->parentWidget() || std::string(b->metaObject()->className()) == "QFrame" ||
          picture.contains(b->geometry()))
        continue;
      const QRect over = b->geometry().intersected(picture);
      if (!over.isEmpty())
        out.push_back(Name(b, Captions(b).empty() ? QString() : Captions(b).front().text) + ": over the picture " +
                      p->objectName().toStdString() + " at " + std::to_string(picture.x()) + "," +
                      std::to_string(picture.y()) + ", " + std::to_string(over.width()) + "x" +
                      std::to_string(over.height()) + " px of it covered");
    }
  }
  return out;
}

// The top-level menus of the bar that are not shown on it (behind the chevron or cut).
inline std::vector<std::string> HiddenMenus(QMainWindow* window) {
  std::vector<std::string> out;
  QMenuBar* bar = window->menuBar();
  auto* chevron = bar->findChild<QToolButton*>("qt_menubar_ext_button");
  for (QAction* a : bar->actions()) {
    if (!a->isVisible() || a->text().isEmpty()) continue;
    const QRect r = bar->actionGeometry(a);
    if (r.isEmpty() || !bar->rect().contains(r) || (chevron && chevron->isVisible() && r.intersects(chevron->geometry())))
      out.push_back(a->text().toStdString());
  }
  return out;
}
}  // namespace readable
