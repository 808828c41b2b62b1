// The free-field number reader: every number from a file or a dialog field is read here.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class TextFile;

// The parser state machine; ok 1 or 0 (a bad character lowers ok, its neighbours still count).
// The digits and the exponent give the correctly rounded double; beyond the double range the
// 1e300 image (with the sign), below it 0.
void StrToFloatRobust(std::string_view s, double& x, uint8_t& ok);
// One dialog field: a non-number gives 1.001 and DialogOk := 0; a number leaves DialogOk as it is.
void StrToFloatChecked(std::string_view s, double& x);
// The first token of s (blank, tab or comma separated) that does not read as a finite number
// ("inf", "nan", a word); empty when every token does.
std::string FirstNonNumber(std::string_view s);
// Splits s into NumberBuffer[1..n] (at most NumberBufferSize numbers; further ones are dropped).
void ParseNumbers(int32_t& n, std::string_view s);
// Reads numbers from the following lines of f into a[first..last] ("*" comments, "/" ends).
void ReadNumbers(TextFile& f, int32_t first, int32_t last, int32_t& n, std::span<double> a);
// InputLine := the next line of f not beginning with "*"; " " at the end of the file.
void ReadNextLine(TextFile& f);
