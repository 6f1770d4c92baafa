// Whole recoveries of damaged database directories: run FileRecover under a
// watchdog, split the script into INSERT statements per table, and damage
// files in place (pages, line pointers, tuple bytes).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vesk/veskdll.h"

namespace vesk::damage {

// One table's report of a FileRecoverEx run.
struct TableCounts {
  int64_t written = 0, quarantined = 0, nulled = 0, pagesRead = 0, pagesSkipped = 0;
  std::string problem;
};

struct Recovery {
  int32_t status = 0;
  bool hung = false;     // the watchdog had to stop the run
  std::string log;
  std::map<std::string, std::vector<std::string>> inserts;  // "schema"."table" -> sorted statements
  // FileRecoverEx runs only.
  std::map<std::string, TableCounts> reports;  // "schema"."table" -> its report
  std::string quarantine;                      // quarantine_1.sql, empty when none
  bool resultDirectoryMade = false;
  size_t InsertCount(const std::string& table) const;
  size_t TotalInserts() const;
};

// Recovers `databaseDir` into a fresh result directory below `workDir`; a run
// still busy after `limitSeconds` is stopped through the break flag and
// reported as hung. The current directory is kept. With `options`, or when
// `extended`, the run goes through FileRecoverEx (with defaults for null
// options), collecting the table reports.
Recovery RecoverDirectory(const std::string& databaseDir, const std::string& workDir, int limitSeconds = 120,
                          const VeskOptions* options = nullptr, bool extended = false);
// Statements of `actual` for rows `expected` does not have (a row is known by
// its table and first value): rows made up.
std::vector<std::string> InventedStatements(const Recovery& expected, const Recovery& actual);

// The INSERT statements of a script, keyed by their target, each sorted.
// Follows '...' and E'...' literals, so a semicolon inside a value does not
// end a statement.
std::map<std::string, std::vector<std::string>> SplitInserts(const std::string& script);

// Statements of `expected` (a multiset per table) missing from `actual`.
std::vector<std::string> MissingStatements(const Recovery& expected, const Recovery& actual);

// Whole-file helpers.
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void CopyDirectory(const std::string& from, const std::string& to);

// Page and tuple addressing for one layout (82 or 83).
constexpr size_t kPage = 8192;
size_t PageCountOf(const std::string& path);
void ZeroPage(const std::string& path, size_t page);
void OverwriteRandom(const std::string& path, size_t page, size_t from, size_t length, uint32_t seed);
// Line pointer words of page `page`, up to pd_lower.
std::vector<uint32_t> LinePointers(const std::vector<uint8_t>& file, size_t page, int version);
// File offset of the tuple of item `item` on `page` (its line pointer).
size_t TupleOffset(const std::vector<uint8_t>& file, size_t page, size_t item, int version);
// Sets the line pointer word of one item (0 removes the item cleanly).
void SetLinePointer(const std::string& path, size_t page, size_t item, int version, uint32_t word);
// Calls `visit(fileOffset of tuple, t_hoff)` for every stored tuple of a file.
void ForEachTuple(const std::vector<uint8_t>& file, int version,
                  const std::function<void(size_t tupleAt, uint8_t hoff)>& visit);

}  // namespace vesk::damage
