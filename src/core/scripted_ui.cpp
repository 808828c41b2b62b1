#include "core/scripted_ui.h"

void ScriptedUi::Unexpected(const std::string& what) {
  unexpected.push_back(what);
  if (onUnexpected) onUnexpected(what);
}

void ScriptedUi::ShowMessage(const std::string& text) { transcript.push_back("MSG: " + text); }

bool ScriptedUi::AskYesNo(const std::string& text, MsgKind) {
  if (answers_.empty()) {
    transcript.push_back("ASK: " + text + " -> No (unexpected)");
    Unexpected("question without a scripted answer: " + text);
    return false;
  }
  bool yes = answers_.front();
  answers_.pop_front();
  transcript.push_back("ASK: " + text + (yes ? " -> Yes" : " -> No"));
  return yes;
}

void ScriptedUi::ProcessEvents() {
  if (events_.empty()) {
    // Nothing scripted can end the wait: end it as if the program were closing.
    if (!exhausted_) {
      transcript.push_back("WAIT: no scripted event");
      Unexpected("a wait without a scripted event");
    }
    exhausted_ = true;
    return;
  }
  auto event = std::move(events_.front());
  events_.pop_front();
  event();
}

std::vector<std::string> ScriptedUi::Messages() const {
  std::vector<std::string> out;
  for (const auto& t : transcript)
    if (t.rfind("MSG: ", 0) == 0) out.push_back(t.substr(5));
  return out;
}

void ScriptedUi::Clear() {
  transcript.clear();
  unexpected.clear();
  answers_.clear();
  events_.clear();
  exhausted_ = false;
}
