// "Abandon the operation": a failed file operation or a fatal condition of a computation ends the
// whole user command. It is one exception type, caught only at the top-level dispatch of a command
// (RunUserCommand), so it never crosses the window system's event loop.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>

class OperationAbandoned : public std::runtime_error {
public:
  // An empty reason abandons silently (the message, if any, was shown already).
  explicit OperationAbandoned(const std::string& reason) : std::runtime_error(reason) {}
  bool Silent() const { return what()[0] == '\0'; }
};

[[noreturn]] void AbandonOperation(const std::string& reason = {});

// Whether a command may run while the session's fit is in progress (its progress procedure lets
// the window system run). Only the stop request is live then; everything else would change the
// data under the running fit.
enum class DuringFit { Refused, Live };

// Runs one user command. An abandoned operation shows its reason with ShowMsg (unless silent)
// and the session goes on. Returns false when the command was abandoned, or refused because a
// fit is running (FitBusyMessage shown, nothing run).
bool RunUserCommand(const std::function<void()>& command, DuringFit during = DuringFit::Refused);

inline constexpr const char* FitBusyMessage = "A fit is running: wait or press STOP";
