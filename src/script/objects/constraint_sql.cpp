#include "script/objects/constraint_sql.h"

#include <cctype>

#include "script/writer/script_writer.h"

namespace vesk {
namespace {

std::string ColumnList(const std::vector<std::string>& columns) {
  std::string out = "(";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) out += ", ";
    out += columns[i];
  }
  return out + ")";
}

const char* ActionText(char code) {
  switch (code) {
    case 'a': return "NO ACTION";
    case 'r': return "RESTRICT";
    case 'c': return "CASCADE";
    case 'n': return "SET NULL";
    case 'd': return "SET DEFAULT";
    default: return nullptr;
  }
}

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsWordPart(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

// The identifiers of an expression's text: unquoted words as they stand and
// quoted ones without their quotes; string literals and numbers are skipped.
std::vector<std::string> Identifiers(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\'') {
      for (++i; i < text.size(); ++i) {
        if (text[i] == '\\') {
          ++i;
        } else if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            ++i;
          } else {
            break;
          }
        }
      }
      ++i;
    } else if (c == '"') {
      std::string word;
      for (++i; i < text.size(); ++i) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            word += '"';
            ++i;
          } else {
            break;
          }
        } else {
          word += text[i];
        }
      }
      ++i;
      words.push_back(std::move(word));
    } else if (IsWordStart(c)) {
      const size_t start = i;
      while (i < text.size() && IsWordPart(static_cast<unsigned char>(text[i]))) ++i;
      words.emplace_back(text.substr(start, i - start));
    } else if (std::isdigit(c)) {
      while (i < text.size() && (IsWordPart(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
    } else {
      ++i;
    }
  }
  return words;
}

}  // namespace

std::string KeyConstraintSql(const std::string& table, const char* name, char kind,
                             const std::vector<std::string>& columns) {
  return "ALTER TABLE ONLY " + table + "\n    ADD CONSTRAINT " + QuoteName(name) +
         (kind == 'p' ? " PRIMARY KEY " : " UNIQUE ") + ColumnList(columns) + ";\n\n";
}

std::string CheckConstraintSql(const std::string& table, const char* name, const std::string& source) {
  return "ALTER TABLE " + table + "\n    ADD CONSTRAINT " + QuoteName(name) + " CHECK (" + source + ");\n\n";
}

std::string ForeignKeySql(const ForeignKeySpec& key) {
  const char* onUpdate = ActionText(key.updateAction);
  const char* onDelete = ActionText(key.deleteAction);
  if (onUpdate == nullptr || onDelete == nullptr) return {};
  std::string out = "ALTER TABLE ONLY " + key.table + "\n    ADD CONSTRAINT " + QuoteName(key.name) +
                    " FOREIGN KEY " + ColumnList(key.columns) + " REFERENCES " + key.referenced +
                    ColumnList(key.referencedColumns);
  if (key.matchType == 'f') out += " MATCH FULL";
  if (key.matchType == 'p') out += " MATCH PARTIAL";
  if (key.updateAction != 'a') out += std::string(" ON UPDATE ") + onUpdate;
  if (key.deleteAction != 'a') out += std::string(" ON DELETE ") + onDelete;
  if (key.deferrable) out += " DEFERRABLE";
  if (key.deferrable && key.deferred) out += " INITIALLY DEFERRED";
  return out + ";\n\n";
}

std::string IndexSql(const char* name, const std::string& table, bool unique, const char* method,
                     const std::vector<IndexColumnSpec>& columns, const std::string& predicate) {
  std::string out = unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
  out += QuoteName(name) + " ON " + table + " USING " + QuoteName(method) + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    const IndexColumnSpec& c = columns[i];
    if (i > 0) out += ", ";
    out += c.name;
    if (!c.opclass.empty()) out += " " + c.opclass;
    const bool descending = (c.option & 1) != 0;
    const bool nullsFirst = (c.option & 2) != 0;
    // The defaults: ascending with nulls last, descending with nulls first.
    if (descending) out += nullsFirst ? " DESC" : " DESC NULLS LAST";
    if (!descending && nullsFirst) out += " NULLS FIRST";
  }
  out += ")";
  if (!predicate.empty()) out += " WHERE " + predicate;
  return out + ";\n\n";
}

bool CheckTextNamesColumns(std::string_view source, const std::vector<std::string>& columnsInOrder) {
  const std::vector<std::string> words = Identifiers(source);
  size_t next = 0;
  for (const std::string& word : words) {
    if (next < columnsInOrder.size() && word == columnsInOrder[next]) ++next;
  }
  return next == columnsInOrder.size();
}

std::vector<int16_t> TreeColumnNumbers(std::string_view tree) {
  static constexpr std::string_view kTag = ":varattno ";
  std::vector<int16_t> numbers;
  for (size_t at = tree.find(kTag); at != std::string_view::npos; at = tree.find(kTag, at + 1)) {
    size_t i = at + kTag.size();
    bool negative = false;
    if (i < tree.size() && tree[i] == '-') {
      negative = true;
      ++i;
    }
    long value = 0;
    size_t digits = 0;
    for (; i < tree.size() && std::isdigit(static_cast<unsigned char>(tree[i])) && digits < 6; ++i, ++digits) {
      value = value * 10 + (tree[i] - '0');
    }
    if (digits == 0 || value > 32767) continue;
    numbers.push_back(static_cast<int16_t>(negative ? -value : value));
  }
  return numbers;
}

std::string CommentLines(std::string_view text) {
  std::string out = "-- ";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += i + 1 < text.size() ? "\n-- " : "";
    } else {
      out += c < 0x20 ? '?' : static_cast<char>(c);
    }
  }
  return out + "\n";
}

}  // namespace vesk
