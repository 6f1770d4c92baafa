#include "script/writer/script_writer.h"

#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "platform/worker.h"
#include "script/writer/output_files.h"
#include "script/writer/script_sink.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/utf8_text.h"

namespace vesk {
namespace {

// The kernel's copy of the script text into its file costs as much as a
// fifth of a whole recovery; a second thread does it while the next rows
// are decoded. Text for the file collects in `pending` and is handed over a
// mebibyte at a time; the thread writes one block while the next fills.
constexpr size_t kHandOver = size_t{1} << 20;

struct WriteJob {
  FILE* file = nullptr;
  std::string text;
  bool failed = false;
};

struct BackgroundWrites {
  FILE* file = nullptr;  // the script file written this way; null when off
  std::string pending;
  WriteJob job;          // owned by the worker between Post and Wait
  platform::Worker* worker = nullptr;
};

BackgroundWrites& Background() {
  static BackgroundWrites background;
  return background;
}

void RunWriteJob(void* context) {
  auto* job = static_cast<WriteJob*>(context);
  if (std::fwrite(job->text.data(), 1, job->text.size(), job->file) != job->text.size()) job->failed = true;
}

void NoteWriteFailure(ScriptOutput& out) {
  // A full disk loses rows: say so once per file rather than silently.
  if (out.writeFailed) return;
  out.writeFailed = true;
  LogFormat("Cannot write to result file %s", out.scriptPath.c_str());
}

// Waits for the block in flight; its failure is reported here, on the
// thread that owns the log.
void WaitForWriter(BackgroundWrites& bg) {
  bg.worker->Wait();
  if (bg.job.failed) NoteWriteFailure(Script());
  bg.job.failed = false;
}

void HandOver(BackgroundWrites& bg) {
  if (bg.pending.empty()) return;
  WaitForWriter(bg);
  bg.job.file = bg.file;
  bg.job.text.swap(bg.pending);
  bg.pending.clear();
  bg.worker->Post(RunWriteJob, &bg.job);
}

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
  const bool background = Background().file != nullptr && Background().file == out.script;
  if (out.script) {
    if (background) DrainBackgroundWrites();
    std::fclose(out.script);
  }
  out.script = f;
  out.scriptPath = path;
  out.fileNumber = next;
  out.writeFailed = false;
  if (background) Background().file = f;
  AppendLoadLines(next);
  out.byteCount = 0;
}

constexpr char kCopyEnd[] = "\\.\n";
constexpr size_t kCopyEndSize = sizeof kCopyEnd - 1;

void AppendBytes(ScriptOutput& out, const char* text, size_t size);

// A statement boundary: the next file begins here when the current one is
// full. Each file must load on its own, so an open COPY block is ended in
// the full file and begun again in the next.
void RotateIfFull(ScriptOutput& out) {
  if (!out.script || !out.rotationAllowed || out.byteCount < out.fileLimit) return;
  if (!out.copyOpen) {
    BeginNextFile(out);
    return;
  }
  AppendBytes(out, kCopyEnd, kCopyEndSize);
  BeginNextFile(out);
  AppendBytes(out, out.copyLine.data(), out.copyLine.size());
}

// Counts `size` bytes and sends them on to the current file or the sink.
void AppendBytes(ScriptOutput& out, const char* text, size_t size) {
  out.byteCount += static_cast<int64_t>(size);
  if (size == 0) return;
  if (SinkActive()) {
    SinkText(text, size);
    return;
  }
  if (!out.script) return;
  BackgroundWrites& bg = Background();
  if (bg.file != nullptr && bg.file == out.script) {
    bg.pending.append(text, size);
    if (bg.pending.size() >= kHandOver) HandOver(bg);
    return;
  }
  if (std::fwrite(text, 1, size, out.script) != size) NoteWriteFailure(out);
}

void WriteBytes(ScriptOutput& out, const char* text, size_t size) {
  RotateIfFull(out);
  // Names in definitions and comments are the database's bytes too; rows
  // are made valid value by value before they get here.
  if (Run().settings.repairUtf8 && !IsValidUtf8(std::string_view(text, size))) {
    std::string repaired = RepairBytes(std::string_view(text, size));
    AppendBytes(out, repaired.data(), repaired.size());
    return;
  }
  AppendBytes(out, text, size);
}

}  // namespace

void BeginBackgroundWrites() {
  BackgroundWrites& bg = Background();
  if (bg.worker != nullptr) EndBackgroundWrites();
  bg.worker = new (std::nothrow) platform::Worker();
  if (bg.worker == nullptr) return;
  bg.file = Script().script;
  bg.pending.reserve(kHandOver + (kHandOver >> 4));
}

void DrainBackgroundWrites() {
  BackgroundWrites& bg = Background();
  if (bg.worker == nullptr) return;
  HandOver(bg);
  WaitForWriter(bg);
}

void EndBackgroundWrites() {
  BackgroundWrites& bg = Background();
  DrainBackgroundWrites();
  delete bg.worker;
  bg.worker = nullptr;
  bg.file = nullptr;
  std::string().swap(bg.pending);
  std::string().swap(bg.job.text);
}

ScriptOutput& Script() {
  static ScriptOutput output;
  return output;
}

void WriteScriptText(const char* text) {
  if (!text) return;
  WriteBytes(Script(), text, std::strlen(text));
}

namespace {

// Where the statement being built lives: the end of the pending text when
// that goes to the current file, else a string of its own written at the end.
struct OpenStatement {
  std::string* text = nullptr;
  size_t start = 0;
  std::string own;
};

OpenStatement& Statement() {
  static OpenStatement statement;
  return statement;
}

}  // namespace

std::string& BeginStatement() {
  ScriptOutput& out = Script();
  out.rotationAllowed = true;
  RotateIfFull(out);
  OpenStatement& st = Statement();
  BackgroundWrites& bg = Background();
  if (SinkActive()) {
    st.text = &Sink().pending;
  } else {
    st.text = bg.file != nullptr && bg.file == out.script ? &bg.pending : &st.own;
  }
  st.own.clear();
  st.start = st.text->size();
  out.rotationAllowed = false;
  return *st.text;
}

void EndStatement() {
  OpenStatement& st = Statement();
  ScriptOutput& out = Script();
  out.rotationAllowed = true;
  if (st.text == nullptr) return;
  if (st.text == &st.own) {
    AppendBytes(out, st.own.data(), st.own.size());
  } else if (st.text == &Sink().pending) {
    out.byteCount += static_cast<int64_t>(st.text->size() - st.start);
    SinkRowEnded();
  } else {
    out.byteCount += static_cast<int64_t>(st.text->size() - st.start);
    BackgroundWrites& bg = Background();
    if (bg.pending.size() >= kHandOver) HandOver(bg);
  }
  st.text = nullptr;
}

void AbandonStatement() {
  OpenStatement& st = Statement();
  if (st.text != nullptr) st.text->resize(st.start);
  st.text = nullptr;
  Script().rotationAllowed = true;
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

void BeginTableText(const char* schema, const char* table) {
  if (SinkActive()) SinkTableBegins(schema, table);
}

void EndTableText() {
  if (SinkActive()) SinkTableEnds();
}

void OpenCopyBlock(const std::string& copyLine) {
  ScriptOutput& out = Script();
  if (out.copyOpen) return;
  SwitchPieceKind(VESK_PIECE_COPY_BEGIN);
  WriteBytes(out, copyLine.data(), copyLine.size());
  SwitchPieceKind(VESK_PIECE_COPY_DATA);
  out.copyLine = copyLine;
  out.copyOpen = true;
}

void CloseCopyBlock() {
  ScriptOutput& out = Script();
  if (!out.copyOpen) return;
  out.copyOpen = false;
  SwitchPieceKind(VESK_PIECE_COPY_END);
  // Never a new file between a block's rows and its end.
  AppendBytes(out, kCopyEnd, kCopyEndSize);
  SwitchPieceKind(VESK_PIECE_SQL);
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
