#include "script/writer/quarantine_file.h"

#include <cstdio>

#include "platform/platform.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

struct QuarantineFile {
  std::FILE* file = nullptr;
  bool failed = false;  // tried once and could not: not tried again per row
};

QuarantineFile& Quarantine() {
  static QuarantineFile q;
  return q;
}

std::FILE* OpenedFile() {
  QuarantineFile& q = Quarantine();
  if (q.file != nullptr || q.failed) return q.file;
  const std::string path = Run().resultDirectory + platform::kPathSeparator + "quarantine_1.sql";
  q.file = std::fopen(path.c_str(), "wb");
  if (q.file == nullptr) {
    q.failed = true;
    LogFormat("Cannot write to result file %s", path.c_str());
    return nullptr;
  }
  std::fputs("-- Rows set aside: their stored bytes cannot be what the server wrote.\n"
             "-- Not loaded by any loader; every line is a comment.\n\n",
             q.file);
  return q.file;
}

}  // namespace

std::string CommentText(const std::string& text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

void WriteQuarantinedRow(const std::string& table, uint32_t page, uint32_t item, const char* reason,
                         const std::string& decoded) {
  std::FILE* f = OpenedFile();
  if (f == nullptr) return;
  std::fprintf(f, "-- %s page %u item %u: %s\n", CommentText(table).c_str(), page, item, reason);
  if (!decoded.empty()) std::fprintf(f, "--   decoded: %s\n", CommentText(decoded).c_str());
}

void CloseQuarantineFile() {
  QuarantineFile& q = Quarantine();
  if (q.file != nullptr) std::fclose(q.file);
  q = QuarantineFile{};
}

}  // namespace vesk
