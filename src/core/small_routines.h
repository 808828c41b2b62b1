// The one-line routines that all modules share.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

inline double IntToFloat(int32_t n) { return n; }
inline bool InRange(int32_t i, int32_t lo, int32_t hi) { return lo <= i && i <= hi; }
inline bool Between(int32_t i, int32_t lo, int32_t hi) { return lo <= i && i <= hi; }
inline bool InRangeD(double x, double lo, double hi) { return lo <= x && x <= hi; }
inline int32_t MaxI(int32_t a, int32_t b) { return a > b ? a : b; }
inline int32_t MinI(int32_t a, int32_t b) { return a < b ? a : b; }
inline double MaxD(double a, double b) { return a > b ? a : b; }
inline double MinD(double a, double b) { return a < b ? a : b; }
inline double MaxIAsFloat(int32_t a, int32_t b) { return MaxI(a, b); }
inline double MinIAsFloat(int32_t a, int32_t b) { return MinI(a, b); }
// Rounding to an integer always takes halves to the even neighbour.
inline int32_t RoundHalfEven(double x) { return static_cast<int32_t>(std::nearbyint(x)); }
// x rounded half to even into n when the result and its negation fit an int32 (|n| < 2^31);
// false, n untouched, for a value beyond or not a number.
inline bool RoundToInt32(double x, int32_t& n) {
  if (!(std::fabs(x) <= 2147483647.0)) return false;
  n = RoundHalfEven(x);
  return true;
}
inline int32_t RoundMax(double a, double b) { return RoundHalfEven(MaxD(a, b)); }
inline int32_t RoundMin(double a, double b) { return RoundHalfEven(MinD(a, b)); }
inline double Max3D(double a, double b, double c) { return MaxD(MaxD(a, b), c); }
inline double Min3D(double a, double b, double c) { return MinD(MinD(a, b), c); }
inline int32_t SignOf(double x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }
inline void SwapD(double& a, double& b) { double t = a; a = b; b = t; }
inline void OrderD(double& a, double& b) { if (b < a) SwapD(a, b); }
inline void OrderI(int32_t& a, int32_t& b) { if (b < a) { int32_t t = a; a = b; b = t; } }
inline bool IsEven(int32_t n) { return n % 2 == 0; }
inline bool IsOdd(int32_t n) { return n % 2 != 0; }
inline double VectorLength(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// x to the integer power n. |n| > 300 is taken with pow and held to 1e300 when it would exceed it.
double RaiseToInt(int32_t n, double x);
// |x| to the real power y; 0 when x = 0.
double PowerAbs(double x, double y);

// Upper case in code page 866: a-z and 160..175 minus 32, 224..239 minus 80. Use it only on
// copies for comparison: it corrupts multibyte UTF-8 text.
char UpCaseCyr(char c);
void UpperCaseCyr(std::string& s);
// Upper case of UTF-8 text, in place: a-z and the Cyrillic small letters U+0430..U+045F (their
// capitals U+0410..U+042F and U+0400..U+040F); every other byte sequence, malformed ones
// included, is left as it is.
void UpperCaseUtf8(std::string& s);
void TrimLeadingBlanks(std::string& s);
void DeleteSpaces(std::string& s);
// Removes every blank, then prefixes blanks up to width.
void PadLeft(std::string& s, int32_t width);
bool IsBlank(std::string_view s);
// The letters A..Z of s, in order: the key of an INI command title.
void CapitalLetters(std::string_view s, std::string& out);
// 1-based position of the last sub in s, 0 if none (both taken to 255 characters).
int32_t LastPos(std::string_view sub, std::string_view s);
// The file name without its folder and without its extension.
void BaseFileName(std::string_view path, std::string& name);
int32_t CountNonBlank5(std::string_view s);
// The n lowest bits of mask, highest first; empty for n < 1.
void BinaryDigits(int64_t mask, int32_t n, std::string& s);
