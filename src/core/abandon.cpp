#include "core/abandon.h"
#include <cstdint>
#include <new>
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/text_file.h"

void AbandonOperation(const std::string& reason) { throw OperationAbandoned(reason); }

namespace {
int32_t runningCommands = 0;  // RunUserCommand calls in progress (nested: a dialog's own events)

bool FitRunning() { return FitParameters && FitParameters->FitInProgress(); }

// The busy state for the lifetime of one command, released on every way out.
struct BusyScope {
  BusyScope() { ++runningCommands; }
  ~BusyScope() { --runningCommands; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};
}  // namespace

bool ProgramBusy() { return runningCommands > 0 || FitRunning(); }

bool RunUserCommand(const std::function<void()>& command, DuringFit during) {
  if (during == DuringFit::Exclusive && ProgramBusy()) return false;
  if (during == DuringFit::Refused && FitRunning()) {
    ShowMsg(FitBusyMessage);
    return false;
  }
  bool ran = false;
  {
    BusyScope busy;
    try {
      command();
      ran = true;
    } catch (const OperationAbandoned& e) {
      if (!e.Silent()) ShowMsg(e.what());
    } catch (const std::bad_alloc&) {
      ShowMsg("Error, not enough memory. Operation abandoned");
    } catch (const std::exception& e) {
      ShowMsg(std::string("Error, ") + e.what() + ". Operation abandoned");
    }
  }
  if (!ProgramBusy()) FlushSessionFiles();
  return ran;
}

void FlushSessionFiles(bool report) {
  for (TextFile* f : {&LogFile, &QuorinFile}) {
    try {
      f->Flush();
    } catch (const std::exception& e) {
      if (report) ShowMsg(e.what());
    }
  }
}
