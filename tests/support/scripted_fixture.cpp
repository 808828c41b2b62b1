#include "support/scripted_fixture.h"

std::vector<std::string> ScriptedTest::LogLines() const {
  std::vector<std::string> lines;
  const std::string& t = LogFile.Contents();
  size_t pos = 0;
  while (pos < t.size()) {
    size_t e = t.find("\r\n", pos);
    if (e == std::string::npos) e = t.size();
    lines.push_back(t.substr(pos, e - pos));
    pos = e + 2;
  }
  return lines;
}
