#include "script/writer/deleted_script.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "script/writer/load_guard.h"
#include "script/writer/loader_scripts.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

struct DeletedOutput {
  std::string directory;
  std::FILE* file = nullptr;
  std::string path;
  std::FILE* list = nullptr;  // deleted_load.sql, which the loaders run
  int32_t number = 0;
  int64_t byteCount = 0;
  bool failed = false;  // could not create or write: said once
};

DeletedOutput& Output() {
  static DeletedOutput output;
  return output;
}

void CannotWrite(DeletedOutput& out, const std::string& path) {
  if (out.failed) return;
  out.failed = true;
  LogFormat("Cannot write to result file %s", path.c_str());
}

// Begins deleted_<number>.sql; false when it cannot be created.
bool BeginFile(DeletedOutput& out, int32_t number) {
  out.path = out.directory + platform::kPathSeparator + "deleted_" + std::to_string(number) + ".sql";
  out.file = std::fopen(out.path.c_str(), "wb");
  if (out.file == nullptr) {
    CannotWrite(out, out.path);
    return false;
  }
  out.number = number;
  out.byteCount = 0;
  if (const char* encoding = Run().settings.clientEncoding) {
    std::fprintf(out.file, "SET client_encoding = '%s';\n", encoding);
  }
  if (out.list != nullptr) std::fprintf(out.list, "\\i deleted_%d.sql\n", static_cast<int>(number));
  return true;
}

// The same loaders as the recovered script's, over the dead versions' files.
bool WriteLoaders(DeletedOutput& out) {
  for (bool shell : {false, true}) {
    if (shell && !platform::kWritesShellLoaders) continue;
    for (bool withUser : {true, false}) {
      const std::string name = std::string(withUser ? "deleted_commit" : "deleted_commit_trust") + (shell ? ".sh" : ".bat");
      const std::string path = out.directory + platform::kPathSeparator + name;
      const std::string text =
          shell ? ShellLoaderText(withUser, LoadSet::kDeleted) : BatchLoaderText(withUser, LoadSet::kDeleted);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      bool written = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
      if (f != nullptr && std::fclose(f) != 0) written = false;
      if (!written) {
        CannotWrite(out, path);
        return false;
      }
      if (shell) platform::MakeExecutable(path);
    }
  }
  return true;
}

bool OpenList(DeletedOutput& out) {
  const std::string path = out.directory + platform::kPathSeparator + "deleted_load.sql";
  out.list = std::fopen(path.c_str(), "wb");
  if (out.list == nullptr) {
    CannotWrite(out, path);
    return false;
  }
  std::fputs(LoadListHead(LoadSet::kDeleted).c_str(), out.list);
  return true;
}

bool CloseFile(DeletedOutput& out) {
  if (out.file == nullptr) return true;
  const bool closed = std::fclose(out.file) == 0;
  out.file = nullptr;
  if (!closed) CannotWrite(out, out.path);
  return closed;
}

}  // namespace

bool OpenDeletedScript(const std::string& directory, const std::string& head) {
  CloseDeletedScript();
  DeletedOutput& out = Output();
  out = DeletedOutput{};
  out.directory = directory;
  if (!WriteLoaders(out) || !OpenList(out) || !BeginFile(out, 1)) {
    CloseDeletedScript();
    return false;
  }
  WriteDeletedText(head);
  return true;
}

void WriteDeletedText(const std::string& text) {
  DeletedOutput& out = Output();
  if (out.file == nullptr || text.empty()) return;
  if (out.byteCount >= kScriptFileLimit) {
    if (!CloseFile(out) || !BeginFile(out, out.number + 1)) return;
  }
  out.byteCount += static_cast<int64_t>(text.size());
  if (std::fwrite(text.data(), 1, text.size(), out.file) != text.size()) CannotWrite(out, out.path);
}

void CloseDeletedScript() {
  DeletedOutput& out = Output();
  CloseFile(out);
  if (out.list != nullptr) {
    std::fclose(out.list);
    out.list = nullptr;
    // Written last: the loaders find them only when the run came to its end.
    WriteLoadGuards(out.directory, LoadSet::kDeleted);
  }
  out.number = 0;
}

int32_t DeletedScriptFiles() { return Output().number; }

}  // namespace vesk
