// The result-file viewer with its write-back. The first byte chooses what the user does (OK on
// the memo as shown, Cancel, one line replaced, deleted or inserted) and the line; the rest is
// the file. Untouched, the file keeps every byte; a replaced line changes that line alone (its
// line end becomes CR LF); after any edit the file shows exactly the memo.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "core/text_file.h"
#include "testdata/test_menu.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

namespace {
std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Where each line begins (a line runs to its LF inclusive, or to the end), and the end.
std::vector<size_t> LineStarts(const std::string& s) {
  std::vector<size_t> at;
  for (size_t p = 0; p < s.size(); p = s.find('\n', p) == std::string::npos ? s.size() : s.find('\n', p) + 1)
    at.push_back(p);
  at.push_back(s.size());
  return at;
}

// The memo the viewer would show for these bytes.
std::vector<std::string> Shown(const std::string& s) {
  std::vector<std::string> out;
  const std::vector<size_t> at = LineStarts(s);
  for (size_t i = 0; i + 1 < at.size(); ++i) {
    std::string line = s.substr(at[i], at[i + 1] - at[i]);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r' && at[i + 1] - at[i] > line.size()) line.pop_back();
    out.push_back(DisplayedLine(line));
  }
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzUi& ui = session.ui;
  FuzzBytes in(data, size);
  const uint8_t action = in.Byte() % 5, pick = in.Byte();
  const std::string file(reinterpret_cast<const char*>(in.Rest()), in.RestSize());
  const std::string path = FuzzFile(in.Rest(), in.RestSize(), "view.res");
  const std::vector<std::string> shown = Shown(file);
  const size_t k = shown.empty() ? 0 : pick % shown.size();
  const std::string mark = "\xE2\x9C\x8E edited";  // no line shows it unless the file holds it
  std::vector<std::string> memo = shown;
  const bool edit = action >= 2 && !shown.empty();
  if (action == 2 && edit) memo[k] = mark;
  if (action == 3 && edit) memo.erase(memo.begin() + static_cast<std::ptrdiff_t>(k));
  if (action == 4) memo.insert(memo.begin() + static_cast<std::ptrdiff_t>(k), mark);
  LogFile.Close();
  LogFile.Append(path);
  auto& step = ui.ExpectDialog("").Inspect([&](TForm2& f) { f.Memo1.lines = memo; });
  action == 1 ? step.Cancel() : step.Ok();
  ViewTextFile();
  LogFile.Flush();
  const std::string after = Bytes(path);
  LogFile.Close();
  FuzzClearLog();
  if (action <= 1 || memo == shown) {
    FuzzCheck(after == file, "an unedited view changed the file");
    return 0;
  }
  FuzzCheck(Shown(after) == memo, "the file does not show the memo");
  for (const std::string& s : shown)
    if (s == mark) return 0;
  if (action == 2) {
    const std::vector<size_t> at = LineStarts(file);
    FuzzCheck(after == file.substr(0, at[k]) + mark + "\r\n" + file.substr(at[k + 1]), "more than the edited line changed");
  }
  return 0;
}
