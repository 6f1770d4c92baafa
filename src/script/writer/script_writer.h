// The counting script writer: the only way script text reaches a file. It
// begins the next recovered_N.sql at a statement boundary once the current
// one holds 100 MiB, and adds a load line for it to every loader script.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vesk {

inline constexpr int32_t kScriptFileLimit = 104857600;

struct ScriptOutput {
  FILE* script = nullptr;  // current recovered_N.sql
  std::vector<FILE*> loaders;  // commit.bat, commit_trust.bat (+ .sh on POSIX)
  int32_t fileNumber = 1;
  int64_t byteCount = 0;
  bool rotationAllowed = true;
};

ScriptOutput& Script();

void WriteScriptText(const char* text);
void WriteScript(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void AllowRotation() { Script().rotationAllowed = true; }
inline void ForbidRotation() { Script().rotationAllowed = false; }

// `name` between double quotes, each double quote inside it doubled.
std::string QuoteName(const char* name);

}  // namespace vesk
