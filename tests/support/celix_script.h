// The Celix menu as a new user runs it on one phase, scripted: Prepare with the crystal system and
// the lattice type (1 = P) and the automatic options, Make with the defaults, "Stop fitting?" Yes,
// then the menu left. CelixMain() runs the script. Shared by the tests and the benchmarks.
#pragma once
#include <cstdint>
#include "core/scripted_ui.h"

inline void ScriptDefaultIndexing(ScriptedUi& ui, int32_t system, int32_t type) {
  ui.ExpectDialog("(Celix)").Radio(2).Ok();
  ui.ExpectDialog(" Phase= 1").Combo(system).Radio2(type).Ok();
  ui.ExpectDialog(" Phase= 1").Ok();
  ui.ExpectDialog("Set lattice parameters").Ok();
  ui.ExpectDialog("(Celix)").Radio(3).Ok();
  ui.ExpectDialog("Check the data and make the fit").Ok();
  ui.ExpectDialog("Set the bin amounts").Ok();
  ui.QueueAnswer(true);  // "Total N of tries= "
  ui.QueueAnswer(true);  // "Stop fitting?"
  ui.ExpectDialog("(Celix)").Cancel();
}
