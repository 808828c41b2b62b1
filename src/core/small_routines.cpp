#include "core/small_routines.h"

double RaiseToInt(int32_t n, double x) {
  if (n == 0) return 1.0;
  if (x == 0.0) return 0.0;
  if (n > 300 || n < -300) {
    // The repeated product would overflow or lose itself; an overflow is held to 1e300.
    double r = std::pow(x, n);
    return (std::isfinite(r) && std::fabs(r) <= 1e300) ? r : 1e300;
  }
  double r = 1.0;
  if (n > 0)
    for (int32_t i = 0; i < n; ++i) r *= x;
  else
    for (int32_t i = 0; i < -n; ++i) r /= x;
  return r;
}

double PowerAbs(double x, double y) {
  if (x == 0.0) return 0.0;
  return std::exp(y * std::log(std::fabs(x)));
}

char UpCaseCyr(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c >= 'a' && c <= 'z') c -= 32;
  else if (c >= 160 && c <= 175) c -= 32;
  else if (c >= 224 && c <= 239) c -= 80;
  return static_cast<char>(c);
}

void UpperCaseCyr(std::string& s) {
  for (char& c : s) c = UpCaseCyr(c);
}

void UpperCaseUtf8(std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 'a' && c <= 'z') {
      s[i] = static_cast<char>(c - 32);
      continue;
    }
    // The Cyrillic block U+0400..U+045F is the two-byte range D0 80 .. D1 9F.
    if ((c != 0xD0 && c != 0xD1) || i + 1 >= s.size()) continue;
    const auto t = static_cast<unsigned char>(s[i + 1]);
    if ((t & 0xC0) != 0x80) continue;
    char32_t u = ((c & 0x1Fu) << 6) | (t & 0x3Fu);
    if (u >= 0x430 && u <= 0x44F) u -= 0x20;
    else if (u >= 0x450 && u <= 0x45F) u -= 0x50;
    s[i] = static_cast<char>(0xC0 | (u >> 6));
    s[i + 1] = static_cast<char>(0x80 | (u & 0x3F));
    ++i;
  }
}

void TrimLeadingBlanks(std::string& s) {
  size_t i = s.find_first_not_of(' ');
  s.erase(0, i == std::string::npos ? s.size() : i);
}

void DeleteSpaces(std::string& s) { std::erase(s, ' '); }

void PadLeft(std::string& s, int32_t width) {
  DeleteSpaces(s);
  if (static_cast<int32_t>(s.size()) < width) s.insert(0, width - s.size(), ' ');
}

bool IsBlank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

void CapitalLetters(std::string_view s, std::string& out) {
  out.clear();
  for (char c : s)
    if (c >= 'A' && c <= 'Z') out += c;
}

int32_t LastPos(std::string_view sub, std::string_view s) {
  sub = sub.substr(0, 255);
  s = s.substr(0, 255);
  if (sub.empty()) return 0;
  size_t p = s.rfind(sub);
  return p == std::string_view::npos ? 0 : static_cast<int32_t>(p) + 1;
}

void BaseFileName(std::string_view path, std::string& name) {
  // Folders are split off first, on either separator, so a dotted folder name stays out of it;
  // then the whole extension goes, however long it is.
  size_t slash = path.find_last_of("/\\");
  std::string file(slash == std::string_view::npos ? path : path.substr(slash + 1));
  size_t dot = file.rfind('.');
  if (dot != std::string::npos) file.erase(dot);
  name = file;
}

int32_t CountNonBlank5(std::string_view s) {
  int32_t n = 0;
  for (size_t i = 0; i < s.size() && i < 5; ++i)
    if (s[i] != ' ') ++n;
  return n;
}

void BinaryDigits(int64_t mask, int32_t n, std::string& s) {
  s.clear();
  for (int32_t i = n - 1; i >= 0; --i) s += (i < 63 && ((mask >> i) & 1)) ? '1' : '0';
}
