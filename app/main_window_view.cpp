#include "app/main_window_view.h"
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QShortcutEvent>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>
#include "app/point_box_view.h"
#include "core/display_text.h"
#include "core/qt/qt_fonts.h"
#include "core/qt/qt_forms.h"
#include "mainwin/graph_view.h"

namespace {
QString Hex(int32_t color) { return QColor::fromRgb(ColorToRgb(color)).name(); }

// The window's own surface, painted from the model's canvas behind the controls.
class SurfaceWidget : public QWidget {
public:
  SurfaceWidget(QWidget* parent, const TForm1& model) : QWidget(parent), model_(model) {}
protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgb(ColorToRgb(model_.color == DefaultColor ? GrayColor : model_.color)));
    if (!model_.Canvas.Image().isNull()) p.drawImage(0, 0, model_.Canvas.Image());
  }
private:
  const TForm1& model_;
};

void ApplyGeometry(QWidget* w, const TControl& c) {
  w->setGeometry(c.left, c.top, std::max(0, c.width), std::max(0, c.height));
  w->setEnabled(c.enabled);
  w->setVisible(c.visible);
}

void LoadLabel(QLabel* w, const TLabel& l) {
  w->setText(DisplayText(l.caption));
  w->setFont(ModelFont(l.font));
  QString style = QString("QLabel { color: %1;").arg(Hex(l.font.color));
  if (l.color != DefaultColor) style += QString(" background-color: %1;").arg(Hex(l.color));
  style += " }";
  if (w->styleSheet() != style) w->setStyleSheet(style);
  ApplyGeometry(w, l);
  if (l.width <= 0 || l.height <= 0) {  // the size of its text
    w->adjustSize();
    w->move(l.left, l.top);
  }
}
}  // namespace

MainWindowView::MainWindowView(TForm1& model) : model_(model) {
  setObjectName("Form1");
  for (int32_t top = 1; top <= static_cast<int32_t>(model_.MainMenu1.size()); ++top) {
    const TMenuItem& entry = model_.MainMenu1[static_cast<size_t>(top - 1)];
    if (entry.items.empty()) {
      // A direct action of the menu bar (also the blank entry).
      QAction* a = menuBar()->addAction(DisplayText(entry.caption));
      connect(a, &QAction::triggered, this, [this, top] {
        // Chosen from the keyboard, the bar would keep the keys (its letters then open menus).
        menuBar()->clearFocus();
        Dispatch({TMainEventKind::MenuItem, top, 0, false});
      });
      actions_.push_back({a, top, 0});
      continue;
    }
    QMenu* menu = menuBar()->addMenu(DisplayText(entry.caption));
    menu->installEventFilter(this);
    actions_.push_back({menu->menuAction(), top, 0});
    for (int32_t item = 1; item <= static_cast<int32_t>(entry.items.size()); ++item) {
      // The separator is an item of its own (disabled), not a Qt separator.
      QAction* a = menu->addAction(DisplayText(entry.items[static_cast<size_t>(item - 1)].caption));
      connect(a, &QAction::triggered, this, [this, top, item] {
        menuBar()->clearFocus();  // the keys go to the window again
        Dispatch({TMainEventKind::MenuItem, top, item, false});
      });
      actions_.push_back({a, top, item});
    }
  }

  auto* surface = new SurfaceWidget(this, model_);
  surface->setObjectName("Surface");
  setCentralWidget(surface);
  for (int32_t i = 1; i <= 3; ++i) {
    images_[static_cast<size_t>(i)] = new ImageWidget(surface);
    images_[static_cast<size_t>(i)]->setObjectName(QString("Image%1").arg(i));
  }
  images_[1]->SetCanvas(&model_.Image1.canvas);
  images_[2]->SetCanvas(&model_.Image2.canvas);
  images_[3]->SetCanvas(&model_.Image3.canvas);
  images_[2]->installEventFilter(this);
  for (int32_t i = 1; i <= SideButtonCount; ++i) {
    auto* b = new QPushButton(surface);
    b->setObjectName(QString("Button%1").arg(i));
    b->setFocusPolicy(Qt::NoFocus);  // keys go to the window (the form sees every key first)
    connect(b, &QPushButton::clicked, this, [this, i] { Dispatch({TMainEventKind::SideButton, i, 0, false}); });
    buttons_[static_cast<size_t>(i)] = b;
  }
  label1_ = new QLabel(surface);
  label1_->setObjectName("Label1");
  label2_ = new QLabel(surface);
  label2_->setObjectName("Label2");
  setFocusPolicy(Qt::StrongFocus);
  menuBar()->installEventFilter(this);
  pointBox_ = new PointBoxView(this, Form4);

  model_.OnChanged = [this] { Refresh(); };
  Refresh();
}

MainWindowView::~MainWindowView() { model_.OnChanged = nullptr; }

QAction* MainWindowView::Action(int32_t top, int32_t item) const {
  for (const MenuAction& m : actions_)
    if (m.top == top && m.item == item) return m.action;
  return nullptr;
}

void MainWindowView::Refresh() {
  setWindowTitle(DisplayText(model_.caption));
  QSize size(model_.width, model_.height);
  if (size != shownSize_ && size.width() > 0 && size.height() > 0) {
    shownSize_ = size;
    // The model's position is the outer frame's (the title bar on the screen); its size is the
    // client area's, widened where the menu bar needs more to show every menu.
    move(model_.left, model_.top);
    resize(std::max(size.width(), MenuBarWidth()), size.height());
  }
  for (const MenuAction& m : actions_) {
    const TMenuItem& item = model_.Entry(m.top, m.item);
    m.action->setEnabled(item.enabled);
    m.action->setVisible(item.visible);
  }
  const TImage* images[] = {nullptr, &model_.Image1, &model_.Image2, &model_.Image3};
  for (int32_t i = 1; i <= 3; ++i) {
    ApplyGeometry(images_[static_cast<size_t>(i)], *images[i]);
    images_[static_cast<size_t>(i)]->update();
  }
  for (int32_t i = 1; i <= SideButtonCount; ++i) {
    const TSideButton& m = model_.Button(i);
    QPushButton* b = buttons_[static_cast<size_t>(i)];
    b->setText(DisplayText(m.caption));
    b->setToolTip(DisplayText(m.hint));
    ApplyGeometry(b, m);
    FitButtonFont(b, ModelFont(m.font));
  }
  LoadLabel(label1_, model_.Label1);
  LoadLabel(label2_, model_.Label2);
  KeepAboveGraph();
  label1_->raise();
  label2_->raise();
  centralWidget()->update();
  QPushButton* ok = buttons_[1];
  pointBox_->Refresh(ok->isVisible() ? QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size()) : QRect());
}

// Over a graph the status lines stand in the header strip below its text: lines taller than
// that room together (a large font at a small screen scale) are drawn smaller, down to 7 points,
// and each line is moved, within that room where it can, to end above the graph and the line
// below it.
void MainWindowView::KeepAboveGraph() {
  if (!images_[2]->isVisibleTo(this)) return;
  std::vector<QLabel*> shown;
  for (QLabel* l : {label1_, label2_})
    if (l->isVisibleTo(this)) shown.push_back(l);
  if (shown.empty()) return;
  const int bottom = std::min(images_[1]->geometry().bottom() + 1, images_[2]->geometry().top());
  const int room = bottom - std::max(0, static_cast<int>(HeaderTextBottom()));
  auto height = [&shown] {
    int h = 0;
    for (QLabel* l : shown) h += l->height();
    return h;
  };
  for (QFont f = shown.front()->font(); height() > room && f.pointSizeF() > 7;) {
    f.setPointSizeF(f.pointSizeF() - 0.5);
    for (QLabel* l : shown) {
      l->setFont(f);
      l->adjustSize();
    }
  }
  int y = bottom;
  for (auto l = shown.rbegin(); l != shown.rend(); ++l) {
    const int at = std::min(y - (*l)->height(), std::max((*l)->y(), bottom - room));
    (*l)->move((*l)->x(), std::max(0, at));
    y = (*l)->y();
  }
}

// The width the menu bar's style needs to lay out every visible top-level entry in one row.
int MainWindowView::MenuBarWidth() const {
  QMenuBar* bar = menuBar();
  QStyle* style = bar->style();
  const QFontMetrics fm(bar->font());
  const int spacing = style->pixelMetric(QStyle::PM_MenuBarItemSpacing, nullptr, bar);
  int width = 2 * (style->pixelMetric(QStyle::PM_MenuBarPanelWidth, nullptr, bar) +
                   style->pixelMetric(QStyle::PM_MenuBarHMargin, nullptr, bar));
  for (QAction* a : bar->actions()) {
    if (!a->isVisible()) continue;
    QStyleOptionMenuItem opt;
    opt.initFrom(bar);
    opt.menuItemType = QStyleOptionMenuItem::Normal;
    opt.text = a->text();
    const QSize text(fm.horizontalAdvance(QString(a->text()).remove('&')), fm.height());
    width += style->sizeFromContents(QStyle::CT_MenuBarItem, &opt, text, bar).width() + spacing;
  }
  return width + spacing;
}

// The model shows its changes through OnChanged, also at the end of every event.
void MainWindowView::Dispatch(const TMainEvent& event) { model_.HandleEvent(event); }

void MainWindowView::keyPressEvent(QKeyEvent* e) {
  int key = e->key();
  bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;  // the upper-case letter's code
  if (!letter && key != Qt::Key_Escape) {
    QMainWindow::keyPressEvent(e);
    return;
  }
  Dispatch({TMainEventKind::Key, key == Qt::Key_Escape ? KeyEscape : key, 0,
            (e->modifiers() & Qt::ShiftModifier) != 0});
}

void MainWindowView::closeEvent(QCloseEvent* e) {
  if (model_.HandleEvent({TMainEventKind::CloseRequest, 0, 0, false}))
    e->accept();
  else
    e->ignore();
}

// Alt + letter: the first entry of the bar with that mnemonic, or, when the bar is already on one
// of them (its menu open, or the bar reached from the keyboard), the next entry of that letter.
// Entries sharing a letter ("&File"/"&Fitra", "&Test"/"&Trevo") would otherwise take turns from
// one press to the next, wherever the bar stands.
bool MainWindowView::MnemonicKey(int key) {
  QMenuBar* bar = menuBar();
  const QKeySequence wanted(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(key)));
  std::vector<QAction*> same;
  for (QAction* a : bar->actions())
    if (a->isVisible() && a->isEnabled() && QKeySequence::mnemonic(a->text()) == wanted) same.push_back(a);
  if (same.empty()) return false;
  // Where the bar stands: the entry whose menu is open, else the one the keyboard is on.
  QAction* current = nullptr;
  for (QAction* a : bar->actions())
    if (a->menu() && a->menu()->isVisible()) current = a;
  if (!current && bar->hasFocus()) current = bar->activeAction();
  size_t next = 0;
  if (const auto at = std::find(same.begin(), same.end(), current); at != same.end())
    next = static_cast<size_t>(at - same.begin() + 1) % same.size();
  QAction* target = same[next];
  if (QMenu* menu = target->menu()) {
    // As the bar's own mnemonic opens a menu: the bar takes the keys (Left and Right go on along
    // it when the menu closes) and the menu's first item is highlighted (Return chooses it).
    bar->setFocus(Qt::MenuBarFocusReason);
    bar->setActiveAction(target);
    for (QAction* a : menu->actions())
      if (a->isVisible() && a->isEnabled() && !a->isSeparator()) {
        menu->setActiveAction(a);
        break;
      }
    return true;
  }
  if (current && current->menu()) current->menu()->hide();
  // Run after this key's event: the command may wait in a window of its own.
  QMetaObject::invokeMethod(target, &QAction::trigger, Qt::QueuedConnection);
  return true;
}

// After Esc has closed a menu of the bar, Qt leaves the bar with the keys, its letters opening
// menus: the window takes them back, unless another menu opened meanwhile.
void MainWindowView::ReturnKeysToWindow() {
  QMenuBar* bar = menuBar();
  for (QAction* a : bar->actions())
    if (a->menu() && a->menu()->isVisible()) return;
  bar->setActiveAction(nullptr);
  bar->clearFocus();
  setFocus(Qt::OtherFocusReason);
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* e) {
  if (watched == menuBar() && e->type() == QEvent::Shortcut) {
    const QKeySequence k = static_cast<QShortcutEvent*>(e)->key();
    if (k.count() == 1 && k[0].keyboardModifiers() == Qt::AltModifier && k[0].key() >= Qt::Key_A &&
        k[0].key() <= Qt::Key_Z && MnemonicKey(k[0].key()))
      return true;
    return QMainWindow::eventFilter(watched, e);
  }
  if (auto* menu = qobject_cast<QMenu*>(watched); menu && e->type() == QEvent::KeyPress) {
    // A letter of no item of the open menu, with Alt: the bar's entries of that letter. Alt
    // itself leaves the menu open (the style would close it), so that Alt + letter finds it open.
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Alt) return true;
    if (k->key() == Qt::Key_Escape && k->modifiers() == Qt::NoModifier) {
      // Once the menu has handled the key and closed.
      QMetaObject::invokeMethod(this, &MainWindowView::ReturnKeysToWindow, Qt::QueuedConnection);
      return QMainWindow::eventFilter(watched, e);
    }
    if (k->modifiers() != Qt::AltModifier || k->key() < Qt::Key_A || k->key() > Qt::Key_Z)
      return QMainWindow::eventFilter(watched, e);
    const QKeySequence wanted(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(k->key())));
    for (QAction* a : menu->actions())
      if (a->isVisible() && a->isEnabled() && QKeySequence::mnemonic(a->text()) == wanted)
        return QMainWindow::eventFilter(watched, e);
    return MnemonicKey(k->key()) || QMainWindow::eventFilter(watched, e);
  }
  if (watched != images_[2] || e->type() != QEvent::MouseButtonPress) return QMainWindow::eventFilter(watched, e);
  auto* m = static_cast<QMouseEvent*>(e);
  const QPoint at = m->position().toPoint();
  const int32_t button = m->button() == Qt::RightButton ? 1 : m->button() == Qt::MiddleButton ? 2 : 0;
  TMainEvent event{TMainEventKind::GraphClick, button, 0, false};
  event.x = at.x();
  event.y = at.y();
  Dispatch(event);
  return true;
}
