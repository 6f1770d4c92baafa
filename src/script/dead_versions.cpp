#include "script/dead_versions.h"

#include <array>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalog/catalog_readers.h"
#include "script/companion_name.h"
#include "script/script_table.h"
#include "script/type_name.h"
#include "script/writer/deleted_script.h"
#include "script/writer/load_guard.h"
#include "script/writer/quarantine_file.h"
#include "script/writer/script_writer.h"
#include "storage/dead_version.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/utf8_text.h"
#include "types/toast/toast_cache.h"

namespace vesk {
namespace {

// What one table gave.
struct DeadTally {
  std::string table;  // schema.table, for the log
  std::array<int64_t, kDeadReasonCount> byReason{};
  int64_t valuesLost = 0;
  int64_t setAside = 0;
  int64_t prunedRedirects = 0;
  int64_t prunedDead = 0;
  int64_t Total() const {
    int64_t total = 0;
    for (int64_t n : byReason) total += n;
    return total;
  }
};

struct DeadRun {
  std::vector<DeadTally> tallies;
  // "<namespace oid>/<name>" of every relation and type of the catalogs and
  // of every companion named so far: what a companion must not be called.
  std::unordered_set<std::string> takenNames;
  bool namesCollected = false;
};

DeadRun& State() {
  static DeadRun state;
  return state;
}

std::string NameKey(uint32_t nsp, const std::string& name) { return std::to_string(nsp) + "/" + name; }

void CollectTakenNames(DeadRun& state) {
  if (state.namesCollected) return;
  state.namesCollected = true;
  RecoveryRun& run = Run();
  if (run.classes != nullptr) {
    TableReader& classes = run.classes->reader();
    for (size_t i = 0; i < classes.RowCount(); ++i) {
      const auto* row = static_cast<const RecoveredTable*>(classes.RowAt(i));
      state.takenNames.insert(NameKey(row->relnamespace, row->relname));
    }
  }
  if (run.types != nullptr) {
    TableReader& types = run.types->reader();
    for (size_t i = 0; i < types.RowCount(); ++i) {
      const auto* row = static_cast<const TypeRecord*>(types.RowAt(i));
      state.takenNames.insert(NameKey(row->typnamespace, row->typname));
    }
  }
}

std::string VisibilityNote() {
  return Run().settings.commitLog != nullptr
             ? "-- Fate of each transaction: hint bits, then the commit log (pg_clog).\n"
             : "-- No commit log (pg_clog) was found: the reasons come from hint bits only. A version\n"
               "-- whose deleter the hint bits do not mark is taken as deleted, whose inserter they\n"
               "-- do not mark as committed.\n";
}

std::string ScriptHead() {
  std::string head =
      "-- Dead row versions: rows a DELETE removed, old versions an UPDATE replaced and\n"
      "-- versions written by transactions that rolled back, as long as VACUUM had not\n"
      "-- removed them. Load after recovered_N.sql, into the same database.\n"
      "--\n"
      "-- The dead versions of a table t go into a table beside it, in t's schema, named\n"
      "-- t_dead, or t_dead2, t_dead3, ... when a relation or type of that schema already has\n"
      "-- the name; t's name is cut so that the whole fits in 63 bytes. It holds t's columns,\n"
      "-- then:\n"
      "--   dead_page, dead_item   where the version is stored: page (block) and line pointer\n"
      "--   dead_xmin, dead_xmax   the transactions that inserted and deleted it\n"
      "--   dead_reason            why it is dead (below)\n"
      "--   dead_newer_ctid        for an update: the (page,item) of the newer version\n"
      "-- (with more underscores in front when t has a column of one of these names).\n"
      "--\n"
      "-- Reasons:\n"
      "--   deleted               a committed DELETE removed it\n"
      "--   updated               a committed UPDATE replaced it (the newer version is in\n"
      "--                         the recovered script, or is itself dead)\n"
      "--   aborted insert        inserted by a transaction that rolled back or never finished\n"
      "--   aborted update        the new version of an UPDATE that rolled back or never\n"
      "--                         finished (the old version is live)\n"
      "--   moved by VACUUM FULL  the copy a move left behind; the row itself is live\n"
      "-- A row that was only locked (SELECT ... FOR UPDATE/SHARE) is live, whatever became of\n"
      "-- the locker, and is in the recovered script.\n";
  head += VisibilityNote();
  head += "\n";
  return head;
}

std::string Qualified(const char* schema, const std::string& name) {
  std::string out;
  if (schema != nullptr && schema[0] != '\0') {
    out += QuoteName(schema);
    out += '.';
  }
  return out + QuoteName(name.c_str());
}

// The row handler of the second scan: each version it is handed is dead.
class DeadVersionTable : public pg_some_Table {
 public:
  DeadVersionTable(uint32_t relid, const RecoveredTable& table, const char* schema)
      : table_(table), schema_(schema), literals_(OpenRelationById(relid, this, Run().version), schema, Run().version) {
    TableReader& reader = literals_.reader();
    reader.versions = TableReader::Versions::kDead;
    reader.quarantine = this;
    tally_.table = schema != nullptr ? std::string(schema) + "." + reader.tableName : std::string(reader.tableName);
  }

  int ReadTable() {
    DeadChunksScope deadChunks;
    const int read = literals_.ReadTable();
    const TableReader& reader = literals_.reader();
    tally_.valuesLost = reader.valuesMissed;
    tally_.setAside = reader.rowsQuarantined;
    tally_.prunedRedirects = reader.prunedRedirects;
    tally_.prunedDead = reader.prunedDead;
    if (started_) WriteDeletedText("\n");
    return read;
  }

  int ProcessRow(const RowValues& values, uint32_t) override {
    if (!started_) Start();
    const DeadVersion& dead = literals_.reader().deadVersion;
    statement_ = insertHead_;
    const size_t before = statement_.size();
    if (!literals_.AppendLiterals(statement_, values)) return kStopped;
    if (statement_.size() != before) statement_ += ", ";
    const TableReader& reader = literals_.reader();
    statement_ += std::to_string(reader.pageNumber) + ", " + std::to_string(reader.currentItem) + ", " +
                  std::to_string(dead.xmin) + ", " + std::to_string(dead.xmax) + ", '" + DeadReasonText(dead.reason) +
                  "', ";
    if (dead.hasNewer) {
      statement_ += "'(" + std::to_string(dead.newer.block) + "," + std::to_string(dead.newer.item) + ")'";
    } else {
      statement_ += "NULL";
    }
    statement_ += ");\n";
    WriteDeletedText(statement_);
    ++tally_.byReason[static_cast<size_t>(dead.reason)];
    return 1;
  }

  void QuarantineRow(const RowValues& values, uint32_t page, uint32_t item, const char* reason) override {
    const std::string why =
        std::string("dead version (") + DeadReasonText(literals_.reader().deadVersion.reason) + "): " + reason;
    literals_.QuarantineRow(values, page, item, why.c_str());
  }

  const DeadTally& tally() const { return tally_; }

 private:
  // The companion's definition, at the first dead version: tables without
  // any get none.
  void Start() {
    started_ = true;
    TableReader& reader = literals_.reader();
    DeadRun& state = State();
    CollectTakenNames(state);
    const uint32_t nsp = table_.relnamespace;
    const std::string name = CompanionName(reader.tableName, [&](const std::string& candidate) {
      return state.takenNames.count(NameKey(nsp, candidate)) != 0;
    });
    state.takenNames.insert(NameKey(nsp, name));
    const std::string companion = Qualified(schema_, name);

    std::string definition =
        "-- Dead versions of " + CommentText(tally_.table) + "\n\nCREATE TABLE " + companion + "\n(\n";
    std::vector<std::string> names;
    std::string typeName;
    for (CatalogColumnDesc* column : reader.columns) {
      if (column->atttypid == kLostColumnType) continue;
      typeName.clear();
      // The live definition named every type it kept; one it could not is
      // left out here as there.
      if (!AppendTypeName(typeName, column->atttypid, column->atttypmod)) {
        column->atttypid = kLostColumnType;
        continue;
      }
      definition += QuoteName(column->attname) + " " + typeName + ",\n";
      names.emplace_back(column->attname);
    }
    const std::string prefix = DeadColumnPrefix(names);
    for (size_t i = 0; i < kDeadColumns.size(); ++i) {
      definition += QuoteName((prefix + kDeadColumns[i].name).c_str()) + " " + kDeadColumns[i].type;
      definition += i + 1 < kDeadColumns.size() ? ",\n" : ");\n\n";
    }
    insertHead_ = "INSERT INTO " + companion + " VALUES (";
    // Names of a database whose text is read as LATIN1 where it is not UTF-8.
    if (Run().settings.repairUtf8 && !IsValidUtf8(definition)) definition = RepairBytes(definition);
    if (Run().settings.repairUtf8 && !IsValidUtf8(insertHead_)) insertHead_ = RepairBytes(insertHead_);
    WriteDeletedText(definition);
    NoteCreatedTable(schema_, name.c_str(), LoadSet::kDeleted);
    LogFormat("Dead versions of %s go to %s", tally_.table.c_str(), companion.c_str());
  }

  const RecoveredTable& table_;
  const char* schema_;
  pg_script_Table literals_;
  DeadTally tally_;
  bool started_ = false;
  std::string insertHead_;
  std::string statement_;
};

std::string ReasonList(const DeadTally& tally) {
  std::string list;
  for (int r = 0; r < kDeadReasonCount; ++r) {
    if (tally.byReason[static_cast<size_t>(r)] == 0) continue;
    if (!list.empty()) list += ", ";
    list += std::string(DeadReasonText(static_cast<DeadReason>(r))) + " " +
            std::to_string(tally.byReason[static_cast<size_t>(r)]);
  }
  return list.empty() ? "none" : list;
}

void LogTally(const char* lead, const DeadTally& tally) {
  std::string line =
      lead + CommentText(tally.table) + ": " + std::to_string(tally.Total()) + " (" + ReasonList(tally) + ")";
  if (tally.valuesLost != 0) line += ", values lost (NULL) " + std::to_string(tally.valuesLost);
  if (tally.setAside != 0) line += ", set aside " + std::to_string(tally.setAside);
  // Only 8.3 prunes; its pointers without a tuple are versions gone for good.
  if (Run().version == 83) {
    line += "; line pointers left by pruning without a tuple: " + std::to_string(tally.prunedRedirects) +
            " redirect, " + std::to_string(tally.prunedDead) + " dead";
  }
  Log(line.c_str());
}

}  // namespace

void BeginDeadVersions() {
  DeadRun& state = State();
  state = DeadRun{};
  OpenDeletedScript(Run().resultDirectory, ScriptHead());
  if (Run().settings.commitLog == nullptr) {
    Log("Dead row versions: no commit log, their reasons come from hint bits only");
  }
}

int32_t RecoverDeadVersions(const RecoveredTable& table, const TypeRecord& rowType, const char* schema) {
  DeadVersionTable dead(rowType.typrelid, table, schema);
  Log("Search dead row versions");
  const int read = dead.ReadTable();
  State().tallies.push_back(dead.tally());
  LogTally("Dead versions of ", dead.tally());
  return read != 0 ? kStopped : 0;
}

void ReportDeadVersions() {
  const DeadRun& state = State();
  int64_t total = 0;
  for (const DeadTally& tally : state.tallies) total += tally.Total();
  LogFormat(" - dead row versions: %lld, in deleted_N.sql (%i files)%s", static_cast<long long>(total),
            DeletedScriptFiles(),
            Run().settings.commitLog != nullptr ? "" : "; no commit log: reasons from hint bits only");
  for (const DeadTally& tally : state.tallies) LogTally("   ", tally);
}

}  // namespace vesk
