// The seam between the program and the window system. Every message box, question, dialog,
// file dialog and wait of the program goes through the installed backend: the Qt one in the
// program, a scripted one in the tests. The windows themselves are data (core/dialog_model.h);
// a backend presents them and calls their event handlers.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TForm2;
class TForm3;
struct TFileDialog;
struct TWindowState;
class TImageCanvas;

enum class MsgKind { Plain, Warning, Error, Information, Confirmation };

class UiBackend {
public:
  virtual ~UiBackend() = default;
  // The program's standard message: no icon, one button "OK", top-left corner at 320,320.
  virtual void ShowMessage(const std::string& text) = 0;
  // A Yes/No question; true means Yes.
  virtual bool AskYesNo(const std::string& text, MsgKind kind) = 0;
  // An OK/Cancel question; true means OK.
  virtual bool AskOkCancel(const std::string& text, MsgKind kind) { return AskYesNo(text, kind); }
  // Lets the window system process its pending messages once.
  virtual void ProcessEvents() = 0;
  // True when the application is going down (or a script is exhausted): waits must end.
  virtual bool Quitting() const { return false; }

  // Shows the dialog window modally and returns when one of its handlers closed it. The backend
  // copies the user's input into the model before it calls a handler. The default cancels.
  virtual void ShowModal(TForm2& form);
  // Shows the dialog window without waiting (the stop window of a fit).
  virtual void ShowModeless(TForm2&) {}
  // Hides a window shown without waiting.
  virtual void HideWindow(TWindowState&) {}
  // Shows the information window modally until its "OK".
  virtual void ShowInfoModal(TForm3&) {}
  // The open and save dialogs: the chosen file, or nothing when the user cancelled.
  virtual std::optional<std::string> OpenFileDialog(const TFileDialog&) { return std::nullopt; }
  virtual std::optional<std::string> SaveFileDialog(const TFileDialog&) { return std::nullopt; }
  // The open dialog with several files selectable: the chosen files in order, or nothing.
  virtual std::optional<std::vector<std::string>> OpenFilesDialog(const TFileDialog&) { return std::nullopt; }
  // Arms the dialog window's one-shot timer: after ms milliseconds Form2.Timer1Timer runs.
  // 0 stops it.
  virtual void SetTimer(int32_t) {}
  // A picture shown in a window has changed.
  virtual void ImageChanged(const TImageCanvas&) {}
  // Puts a text on the clipboard.
  virtual void Clipboard(const std::string&) {}
  // The screen's area for windows, pixels; false when there is no screen to fit.
  virtual bool ScreenSize(int32_t& width, int32_t& height) const {
    width = height = 0;
    return false;
  }
};

UiBackend& Ui();
// Installs a backend; nullptr restores the default one, which writes messages to stderr,
// answers every question with No and cancels every dialog.
void SetUi(UiBackend* ui);

// Installs a backend for the lifetime of the guard and restores the previous one.
class ScopedUi {
public:
  explicit ScopedUi(UiBackend& ui);
  ~ScopedUi();
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;
private:
  UiBackend* previous_;
};
