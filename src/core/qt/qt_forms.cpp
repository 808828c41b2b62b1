#include "core/qt/qt_forms.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include "core/abandon.h"
#include "core/display_text.h"
#include "core/qt/qt_fonts.h"

namespace {
QString Hex(int32_t color) { return QColor::fromRgb(ColorToRgb(color)).name(); }

// The square of a check box (and of a check list's item), drawn whatever the colours around it:
// white with a dark rim, and black inside a white rim when ticked (the style would draw it in
// the control's own background colour, where it vanishes).
QString CheckIndicatorSheet(const char* selector) {
  // Ticked: a black stroke across the same white box, corner to corner, which reads as ticked on
  // any background (a white ring round black read as an empty box on a dark one).
  return QString(" %1::indicator { width: 11px; height: 11px; border: 1px solid #404040; background-color: white; }"
                 " %1::indicator:checked { background-color: qlineargradient(x1: 0, y1: 0, x2: 1, y2: 1,"
                 " stop: 0 white, stop: 0.3 white, stop: 0.31 black, stop: 0.69 black, stop: 0.7 white, stop: 1 white); }")
      .arg(selector);
}

// Colours of a control as a style sheet for the widget's own class, more appended.
void ApplyColours(QWidget* w, const TControl& c, const char* selector, bool background = true,
                  const QString& more = QString()) {
  QString style = QString("%1 { color: %2;").arg(selector, Hex(c.font.color));
  if (background && c.color != DefaultColor) style += QString(" background-color: %1;").arg(Hex(c.color));
  style += " }" + more;
  if (w->styleSheet() != style) w->setStyleSheet(style);
}

void ApplyControl(QWidget* w, const TControl& c) {
  w->setGeometry(c.left, c.top, std::max(0, c.width), std::max(0, c.height));
  w->setFont(ModelFont(c.font));
  w->setEnabled(c.enabled);
  w->setVisible(c.visible);
}

QString JoinLines(const std::vector<std::string>& lines) {
  QStringList l;
  for (const auto& s : lines) l << DisplayText(s);
  return l.join('\n');
}

std::string Std(const QString& s) { return s.toStdString(); }

void LoadGrid(QTableWidget* t, const TStringGrid& g) {
  ApplyControl(t, g);
  // Cells as narrow as the program's column widths: no padding beyond a pixel.
  ApplyColours(t, g, "QTableWidget", true, " QTableWidget::item { padding: 0px 1px; }");
  t->setFrameShape(g.border ? QFrame::StyledPanel : QFrame::NoFrame);
  t->setVerticalScrollBarPolicy(g.scrollBars == TScrollBars::None ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  t->setHorizontalScrollBarPolicy(g.scrollBars == TScrollBars::Both ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  t->setRowCount(g.rowCount);
  t->setColumnCount(g.colCount);
  t->setEditTriggers(g.editable ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
  for (int32_t c = 0; c < g.colCount; ++c) t->setColumnWidth(c, g.colWidths[static_cast<size_t>(c)]);
  for (int32_t r = 0; r < g.rowCount; ++r) {
    t->setRowHeight(r, g.rowHeights[static_cast<size_t>(r)]);
    for (int32_t c = 0; c < g.colCount; ++c) {
      QTableWidgetItem* item = t->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        t->setItem(r, c, item);
      }
      const QString text = DisplayText(g.Cell(c, r));
      item->setText(text);
      // A cell's text that does not fit its column (a pixel of padding each side and the grid
      // line) is drawn smaller.
      const QFont fitted = FittingFont(t->font(), text,
                                       QSize(g.colWidths[static_cast<size_t>(c)] - 3, g.rowHeights[static_cast<size_t>(r)]));
      if (fitted != t->font()) item->setFont(fitted);
      else item->setData(Qt::FontRole, QVariant());
      bool fixed = r < g.fixedRows || c < g.fixedCols;
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (g.editable && !fixed) flags |= Qt::ItemIsEditable;
      item->setFlags(flags);
      item->setBackground(fixed ? QBrush(QColor::fromRgb(ColorToRgb(g.fixedColor))) : QBrush());
    }
  }
}

void StoreGrid(QTableWidget* t, TStringGrid& g) {
  for (int32_t r = g.fixedRows; r < std::min(g.rowCount, t->rowCount()); ++r)
    for (int32_t c = g.fixedCols; c < std::min(g.colCount, t->columnCount()); ++c)
      if (const QTableWidgetItem* item = t->item(r, c)) g.Cell(c, r) = Std(item->text());
}

QTableWidget* MakeGrid(QWidget* parent) {
  auto* t = new QTableWidget(parent);
  t->horizontalHeader()->hide();
  t->verticalHeader()->hide();
  t->setShowGrid(true);
  // A number too wide for its cell is cut at the cell's edge, not shortened with an ellipsis.
  t->setTextElideMode(Qt::ElideNone);
  t->setWordWrap(false);
  return t;
}

void LoadListBox(QListWidget* w, const TListBox& m) {
  w->clear();
  for (const auto& s : m.items) w->addItem(DisplayText(s));
  ApplyColours(w, m, "QListWidget");
  ApplyControl(w, m);
}

void LoadButton(QPushButton* w, const TButton& b) {
  w->setText(DisplayText(b.caption));
  w->setDefault(b.isDefault);
  ApplyControl(w, b);
  FitButtonFont(w, ModelFont(b.font));
}

// A label without a size takes the size of its text.
void LoadLabel(QLabel* w, const TLabel& l) {
  w->setText(DisplayText(l.caption));
  ApplyColours(w, l, "QLabel");
  ApplyControl(w, l);
  if (l.width <= 0 || l.height <= 0) {
    w->adjustSize();
    w->move(l.left, l.top);
    // A line longer than the window is drawn smaller, to end at the window's edge.
    const int room = w->parentWidget() ? w->parentWidget()->width() - l.left : w->width();
    if (w->width() > room && room > 0) {
      w->setFont(FittingFont(w->font(), w->text(), QSize(room - (w->width() - w->contentsRect().width()), w->height())));
      w->adjustSize();
      if (w->width() > room) w->resize(room, w->height());  // the label's own margin, not its text
    }
  } else {
    w->setFont(FittingFont(ModelFont(l.font), w->text(), w->contentsRect().size()));
  }
}

// A text-sized label that would run into a control beside or below it, or out of the frame it
// begins in, at a large font is drawn smaller, to end where the first such control begins (the
// positions stay those of the default font).
void FitLabelBesideControls(QLabel* w, const TLabel& l) {
  if (l.width > 0 && l.height > 0) return;
  QWidget* parent = w->parentWidget();
  if (!w->isVisibleTo(parent) || w->text().trimmed().isEmpty()) return;
  const QRect own = w->geometry();
  int right = own.right() + 1, bottom = own.bottom() + 1;
  for (QObject* o : parent->children()) {
    auto* b = qobject_cast<QWidget*>(o);
    if (!b || b == w || b->isWindow() || !b->isVisibleTo(parent)) continue;
    const QRect g = b->geometry();
    if (std::string(b->metaObject()->className()) == "QFrame") {
      // A frame covers nothing, but a label that begins inside it ends inside its line.
      if (g.contains(own.topLeft())) right = std::min(right, g.right() + 1 - static_cast<QFrame*>(b)->frameWidth());
      continue;
    }
    const bool rows = g.top() <= own.bottom() && g.bottom() >= own.top();
    const bool columns = g.left() <= own.right() && g.right() >= own.left();
    if (rows && g.left() > own.left() && g.left() < right) right = g.left();
    if (columns && g.top() > own.top() && g.top() < bottom) bottom = g.top();
  }
  const QSize room(right - own.left(), bottom - own.top());
  if ((room.width() >= own.width() && room.height() >= own.height()) || room.width() <= 0 || room.height() <= 0) return;
  // The whole text, every line at its full spacing, inside the room.
  const QSize inside = room - (own.size() - w->contentsRect().size());
  QFont f = w->font();
  if (f.pointSizeF() <= 0) return;
  for (;;) {
    const QSize s = QFontMetrics(f).size(0, w->text());
    if ((s.width() <= inside.width() && s.height() <= inside.height()) || f.pointSizeF() <= 6) break;
    f.setPointSizeF(f.pointSizeF() - 0.5);
  }
  w->setFont(f);
  w->adjustSize();
}

}  // namespace

// ---- ImageWidget ----

ImageWidget::ImageWidget(QWidget* parent) : QWidget(parent) {}

void ImageWidget::paintEvent(QPaintEvent*) {
  if (!canvas_ || canvas_->Image().isNull()) return;
  QPainter p(this);
  p.drawImage(0, 0, canvas_->Image());
}

void ImageWidget::mousePressEvent(QMouseEvent* e) {
  QPoint at = e->position().toPoint();
  emit Clicked(at.x(), at.y());
}

// ---- RadioGroupWidget ----

RadioGroupWidget::RadioGroupWidget(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this)) {
  setAttribute(Qt::WA_StyledBackground, true);
  connect(group_, &QButtonGroup::idClicked, this, [this](int id) { emit Chosen(id); });
}

void RadioGroupWidget::Load(const TRadioGroup& m) {
  ApplyControl(this, m);
  ApplyColours(this, m, "RadioGroupWidget");
  bool same = static_cast<int32_t>(buttons_.size()) == static_cast<int32_t>(m.items.size());
  for (size_t i = 0; same && i < buttons_.size(); ++i) same = buttons_[i]->text() == DisplayText(m.items[i]);
  if (!same) {
    for (auto* b : buttons_) delete b;
    buttons_.clear();
    for (size_t i = 0; i < m.items.size(); ++i) {
      auto* b = new QRadioButton(DisplayText(m.items[i]), this);
      group_->addButton(b, static_cast<int>(i));
      buttons_.push_back(b);
    }
  }
  // Column by column, as the window system of the original arranged its radio groups.
  int32_t n = static_cast<int32_t>(buttons_.size());
  int32_t columns = std::max(1, m.columns);
  int32_t rows = std::max(1, (n + columns - 1) / columns);
  int32_t cellW = std::max(1, m.width / columns), cellH = std::max(1, (m.height - 8) / rows);
  const QFont modelFont = ModelFont(m.font);
  for (int32_t i = 0; i < n; ++i) {
    QRadioButton* b = buttons_[static_cast<size_t>(i)];
    b->setFont(modelFont);
    // The text takes the font colour; the indicator is drawn by the sheet too, since the style
    // would draw its dot in the text colour and a white dot vanishes in the white circle.
    b->setStyleSheet(QString("QRadioButton { color: %1; }"
                             "QRadioButton::indicator { width: 10px; height: 10px; border-radius: 6px;"
                             " border: 1px solid #404040; background-color: white; }"
                             "QRadioButton::indicator:checked { background-color: black;"
                             " border: 3px solid white; width: 6px; height: 6px; }")
                         .arg(Hex(m.font.color)));
    // As tall as its text needs, at the top of its row.
    const int h = std::min({cellH, 24, QFontMetrics(b->font()).height() + 4});
    b->setGeometry(8 + (i / rows) * cellW, 4 + (i % rows) * cellH, cellW - 6, h);
    FitButtonFont(b, modelFont);
    b->setVisible(true);
  }
  // One size for the whole group: the smallest that some item needed.
  QFont common = modelFont;
  for (auto* b : buttons_)
    if (b->font().pointSizeF() < common.pointSizeF()) common = b->font();
  for (auto* b : buttons_) b->setFont(common);
  group_->setExclusive(false);
  for (auto* b : buttons_) b->setChecked(false);
  group_->setExclusive(true);
  if (m.itemIndex >= 0 && m.itemIndex < n) buttons_[static_cast<size_t>(m.itemIndex)]->setChecked(true);
}

int32_t RadioGroupWidget::ItemIndex() const { return group_->checkedId(); }

QRadioButton* RadioGroupWidget::Button(int32_t i) const {
  return i >= 0 && i < Count() ? buttons_[static_cast<size_t>(i)] : nullptr;
}

// ---- ModelWindow ----

ModelWindow::ModelWindow(const char* name) {
  setObjectName(name);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void ModelWindow::LoadWindow(const TWindowState& m) {
  setWindowTitle(DisplayText(m.caption));
  setFont(ModelFont(m.font));
  QString style = m.color == DefaultColor
                      ? QString()
                      : QString("%1 { background-color: %2; }").arg(metaObject()->className(), Hex(m.color));
  if (styleSheet() != style) setStyleSheet(style);
  move(m.left, m.top);
  resize(std::max(1, m.width), std::max(1, m.height));
}

void ModelWindow::Finish() {
  finishing_ = true;
  done(QDialog::Accepted);
  finishing_ = false;
}

// ---- QtForm2 ----

QtForm2::QtForm2() : ModelWindow("Form2") {
  for (int32_t i = 1; i <= 4; ++i) {
    images_[static_cast<size_t>(i)] = new ImageWidget(this);
    images_[static_cast<size_t>(i)]->hide();
  }
  connect(images_[1], &ImageWidget::Clicked, this,
          [this](int x, int y) { Handle([x, y](TForm2& f) { f.Image1MouseDown(x, y); }); });
  for (int32_t i = 1; i <= 3; ++i) {
    auto* b = new QFrame(this);
    b->setFrameStyle(QFrame::Panel | QFrame::Raised);
    b->hide();
    bevels_[static_cast<size_t>(i)] = b;
  }
  grid2_ = MakeGrid(this);
  grid1_ = MakeGrid(this);
  connect(grid1_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem*) { FieldEdited(); });
  checkList_ = new QListWidget(this);
  for (int32_t i = 1; i <= 4; ++i) {
    edits_[static_cast<size_t>(i)] = new QLineEdit(this);
    connect(edits_[static_cast<size_t>(i)], &QLineEdit::textEdited, this, [this](const QString&) { FieldEdited(); });
  }
  memo_ = new QPlainTextEdit(this);
  memo_->setTabChangesFocus(false);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  radio2_ = new RadioGroupWidget(this);
  combo_ = new QComboBox(this);
  listBox_ = new QListWidget(this);
  listBox_->setFrameShape(QFrame::NoFrame);
  radio1_ = new RadioGroupWidget(this);
  connect(radio1_, &RadioGroupWidget::Chosen, this, [this](int) { Handle([](TForm2& f) { f.RadioGroup1Click(); }); });
  for (int32_t i = 1; i <= 11; ++i) labels_[static_cast<size_t>(i)] = new QLabel(this);
  checkBox_ = new QCheckBox(this);
  for (int32_t i = 1; i <= 16; ++i) {
    auto* b = new QPushButton(this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, i] {
      Handle([i](TForm2& f) { f.ButtonClick(i); }, i == 5 ? DuringFit::Live : DuringFit::Refused);
    });
    buttons_[static_cast<size_t>(i)] = b;
  }
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) w->hide();
}

void QtForm2::FieldEdited() {
  if (model_ && model_->onFieldEdited) Handle([](TForm2& f) { f.FieldEdited(); });
}

void QtForm2::Load(TForm2& m) {
  model_ = &m;
  const QSignalBlocker gridSignals(grid1_);  // the texts put into the cells are not edits
  LoadWindow(m);

  for (int32_t i = 1; i <= 16; ++i) LoadButton(Button(i), m.Button(i));
  for (int32_t i = 1; i <= 11; ++i) LoadLabel(Label(i), m.Label(i));
  for (int32_t i = 1; i <= 4; ++i) {
    const TEdit& e = m.Edit(i);
    QLineEdit* w = Edit(i);
    if (w->text() != DisplayText(e.text)) w->setText(DisplayText(e.text));
    ApplyColours(w, e, "QLineEdit");
    ApplyControl(w, e);
  }
  for (int32_t i = 1; i <= 4; ++i) {
    Image(i)->SetCanvas(&m.Image(i).canvas);
    ApplyControl(Image(i), m.Image(i));
  }
  for (int32_t i = 1; i <= 3; ++i) ApplyControl(Bevel(i), m.Bevel(i));

  LoadGrid(grid1_, m.StringGrid1);
  LoadGrid(grid2_, m.StringGrid2);

  checkList_->clear();
  for (size_t i = 0; i < m.CheckListBox1.items.size(); ++i) {
    auto* item = new QListWidgetItem(DisplayText(m.CheckListBox1.items[i]), checkList_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(m.CheckListBox1.Checked(static_cast<int32_t>(i)) ? Qt::Checked : Qt::Unchecked);
  }
  ApplyColours(checkList_, m.CheckListBox1, "QListWidget", true, CheckIndicatorSheet("QListWidget"));
  ApplyControl(checkList_, m.CheckListBox1);
  FitListFont(checkList_, ModelFont(m.CheckListBox1.font), false);

  QString memoText = JoinLines(m.Memo1.lines);
  if (memo_->toPlainText() != memoText) {
    memo_->setPlainText(memoText);
    memo_->moveCursor(QTextCursor::End);
  }
  memo_->setReadOnly(m.Memo1.readOnly);
  ApplyColours(memo_, m.Memo1, "QPlainTextEdit");
  ApplyControl(memo_, m.Memo1);

  radio1_->Load(m.RadioGroup1);
  radio2_->Load(m.RadioGroup2);

  combo_->clear();
  for (const auto& s : m.ComboBox1.items) combo_->addItem(DisplayText(s));
  combo_->setMaxVisibleItems(std::max(1, m.ComboBox1.dropDownCount));
  combo_->setCurrentIndex(m.ComboBox1.itemIndex);
  ApplyColours(combo_, m.ComboBox1, "QComboBox");
  ApplyControl(combo_, m.ComboBox1);

  LoadListBox(listBox_, m.ListBox1);

  checkBox_->setText(DisplayText(m.CheckBox1.caption));
  checkBox_->setChecked(m.CheckBox1.checked);
  ApplyColours(checkBox_, m.CheckBox1, "QCheckBox", true, CheckIndicatorSheet("QCheckBox"));
  ApplyControl(checkBox_, m.CheckBox1);
  FitButtonFont(checkBox_, ModelFont(m.CheckBox1.font));
  for (int32_t i = 1; i <= 11; ++i) FitLabelBesideControls(Label(i), m.Label(i));
}

void QtForm2::Store() {
  if (!model_) return;
  TForm2& m = *model_;
  for (int32_t i = 1; i <= 4; ++i) m.Edit(i).text = Std(Edit(i)->text());
  StoreGrid(grid1_, m.StringGrid1);
  StoreGrid(grid2_, m.StringGrid2);
  for (int32_t i = 0; i < checkList_->count(); ++i)
    m.CheckListBox1.SetChecked(i, checkList_->item(i)->checkState() == Qt::Checked);
  m.Memo1.lines.clear();
  QString text = memo_->toPlainText();
  if (!text.isEmpty())
    for (const QString& l : text.split('\n')) m.Memo1.lines.push_back(Std(l));
  if (radio1_->Count() == static_cast<int32_t>(m.RadioGroup1.items.size())) m.RadioGroup1.itemIndex = radio1_->ItemIndex();
  if (radio2_->Count() == static_cast<int32_t>(m.RadioGroup2.items.size())) m.RadioGroup2.itemIndex = radio2_->ItemIndex();
  if (combo_->count() == static_cast<int>(m.ComboBox1.items.size())) {
    m.ComboBox1.itemIndex = combo_->currentIndex();
    m.ComboBox1.text = Std(combo_->currentText());
  }
  m.CheckBox1.checked = checkBox_->isChecked();
}

void QtForm2::Handle(const std::function<void(TForm2&)>& handler, DuringFit during) {
  if (!model_ || finishing_) return;
  Store();
  TForm2& m = *model_;
  RunUserCommand([&] { handler(m); }, during);
  if (m.closeRequested) Finish();
  else if (isVisible()) Load(m);
}

void QtForm2::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    Handle([](TForm2& f) { f.FormKeyPress(27); });
    return;
  }
  QDialog::keyPressEvent(e);
}

void QtForm2::closeEvent(QCloseEvent* e) {
  if (!finishing_ && model_ && !model_->closeRequested) Handle([](TForm2& f) { f.CloseBoxClick(); });
  if (!model_ || model_->closeRequested) e->accept();
  else e->ignore();
}

void QtForm2::mousePressEvent(QMouseEvent* e) {
  QPoint at = e->position().toPoint();
  Handle([at](TForm2& f) { f.Image1MouseDown(at.x(), at.y()); });
}

void QtForm2::reject() {
  if (finishing_) return;
  Handle([](TForm2& f) { f.CloseBoxClick(); });
}

// ---- QtForm3 ----

QtForm3::QtForm3() : ModelWindow("Form3") {
  memo_ = new QPlainTextEdit(this);
  memo_->setReadOnly(true);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  label_ = new QLabel(this);
  button_ = new QPushButton(this);
  listBox_ = new QListWidget(this);
  connect(button_, &QPushButton::clicked, this, [this] {
    if (model_) model_->Button1Click();
    Finish();
  });
}

void QtForm3::Load(TForm3& m) {
  model_ = &m;
  LoadWindow(m);
  memo_->setPlainText(JoinLines(m.Memo1.lines));
  ApplyColours(memo_, m.Memo1, "QPlainTextEdit");
  ApplyControl(memo_, m.Memo1);
  LoadLabel(label_, m.Label1);
  LoadButton(button_, m.Button1);
  LoadListBox(listBox_, m.ListBox1);
}

void QtForm3::closeEvent(QCloseEvent* e) {
  if (!finishing_ && model_) model_->Close();
  e->accept();
}

void QtForm3::reject() {
  if (finishing_) return;
  if (model_) model_->Close();
  Finish();
}
