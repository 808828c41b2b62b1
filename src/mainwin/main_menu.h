// The menu bar of the main window: 14 top-level entries with their 70 items, captions exactly
// as the users know them (the blanks and the key hints in them included).
#pragma once
#include <string>
#include <vector>
#include "mainwin/main_window.h"

// The whole menu bar, each entry bound to its handler; the separator item starts disabled.
std::vector<TMenuItem> BuildMainMenu();
// A caption as text: the mnemonic "&" removed and the outer blanks trimmed.
std::string PlainCaption(const std::string& caption);
