// Loads the script straight into a running server while the engine decodes
// (vesk-recover --into CONNINFO). Statements outside tables run one by one,
// so a failing one costs only itself. Each table (its definition and rows)
// goes in a transaction of its own; a table that fails is rolled back and
// loaded again from a temporary file, in small batches that fall back to
// single rows, so that one bad value costs one row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vesk/veskdll.h"

namespace vesk::frontend {

// What a load into a server gave, for the end-of-run summary.
class LoadSummary {
 public:
  // How many failures are listed one by one; the rest are counted.
  static constexpr size_t kListed = 50;

  void TableLoaded(int64_t rows) {
    ++tables_;
    rows_ += rows;
  }
  // A table whose transaction failed; its rows are then tried again.
  void TableFailed(const std::string& table, const std::string& error);
  void RowsRetried(int64_t loaded) { rows_ += loaded; }
  void RowLost(const std::string& table, const std::string& row, const std::string& error);
  void StatementFailed(const std::string& statement, const std::string& error);
  // Rows that could not even be tried (their COPY was refused, or the
  // temporary file could not be read back).
  void RowsLost(const std::string& table, int64_t rows, const std::string& error);
  void ConnectionLost(const std::string& error) { connectionError_ = error; }
  void RejectsKeptIn(const std::string& path) { rejectsFile_ = path; }
  void Stopped(const std::string& table) { stoppedIn_ = table; }

  int64_t Tables() const { return tables_; }
  int64_t Rows() const { return rows_; }
  int64_t RowsLostCount() const { return rowsLost_; }
  int64_t StatementsFailed() const { return statementsFailed_; }
  int64_t TablesFailed() const { return tablesFailed_; }
  bool HasLosses() const { return rowsLost_ > 0 || statementsFailed_ > 0 || tablesFailed_ > 0; }
  bool IsConnectionLost() const { return !connectionError_.empty(); }
  const std::vector<std::string>& Failures() const { return failures_; }

  void Print(FILE* out) const;

 private:
  void List(std::string line);

  int64_t tables_ = 0, rows_ = 0, tablesFailed_ = 0, statementsFailed_ = 0, rowsLost_ = 0, unlisted_ = 0;
  std::vector<std::string> failures_;
  std::string connectionError_;
  std::string stoppedIn_;
  std::string rejectsFile_;
};

// The first line of a server's error message, or of a statement, cut to a
// length that fits a summary line.
std::string Excerpt(const std::string& text, size_t limit = 160);

class ServerLoad {
 public:
  // Told each failure as it happens (a line without its newline).
  using Report = std::function<void(const std::string& line)>;

  // Whether this build can load into a server (it needs libpq).
  static bool Available();
  // Connects to the server CONNINFO names. Null, with libpq's message in
  // `error`, when it cannot (or when the build cannot load at all).
  static std::unique_ptr<ServerLoad> Connect(const std::string& conninfo, Report report, std::string& error);
  ~ServerLoad();
  ServerLoad(const ServerLoad&) = delete;
  ServerLoad& operator=(const ServerLoad&) = delete;

  // Where the rows and statements the server refuses are written, as SQL
  // to mend and load again: `path` is asked for the file's name when the
  // first comes (the result directory exists by then). Without it they are
  // only counted and listed.
  void KeepRejects(std::function<std::string()> path);
  // Takes the engine's next piece; false once the connection is lost and
  // the run should stop.
  bool Take(const VeskScriptPiece& piece);
  // Runs what is still pending and ends a table the run left open.
  void Finish();
  const LoadSummary& Summary() const;

  struct Impl;

 private:
  explicit ServerLoad(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk::frontend
