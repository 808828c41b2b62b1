// The window-system backend of the program: the dialog window and the information window as
// real Qt widgets, message boxes, file dialogs, the one-shot timer and the clipboard.
#pragma once
#include <QObject>
#include <QTimer>
#include <memory>
#include "core/ui_backend.h"

class QtForm2;
class QtForm3;

class QtBackend : public QObject, public UiBackend {
  Q_OBJECT
public:
  // Needs a QApplication.
  QtBackend();
  ~QtBackend() override;

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text, MsgKind kind) override;
  bool AskOkCancel(const std::string& text, MsgKind kind) override;
  void ProcessEvents() override;
  bool Quitting() const override;
  void ShowModal(TForm2& form) override;
  void ShowModeless(TForm2& form) override;
  void HideWindow(TWindowState& form) override;
  void ShowInfoModal(TForm3& form) override;
  std::optional<std::string> OpenFileDialog(const TFileDialog& d) override;
  std::optional<std::string> SaveFileDialog(const TFileDialog& d) override;
  std::optional<std::vector<std::string>> OpenFilesDialog(const TFileDialog& d) override;
  void SetTimer(int32_t ms) override;
  void ImageChanged(const TImageCanvas& canvas) override;
  void Clipboard(const std::string& text) override;
  bool ScreenSize(int32_t& width, int32_t& height) const override;

  // Ends the program: every wait ends, and so does the event loop.
  void RequestQuit();

  QtForm2* Form2Window() const { return form2_.get(); }
  QtForm3* Form3Window() const { return form3_.get(); }

  // "All|*.*;|D(*.dat)|*.dat;" as Qt's "All (*);;D(*.dat) (*.dat)".
  static QString QtFilter(const std::string& filter);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool Ask(const std::string& text, MsgKind kind, bool okCancel);
  // A window shown without waiting (the stop window, the indexing's fit plot) shows what its
  // model holds now: while the work goes on, and behind a message or question that follows.
  void ShowModelessAsItIs();
  // The main window active again (with the keys) when the active window is a hidden one.
  void ReturnKeysToMainWindow();
  std::unique_ptr<QtForm2> form2_;
  std::unique_ptr<QtForm3> form3_;
  QTimer timer_;
  bool quitting_ = false;
};
