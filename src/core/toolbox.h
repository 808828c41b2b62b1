// The shared text and number toolbox: global buffers, formatting, free-field reading, messages,
// the small routines every module uses, and the NumberBuffer tools.
#pragma once
#include <cstdint>
#include <string>
#include "core/messages.h"
#include "core/number_buffer.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/small_routines.h"

// The last line delivered by ReadNextLine and, equally, the text of the last FormatNumber,
// FormatInteger and their relatives: formatting a number discards the line last read.
extern std::string InputLine;

// Numbers parsed from one line (1-based; element 0 is never used); also the working array of
// the NumberBuffer tools.
constexpr int32_t NumberBufferSize = 16384;
extern double NumberBuffer[NumberBufferSize + 1];

// Set by the events that end a wait (a click on a graph, OK of the main window, the yield timer).
extern uint8_t ClickFlag;
