// The folder of a fixture that may ship packed (cluster83.tar.xz): the
// shared tools unpack it into their cache once and print where.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace vesk::testing {

// Empty when the fixture or the tool is not there.
inline std::string PackedFixture(const std::string& name) {
  const std::string tool = std::string(VESK_SHARED_DIR) + "/tools/fixture";
  if (!std::filesystem::exists(tool)) return {};
  std::FILE* pipe = ::popen(("'" + tool + "' '" + name + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return {};
  std::string path;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) path += buffer;
  const int status = ::pclose(pipe);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return status == 0 && std::filesystem::is_directory(path) ? path : std::string();
}

}  // namespace vesk::testing
