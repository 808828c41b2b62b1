#include "core/abandon.h"
#include <new>
#include "core/fit_engine.h"
#include "core/messages.h"

void AbandonOperation(const std::string& reason) { throw OperationAbandoned(reason); }

bool RunUserCommand(const std::function<void()>& command, DuringFit during) {
  if (during == DuringFit::Refused && FitParameters && FitParameters->FitInProgress()) {
    ShowMsg(FitBusyMessage);
    return false;
  }
  try {
    command();
    return true;
  } catch (const OperationAbandoned& e) {
    if (!e.Silent()) ShowMsg(e.what());
  } catch (const std::bad_alloc&) {
    ShowMsg("Error, not enough memory. Operation abandoned");
  } catch (const std::exception& e) {
    ShowMsg(std::string("Error, ") + e.what() + ". Operation abandoned");
  }
  return false;
}
