#include "script/writer/deleted_script.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

struct DeletedLoader {
  const char* name;
  const char* head;
  const char* loadLine;  // %d: the file's number
  const char* tail;
  bool shell;
};

constexpr DeletedLoader kDeletedLoaders[] = {
    {"deleted_commit.bat",
     "@echo off\nif x\"%1\" == x\"\" Goto Usage\nif x\"%2\" == x\"\" Goto Usage\n"
     "if x\"%3\" == x\"\" Goto Usage\n\n",
     "psql -h %%1 -d %%2 -U %%3 -f deleted_%d.sql\n",
     "\nGoto Exit\n:Usage\necho Usage\necho deleted_commit.bat serv_name db_name user_name\n:Exit", false},
    {"deleted_commit_trust.bat",
     "@echo off\nif x\"%1\" == x\"\" Goto Usage\nif x\"%2\" == x\"\" Goto Usage\n\n",
     "psql -h %%1 -d %%2 -f deleted_%d.sql\n",
     "\nGoto Exit\n:Usage\necho Usage\necho deleted_commit_trust.bat serv_name db_name\n:Exit", false},
    {"deleted_commit.sh",
     "#!/bin/sh\n"
     "if [ -z \"$1\" ] || [ -z \"$2\" ] || [ -z \"$3\" ]; then\n"
     "  echo Usage\n  echo deleted_commit.sh serv_name db_name user_name\n  exit 1\nfi\n"
     "cd \"$(dirname \"$0\")\" || exit 1\n\n",
     "psql -h \"$1\" -d \"$2\" -U \"$3\" -f deleted_%d.sql\n", "", true},
    {"deleted_commit_trust.sh",
     "#!/bin/sh\n"
     "if [ -z \"$1\" ] || [ -z \"$2\" ]; then\n"
     "  echo Usage\n  echo deleted_commit_trust.sh serv_name db_name\n  exit 1\nfi\n"
     "cd \"$(dirname \"$0\")\" || exit 1\n\n",
     "psql -h \"$1\" -d \"$2\" -f deleted_%d.sql\n", "", true},
};

struct OpenLoader {
  std::FILE* file;
  const DeletedLoader* kind;
};

struct DeletedOutput {
  std::string directory;
  std::FILE* file = nullptr;
  std::string path;
  std::vector<OpenLoader> loaders;
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
  for (OpenLoader& loader : out.loaders) std::fprintf(loader.file, loader.kind->loadLine, number);
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
  for (const DeletedLoader& kind : kDeletedLoaders) {
    if (kind.shell && !platform::kWritesShellLoaders) continue;
    const std::string path = directory + platform::kPathSeparator + kind.name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
      CannotWrite(out, path);
      CloseDeletedScript();
      return false;
    }
    if (kind.shell) platform::MakeExecutable(path);
    std::fputs(kind.head, f);
    out.loaders.push_back(OpenLoader{f, &kind});
  }
  if (!BeginFile(out, 1)) {
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
  for (OpenLoader& loader : out.loaders) {
    std::fputs(loader.kind->tail, loader.file);
    std::fclose(loader.file);
  }
  out.loaders.clear();
  out.number = 0;
}

int32_t DeletedScriptFiles() { return Output().number; }

}  // namespace vesk
