// Golden files and the generator scripts of tools/ that write them, for tests that compare the
// committed files with what a script writes now (and skip where python3 lacks its module).
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using Tokens = std::vector<std::string>;

// The lines of a text file split at blanks; empty lines and lines starting with "#" are left out.
inline std::vector<Tokens> TokenRows(const std::filesystem::path& path) {
  std::vector<Tokens> rows;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ss(line);
    rows.emplace_back(std::istream_iterator<std::string>(ss), std::istream_iterator<std::string>());
  }
  return rows;
}

// The rows of tests/core/data/<name>.
inline std::vector<Tokens> GoldenRows(const std::string& name) {
  return TokenRows(std::string(VKEST_SOURCE_DIR) + "/tests/core/data/" + name);
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool PythonHas(const std::string& module) {
  const std::string python = VKEST_PYTHON;
  return !python.empty() && std::filesystem::exists(python) &&
         std::system((python + " -c 'import " + module + "' 2>/dev/null").c_str()) == 0;
}

// Runs tools/<script> with the one argument out; the exit status of the shell.
inline int RunTool(const std::string& script, const std::string& out) {
  const std::string tool = std::string(VKEST_SOURCE_DIR) + "/tools/" + script;
  return std::system((std::string(VKEST_PYTHON) + " '" + tool + "' '" + out + "'").c_str());
}
