// The result-file viewer of the test menu. The file is shown line by line as the window system
// shows texts; OK writes back only what was edited: every line the memo still shows as it was
// keeps its bytes and its line end, and a memo left as it was leaves the file untouched.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/display_text.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "testdata/test_menu.h"

namespace {

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

// A line of the file with its own line end ("\r\n", "\n", or none for an unended last line).
struct FileLine {
  std::string text, end;
};

std::vector<FileLine> SplitLines(const std::string& bytes) {
  std::vector<FileLine> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t nl = bytes.find('\n', pos);
    if (nl == std::string::npos) {
      lines.push_back({bytes.substr(pos), ""});
      break;
    }
    const size_t cr = nl > pos && bytes[nl - 1] == '\r' ? 1 : 0;
    lines.push_back({bytes.substr(pos, nl - cr - pos), cr ? "\r\n" : "\n"});
    pos = nl + 1;
  }
  return lines;
}

std::string ReadBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    std::error_code ec;
    SetIoResult(std::filesystem::exists(name, ec) ? 5 : 2);
    AbandonFileOperation("Cannot open", name);
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    SetIoResult(100);
    AbandonFileOperation("Cannot read", name);
  }
  return bytes;
}

// For each memo line the file line it still shows (-1: a new or edited line): the longest common
// run of lines, by dynamic programming between the common head and tail. A middle too large for
// the table counts as edited whole.
std::vector<int64_t> MatchLines(const std::vector<std::string>& shown, const std::vector<std::string>& memo) {
  const size_t n = shown.size(), m = memo.size();
  std::vector<int64_t> from(m, -1);
  size_t head = 0, tail = 0;
  while (head < n && head < m && shown[head] == memo[head]) from[head] = static_cast<int64_t>(head), ++head;
  while (tail < n - head && tail < m - head && shown[n - 1 - tail] == memo[m - 1 - tail]) {
    from[m - 1 - tail] = static_cast<int64_t>(n - 1 - tail);
    ++tail;
  }
  const size_t a = n - head - tail, b = m - head - tail;
  constexpr size_t TableLimit = 4000000;
  if (a == 0 || b == 0 || a > TableLimit / b) return from;
  // len[i][j]: the common run of shown[head + i..] and memo[head + j..].
  std::vector<uint32_t> len((a + 1) * (b + 1), 0);
  const auto at = [b](size_t i, size_t j) { return i * (b + 1) + j; };
  for (size_t i = a; i-- > 0;)
    for (size_t j = b; j-- > 0;)
      len[at(i, j)] = shown[head + i] == memo[head + j] ? len[at(i + 1, j + 1)] + 1
                                                        : std::max(len[at(i + 1, j)], len[at(i, j + 1)]);
  for (size_t i = 0, j = 0; i < a && j < b;) {
    if (shown[head + i] == memo[head + j]) {
      from[head + j] = static_cast<int64_t>(head + i);
      ++i, ++j;
    } else if (len[at(i + 1, j)] >= len[at(i, j + 1)]) {
      ++i;
    } else {
      ++j;
    }
  }
  return from;
}

}  // namespace

std::string DisplayedLine(const std::string& line) {
  std::string out;
  const bool utf8 = ValidUtf8(line);
  for (char ch : line) {
    const unsigned char c = static_cast<unsigned char>(ch);
    // Control characters as their pictures (U+2400..U+241F, U+2421 for DEL): the memo would
    // break a line at a CR or lose a NUL, and the line would then count as edited.
    if ((c < 0x20 && c != '\t') || c == 0x7F)
      AppendUtf8(out, c == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + c);
    else if (utf8 || c < 0x80)
      out += ch;
    else
      AppendUtf8(out, Cp1251ToUnicode(c));
  }
  return out;
}

void ViewTextFile() {
  DialogCaption = "";
  PrepareDialog(630, 0, 430);
  ShowMemo(5, 610);
  const std::string name = LogFile.Name();
  const bool open = LogFile.IsOpen() && LogFile.IsWriting();
  std::vector<FileLine> lines;
  std::vector<std::string> shown;
  if (open) {
    LogFile.Flush();  // the unwritten tail belongs in the memo
    lines = SplitLines(ReadBytes(name));
    for (const FileLine& l : lines) shown.push_back(DisplayedLine(l.text));
    Form2.Memo1.lines = shown;
  }
  ShowDialogModal();
  // Cancel, or OK on a memo left as it was, keeps the file; it stays open for appending.
  if (DialogOk != 1 || !open || Form2.Memo1.lines == shown) return;
  const std::vector<std::string>& memo = Form2.Memo1.lines;
  const std::vector<int64_t> from = MatchLines(shown, memo);
  std::string bytes;
  for (size_t j = 0; j < memo.size(); ++j) {
    if (from[j] < 0) {
      bytes += memo[j] + "\r\n";
      continue;
    }
    const FileLine& l = lines[static_cast<size_t>(from[j])];
    // An unended last line that is no longer last takes a line end.
    bytes += l.text + (l.end.empty() && j + 1 < memo.size() ? std::string("\r\n") : l.end);
  }
  LogFile.Close();
  LogFile.Rewrite(name);
  LogFile.Write(bytes);
  LogFile.Flush();
}
