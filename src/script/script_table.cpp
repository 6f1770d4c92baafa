#include "script/script_table.h"

#include "catalog/catalog_readers.h"
#include "script/base_type.h"
#include "script/current_types.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "script/writer/quarantine_file.h"
#include "types/registry/stored_form.h"
#include "support/utf8_text.h"
#include "types/registry/type_output.h"
#include "types/scalar/scalar_out.h"

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
  std::string name;
  if (!schemaName_.empty()) {
    name += QuoteName(schemaName_.c_str());
    name += '.';
  }
  name += QuoteName(reader_->tableName);
  label_ = name;
  head_ = withoutColumns_ ? "INSERT INTO " + name + " DEFAULT VALUES;\n" : "INSERT INTO " + name + " VALUES (";
  copy_ = Run().options.rowFormat == VESK_ROWS_COPY;
  repairUtf8_ = Run().settings.repairUtf8;
  plans_.clear();
  columnsWritten_ = 0;
  std::string columnList;
  for (const CatalogColumnDesc* column : reader_->columns) {
    plans_.push_back(PlanColumn(*column));
    if (column->atttypid == kLostColumnType) {
      LogValue("Skip this column, becouse we are lost it", column->attname);
      continue;
    }
    columnList += columnsWritten_++ == 0 ? " (" : ", ";
    columnList += QuoteName(column->attname);
  }
  if (!columnList.empty()) columnList += ')';
  copyLine_ = "COPY " + name + columnList + " FROM stdin;\n";
  if (repairUtf8_ && !IsValidUtf8(head_)) head_ = RepairBytes(head_);
  if (repairUtf8_ && !IsValidUtf8(copyLine_)) copyLine_ = RepairBytes(copyLine_);
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
  // A current server declares a column of a user's base type text (see
  // current_types.h): the value's text when its output procedure is one the
  // engine has, else its stored bytes.
  OutputRoutine userRoutine = nullptr;
  if (TargetsCurrentServer()) {
    int32_t typmod = -1;
    const TypeRecord* base = ResolveDomain(type, typmod);
    if (base != nullptr && IsUserBaseType(*base)) {
      userRoutine = FindOutputRoutine(version_, base->typoutput);
      plan.storedBytes = userRoutine == nullptr;
    }
  }
  if (!plan.lost && !plan.unreadable) {
    plan.routine = FindOutputRoutine(version_, column.atttypid);
    if (plan.routine == nullptr) plan.routine = userRoutine;
    plan.direct = FindDirectText(version_, column.atttypid);
    plan.directIsPlain = plan.direct != nullptr && DirectTextIsPlain(column.atttypid);
    // Booleans, dates and timestamps print ASCII only.
    if (plan.directIsPlain) plan.mayHoldText = false;
  }
  return plan;
}

char* pg_script_Table::RoutineText(const CatalogColumnDesc& column, const ColumnPlan& plan, Datum datum) const {
  if (plan.unreadable) return nullptr;
  if (plan.storedBytes) return stored_bytes_out(version_, column.attlen, column.attbyval, datum);
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

namespace {

using ValueForm = pg_script_Table::ValueForm;

void AppendNull(std::string& out, ValueForm form) { out += form == ValueForm::kCopy ? "\\N" : "NULL"; }

bool AppendText(std::string& out, LiteralKind kind, std::string_view text, ValueForm form) {
  return form == ValueForm::kCopy ? AppendCopyValue(out, kind, text) : AppendLiteral(out, kind, text);
}

}  // namespace

bool pg_script_Table::AppendValue(std::string& out, const CatalogColumnDesc& column, const ColumnPlan& plan,
                                  const AttrValue& value, ValueForm form) {
  if (!repairUtf8_ || !plan.mayHoldText) return AppendStoredValue(out, column, plan, value, form);
  const size_t start = out.size();
  if (!AppendStoredValue(out, column, plan, value, form)) return false;
  if (RepairValue(out, start)) ++valuesRepaired_;
  return true;
}

bool pg_script_Table::AppendStoredValue(std::string& out, const CatalogColumnDesc& column, const ColumnPlan& plan,
                                        const AttrValue& value, ValueForm form) {
  if (value.isnull) {
    AppendNull(out, form);
    return true;
  }
  // A value no server could have stored is damage, whatever it would print
  // as: it is lost, and counted, rather than written as data.
  if (plan.checkForm && !plan.unreadable) {
    if (const char* problem = StoredFormProblem(version_, column, value.datum)) {
      LogFormat("Value of column %s lost: %s", column.attname, problem);
      AppendNull(out, form);
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
        if (form == ValueForm::kCopy) {
          out += text;
        } else {
          out += '\'';
          out += text;
          out += '\'';
        }
      } else if (!AppendText(out, plan.directKind, text, form)) {
        AppendNull(out, form);
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
  if (text == nullptr || !AppendText(out, plan.kind, text, form)) {
    AppendNull(out, form);
    ++reader_->valuesMissed;
  }
  ScratchFree(text);
  ScratchReleaseToMark();
  return true;
}

namespace {

// A row begun in the script's text and not ended (a stop, an exception) is
// dropped whole, so the script never holds half a row.
struct OpenRow {
  std::string* out = nullptr;
  ~OpenRow() {
    if (out != nullptr) AbandonStatement();
  }
};

}  // namespace

int pg_script_Table::ProcessRow(const RowValues& values, uint32_t) {
  if (reader_->columns.empty() && !withoutColumns_) {
    AllowRotation();
    return 0;
  }
  // Planned at the first row: the definition marks lost columns after this
  // object is made.
  if (!planned_) PlanColumns();
  if (withoutColumns_) return WriteRowWithoutColumns();
  return copy_ ? WriteCopyLine(values) : WriteInsert(values);
}

int pg_script_Table::WriteInsert(const RowValues& values) {
  const std::vector<CatalogColumnDesc*>& columns = reader_->columns;
  // The statement is built where the script's text collects.
  OpenRow statement;
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
    if (!AppendValue(*statement.out, *columns[i], plan, values[i], ValueForm::kLiteral)) return kStopped;
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

int pg_script_Table::WriteCopyLine(const RowValues& values) {
  if (columnsWritten_ == 0) {
    AllowRotation();
    return 0;
  }
  OpenCopyBlock(copyLine_);
  const std::vector<CatalogColumnDesc*>& columns = reader_->columns;
  OpenRow row;
  row.out = &BeginStatement();
  std::string& out = *row.out;
  bool first = true;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (StopRequested()) return kStopped;
    const ColumnPlan& plan = plans_[i];
    if (plan.lost) continue;
    if (!first) out += '\t';
    first = false;
    // A row stored before columns were added has no values for them: they
    // read as null on the server that stored it.
    if (i >= values.size()) {
      out += "\\N";
      continue;
    }
    if (!AppendValue(out, *columns[i], plan, values[i], ValueForm::kCopy)) return kStopped;
  }
  out += '\n';
  row.out = nullptr;
  EndStatement();
  return 1;
}

int pg_script_Table::WriteRowWithoutColumns() {
  if (StopRequested()) return kStopped;
  if (copy_) OpenCopyBlock(copyLine_);
  // A row of no values: an empty line of the block, or DEFAULT VALUES.
  BeginStatement() += copy_ ? "\n" : head_;
  EndStatement();
  return 1;
}

void pg_script_Table::EndRows() { CloseCopyBlock(); }

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
    } else if (!AppendValue(out, *columns[i], plans_[i], values[i], ValueForm::kLiteral)) {
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
    if (!AppendValue(text, *columns[i], plans_[i], values[i], ValueForm::kLiteral)) break;
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
