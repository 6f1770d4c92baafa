// A catalog that is read only to rebuild objects besides tables and rows
// (keys, indexes and the like). Its columns come from the database's own
// pg_attribute rows and its values are found by column name, so that one
// reader serves both layouts where 8.3 added or renamed columns. A catalog
// whose description or file is lost gives no rows (logged): the objects it
// held are lost, the tables and their rows are not.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/row_handler.h"
#include "storage/table_reader.h"

namespace vesk {

class NamedCatalog : public pg_some_Table {
 public:
  // `relid`: the catalog's OID (and the file every database starts with);
  // `name`: its name, for the log.
  NamedCatalog(uint32_t relid, const char* name, uint8_t version);
  // Reads the whole catalog: 0, or -1000 when stopped.
  int ReadCatalog();
  TableReader& reader() { return *reader_; }

 protected:
  // The position of the column `name` when its width is `length` (-1: a
  // variable-length value), else -1: a damaged description must not make a
  // value be read as another type.
  int FieldIndex(const char* name, int16_t length) const;
  // The first of the names the column has in either layout.
  int FieldIndex(const char* name82, const char* name83, int16_t length) const;

  // The row's value at `index` (-1: the catalog has no such column); each
  // false when the value is absent or null, with `out` left as it was.
  static bool ReadU32(const RowValues& values, int index, uint32_t& out);
  static bool ReadI16(const RowValues& values, int index, int16_t& out);
  static bool ReadChar(const RowValues& values, int index, char& out);
  static bool ReadBool(const RowValues& values, int index, bool& out);
  bool ReadName(const RowValues& values, int index, char* out) const;  // 64 bytes
  // A variable-length value as it is stored (header included, possibly
  // short, compressed or a TOAST pointer): the caller rebuilds it.
  bool ReadStored(const RowValues& values, int index, std::vector<uint8_t>& out) const;

  uint8_t version_;

 private:
  std::unique_ptr<TableReader> reader_;
  std::string name_;
};

}  // namespace vesk
