// A backend for tests and headless runs. It records a transcript of everything shown, plays a
// script of what the user does, and never blocks. A test reads like the user's session:
//
//   ui.ExpectDialog("Set the number of crystal phases").Radio(3).Ok();
//   ui.ExpectQuestion("Save the file?", true);
//   ui.ExpectMessage("No file a.dat");
//   ui.ChooseFile("data/s.dat");
//   AskNumberOfPhases();
//
// Dialogs, questions and file dialogs take the script's steps in order; a dialog, question or
// file dialog that the script did not expect is reported through onUnexpected and answered with
// Cancel or No. Messages need no step; an ExpectMessage step checks the next message shown.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "core/dialog_model.h"
#include "core/info_window.h"
#include "core/ui_backend.h"

class ScriptedUi;

// What the user does in one showing of the dialog window, in order. Controls are numbered as in
// the window (Edit 1..4, items 1-based); a control that is hidden or disabled is an error of
// the script.
class DialogScript {
public:
  DialogScript& Edit(int32_t i, const std::string& text);
  // A cell of the value grid, 0-based column and row as in the grid.
  DialogScript& Cell(int32_t col, int32_t row, const std::string& text);
  // The value-grid field of DialogFieldValues[row][col] (both 1-based).
  DialogScript& Field(int32_t row, int32_t col, const std::string& text);
  DialogScript& Radio(int32_t item);   // RadioGroup1
  DialogScript& Radio2(int32_t item);  // RadioGroup2
  DialogScript& Check(int32_t item, bool on = true);  // CheckListBox1
  DialogScript& Combo(int32_t item);
  DialogScript& Memo(const std::string& text);  // lines separated by '\n'
  DialogScript& CheckBox(bool on);
  DialogScript& ClickImage(int32_t x, int32_t y);
  // Buttons that leave the window open or close it: Help, STOP, Save, B7, Fourie, Browse, 10..16.
  DialogScript& Press(int32_t button);
  DialogScript& Help() { return Press(3); }
  DialogScript& Save() { return Press(6); }
  DialogScript& B7() { return Press(7); }
  DialogScript& Fourie() { return Press(8); }
  DialogScript& Browse() { return Press(9); }
  // Runs a check of the test while the window is open.
  DialogScript& Inspect(std::function<void(TForm2&)> check);
  // The ways out.
  void Ok() { Press(1); }
  void Cancel() { Press(2); }
  void Esc();
  void Close();  // the title-bar close box

private:
  friend class ScriptedUi;
  struct Action {
    std::string what;  // for messages
    std::function<std::string(TForm2&)> run;  // "" when fine, else the error
  };
  std::string captionPart_;
  std::vector<Action> actions_;
  DialogScript& Add(std::string what, std::function<std::string(TForm2&)> run);
};

// The visible controls of the dialog window with their contents, one line each.
std::vector<std::string> DescribeDialog(const TForm2& form);

class ScriptedUi : public UiBackend {
public:
  // What was shown, in order: "DIALOG: <caption>" followed by "  <control> ..." lines and
  // "  -> <how it closed>", "MSG: <text>", "ASK: <text> -> Yes|No", "OPEN: ..." / "SAVE: ...",
  // "INFO: <title>" with its lines, "WINDOW: <caption>" (shown without waiting),
  // "CLIPBOARD: <text>", "WAIT: ...".
  std::vector<std::string> transcript;
  // What went against the script.
  std::vector<std::string> unexpected;
  // Called on every unexpected event (tests install ADD_FAILURE here).
  std::function<void(const std::string&)> onUnexpected;
  // Copies of the dialog window as each showing began, and of each information window.
  std::vector<TForm2> dialogs;
  std::vector<TForm3> infoWindows;
  // Texts put on the clipboard.
  std::vector<std::string> clipboard;

  // ---- the script ----
  DialogScript& ExpectDialog(const std::string& captionPart);
  void ExpectMessage(const std::string& text);
  // The next Yes/No (or OK/Cancel) question: its exact text and the answer.
  void ExpectQuestion(const std::string& text, bool yes);
  // The next question, whatever its text.
  void QueueAnswer(bool yes);
  // The next open or save dialog: the file chosen, or a cancel.
  void ChooseFile(const std::string& path);
  void CancelFileDialog();
  // The answer of a multi-selection open dialog (CancelFileDialog cancels it).
  void ChooseFiles(const std::vector<std::string>& paths);
  // An event run by a wait (a click that sets a flag, a stop request...), in order.
  void QueueEvent(std::function<void()> event) { events_.push_back(std::move(event)); }
  // A click on the dialog window's image, run by a wait.
  void QueueImageClick(int32_t x, int32_t y);
  // Runs action during the k-th timer yield (1-based), before the timer fires.
  void AtYield(int32_t k, std::function<void()> action);
  // Presses "STOP" during the k-th timer yield.
  void StopAtYield(int32_t k);

  // ---- the backend ----
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text, MsgKind kind) override;  // OK/Cancel questions too
  void ProcessEvents() override;
  bool Quitting() const override { return exhausted_; }
  void ShowModal(TForm2& form) override;
  void ShowModeless(TForm2& form) override;
  void ShowInfoModal(TForm3& form) override;
  std::optional<std::string> OpenFileDialog(const TFileDialog& d) override;
  std::optional<std::string> SaveFileDialog(const TFileDialog& d) override;
  std::optional<std::vector<std::string>> OpenFilesDialog(const TFileDialog& d) override;
  void SetTimer(int32_t ms) override { timerArmed_ = ms > 0; }
  void Clipboard(const std::string& text) override;
  // The screen the script plays on; none (0 x 0) unless a test sets one.
  bool ScreenSize(int32_t& width, int32_t& height) const override {
    width = screenWidth, height = screenHeight;
    return width > 0 && height > 0;
  }
  int32_t screenWidth = 0, screenHeight = 0;

  // ---- looking back ----
  // The messages only (without the "MSG: " prefix).
  std::vector<std::string> Messages() const;
  // The last dialog shown (a default window when none was).
  const TForm2& LastDialog() const;
  // Questions still scripted.
  size_t PendingAnswers() const;
  // Every step of the script not yet used, in words.
  std::vector<std::string> Remaining() const;
  int32_t YieldCount() const { return yieldsFired_; }
  bool TimerArmed() const { return timerArmed_; }
  void Clear();

private:
  enum class StepKind { Dialog, Message, Question, File };
  struct Step {
    StepKind kind;
    std::string text;
    bool yes = false;
    std::optional<std::string> file;
    DialogScript dialog;
  };
  void Unexpected(const std::string& what);
  std::optional<std::string> FileDialog(const char* kind, const TFileDialog& d);
  std::deque<Step> steps_;
  std::deque<std::function<void()>> events_;
  std::map<int32_t, std::vector<std::function<void()>>> yieldActions_;
  bool exhausted_ = false;
  bool timerArmed_ = false;
  int32_t yieldsFired_ = 0;
};
