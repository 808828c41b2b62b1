// Numbers into fixed columns, always with "." as the decimal point. A number that does not fit
// its field becomes a field of asterisks (at most 23). Results also go to InputLine unless an
// out-string is named.
#pragma once
#include <cstdint>
#include <string>

std::string FormatNumber(int32_t width, int32_t decimals, double x);
void FormatNumberTo(int32_t width, int32_t decimals, std::string& s, double x);
std::string FormatNumberNoBlanks(int32_t decimals, double x);
void FormatNumberNoBlanksTo(int32_t decimals, std::string& s, double x);
std::string FormatInteger(int32_t n, int32_t width);
// Fixed point right-aligned in width with decimals, widened when the number needs more room
// (never asterisks): "NaN", "Inf" and "-Inf" for the non-finite values. Does not touch InputLine.
std::string FormatFixed(int32_t width, int32_t decimals, double x);
// For files the program reads back: FormatNumber when the field holds x and a nonzero x keeps a
// nonzero digit, else the scientific form of FormatExponent with 17 digits (widened, never
// asterisks); the reader takes both. A non-finite x, which no reader takes, stays asterisks.
// Does not touch InputLine.
std::string FormatNumberReadBack(int32_t width, int32_t decimals, double x);
// Scientific form without exponent letter: "1.234568+7", "-2.500000-12".
void FormatExponent(int32_t width, int32_t precision, std::string& s, double x);
// The shortest faithful text of x in about width characters, without blanks.
void FormatNumberFit(int32_t width, std::string& s, double x);
// FormatNumber(10, decimals, value) + " +- " + FormatNumber(10, decimals, error).
void FormatValueWithError(int32_t decimals, std::string& s, double value, double error);
