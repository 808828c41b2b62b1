// A name in the temporary folder that no other test process uses at the same time (ctest runs
// the tests of one program as parallel processes).
#pragma once
#include <unistd.h>
#include <filesystem>
#include <string>

inline std::filesystem::path TestTempPath(const std::string& name) {
  return std::filesystem::temp_directory_path() / ("vkest_" + std::to_string(::getpid()) + "_" + name);
}
