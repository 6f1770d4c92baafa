#include <cinttypes>

#include "server_load.h"

namespace vesk::frontend {

std::string Excerpt(const std::string& text, size_t limit) {
  size_t begin = 0;
  while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\n' || text[begin] == '\r')) ++begin;
  size_t end = text.find('\n', begin);
  if (end == std::string::npos) end = text.size();
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\r')) --end;
  std::string line = text.substr(begin, end - begin);
  // A tab inside a row would make the line hard to read.
  for (char& c : line) {
    if (c == '\t') c = ' ';
  }
  if (line.size() > limit) {
    line.resize(limit);
    // Not in the middle of a UTF-8 sequence.
    while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) line.pop_back();
    if (!line.empty() && static_cast<unsigned char>(line.back()) >= 0xC0) line.pop_back();
    line += " ...";
  }
  return line;
}

void LoadSummary::List(std::string line) {
  if (failures_.size() < kListed) {
    failures_.push_back(std::move(line));
  } else {
    ++unlisted_;
  }
}

void LoadSummary::TableFailed(const std::string& table, const std::string& error) {
  ++tablesFailed_;
  List("table " + table + " failed, retried row by row: " + Excerpt(error));
}

void LoadSummary::RowLost(const std::string& table, const std::string& row, const std::string& error) {
  ++rowsLost_;
  List("row of " + table + " lost: " + Excerpt(error) + "\n      row: " + Excerpt(row, 120));
}

void LoadSummary::RowsLost(const std::string& table, int64_t rows, const std::string& error) {
  if (rows <= 0) return;
  rowsLost_ += rows;
  List(std::to_string(rows) + (rows == 1 ? " row" : " rows") + " of " + table + " lost: " + Excerpt(error));
}

void LoadSummary::StatementFailed(const std::string& statement, const std::string& error) {
  ++statementsFailed_;
  List("statement failed: " + Excerpt(error) + "\n      statement: " + Excerpt(statement, 120));
}

void LoadSummary::Print(FILE* out) const {
  std::fprintf(out, "Loaded into the server: %" PRId64 " tables whole, %" PRId64 " rows\n", tables_, rows_);
  if (HasLosses()) {
    std::fprintf(out,
                 "Load failures: %" PRId64 " tables retried row by row, %" PRId64 " rows lost, %" PRId64
                 " statements failed\n",
                 tablesFailed_, rowsLost_, statementsFailed_);
    for (const std::string& line : failures_) std::fprintf(out, "  %s\n", line.c_str());
    if (unlisted_ > 0) std::fprintf(out, "  ... and %" PRId64 " more\n", unlisted_);
  }
  if (!rejectsFile_.empty()) {
    std::fprintf(out, "The refused rows and statements are in %s\n", rejectsFile_.c_str());
  }
  if (!stoppedIn_.empty()) {
    std::fprintf(out, "The run stopped inside table %s: it holds the rows read until then\n", stoppedIn_.c_str());
  }
  if (!connectionError_.empty()) {
    std::fprintf(out, "The connection to the server was lost: %s\n", Excerpt(connectionError_).c_str());
  }
}

}  // namespace vesk::frontend
