#include "script/script_table.h"

#include "catalog/catalog_readers.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "script/writer/quarantine_file.h"
#include "types/registry/stored_form.h"
#include "support/utf8_text.h"
#include "types/registry/type_output.h"

namespace vesk {

pg_script_Table::pg_script_Table(uint32_t relid, const char* schemaName, uint8_t version)
    : pg_script_Table(OpenRelationById(relid, this, version), schemaName, version) {}

pg_script_Table::pg_script_Table(std::unique_ptr<TableReader> reader, const char* schemaName,
                                 uint8_t version)
    : version_(version), schemaName_(schemaName != nullptr ? schemaName : ""), reader_(std::move(reader)) {
  if (reader_ == nullptr) reader_ = MakeBareReader(version, this);
  reader_->cacheRows = false;
  reader_->strictRows = true;
  reader_->quarantine = this;
}

void pg_script_Table::PlanColumns() {
  head_ = "INSERT INTO ";
  if (!schemaName_.empty()) {
    head_ += QuoteName(schemaName_.c_str());
    head_ += '.';
  }
  head_ += QuoteName(reader_->tableName);
  label_ = head_.substr(std::string("INSERT INTO ").size());
  head_ += " VALUES (";
  repairUtf8_ = Run().settings.repairUtf8;
  if (repairUtf8_ && !IsValidUtf8(head_)) head_ = RepairBytes(head_);
  plans_.clear();
  for (const CatalogColumnDesc* column : reader_->columns) {
    plans_.push_back(PlanColumn(*column));
    if (column->atttypid == kLostColumnType) {
      LogValue("Skip this column, becouse we are lost it", column->attname);
    }
  }
  planned_ = true;
}

pg_script_Table::ColumnPlan pg_script_Table::PlanColumn(const CatalogColumnDesc& column) const {
  ColumnPlan plan;
  plan.lost = column.atttypid == kLostColumnType;
  plan.kind = LiteralKindFor(version_, column.atttypid);
  plan.directKind = plan.kind == LiteralKind::kEscapedText ? LiteralKind::kText : plan.kind;
  plan.mayHoldText = plan.kind != LiteralKind::kInteger && plan.kind != LiteralKind::kFloat4 &&
                     plan.kind != LiteralKind::kFloat8 && plan.kind != LiteralKind::kNumeric;
  // A damaged pg_attribute row can say "by value" for a type stored by
  // reference: its datum is then a few stored bytes, not the address the
  // type's routine reads, so the value is lost rather than dereferenced.
  const TypeRecord* type = Run().types != nullptr ? Run().types->LookupTypeByOid(column.atttypid) : nullptr;
  plan.unreadable = type != nullptr && !type->typbyval && column.attbyval;
  plan.checkForm = HasStoredFormRule(column.atttypid);
  if (!plan.lost && !plan.unreadable) {
    plan.routine = FindOutputRoutine(version_, column.atttypid);
    plan.direct = FindDirectText(version_, column.atttypid);
    plan.directIsPlain = plan.direct != nullptr && DirectTextIsPlain(column.atttypid);
    // Booleans, dates and timestamps print ASCII only.
    if (plan.directIsPlain) plan.mayHoldText = false;
  }
  return plan;
}

char* pg_script_Table::RoutineText(const CatalogColumnDesc& column, const ColumnPlan& plan, Datum datum) const {
  if (plan.unreadable) return nullptr;
  // The routines catch their own failures; one escaping anyway must not end
  // the scan of the whole table.
  try {
    if (plan.routine != nullptr) return plan.routine(datum, column.atttypmod);
    return TypeOutput(version_, column.atttypid, datum, column.atttypmod);
  } catch (const ScratchException&) {
    LogError("ERROR while out type, MISS value");
    return nullptr;
  }
}

bool pg_script_Table::AppendValue(std::string& out, const CatalogColumnDesc& column, const ColumnPlan& plan,
                                  const AttrValue& value) {
  if (!repairUtf8_ || !plan.mayHoldText) return AppendStoredValue(out, column, plan, value);
  const size_t start = out.size();
  if (!AppendStoredValue(out, column, plan, value)) return false;
  if (RepairValue(out, start)) ++valuesRepaired_;
  return true;
}

bool pg_script_Table::AppendStoredValue(std::string& out, const CatalogColumnDesc& column, const ColumnPlan& plan,
                                        const AttrValue& value) {
  if (value.isnull) {
    out += "NULL";
    return true;
  }
  // A value no server could have stored is damage, whatever it would print
  // as: it is lost, and counted, rather than written as data.
  if (plan.checkForm && !plan.unreadable) {
    if (const char* problem = StoredFormProblem(version_, column, value.datum)) {
      LogFormat("Value of column %s lost: %s", column.attname, problem);
      out += "NULL";
      ++reader_->valuesMissed;
      return true;
    }
  }
  if (plan.direct != nullptr) {
    DirectBuffer buffer;
    std::string_view text;
    if (plan.direct(value.datum, column.atttypmod, buffer, text)) {
      // Integer texts are plain digits with a sign: nothing to check.
      if (plan.directKind == LiteralKind::kInteger) {
        out += text;
      } else if (plan.directIsPlain) {
        out += '\'';
        out += text;
        out += '\'';
      } else if (!AppendLiteral(out, plan.directKind, text)) {
        out += "NULL";
        ++reader_->valuesMissed;
      }
      return true;
    }
  }
  ScratchMark();
  if (StopRequested()) {
    ScratchReleaseToMark();
    return false;
  }
  char* text = RoutineText(column, plan, value.datum);
  if (text == nullptr || !AppendLiteral(out, plan.kind, text)) {
    out += "NULL";
    ++reader_->valuesMissed;
  }
  ScratchFree(text);
  ScratchReleaseToMark();
  return true;
}

int pg_script_Table::ProcessRow(const RowValues& values, uint32_t) {
  const std::vector<CatalogColumnDesc*>& columns = reader_->columns;
  if (columns.empty()) {
    AllowRotation();
    return 0;
  }
  // Planned at the first row: the definition marks lost columns after this
  // object is made.
  if (!planned_) PlanColumns();
  // The statement is built where the script's text collects; one begun and
  // not ended (a stop, an exception) is dropped whole, so the script never
  // holds half a row.
  struct OpenGuard {
    std::string* out = nullptr;
    ~OpenGuard() {
      if (out != nullptr) AbandonStatement();
    }
  } statement;
  for (size_t i = 0; i < columns.size() && i < values.size(); ++i) {
    if (StopRequested()) return kStopped;
    const ColumnPlan& plan = plans_[i];
    if (plan.lost) continue;
    if (statement.out == nullptr) {
      statement.out = &BeginStatement();
      *statement.out += head_;
    } else {
      *statement.out += ", ";
    }
    if (!AppendValue(*statement.out, *columns[i], plan, values[i])) return kStopped;
  }
  if (statement.out == nullptr) {
    AllowRotation();
    return 0;
  }
  *statement.out += ");\n";
  statement.out = nullptr;
  EndStatement();
  return 1;
}

bool pg_script_Table::AppendLiterals(std::string& out, const RowValues& values) {
  if (!planned_) PlanColumns();
  const std::vector<CatalogColumnDesc*>& columns = reader_->columns;
  bool first = true;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (StopRequested()) return false;
    if (plans_[i].lost) continue;
    if (!first) out += ", ";
    first = false;
    if (i >= values.size()) {
      out += "NULL";
    } else if (!AppendValue(out, *columns[i], plans_[i], values[i])) {
      return false;
    }
  }
  return true;
}

std::string pg_script_Table::DecodedText(const RowValues& values) {
  // A comment line is no place for a whole document: enough to recognise
  // the row by.
  constexpr size_t kShown = 2000;
  const std::vector<CatalogColumnDesc*>& columns = reader_->columns;
  const int32_t missedBefore = reader_->valuesMissed;
  std::string text;
  for (size_t i = 0; i < columns.size() && i < values.size() && text.size() < kShown; ++i) {
    if (plans_[i].lost) continue;
    if (!text.empty()) text += ", ";
    if (!AppendValue(text, *columns[i], plans_[i], values[i])) break;
  }
  // Values of a set-aside row are not values of the script.
  reader_->valuesMissed = missedBefore;
  if (text.size() > kShown) text.resize(kShown);
  return text;
}

void pg_script_Table::QuarantineRow(const RowValues& values, uint32_t page, uint32_t item, const char* reason) {
  if (!planned_) PlanColumns();
  WriteQuarantinedRow(label_, page, item, reason, values.empty() ? std::string() : DecodedText(values));
}

}  // namespace vesk
