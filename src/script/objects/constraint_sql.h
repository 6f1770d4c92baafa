// The statements of keys, checks, foreign keys and indexes, made from names
// the caller has already resolved and quoted where they are identifiers.
// Each statement ends in ";\n\n" and stands alone, so that one that fails on
// load costs only itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// ALTER TABLE ONLY <table> ADD CONSTRAINT <name> PRIMARY KEY|UNIQUE (...);
// `kind` is 'p' or 'u'.
std::string KeyConstraintSql(const std::string& table, const char* name, char kind,
                             const std::vector<std::string>& columns);

// ALTER TABLE <table> ADD CONSTRAINT <name> CHECK (<source>); not ONLY, so
// that it also holds where the table already has its children again.
std::string CheckConstraintSql(const std::string& table, const char* name, const std::string& source);

struct ForeignKeySpec {
  std::string table;
  const char* name = "";
  std::vector<std::string> columns;
  std::string referenced;
  std::vector<std::string> referencedColumns;
  char matchType = 'u';   // 'f' FULL, 'p' PARTIAL, else the default
  char updateAction = 'a';  // 'a' no action, 'r' restrict, 'c' cascade,
  char deleteAction = 'a';  // 'n' set null, 'd' set default
  bool deferrable = false;
  bool deferred = false;
};
// Empty when an action code is none of the five.
std::string ForeignKeySql(const ForeignKeySpec& key);

struct IndexColumnSpec {
  std::string name;     // quoted
  std::string opclass;  // empty for the column type's default class
  int16_t option = 0;   // bit 0 descending, bit 1 nulls first
};
// `predicate`: the WHERE condition's text, empty for none.
std::string IndexSql(const char* name, const std::string& table, bool unique, const char* method,
                     const std::vector<IndexColumnSpec>& columns, const std::string& predicate = {});

// True when the text of a check constraint, as the server kept it when the
// constraint was made, still names the table's columns as they are now
// called: the columns the stored expression uses (in the order it uses
// them) must appear, in that order, among the identifiers of the text.
// A column renamed since leaves its old name in the text, and a statement
// made from it would check the wrong column or fail.
bool CheckTextNamesColumns(std::string_view source, const std::vector<std::string>& columnsInOrder);

// The attribute numbers of the plain column references of a stored node
// tree (":varattno N" of each VAR node), in the order the tree holds them.
std::vector<int16_t> TreeColumnNumbers(std::string_view tree);

// `text` as "-- " comment lines (control characters made '?'), each ending
// in a line feed.
std::string CommentLines(std::string_view text);

}  // namespace vesk
