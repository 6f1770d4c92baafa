// The counting script writer: the only way script text reaches a file (or
// the caller's script sink). It begins the next recovered_N.sql at a
// statement boundary once the current one holds 100 MiB, and adds a load
// line for it to every loader script. A COPY block open at that moment is
// ended in the full file and begun again in the next.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vesk {

inline constexpr int32_t kScriptFileLimit = 104857600;

// A file of the result directory that lists the script files: load.sql,
// which the loader scripts run.
struct LoaderFile {
  FILE* file = nullptr;
  const char* loadLine = "";  // printf format of one load line, %d = file number
  const char* tail = "";      // written when the run ends
};

struct ScriptOutput {
  FILE* script = nullptr;  // current recovered_N.sql
  std::string scriptPath;  // its path, for error messages
  std::vector<LoaderFile> loaders;
  int32_t fileNumber = 1;
  int64_t byteCount = 0;
  bool rotationAllowed = true;
  bool writeFailed = false;  // a write to the current file failed (logged once)
  int64_t fileLimit = kScriptFileLimit;  // tests make it small
  bool copyOpen = false;     // rows now go into a COPY block ...
  std::string copyLine;      // ... begun by this line
};

ScriptOutput& Script();

// Writes `text` to the current script file, first beginning the next file when
// rotation is allowed and the current one is full. Null writes nothing.
void WriteScriptText(const char* text);
// printf-style WriteScriptText; a null format writes nothing. Long results are
// written whole.
void WriteScript(const char* format, ...) VESK_PRINTF_FORMAT(1, 2);
// A statement built in place at the end of the script's text, with no copy:
// BeginStatement begins the next file first when the current one is full (a
// statement boundary) and returns the text to append the statement to;
// EndStatement counts it and passes it on; AbandonStatement drops whatever
// was appended since BeginStatement. Nothing else may be written between.
std::string& BeginStatement();
void EndStatement();
void AbandonStatement();

// Text for the script file open at the call goes to it (and to each next
// file the writer begins) through a second thread, a mebibyte at a time.
// DrainBackgroundWrites hands over what is pending and waits until it is in
// the file; EndBackgroundWrites drains and stops the thread. A run begins
// it after opening its files and ends it before closing them.
void BeginBackgroundWrites();
void DrainBackgroundWrites();
void EndBackgroundWrites();

// The text of one user table, from its definition to its last row, marked
// as such for a script sink (no text in script files).
void BeginTableText(const char* schema, const char* table);
void EndTableText();

// A COPY block: `copyLine` ("COPY ... FROM stdin;\n"), then rows, each one
// statement (BeginStatement .. EndStatement), then "\\.". Closing a block
// that is not open does nothing.
void OpenCopyBlock(const std::string& copyLine);
void CloseCopyBlock();
inline bool CopyBlockOpen() { return Script().copyOpen; }

inline void AllowRotation() { Script().rotationAllowed = true; }
inline void ForbidRotation() { Script().rotationAllowed = false; }

// `name` between double quotes, each double quote inside it doubled.
std::string QuoteName(const char* name);

}  // namespace vesk
