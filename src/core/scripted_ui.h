// A backend for tests and headless runs: records a transcript of everything shown, answers
// questions from a queue, runs queued events while the program waits, and never blocks.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>
#include "core/ui_backend.h"

class ScriptedUi : public UiBackend {
public:
  // What was shown, in order: "MSG: <text>", "ASK: <text> -> Yes|No", "WAIT: ...".
  std::vector<std::string> transcript;
  // Questions that came without a queued answer, and waits with nothing queued to end them.
  std::vector<std::string> unexpected;
  // Called on every unexpected event (tests install ADD_FAILURE here).
  std::function<void(const std::string&)> onUnexpected;

  void QueueAnswer(bool yes) { answers_.push_back(yes); }
  // An event run by ProcessEvents, in order (a click that sets a flag, a stop request...).
  void QueueEvent(std::function<void()> event) { events_.push_back(std::move(event)); }

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text, MsgKind kind) override;
  void ProcessEvents() override;
  bool Quitting() const override { return exhausted_; }

  // The messages only (without the "MSG: " prefix).
  std::vector<std::string> Messages() const;
  size_t PendingAnswers() const { return answers_.size(); }
  void Clear();

private:
  void Unexpected(const std::string& what);
  std::deque<bool> answers_;
  std::deque<std::function<void()>> events_;
  bool exhausted_ = false;
};
