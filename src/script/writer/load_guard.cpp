#include "script/writer/load_guard.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/utf8_text.h"

namespace vesk {
namespace {

struct CreatedTable {
  std::string schema;  // empty: unqualified
  std::string name;
};

struct CreatedObject {
  std::string kind;
  std::string quotedName;
};

struct CreatedObjects {
  std::vector<std::string> schemas;
  std::vector<CreatedTable> tables;
  std::vector<CreatedObject> others;
};

CreatedObjects& Created(LoadSet set = LoadSet::kRecovered) {
  static CreatedObjects created[2];
  return created[set == LoadSet::kDeleted ? 1 : 0];
}

// A name as the script wrote it: the writer repairs invalid UTF-8 in
// names, and the guards must name the same objects.
std::string AsWritten(const char* name) {
  std::string text = name != nullptr ? name : "";
  if (Run().settings.repairUtf8 && !IsValidUtf8(text)) return RepairBytes(text);
  return text;
}

// An escape string literal reads the same whatever standard_conforming_strings
// says, on the old servers and the current ones.
std::string Literal(const std::string& text) {
  std::string out = "E'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out += c;
    out += c;
  }
  return out + "'";
}

std::string Qualified(const CreatedTable& table) {
  std::string out;
  if (!table.schema.empty()) out = QuoteName(table.schema.c_str()) + ".";
  return out + QuoteName(table.name.c_str());
}

std::string EncodingLine() {
  const char* encoding = Run().settings.clientEncoding;
  return encoding != nullptr ? std::string("SET client_encoding = '") + encoding + "';\n" : std::string();
}

bool WriteFile(const std::string& directory, const char* name, const std::string& text) {
  const std::string path = directory + platform::kPathSeparator + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  bool written = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr && std::fclose(f) != 0) written = false;
  if (!written) LogFormat("Cannot write to result file %s", path.c_str());
  return written;
}

}  // namespace

void ForgetCreatedObjects() {
  Created(LoadSet::kRecovered) = CreatedObjects{};
  Created(LoadSet::kDeleted) = CreatedObjects{};
}

void NoteCreatedSchema(const char* name) { Created().schemas.push_back(AsWritten(name)); }

void NoteCreatedTable(const char* schema, const char* name, LoadSet set) {
  Created(set).tables.push_back({AsWritten(schema), AsWritten(name)});
}

void NoteCreatedObject(const char* kind, const std::string& quotedName) {
  Created().others.push_back({kind, AsWritten(quotedName.c_str())});
}

std::string LoadCheckText(LoadSet set) {
  std::string out =
      "-- Stops the load (under ON_ERROR_STOP) when the database holds a table of\n"
      "-- this recovery already: loading it again would double its rows.\n"
      "-- load_replace.sql drops them instead.\n";
  const std::vector<CreatedTable>& tables = Created(set).tables;
  if (tables.empty()) return out + "-- This recovery creates no table.\n";
  out += EncodingLine();
  // The check fails through a cast of its message; that works on every
  // server the script may go to, also those without DO blocks.
  out +=
      "\\t\n"
      "SELECT CAST('tables of this recovery exist already: ' || found.names AS integer)\n"
      "  FROM (SELECT pg_catalog.array_to_string(ARRAY(\n"
      "          SELECT pg_catalog.quote_ident(n.nspname) || '.' || pg_catalog.quote_ident(c.relname)\n"
      "            FROM pg_catalog.pg_class c\n"
      "            JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace\n"
      "            JOIN (VALUES\n";
  for (size_t i = 0; i < tables.size(); ++i) {
    out += "              (";
    out += tables[i].schema.empty() ? "pg_catalog.current_schema()" : Literal(tables[i].schema);
    out += ", " + Literal(tables[i].name) + (i + 1 < tables.size() ? "),\n" : ")\n");
  }
  out +=
      "            ) AS recovered (nspname, relname)\n"
      "              ON n.nspname = recovered.nspname AND c.relname = recovered.relname\n"
      "           ORDER BY 1), ', ') AS names) AS found\n"
      " WHERE found.names <> '';\n"
      "\\t\n";
  return out;
}

std::string LoadReplaceText(LoadSet set) {
  const CreatedObjects& created = Created(set);
  std::string out =
      "-- Drops what this recovery creates, so that it can be loaded again: its\n"
      "-- tables with whatever depends on them, then its other objects and its\n"
      "-- schemas. One transaction: an object still in use (a schema holding\n"
      "-- other objects, a type other tables use) stops it, and nothing is dropped.\n";
  out += EncodingLine();
  out += "BEGIN;\nSET LOCAL client_min_messages = warning;\n";
  for (auto table = created.tables.rbegin(); table != created.tables.rend(); ++table) {
    out += "DROP TABLE IF EXISTS " + Qualified(*table) + " CASCADE;\n";
  }
  for (auto other = created.others.rbegin(); other != created.others.rend(); ++other) {
    out += "DROP " + other->kind + " IF EXISTS " + other->quotedName + ";\n";
  }
  for (auto schema = created.schemas.rbegin(); schema != created.schemas.rend(); ++schema) {
    out += "DROP SCHEMA IF EXISTS " + QuoteName(schema->c_str()) + ";\n";
  }
  return out + "COMMIT;\n";
}

bool WriteLoadGuards(const std::string& directory, LoadSet set) {
  const bool deleted = set == LoadSet::kDeleted;
  const bool check = WriteFile(directory, deleted ? "deleted_load_check.sql" : "load_check.sql", LoadCheckText(set));
  const bool replace =
      WriteFile(directory, deleted ? "deleted_load_replace.sql" : "load_replace.sql", LoadReplaceText(set));
  return check && replace;
}

}  // namespace vesk
