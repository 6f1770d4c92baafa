// The four catalog readers of Pass 1. Each owns one table reader over its
// heap file and keeps one record per accepted row in that reader's row-record
// list; lookups walk that list (through an index where the walk would cost
// per row) and return the first match in file order.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalog/recovered_table.h"
#include "catalog/type_record.h"
#include "storage/table_reader.h"

namespace vesk {

// Creates the reader of the given layout (83: TableReader83, else 82).
std::unique_ptr<TableReader> MakeReader(uint8_t version, const char* fileName, pg_some_Table* owner);
std::unique_ptr<TableReader> MakeBareReader(uint8_t version, pg_some_Table* owner);

class pg_class_Table : public pg_some_Table {
 public:
  pg_class_Table(const char* fileName, uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  const RecoveredTable* FindTableByType(uint32_t typeOid);
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  std::unordered_map<uint32_t, const RecoveredTable*> byType_;  // reltype -> first record
};

class pg_attribute_Table : public pg_some_Table {
 public:
  pg_attribute_Table(const char* fileName, uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Fills the (empty) list with the columns of `relid` in attnum order and
  // returns the 1-based position of the first missing column, or -1.
  int32_t CollectColumns(uint32_t relid, std::vector<CatalogColumnDesc*>& columns);
  // The columns of a row type's relation as CollectColumns gives them,
  // collected (and logged) once per relation and kept with this reader.
  struct RowTypeColumns {
    std::vector<CatalogColumnDesc*> columns;
    int32_t columnLimit = -1;
  };
  const RowTypeColumns& ColumnsOfRowType(uint32_t relid);
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  int32_t nameCounter_ = 0;
  std::unordered_map<uint32_t, RowTypeColumns> rowTypes_;
  // attrelid -> columns with attnum > 0, in file order
  std::unordered_map<uint32_t, std::vector<CatalogColumnDesc*>> byRelation_;
};

class pg_type_Table : public pg_some_Table {
 public:
  explicit pg_type_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Built-in types from the embedded image, then the database's own 1247.
  int ReadTypes();
  const TypeRecord* LookupTypeByOid(uint32_t oid);
  const TypeRecord* LookupTypeByRelid(uint32_t relid);
  // A row type for `table` made from its pg_class row, when the type catalog
  // lost the table's own (a damaged or missing 1247): without one the table
  // could not be opened at all. Null when the pg_class row cannot name it
  // (no OID or row type OID) or another type already holds either.
  const TypeRecord* StandInRowType(const RecoveredTable& table);
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  uint8_t version_;
  int32_t nameCounter_ = 0;
  std::unordered_map<uint32_t, const TypeRecord*> byOid_;
  std::unordered_map<uint32_t, const TypeRecord*> byRelid_;  // typrelid -> first record
};

class pg_namespace_Table : public pg_some_Table {
 public:
  pg_namespace_Table(const char* fileName, uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // The (renamed) schema name, or null.
  const char* FindSchemaName(uint32_t oid);
  // True for a schema of temporary tables (never recreated, logged once).
  bool IsTemporarySchema(uint32_t oid) const { return temporary_.count(oid) != 0; }
  // Gives the reader the columns of pg_namespace from the database's own
  // pg_attribute rows; when those lack nspname (the rows were lost), the
  // layout every 8.2 and 8.3 server uses instead, so that schemas survive.
  void TakeColumns(pg_attribute_Table& attributes);
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  int32_t nameCounter_ = 0;
  std::unordered_map<uint32_t, const SchemaRecord*> byOid_;
  std::unordered_set<uint32_t> temporary_;
};

// Opens a user or TOAST relation by its OID through the catalogs of the
// current run: type record, class record, path (relfilenode), table name and
// repaired column list with its column limit. A relation whose row type or
// class row is unknown gives a reader with no path and no columns.
std::unique_ptr<TableReader> OpenRelationById(uint32_t relid, pg_some_Table* owner, uint8_t version);

}  // namespace vesk
