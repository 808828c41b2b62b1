// A backend for walks over the whole program: it answers every dialog, question, file dialog
// and wait without a script, the same way each time (Cancel, or OK with the defaults) or at
// random from a seed (values typed, items chosen, buttons pressed, valid and invalid), and keeps
// a short record of what was shown. Problems are what a user could not get out of: a dialog that
// neither OK, Cancel nor the close box closes, a wait that no answer ends.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>
#include "core/dialog_model.h"
#include "core/ui_backend.h"

class GenericUi : public UiBackend {
public:
  enum class Answer { Cancel, Accept, Random };
  Answer answer = Answer::Cancel;
  // Files a random open dialog may pick (besides a cancel and a name that does not exist).
  std::vector<std::string> openPool;
  // Called by a wait with no timer armed (a click loop): the test presses a side button or
  // clicks the graph. Unset, or past waitLimit in one command, the wait ends as on quitting.
  std::function<void(std::mt19937&)> onWait;
  int32_t waitLimit = 20;
  int32_t dialogLimit = 40;  // dialogs of one command before every further one is cancelled
  int32_t questionLimit = 30;  // questions of one command before every further one is answered No
  // Questions answered No whatever the mode (a warning of hours of work in a debug build).
  std::vector<std::string> alwaysNo;
  int32_t timerLimit = 20000;  // timer ticks of one command (a fit's iterations) before quitting

  // What was shown in the current command: "DIALOG <caption> -> OK", "ASK <text> -> Yes", ...
  std::vector<std::string> record;
  std::vector<std::string> problems;
  int32_t dialogsShown = 0, questionsAsked = 0, filesAsked = 0, messagesShown = 0;
  // The kind of the first thing shown in the command: 'D' dialog window, 'Q' question, 'F' file
  // dialog, 'M' message, 'I' information window, 0 nothing; and its caption or text.
  char first = 0;
  std::string firstText;

  // A new command: the record cleared, the random answers drawn from seed.
  void Begin(uint32_t seed);

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text, MsgKind kind) override;
  void ProcessEvents() override;
  bool Quitting() const override { return quitting_; }
  void ShowModal(TForm2& form) override;
  void ShowInfoModal(TForm3& form) override;
  std::optional<std::string> OpenFileDialog(const TFileDialog& d) override;
  std::optional<std::string> SaveFileDialog(const TFileDialog& d) override;
  std::optional<std::vector<std::string>> OpenFilesDialog(const TFileDialog& d) override;
  void SetTimer(int32_t ms) override { timerArmed_ = ms > 0; }

private:
  void Note(char kind, const std::string& text, const std::string& how = {});
  void FillAtRandom(TForm2& form);
  std::optional<std::string> FileAnswer(const char* kind, const TFileDialog& d, bool save);
  std::mt19937 rng_;
  bool quitting_ = false, timerArmed_ = false;
  int32_t waits_ = 0, ticks_ = 0;
};
