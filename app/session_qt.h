// The program's start-up order on a running QApplication: the backend, the four windows, the
// start dialog, the session and the event loop. main() makes the application and calls
// MainProgram; the tests call it on theirs.
#pragma once
#include <string>

struct TProgramOptions {
  std::string workDir;  // empty: the current directory
};

// Runs the program to its end and returns its exit code: 0 after a normal end or a cancelled
// start dialog, 1 when the session files cannot be created.
int MainProgram(const TProgramOptions& options = {});
