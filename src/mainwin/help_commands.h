// The Help menu: the help topics of the program, the two example INI files and the comments on
// the INI commands.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Shows lines of one language in the information window; more = 1 says that a page follows.
void ShowTextPage(const std::vector<std::string>& lines, int32_t more);
