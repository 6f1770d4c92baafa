// The row handler of Pass 2: turns every row its table reader decodes from a
// user table into one INSERT statement of the script, or one line of the
// table's COPY block (VeskOptions::rowFormat).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "script/sql_literal.h"
#include "storage/row_handler.h"
#include "storage/table_reader.h"
#include "types/registry/direct_text.h"
#include "types/registry/type_output.h"

namespace vesk {

class pg_script_Table : public pg_some_Table {
 public:
  // How a value is written: as an SQL literal, or as a field of COPY text.
  enum class ValueForm : uint8_t { kLiteral, kCopy };

  // Opens the relation `relid` through the catalogs of the current run, its
  // record cache off. `schemaName` may be null (table written unqualified).
  pg_script_Table(uint32_t relid, const char* schemaName, uint8_t version);
  // Takes a reader set up by the caller (its columns and table name).
  pg_script_Table(std::unique_ptr<TableReader> reader, const char* schemaName, uint8_t version);

  // Writes one INSERT (or COPY line) for the row: 1 when written, 0 when the
  // table has no column to write, -1000 when stopped (nothing of the row is
  // written then).
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Ends the table's COPY block, if rows opened one.
  void EndRows();
  // The definition found no columns, or every column dropped: the table is
  // created without columns and each row is written as a row of no values.
  void MarkWithoutColumns() {
    withoutColumns_ = true;
    reader_->rowsWithoutColumns = true;
  }
  bool withoutColumns() const { return withoutColumns_; }
  // Writes the set-aside row to the quarantine file, never to the script.
  void QuarantineRow(const RowValues& values, uint32_t page, uint32_t item, const char* reason) override;
  // Appends the row's values as ProcessRow writes them, joined by ", ", one
  // for every column the definition has (NULL where the row stores none),
  // for a statement of another writer. False when stopped.
  bool AppendLiterals(std::string& out, const RowValues& values);
  // Reads the whole table, one ProcessRow per row: 0, or -1000 when stopped.
  int ReadTable() { return reader_->ReadTable(); }

  TableReader& reader() { return *reader_; }
  const std::string& schemaName() const { return schemaName_; }
  const char* tableName() const { return reader_->tableName; }
  uint8_t version() const { return version_; }
  // Values that were not valid UTF-8 and were read as LATIN1 (see
  // DatabaseSettings::repairUtf8).
  int64_t valuesRepaired() const { return valuesRepaired_; }

 private:
  // How one column's values become literals, settled at the table's first
  // row so that no value pays for the type lookups again.
  struct ColumnPlan {
    LiteralKind kind = LiteralKind::kText;
    LiteralKind directKind = LiteralKind::kText;  // of the direct texts (never escaped)
    DirectTextRoutine direct = nullptr;
    bool directIsPlain = false;       // its texts need no look before quoting
    OutputRoutine routine = nullptr;  // null: through the catalogs, value by value
    bool lost = false;                // left out of the table's definition
    bool unreadable = false;          // a by-value datum in a by-reference column
    bool mayHoldText = true;          // not a number: its bytes may need a look
    bool checkForm = false;           // its type has rules for what can be stored
    bool storedBytes = false;         // a type of the user's without a known routine: hex
  };

  void PlanColumns();
  int WriteInsert(const RowValues& values);
  int WriteCopyLine(const RowValues& values);
  int WriteRowWithoutColumns();
  // The literals of what was decoded, as far as they go, for a comment.
  std::string DecodedText(const RowValues& values);
  ColumnPlan PlanColumn(const CatalogColumnDesc& column) const;
  // Appends the value's literal (or NULL) to `out`; false when stopped.
  bool AppendStoredValue(std::string& out, const CatalogColumnDesc& column, const ColumnPlan& plan,
                         const AttrValue& value, ValueForm form);
  // AppendStoredValue, then the literal made valid UTF-8 when it must be.
  bool AppendValue(std::string& out, const CatalogColumnDesc& column, const ColumnPlan& plan, const AttrValue& value,
                   ValueForm form);
  // The text of a value through its output routine, in scratch memory, or null.
  char* RoutineText(const CatalogColumnDesc& column, const ColumnPlan& plan, Datum datum) const;

  uint8_t version_;
  std::string schemaName_;
  std::unique_ptr<TableReader> reader_;
  std::string head_;       // INSERT INTO ... VALUES (
  std::string copyLine_;   // COPY ... (columns) FROM stdin;
  std::string label_;      // "schema"."table", for the quarantine file
  std::vector<ColumnPlan> plans_;
  size_t columnsWritten_ = 0;  // columns not lost
  bool planned_ = false;
  bool copy_ = false;
  bool withoutColumns_ = false;
  bool repairUtf8_ = false;
  int64_t valuesRepaired_ = 0;
};

}  // namespace vesk
