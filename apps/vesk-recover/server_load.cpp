// The load into a server over libpq. A table's pieces are also written to a
// temporary file as they stream, so that a table the server refuses can be
// rolled back and tried again without holding its rows in memory.
#include "server_load.h"

#include <libpq-fe.h>

#include <climits>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "refused_file.h"
#include "statement_splitter.h"

namespace vesk::frontend {
namespace {

// A table's statements (its rows with --inserts) go to the server in
// batches of this many statements or bytes, whichever is reached first.
constexpr int kBatchStatements = 1000;
constexpr size_t kBatchBytes = 1 << 20;
// A failed table is tried again in batches of this many rows or statements
// (or bytes); a batch that fails is tried one row at a time.
constexpr size_t kRetryItems = 200;
constexpr size_t kRetryBytes = 1 << 20;

constexpr size_t kSpoolBuffer = 1 << 20;
constexpr size_t kCopyMessage = 64 * 1024;

// What the temporary file of a table holds, one record per piece:
// kind, length (8 bytes, host order), text.
enum Record : char { kStatement = 'S', kCopyBegin = 'C', kCopyData = 'R', kCopyEnd = 'E' };

constexpr const char* kNulError = "ERROR:  the statement holds a NUL byte; it was not sent";

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string TrimmedMessage(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The server's error without the position lines ("LINE 2: ..."), which
// point into the batch sent rather than the statement that failed.
std::string ErrorText(const PGresult* result, PGconn* conn) {
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  if (primary == nullptr) {
    return TrimmedMessage(result && *PQresultErrorMessage(result) ? PQresultErrorMessage(result)
                                                                  : PQerrorMessage(conn));
  }
  const char* severity = PQresultErrorField(result, PG_DIAG_SEVERITY);
  std::string text = std::string(severity ? severity : "ERROR") + ":  " + primary;
  const struct {
    int field;
    const char* label;
  } parts[] = {{PG_DIAG_MESSAGE_DETAIL, "DETAIL"}, {PG_DIAG_MESSAGE_HINT, "HINT"}, {PG_DIAG_CONTEXT, "CONTEXT"}};
  for (const auto& part : parts) {
    if (const char* value = PQresultErrorField(result, part.field)) text += std::string("\n") + part.label + ":  " + value;
  }
  return text;
}

bool IsInsert(std::string_view statement) {
  constexpr std::string_view kInsert = "insert";
  if (statement.size() <= kInsert.size()) return false;
  for (size_t i = 0; i < kInsert.size(); ++i) {
    if ((statement[i] | 0x20) != kInsert[i]) return false;
  }
  const char next = statement[kInsert.size()];
  return next == ' ' || next == '\t' || next == '\n' || next == '\r';
}

int64_t CountRows(const char* text, size_t length) {
  int64_t rows = 0;
  for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\n', length - (p - text)))) != nullptr;
       ++p) {
    ++rows;
  }
  return rows;
}

std::string TableName(const VeskScriptPiece& piece) {
  auto quote = [](const char* name) {
    std::string quoted = "\"";
    for (const char* p = name ? name : "?"; *p; ++p) {
      if (*p == '"') quoted += '"';
      quoted += *p;
    }
    return quoted + '"';
  };
  return quote(piece.schema) + "." + quote(piece.table);
}

// Reads the records of a table's temporary file back.
class SpoolReader {
 public:
  explicit SpoolReader(FILE* file) : file_(file) {}
  // False at the end of the file or when it cannot be read (Failed()).
  bool Next(char& kind, std::string& text) {
    uint64_t length = 0;
    if (std::fread(&kind, 1, 1, file_) != 1) return false;
    if (std::fread(&length, sizeof length, 1, file_) != 1) return Fail();
    text.resize(static_cast<size_t>(length));
    if (length > 0 && std::fread(text.data(), 1, text.size(), file_) != text.size()) return Fail();
    return true;
  }
  bool Failed() const { return failed_; }

 private:
  bool Fail() {
    failed_ = true;
    return false;
  }
  FILE* file_;
  bool failed_ = false;
};

}  // namespace

struct ServerLoad::Impl {
  PGconn* conn = nullptr;
  Report report;
  LoadSummary summary;
  StatementSplitter splitter;
  bool lost = false;

  // The table being loaded.
  bool inTable = false;
  std::string table;          // "schema"."table", for messages
  FILE* spool = nullptr;      // its pieces, to try them again
  bool spoolFailed = false;
  bool failed = false;        // its transaction failed
  std::string error;          // the first error of its transaction
  bool copying = false;       // the server is reading a COPY from us
  bool copyBroken = false;    // libpq no longer takes its data
  std::string copyPending;    // COPY data not handed to libpq yet
  std::string batch;          // statements not sent yet
  int batchCount = 0;
  int64_t rows = 0;

  // Trying a failed table again: whether a savepoint is left to release.
  bool releasePending = false;

  RefusedFile refused;

  ~Impl() {
    if (spool) std::fclose(spool);
    PQfinish(conn);
  }

  // ---- the connection

  bool CheckConnection() {
    if (!lost && PQstatus(conn) == CONNECTION_BAD) {
      lost = true;
      const std::string message = TrimmedMessage(PQerrorMessage(conn));
      summary.ConnectionLost(message);
      report("The connection to the server was lost: " + Excerpt(message));
    }
    return !lost;
  }

  // Runs `sql`; "" when it succeeded, else the server's (or libpq's) error.
  std::string Exec(const std::string& sql, ExecStatusType expected = PGRES_COMMAND_OK) {
    if (lost) return "the connection to the server was lost";
    // libpq would send the text up to the NUL only: a shorter statement
    // than the one written.
    if (sql.find('\0') != std::string::npos) return kNulError;
    Result result(PQexec(conn, sql.c_str()));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    std::string message;
    if (status != expected && !(expected == PGRES_COMMAND_OK && (status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY))) {
      message = ErrorText(result.get(), conn);
      if (message.empty()) message = std::string("unexpected result ") + PQresStatus(status);
    }
    CheckConnection();
    return message;
  }

  // ---- pieces

  void Take(const VeskScriptPiece& piece) {
    const char* text = piece.text != nullptr && piece.length > 0 ? piece.text : "";
    const size_t length = piece.text != nullptr && piece.length > 0 ? static_cast<size_t>(piece.length) : 0;
    if (piece.kind == VESK_PIECE_SQL) {
      splitter.Feed(std::string_view(text, length), [this](std::string_view s) { Statement(s); });
      return;
    }
    EndSql();
    switch (piece.kind) {
      case VESK_PIECE_TABLE_BEGIN:
        BeginTable(TableName(piece));
        break;
      case VESK_PIECE_COPY_BEGIN:
        // A COPY outside a table still gets a transaction and a retry.
        if (!inTable) BeginTable(TableName(piece));
        CopyBegin(std::string(text, length));
        break;
      case VESK_PIECE_COPY_DATA:
        CopyData(text, length);
        break;
      case VESK_PIECE_COPY_END:
        CopyEnd();
        break;
      case VESK_PIECE_TABLE_END:
        if (inTable) EndTable();
        break;
      default:
        break;
    }
  }

  void EndSql() {
    splitter.Finish([this](std::string_view s) { Statement(s); });
    SendBatch();
  }

  void Finish() {
    EndSql();
    if (inTable) {
      summary.Stopped(table);
      EndTable();
    }
  }

  void Statement(std::string_view statement) {
    if (lost) return;
    if (!inTable) {
      const std::string message = Exec(std::string(statement));
      if (!message.empty() && !lost) {
        summary.StatementFailed(std::string(statement), message);
        RejectStatement(statement, message);
        report("Statement failed: " + Excerpt(message));
      }
      return;
    }
    Spool(kStatement, statement.data(), statement.size());
    if (IsInsert(statement)) ++rows;
    if (failed) return;
    batch.append(statement);
    batch += ";\n";
    if (++batchCount >= kBatchStatements || batch.size() >= kBatchBytes) SendBatch();
  }

  void SendBatch() {
    if (!batch.empty() && !failed) {
      if (std::string message = Exec(batch); !message.empty()) Fail(message);
    }
    batch.clear();
    batchCount = 0;
  }

  void Fail(const std::string& message) {
    if (!failed) error = message;
    failed = true;
  }

  void Spool(Record kind, const char* text, size_t length) {
    if (spool == nullptr || spoolFailed) return;
    const uint64_t size = length;
    const char k = kind;
    if (std::fwrite(&k, 1, 1, spool) != 1 || std::fwrite(&size, sizeof size, 1, spool) != 1 ||
        (length > 0 && std::fwrite(text, 1, length, spool) != length)) {
      spoolFailed = true;
      report("Cannot write the temporary file of table " + table + ": it cannot be retried should it fail");
    }
  }

  void BeginTable(const std::string& name) {
    if (inTable) EndTable();
    inTable = true;
    table = name;
    failed = false;
    error.clear();
    copying = false;
    rows = 0;
    spool = std::tmpfile();
    spoolFailed = spool == nullptr;
    if (spool != nullptr) std::setvbuf(spool, nullptr, _IOFBF, kSpoolBuffer);
    if (spoolFailed) report("No temporary file for table " + table + ": it cannot be retried should it fail");
    if (std::string message = Exec("BEGIN"); !message.empty()) Fail(message);
  }

  void CopyBegin(const std::string& header) {
    EndCopy();
    Spool(kCopyBegin, header.data(), header.size());
    if (failed || lost) return;
    Result result(PQexec(conn, header.c_str()));
    if (result && PQresultStatus(result.get()) == PGRES_COPY_IN) {
      copying = true;
      return;
    }
    Fail(ErrorText(result.get(), conn));
    CheckConnection();
  }

  void CopyData(const char* text, size_t length) {
    Spool(kCopyData, text, length);
    rows += CountRows(text, length);
    // The server may have refused the COPY already; its error comes at the
    // end of the COPY.
    if (copying) Send(text, length);
  }

  // COPY data to the server. Rows are gathered into messages of about
  // kCopyMessage bytes: the server's cost goes with the number of messages,
  // and the engine may hand over one row at a time. A COPY the server no
  // longer reads is ended at once, to take its error.
  void Send(const char* text, size_t length) {
    if (!copying) return;
    if (copyPending.size() + length > kCopyMessage) FlushCopy();
    if (length >= kCopyMessage) {
      Put(text, length);
    } else {
      copyPending.append(text, length);
    }
    if (copyBroken) EndCopy();
  }

  void FlushCopy() {
    if (!copyPending.empty()) Put(copyPending.data(), copyPending.size());
    copyPending.clear();
  }

  void Put(const char* text, size_t length) {
    while (length > 0 && !copyBroken) {
      const size_t part = length < INT_MAX ? length : INT_MAX;
      if (PQputCopyData(conn, text, static_cast<int>(part)) != 1) copyBroken = true;
      text += part;
      length -= part;
    }
  }

  void CopyEnd() {
    Spool(kCopyEnd, nullptr, 0);
    EndCopy();
  }

  // Ends the COPY the server is reading, if any, and takes its outcome.
  void EndCopy() {
    if (!copying) return;
    FlushCopy();
    copying = false;
    copyBroken = false;
    if (PQputCopyEnd(conn, nullptr) != 1) Fail(TrimmedMessage(PQerrorMessage(conn)));
    CollectResults();
  }

  // Takes every result of the command in progress. A COPY the server still
  // reads after an error is ended by force, once; the connection counts as
  // lost when even that fails.
  void CollectResults() {
    bool abandoned = false;
    while (Result result{PQgetResult(conn)}) {
      const ExecStatusType status = PQresultStatus(result.get());
      if (status == PGRES_COPY_IN) {
        if (abandoned || PQputCopyEnd(conn, "abandoned by vesk-recover") != 1) {
          lost = true;
          summary.ConnectionLost("the server does not end a COPY: " + TrimmedMessage(PQerrorMessage(conn)));
          return;
        }
        abandoned = true;
      } else if (status != PGRES_COMMAND_OK) {
        Fail(ErrorText(result.get(), conn));
      }
    }
    CheckConnection();
  }

  void EndTable() {
    SendBatch();
    EndCopy();
    inTable = false;
    if (!failed && !lost) {
      Result result(PQexec(conn, "COMMIT"));
      const bool committed = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
                             std::strcmp(PQcmdStatus(result.get()), "COMMIT") == 0;
      if (!committed) {
        Fail(result && PQresultStatus(result.get()) == PGRES_COMMAND_OK
                 ? "the server rolled the transaction back"
                 : ErrorText(result.get(), conn));
      }
      CheckConnection();
    }
    if (lost) {
      summary.RowsLost(table, rows, "not committed when the connection was lost");
    } else if (!failed) {
      summary.TableLoaded(rows);
    } else {
      Exec("ROLLBACK");
      summary.TableFailed(table, error);
      report("Table " + table + " failed, retrying it row by row: " + Excerpt(error));
      Retry();
    }
    if (spool) std::fclose(spool);
    spool = nullptr;
  }

  // ---- what the server refused, kept for the user

  void RejectStatement(std::string_view statement, const std::string& message) {
    refused.Statement(statement, message);
    TellRefusedProblem();
  }
  void RejectCopyBegin(const std::string& header, const std::string& message) {
    refused.CopyBegin(header, message);
    TellRefusedProblem();
  }
  void TellRefusedProblem() {
    if (std::string problem = refused.TakeProblem(); !problem.empty()) report(problem);
  }

  // ---- trying a failed table again

  // Everything a retry of one table keeps between records.
  struct RetryState {
    std::vector<std::string> items;  // statements, or rows of the COPY
    size_t bytes = 0;
    bool rowsMode = false;           // items are COPY rows
    std::string copyHeader;
    std::string partialRow;          // a row cut between two records
    bool copyRefused = false;        // the COPY itself failed: its rows cannot load
    std::string copyError;
    int64_t refusedRows = 0;
    int64_t loaded = 0;
  };

  void Retry() {
    if (lost) return;
    if (spool == nullptr || spoolFailed || std::fflush(spool) != 0 || std::fseek(spool, 0, SEEK_SET) != 0) {
      summary.RowsLost(table, rows, "no temporary file to retry the table from");
      return;
    }
    if (std::string message = Exec("BEGIN"); !message.empty()) {
      summary.RowsLost(table, rows, message);
      return;
    }
    releasePending = false;
    RetryState state;
    SpoolReader reader(spool);
    char kind = 0;
    std::string text;
    while (!lost && reader.Next(kind, text)) RetryRecord(state, kind, text);
    TryItems(state);
    EndRefusedCopy(state);
    if (reader.Failed()) {
      summary.RowsLost(table, rows - state.loaded, "the temporary file could not be read back");
    }
    Result result(lost ? nullptr : PQexec(conn, "COMMIT"));
    const bool committed = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
                           std::strcmp(PQcmdStatus(result.get()), "COMMIT") == 0;
    CheckConnection();
    if (committed) {
      summary.RowsRetried(state.loaded);
    } else {
      summary.RowsLost(table, state.loaded, lost ? "not committed when the connection was lost"
                                                 : "the retry's transaction was rolled back");
    }
  }

  void RetryRecord(RetryState& state, char kind, const std::string& text) {
    switch (kind) {
      case kStatement:
        if (state.rowsMode) TryItems(state);
        state.rowsMode = false;
        Add(state, text);
        break;
      case kCopyBegin:
        TryItems(state);
        EndRefusedCopy(state);
        state.rowsMode = true;
        state.copyHeader = text;
        break;
      case kCopyData:
        AddRows(state, text);
        break;
      case kCopyEnd:
        if (!state.partialRow.empty()) Add(state, std::exchange(state.partialRow, {}) + '\n');
        TryItems(state);
        EndRefusedCopy(state);
        state.rowsMode = false;
        break;
      default:
        break;
    }
  }

  void AddRows(RetryState& state, const std::string& text) {
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
      std::string row = std::exchange(state.partialRow, {});
      row.append(text, begin, end + 1 - begin);
      Add(state, std::move(row));
    }
    state.partialRow.append(text, begin, std::string::npos);
  }

  void Add(RetryState& state, std::string item) {
    if (state.rowsMode && state.copyRefused) {
      ++state.refusedRows;
      refused.Row(item);
      return;
    }
    state.bytes += item.size();
    state.items.push_back(std::move(item));
    if (state.items.size() >= kRetryItems || state.bytes >= kRetryBytes) TryItems(state);
  }

  void EndRefusedCopy(RetryState& state) {
    if (state.copyRefused) {
      summary.RowsLost(table, state.refusedRows, state.copyError);
      refused.CopyEnd();
    }
    state.copyRefused = false;
    state.refusedRows = 0;
  }

  // Tries the collected items as one batch, then one by one if it fails.
  void TryItems(RetryState& state) {
    if (state.items.empty()) return;
    std::string message = Attempt(state, 0, state.items.size());
    if (message.empty()) {
      state.loaded += Loaded(state, 0, state.items.size());
    } else if (!state.copyRefused) {
      for (size_t i = 0; i < state.items.size() && !lost && !state.copyRefused; ++i) {
        message = state.items.size() == 1 ? message : Attempt(state, i, i + 1);
        if (message.empty()) {
          state.loaded += Loaded(state, i, i + 1);
        } else if (state.copyRefused) {
          RefuseRows(state, i);
        } else {
          Lost(state, state.items[i], message);
        }
      }
    } else {
      RefuseRows(state, 0);
    }
    state.items.clear();
    state.bytes = 0;
  }

  // The COPY itself was refused: the items from `from` on cannot load.
  void RefuseRows(RetryState& state, size_t from) {
    RejectCopyBegin(state.copyHeader, state.copyError);
    for (size_t i = from; i < state.items.size(); ++i) refused.Row(state.items[i]);
    state.refusedRows += static_cast<int64_t>(state.items.size() - from);
  }

  int64_t Loaded(const RetryState& state, size_t begin, size_t end) const {
    if (state.rowsMode) return static_cast<int64_t>(end - begin);
    int64_t count = 0;
    for (size_t i = begin; i < end; ++i) count += IsInsert(state.items[i]) ? 1 : 0;
    return count;
  }

  void Lost(const RetryState& state, const std::string& item, const std::string& message) {
    if (state.rowsMode) {
      summary.RowLost(table, item, message);
      RejectCopyBegin(state.copyHeader, message);
      refused.Row(item);
      refused.CopyEnd();
      return;
    }
    if (IsInsert(item)) {
      summary.RowLost(table, item, message);
    } else {
      summary.StatementFailed(item, message);
    }
    RejectStatement(item, message);
  }

  // Items [begin, end) under a savepoint; "" when they loaded, else the
  // error, after rolling back to the savepoint. A COPY the server refuses
  // before reading any row sets copyRefused.
  std::string Attempt(RetryState& state, size_t begin, size_t end) {
    // Refused before anything is sent, so that no savepoint is left to undo.
    for (size_t i = begin; i < end && !state.rowsMode; ++i) {
      if (state.items[i].find('\0') != std::string::npos) return kNulError;
    }
    std::string sql = releasePending ? "RELEASE SAVEPOINT vesk_retry; SAVEPOINT vesk_retry;\n"
                                     : "SAVEPOINT vesk_retry;\n";
    std::string message;
    if (state.rowsMode) {
      message = AttemptCopy(state, sql + state.copyHeader, begin, end);
    } else {
      for (size_t i = begin; i < end; ++i) sql += state.items[i] + ";\n";
      message = Exec(sql);
    }
    if (message.empty()) {
      releasePending = true;
    } else {
      Exec("ROLLBACK TO SAVEPOINT vesk_retry; RELEASE SAVEPOINT vesk_retry");
      releasePending = false;
    }
    return message;
  }

  std::string AttemptCopy(RetryState& state, const std::string& sql, size_t begin, size_t end) {
    if (lost) return "the connection to the server was lost";
    Result result(PQexec(conn, sql.c_str()));
    if (!result || PQresultStatus(result.get()) != PGRES_COPY_IN) {
      state.copyRefused = true;
      state.copyError = ErrorText(result.get(), conn);
      CheckConnection();
      return state.copyError.empty() ? "the COPY was refused" : state.copyError;
    }
    result.reset();
    const bool wasFailed = failed;
    std::string firstError = error;
    failed = false;
    copying = true;
    for (size_t i = begin; i < end && copying; ++i) Send(state.items[i].data(), state.items[i].size());
    EndCopy();
    std::string message = failed ? error : "";
    failed = wasFailed;
    error = std::move(firstError);
    return message;
  }
};

ServerLoad::ServerLoad(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ServerLoad::~ServerLoad() = default;

bool ServerLoad::Available() { return true; }

std::unique_ptr<ServerLoad> ServerLoad::Connect(const std::string& conninfo, Report report, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->report = report ? std::move(report) : [](const std::string&) {};
  impl->conn = PQconnectdb(conninfo.c_str());
  if (impl->conn == nullptr || PQstatus(impl->conn) != CONNECTION_OK) {
    error = impl->conn ? TrimmedMessage(PQerrorMessage(impl->conn)) : "out of memory";
    return nullptr;
  }
  // The server's notices ("table does not exist, skipping") would land in
  // the middle of the progress display; failures are reported on their own.
  PQsetNoticeProcessor(impl->conn, [](void*, const char*) {}, nullptr);
  return std::unique_ptr<ServerLoad>(new ServerLoad(std::move(impl)));
}

bool ServerLoad::Take(const VeskScriptPiece& piece) {
  impl_->Take(piece);
  return !impl_->lost;
}

void ServerLoad::KeepRejects(std::function<std::string()> path) {
  Impl* impl = impl_.get();
  impl->refused.Configure(std::move(path), [impl] {
    const char* encoding = PQparameterStatus(impl->conn, "client_encoding");
    return std::string(encoding ? encoding : "");
  });
}

void ServerLoad::Finish() {
  impl_->Finish();
  impl_->refused.Flush();
  impl_->TellRefusedProblem();
  if (!impl_->refused.Path().empty()) impl_->summary.RejectsKeptIn(impl_->refused.Path());
}

const LoadSummary& ServerLoad::Summary() const { return impl_->summary; }

}  // namespace vesk::frontend
