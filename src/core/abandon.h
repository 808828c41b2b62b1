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

// Runs one user command. An abandoned operation shows its reason with ShowMsg (unless silent)
// and the session goes on. Returns false when the command was abandoned.
bool RunUserCommand(const std::function<void()>& command);
