#include "script/writer/script_writer.h"

#include <cstdarg>
#include <cstring>

#include "script/writer/output_files.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// Begins the next script file. The current one is closed only once the next
// exists: when it cannot be created the text keeps going to the current file
// (nothing is lost) and the next attempt waits for another full file.
void BeginNextFile(ScriptOutput& out) {
  int32_t next = out.fileNumber + 1;
  std::string path;
  FILE* f = CreateScriptFile(Run().resultDirectory, next, path);
  if (!f) {
    LogFormat("Cannot write to result file %s", path.c_str());
    out.byteCount = 0;
    return;
  }
  if (out.script) std::fclose(out.script);
  out.script = f;
  out.scriptPath = path;
  out.fileNumber = next;
  out.writeFailed = false;
  AppendLoadLines(next);
  out.byteCount = 0;
}

void WriteBytes(ScriptOutput& out, const char* text, size_t size) {
  if (out.script && out.rotationAllowed && out.byteCount >= kScriptFileLimit) BeginNextFile(out);
  out.byteCount += static_cast<int64_t>(size);
  if (!out.script || size == 0) return;
  if (std::fwrite(text, 1, size, out.script) != size && !out.writeFailed) {
    // A full disk loses rows: say so once per file rather than silently.
    out.writeFailed = true;
    LogFormat("Cannot write to result file %s", out.scriptPath.c_str());
  }
}

}  // namespace

ScriptOutput& Script() {
  static ScriptOutput output;
  return output;
}

void WriteScriptText(const char* text) {
  if (!text) return;
  WriteBytes(Script(), text, std::strlen(text));
}

void WriteScript(const char* format, ...) {
  if (!format) return;
  char buffer[16384];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof buffer) {
    va_end(again);
    WriteBytes(Script(), buffer, static_cast<size_t>(n));
    return;
  }
  // Longer than the buffer (a long bit string, say): cutting it would corrupt
  // the statement, so format it again into a block of its own size.
  std::string whole(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(whole.data(), whole.size(), format, again);
  va_end(again);
  WriteBytes(Script(), whole.data(), static_cast<size_t>(n));
}

std::string QuoteName(const char* name) {
  std::string quoted = "\"";
  for (const char* p = name ? name : ""; *p; ++p) {
    if (*p == '"') quoted += '"';
    quoted += *p;
  }
  quoted += '"';
  return quoted;
}

}  // namespace vesk
