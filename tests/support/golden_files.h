// Golden files and the generator scripts of tools/ that write them, for tests that compare the
// committed files with what a script writes now (and skip where python3 lacks its module, or fail
// where the oracles are required).
#pragma once
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#include <gtest/gtest.h>

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

// The rows of tests/<subsystem>/data/<name>.
inline std::vector<Tokens> GoldenRows(const std::string& name, const std::string& subsystem = "core") {
  return TokenRows(std::string(VKEST_SOURCE_DIR) + "/tests/" + subsystem + "/data/" + name);
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The Debian package that brings a python3 module ("" stands for python3 itself).
inline std::string DebianPackageOf(const std::string& module) {
  return module.empty() ? "python3" : "python3-" + module.substr(0, module.find('.'));
}

// What python (by default the build's python3) lacks of the comma-separated modules, named with
// the Debian package that brings it; empty when everything is there. An empty list asks for
// python3 alone.
inline std::string MissingOracle(const std::string& modules, const std::string& python = VKEST_PYTHON) {
  if (python.empty() || !std::filesystem::exists(python))
    return "no python3 at '" + python + "' (Debian package python3)";
  std::istringstream list(modules);
  for (std::string module; std::getline(list, module, ',');) {
    module.erase(0, module.find_first_not_of(' '));
    module.erase(module.find_last_not_of(' ') + 1);
    if (module.empty()) continue;
    if (std::system((python + " -c 'import " + module + "' 2>/dev/null").c_str()) != 0)
      return "python3 cannot import " + module + " (Debian package " + DebianPackageOf(module) + ")";
  }
  return {};
}

inline bool PythonHas(const std::string& module) { return MissingOracle(module).empty(); }

// Set in CI: a cross-check whose oracle (python3 or one of its modules) is missing fails
// instead of skipping, so a broken install step cannot pass as green.
inline bool OraclesRequired() {
  const char* v = std::getenv("VKEST_REQUIRE_ORACLES");
  return v != nullptr && std::string(v) == "1";
}

// Skips the current test when python3 cannot import module (comma-separated names allowed, as
// in "numpy, scipy"; "" for python3 alone); fails it instead when OraclesRequired(). The
// message names the Debian package to install.
#define VKEST_REQUIRE_PYTHON(module)                                          \
  do {                                                                        \
    const std::string vkest_missing_oracle_ = MissingOracle(module);          \
    if (!vkest_missing_oracle_.empty()) {                                     \
      if (OraclesRequired()) FAIL() << "oracle missing: " << vkest_missing_oracle_; \
      GTEST_SKIP() << "oracle missing: " << vkest_missing_oracle_;            \
    }                                                                         \
  } while (0)

// Runs tools/<script> with the argument out (and a second one when given); the exit status of the shell.
inline int RunTool(const std::string& script, const std::string& out, const std::string& second = "") {
  const std::string tool = std::string(VKEST_SOURCE_DIR) + "/tools/" + script;
  const std::string more = second.empty() ? "" : " '" + second + "'";
  return std::system((std::string(VKEST_PYTHON) + " '" + tool + "' '" + out + "'" + more).c_str());
}

// A token read whole as a number.
inline bool TokenNumber(const std::string& token, double& x) {
  const char* end = token.data() + token.size();
  auto [ptr, ec] = std::from_chars(token.data(), end, x);
  return ec == std::errc() && ptr == end;
}

// One unit in the last digit a number was printed with ("2.50" 0.01, "1.5e-07" 1e-08): how far
// apart two printings of values an ulp apart can be. A number printed as an integer is taken as
// exact: 0.
inline double LastDigitUnit(const std::string& token) {
  if (token.find_first_of(".eE") == std::string::npos) return 0;
  const size_t e = token.find_first_of("eE");
  const std::string mantissa = token.substr(0, e);
  const size_t dot = mantissa.find('.');
  const int decimals = dot == std::string::npos ? 0 : static_cast<int>(mantissa.size() - dot - 1);
  const int exponent = e == std::string::npos ? 0 : std::stoi(token.substr(e + 1));
  return std::pow(10.0, exponent - decimals);
}

// How far a live number may be from the committed one in column col of a committed row; NaN
// asks for equal text.
using TokenTolerance = std::function<double(const Tokens& row, size_t col)>;

// Where the rows of a live generator run differ from the committed rows: counts, texts, and
// numbers further apart than tolerance allows; one message each.
inline std::vector<std::string> TokenMismatches(const std::vector<Tokens>& live, const std::vector<Tokens>& committed,
                                                const TokenTolerance& tolerance) {
  std::vector<std::string> out;
  if (live.size() != committed.size())
    out.push_back(std::to_string(live.size()) + " rows against " + std::to_string(committed.size()));
  for (size_t r = 0; r < std::min(live.size(), committed.size()); ++r) {
    const Tokens &a = live[r], &b = committed[r];
    const std::string where = "row " + std::to_string(r + 1) + " (" + (b.empty() ? "" : b[0]) + ")";
    if (a.size() != b.size()) {
      out.push_back(where + ": " + std::to_string(a.size()) + " tokens against " + std::to_string(b.size()));
      continue;
    }
    for (size_t c = 0; c < b.size(); ++c) {
      double x = 0, y = 0;
      const double tol = a[c] == b[c] ? 0 : tolerance(b, c);
      const bool numbers = TokenNumber(a[c], x) && TokenNumber(b[c], y);
      // Reading the two decimals rounds each by half an ulp.
      const double slack = 2 * std::numeric_limits<double>::epsilon() * std::max(std::fabs(x), std::fabs(y));
      if (a[c] != b[c] && !(numbers && std::fabs(x - y) <= tol + slack))
        out.push_back(where + " column " + std::to_string(c + 1) + ": " + a[c] + " against " + b[c]);
    }
  }
  return out;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}
