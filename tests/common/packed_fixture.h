// Fixtures shipped packed (whole clusters): unpacked once into a cache by
// the shared tool, which prints where.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace vesk::testing {

// The path of fixture `name`, or "" when the shared folder or its tool is
// absent (the caller skips).
inline std::string PackedFixture(const std::string& name) {
#ifdef _WIN32
  (void)name;
  return {};
#else
  const std::string tool = std::string(VESK_SHARED_DIR) + "/tools/fixture";
  if (!std::filesystem::exists(tool)) return {};
  FILE* pipe = popen(("'" + tool + "' '" + name + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return {};
  std::string path;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) path += buffer;
  pclose(pipe);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return std::filesystem::is_directory(path) ? path : std::string();
#endif
}

}  // namespace vesk::testing
