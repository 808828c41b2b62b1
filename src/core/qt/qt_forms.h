// The dialog window and the information window as Qt widgets. Each is built once with its whole
// stock of controls placed absolutely; Load shows a model, Store copies what the user changed back
// into it, and every user action runs the model's handler in between.
#pragma once
#include <QDialog>
#include <QWidget>
#include <array>
#include "core/abandon.h"
#include "core/dialog_model.h"
#include "core/info_window.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

// An image control: paints its canvas and reports clicks in its own pixels.
class ImageWidget : public QWidget {
  Q_OBJECT
public:
  explicit ImageWidget(QWidget* parent);
  void SetCanvas(const TImageCanvas* canvas) { canvas_ = canvas; update(); }
  const TImageCanvas* Canvas() const { return canvas_; }
signals:
  void Clicked(int x, int y);
protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
private:
  const TImageCanvas* canvas_ = nullptr;
};

// A radio group: a frame with one radio button per item, in columns.
class RadioGroupWidget : public QWidget {
  Q_OBJECT
public:
  explicit RadioGroupWidget(QWidget* parent);
  void Load(const TRadioGroup& m);
  int32_t ItemIndex() const;
  QRadioButton* Button(int32_t i) const;  // 0-based, nullptr outside
  int32_t Count() const { return static_cast<int32_t>(buttons_.size()); }
signals:
  void Chosen(int item);
private:
  std::vector<QRadioButton*> buttons_;
  QButtonGroup* group_;
};

// What the two windows share: the window itself from its model, and the end of a modal showing.
class ModelWindow : public QDialog {
protected:
  explicit ModelWindow(const char* name);
  // Title, font, background, position and size.
  void LoadWindow(const TWindowState& m);
  // Ends the modal showing; the close and reject events this causes are not the user's.
  void Finish();
  bool finishing_ = false;
};

class QtForm2 : public ModelWindow {
  Q_OBJECT
public:
  QtForm2();
  // Shows the model (contents, geometry, colours) and remembers it for the handlers.
  void Load(TForm2& model);
  // Copies the user's input into the model.
  void Store();
  TForm2* Model() const { return model_; }

  QPushButton* Button(int32_t i) const { return buttons_.at(static_cast<size_t>(i)); }
  QLabel* Label(int32_t i) const { return labels_.at(static_cast<size_t>(i)); }
  QLineEdit* Edit(int32_t i) const { return edits_.at(static_cast<size_t>(i)); }
  ImageWidget* Image(int32_t i) const { return images_.at(static_cast<size_t>(i)); }
  QFrame* Bevel(int32_t i) const { return bevels_.at(static_cast<size_t>(i)); }
  QTableWidget* StringGrid1() const { return grid1_; }
  QTableWidget* StringGrid2() const { return grid2_; }
  QListWidget* CheckListBox1() const { return checkList_; }
  QPlainTextEdit* Memo1() const { return memo_; }
  RadioGroupWidget* RadioGroup1() const { return radio1_; }
  RadioGroupWidget* RadioGroup2() const { return radio2_; }
  QComboBox* ComboBox1() const { return combo_; }
  QListWidget* ListBox1() const { return listBox_; }
  QCheckBox* CheckBox1() const { return checkBox_; }

  // Runs a handler of the model with the user's input stored first, then closes the window or
  // shows the model again.
  // A user event through the one dispatch; STOP (DuringFit::Live) stays live while a fit runs.
  void Handle(const std::function<void(TForm2&)>& handler, DuringFit during = DuringFit::Refused);

protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void reject() override;

private:
  // A cell or an edit changed by the user (not by Load, which fills the cells with the grid's
  // signals blocked; setText emits no textEdited): the model's FieldEdited, when it has a use.
  void FieldEdited();
  TForm2* model_ = nullptr;
  std::array<QPushButton*, 17> buttons_{};
  std::array<QLabel*, 12> labels_{};
  std::array<QLineEdit*, 5> edits_{};
  std::array<ImageWidget*, 5> images_{};
  std::array<QFrame*, 4> bevels_{};
  QTableWidget* grid1_;
  QTableWidget* grid2_;
  QListWidget* checkList_;
  QPlainTextEdit* memo_;
  RadioGroupWidget* radio1_;
  RadioGroupWidget* radio2_;
  QComboBox* combo_;
  QListWidget* listBox_;
  QCheckBox* checkBox_;
};

class QtForm3 : public ModelWindow {
  Q_OBJECT
public:
  QtForm3();
  void Load(TForm3& model);
  QPlainTextEdit* Memo1() const { return memo_; }
  QLabel* Label1() const { return label_; }
  QPushButton* Button1() const { return button_; }
  QListWidget* ListBox1() const { return listBox_; }

protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

private:
  TForm3* model_ = nullptr;
  QPlainTextEdit* memo_;
  QLabel* label_;
  QPushButton* button_;
  QListWidget* listBox_;
};
