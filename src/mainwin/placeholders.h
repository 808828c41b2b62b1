// Commands and routines whose subsystem has not landed yet. Each shows its caption followed by
// ": not available yet" in the first status line and does nothing else. A subsystem that lands
// a routine deletes its placeholder (in placeholders.cpp) in the same change.
#pragma once
#include <string>

inline constexpr const char* NotAvailableSuffix = ": not available yet";

// caption + NotAvailableSuffix in the first status line.
void NotAvailableYet(const std::string& caption);
