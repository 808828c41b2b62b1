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

// How a user event stands to a command that is already running (the busy state). The program
// has one thread: a running command waits for clicks through WaitForFlag, and a running fit lets
// the window system run once per iteration, so events arrive under a running command.
//  Refused:   an event the running command waits for (its dialog's buttons and clicks, the graph
//             click, the main window's OK and Cancel); refused while a fit runs, where only the
//             stop request is live.
//  Live:      the stop request of a running fit; always runs.
//  Exclusive: a command of its own (a menu item, a key, a side button, the close box); ignored
//             without a word while any command runs, for it would change or free the data under
//             the running one.
enum class DuringFit { Refused, Live, Exclusive };

// Runs one user command; the program is busy while it runs (also when it ends by an exception).
// An abandoned operation shows its reason with ShowMsg (unless silent) and the session goes on.
// Returns false when the command was abandoned or not run: refused because a fit is running
// (FitBusyMessage shown), or an Exclusive command while the program is busy.
bool RunUserCommand(const std::function<void()>& command, DuringFit during = DuringFit::Refused);
// The session's result and summary files written through to the disk, as after every command
// that is not inside another and whenever the program waits for the user: a crash or a kill
// loses nothing written before. A failure is shown when report is set (a wait's flush leaves it
// to the end of the command, for a message would itself wait).
void FlushSessionFiles(bool report = true);
// Whether a user command runs now (any RunUserCommand in progress) or a fit is in progress.
bool ProgramBusy();

inline constexpr const char* FitBusyMessage = "A fit is running: wait or press STOP";
