#include "script/writer/output_files.h"

#include "platform/platform.h"
#include "script/writer/load_guard.h"
#include "script/writer/loader_scripts.h"
#include "script/writer/deleted_script.h"
#include "script/writer/quarantine_file.h"
#include "script/writer/script_sink.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// Script files are written in large pieces: one row is many small writes.
constexpr size_t kScriptBuffer = size_t{1} << 20;

// Where the run's load guards go when it ends; empty when its files could
// not all be made.
std::string& GuardDirectory() {
  static std::string directory;
  return directory;
}

std::string PathIn(const std::string& directory, const char* name) {
  return directory + platform::kPathSeparator + name;
}

void CannotWrite(const std::string& path) {
  std::string reason = platform::LastErrorText();
  LogFormat("Cannot write to result file %s", path.c_str());
  LogValue("Reason:", reason.c_str());
}

// A loader written whole at the start: the script files it loads are
// listed in load.sql, which grows with them.
bool WriteLoader(const std::string& directory, const char* name, const std::string& text, bool shell) {
  std::string path = PathIn(directory, name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    CannotWrite(path);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    CannotWrite(path);
    return false;
  }
  if (shell) platform::MakeExecutable(path);
  return true;
}

bool WriteLoaders(const std::string& directory) {
  for (bool withUser : {true, false}) {
    if (!WriteLoader(directory, withUser ? "commit.bat" : "commit_trust.bat", BatchLoaderText(withUser), false)) {
      return false;
    }
  }
  if (!platform::kWritesShellLoaders) return true;
  for (bool withUser : {true, false}) {
    if (!WriteLoader(directory, withUser ? "commit.sh" : "commit_trust.sh", ShellLoaderText(withUser), true)) {
      return false;
    }
  }
  return true;
}

bool OpenLoadList(const std::string& directory) {
  std::string path = PathIn(directory, "load.sql");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    CannotWrite(path);
    return false;
  }
  std::fputs(kLoadListHead, f);
  std::fprintf(f, kLoadListLine, 1);
  Script().loaders.push_back(LoaderFile{f, kLoadListLine, ""});
  return true;
}

}  // namespace

FILE* CreateScriptFile(const std::string& directory, int32_t number, std::string& path) {
  path = PathIn(directory, ("recovered_" + std::to_string(number) + ".sql").c_str());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return nullptr;
  std::setvbuf(f, nullptr, _IOFBF, kScriptBuffer);
  std::fputs(ScriptHeader().c_str(), f);
  return f;
}

std::string ScriptHeader() {
  // Each file may be loaded on its own: each says how its text is encoded.
  std::string header;
  if (const char* encoding = Run().settings.clientEncoding) {
    header += "SET client_encoding = '";
    header += encoding;
    header += "';\n";
  }
  // One INSERT per row waits for its own flush to disk unless told not to;
  // a lost load is simply run again.
  const VeskOptions& options = Run().options;
  if (options.rowFormat == VESK_ROWS_INSERT && options.targetServer == VESK_TARGET_CURRENT) {
    header += "SET synchronous_commit = off;\n";
  }
  // Each table's text stand-in says "already exists, skipping" when its
  // definition worked, which is nearly always: not worth a line per table.
  if (options.rowFormat == VESK_ROWS_COPY && options.targetServer == VESK_TARGET_CURRENT) {
    header += "SET client_min_messages = warning;\n";
  }
  return header;
}

bool OpenOutputFiles(const std::string& directory) {
  ScriptOutput& out = Script();
  out.loaders.clear();
  out.fileNumber = 1;
  out.byteCount = 0;
  out.rotationAllowed = true;
  out.writeFailed = false;
  out.fileLimit = kScriptFileLimit;
  out.copyOpen = false;
  out.copyLine.clear();
  ForgetCreatedObjects();
  GuardDirectory().clear();
  if (ScriptSinkCallback sink = Run().options.scriptSink) {
    // The caller takes the script piece by piece: no script file, and no
    // loader to feed one.
    out.script = nullptr;
    BeginSink(sink, Run().user);
    const std::string header = ScriptHeader();
    SinkText(header.data(), header.size());
    return true;
  }
  BeginSink(nullptr, 0);
  out.script = CreateScriptFile(directory, 1, out.scriptPath);
  if (!out.script) {
    CannotWrite(out.scriptPath);
    return false;
  }
  if (!WriteLoaders(directory) || !OpenLoadList(directory)) return false;
  GuardDirectory() = directory;
  BeginBackgroundWrites();
  return true;
}

void AppendLoadLines(int32_t number) {
  for (LoaderFile& loader : Script().loaders) {
    if (loader.file) std::fprintf(loader.file, loader.loadLine, number);
  }
}

void CloseOutputFiles() {
  // A run that ended early (an error, a stop) may leave a block open; its
  // rows are whole and load once it is ended.
  CloseCopyBlock();
  EndTableText();
  EndBackgroundWrites();
  EndSink();
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
  // Written last: a loader finds them only when the run came to its end.
  if (!GuardDirectory().empty()) WriteLoadGuards(GuardDirectory());
  GuardDirectory().clear();
  CloseQuarantineFile();
  CloseDeletedScript();
}

}  // namespace vesk
