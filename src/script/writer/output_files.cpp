#include "script/writer/output_files.h"

#include "platform/platform.h"
#include "script/writer/deleted_script.h"
#include "script/writer/quarantine_file.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// Script files are written in large pieces: one row is many small writes.
constexpr size_t kScriptBuffer = size_t{1} << 20;

struct LoaderKind {
  const char* name;
  const char* head;
  const char* loadLine;
  const char* tail;
  bool shell;
};

constexpr LoaderKind kLoaders[] = {
    {"commit.bat",
     "@echo off\nif x\"%1\" == x\"\" Goto Usage\nif x\"%2\" == x\"\" Goto Usage\n"
     "if x\"%3\" == x\"\" Goto Usage\n\n",
     "psql -h %%1 -d %%2 -U %%3 -f recovered_%d.sql\n",
     "\nGoto Exit\n:Usage\necho Usage\necho commit.but serv_name db_name user_name\n:Exit", false},
    {"commit_trust.bat",
     "@echo off\nif x\"%1\" == x\"\" Goto Usage\nif x\"%2\" == x\"\" Goto Usage\n\n",
     "psql -h %%1 -d %%2 -f recovered_%d.sql\n",
     "\nGoto Exit\n:Usage\necho Usage\necho commit_trust.but serv_name db_name\n:Exit", false},
    {"commit.sh",
     "#!/bin/sh\n"
     "if [ -z \"$1\" ] || [ -z \"$2\" ] || [ -z \"$3\" ]; then\n"
     "  echo Usage\n  echo commit.sh serv_name db_name user_name\n  exit 1\nfi\n"
     "cd \"$(dirname \"$0\")\" || exit 1\n\n",
     "psql -h \"$1\" -d \"$2\" -U \"$3\" -f recovered_%d.sql\n", "", true},
    {"commit_trust.sh",
     "#!/bin/sh\n"
     "if [ -z \"$1\" ] || [ -z \"$2\" ]; then\n"
     "  echo Usage\n  echo commit_trust.sh serv_name db_name\n  exit 1\nfi\n"
     "cd \"$(dirname \"$0\")\" || exit 1\n\n",
     "psql -h \"$1\" -d \"$2\" -f recovered_%d.sql\n", "", true},
};

std::string PathIn(const std::string& directory, const char* name) {
  return directory + platform::kPathSeparator + name;
}

void CannotWrite(const std::string& path) {
  std::string reason = platform::LastErrorText();
  LogFormat("Cannot write to result file %s", path.c_str());
  LogValue("Reason:", reason.c_str());
}

bool OpenLoader(const std::string& directory, const LoaderKind& kind) {
  std::string path = PathIn(directory, kind.name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    CannotWrite(path);
    return false;
  }
  if (kind.shell) platform::MakeExecutable(path);
  std::fputs(kind.head, f);
  std::fprintf(f, kind.loadLine, 1);
  Script().loaders.push_back(LoaderFile{f, kind.loadLine, kind.tail});
  return true;
}

}  // namespace

FILE* CreateScriptFile(const std::string& directory, int32_t number, std::string& path) {
  path = PathIn(directory, ("recovered_" + std::to_string(number) + ".sql").c_str());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return nullptr;
  std::setvbuf(f, nullptr, _IOFBF, kScriptBuffer);
  // Each file may be loaded on its own: each says how its text is encoded.
  if (const char* encoding = Run().settings.clientEncoding) {
    std::fprintf(f, "SET client_encoding = '%s';\n", encoding);
  }
  return f;
}

bool OpenOutputFiles(const std::string& directory) {
  ScriptOutput& out = Script();
  out.loaders.clear();
  out.fileNumber = 1;
  out.byteCount = 0;
  out.rotationAllowed = true;
  out.writeFailed = false;
  out.script = CreateScriptFile(directory, 1, out.scriptPath);
  if (!out.script) {
    CannotWrite(out.scriptPath);
    return false;
  }
  for (const LoaderKind& kind : kLoaders) {
    if (kind.shell && !platform::kWritesShellLoaders) continue;
    if (!OpenLoader(directory, kind)) return false;
  }
  BeginBackgroundWrites();
  return true;
}

void AppendLoadLines(int32_t number) {
  for (LoaderFile& loader : Script().loaders) {
    if (loader.file) std::fprintf(loader.file, loader.loadLine, number);
  }
}

void CloseOutputFiles() {
  EndBackgroundWrites();
  ScriptOutput& out = Script();
  if (out.script) {
    if (std::fclose(out.script) != 0 && !out.writeFailed) CannotWrite(out.scriptPath);
    out.script = nullptr;
  }
  for (LoaderFile& loader : out.loaders) {
    if (!loader.file) continue;
    std::fputs(loader.tail, loader.file);
    std::fclose(loader.file);
    loader.file = nullptr;
  }
  out.loaders.clear();
  CloseQuarantineFile();
  CloseDeletedScript();
}

}  // namespace vesk
