// The seam between the program and the window system. Every message box, question and wait of
// the program goes through the installed backend: the Qt one in the program, a scripted one in
// the tests.
#pragma once
#include <string>

enum class MsgKind { Plain, Warning, Error, Information, Confirmation };

class UiBackend {
public:
  virtual ~UiBackend() = default;
  // The program's standard message: no icon, one button "OK", top-left corner at 320,320.
  virtual void ShowMessage(const std::string& text) = 0;
  // A Yes/No question; true means Yes.
  virtual bool AskYesNo(const std::string& text, MsgKind kind) = 0;
  // Lets the window system process its pending messages once.
  virtual void ProcessEvents() = 0;
  // True when the application is going down (or a script is exhausted): waits must end.
  virtual bool Quitting() const { return false; }
};

UiBackend& Ui();
// Installs a backend; nullptr restores the default one, which writes messages to stderr and
// answers every question with No.
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
