#include "sampledb/sample_database.h"

#include <optional>
#include <string>
#include <vector>

#include "catalog/static_descriptors.h"
#include "heapbuilder/heap_builder.h"
#include "sampledb/stored_forms.h"

namespace vesk::sampledb {
namespace {

namespace hb = heapbuilder;
using hb::Value;

constexpr uint32_t kCatalogSchema = 11;
constexpr uint32_t kPublicSchema = 2200;
constexpr uint32_t kUserSchema = 16385;
constexpr uint32_t kOwner = 10;

struct Column {
  std::string name;
  uint32_t typid;
  int16_t len;
  bool byval;
  char align;
  char storage;
  int32_t typmod = -1;
  int32_t ndims = 0;
  bool notnull = false;
};

Column Int4(std::string n, bool notnull = false) { return {std::move(n), 23, 4, true, 'i', 'p', -1, 0, notnull}; }
Column Int8(std::string n) { return {std::move(n), 20, 8, false, 'd', 'p'}; }
Column TextCol(std::string n) { return {std::move(n), 25, -1, false, 'i', 'x'}; }
Column Varchar(std::string n, int len) { return {std::move(n), 1043, -1, false, 'i', 'x', len + 4}; }
Column NumericCol(std::string n, int precision, int scale) {
  return {std::move(n), 1700, -1, false, 'i', 'm', ((precision << 16) | scale) + 4};
}
Column BoolCol(std::string n) { return {std::move(n), 16, 1, true, 'c', 'p'}; }
Column Float8Col(std::string n) { return {std::move(n), 701, 8, false, 'd', 'p'}; }
Column DateCol(std::string n) { return {std::move(n), 1082, 4, true, 'i', 'p'}; }
Column TimestampCol(std::string n) { return {std::move(n), 1114, 8, false, 'd', 'p'}; }
Column TextArrayCol(std::string n) { return {std::move(n), 1009, -1, false, 'i', 'x', -1, 1}; }

struct Table {
  uint32_t oid;
  uint32_t relfilenode;
  uint32_t rowType;
  uint32_t arrayType;  // 8.3 only
  uint32_t schema;
  std::string name;
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

hb::ColumnSpec SpecOf(const Column& c) { return {c.len, c.byval, c.align, c.storage}; }

std::vector<Table> UserTables(hb::Layout layout, const hb::ServerBuild& build) {
  const bool integer = build.integerDatetimes;
  Table customers{16386, 16386, 16388, 16387, kPublicSchema, "customers",
                  {Int4("id", true), TextCol("name"), Varchar("email", 64), NumericCol("balance", 10, 2),
                   BoolCol("active"), Float8Col("rating"), DateCol("joined"), TimestampCol("last_seen"),
                   TextArrayCol("tags")},
                  {}};
  using Tags = std::vector<std::optional<std::string>>;
  customers.rows = {
      {hb::Int32(1), hb::Text("Ada Lovelace"), hb::Text("ada@example.org"), Numeric(layout, "1250.75", 2), hb::Bool(true),
       hb::Float8(4.5), Date(2007, 12, 10), Timestamp(2008, 3, 14, 15, 9, 26.5, integer),
       TextArray(layout, Tags{"vip", "math"})},
      {hb::Int32(2), hb::Text("O'Brien, \"Pat\""), hb::Null(), Numeric(layout, "-42.10", 2), hb::Bool(false),
       hb::Float8(-0.25), Date(1999, 12, 31), Timestamp(1999, 12, 31, 23, 59, 59, integer), TextArray(layout, Tags{})},
      {hb::Int32(3), hb::Text("back\\slash and tab\tend"), hb::Text("c@example.com"), Numeric(layout, "0", 2),
       hb::Null(), hb::Null(), hb::Null(), hb::Null(), TextArray(layout, Tags{"a b", std::nullopt, "{x}"})},
      {hb::Int32(4), hb::Text("Grüße"), hb::Text("d@example.com"), Numeric(layout, "99999999.99", 2), hb::Bool(true),
       hb::Float8(1e-5), Date(2024, 2, 29), Timestamp(2000, 1, 1, 0, 0, 0, integer), hb::Null()},
      {hb::Int32(5), hb::Null(), hb::Null(), hb::Null(), hb::Null(), hb::Null(), hb::Null(), hb::Null(),
       hb::Null()},
  };

  // Rewritten once (a CLUSTER, say): its file number differs from its OID.
  Table items{16390, 16399, 16392, 16391, kUserSchema, "items",
              {Int8("sku"), Varchar("title", 40), NumericCol("price", 12, 2), Int4("qty"), TextCol("note")},
              {}};
  items.rows = {
      {hb::Int64(9000000001LL), hb::Text("Widget"), Numeric(layout, "3.50", 2), hb::Int32(120), hb::Text("in stock")},
      {hb::Int64(-7), hb::Text("Gadget, large"), Numeric(layout, "1234567.89", 2), hb::Int32(0), hb::Null()},
      {hb::Int64(42), hb::Text(""), Numeric(layout, "-0.01", 2), hb::Int32(-3),
       hb::Text(std::string(300, 'x') + " long note")},
  };
  return {customers, items};
}

// pg_attribute rows of one relation: the system columns, then its own.
void AddAttributeRows(hb::RelationBuilder& rel, uint32_t relid, const std::vector<Column>& columns) {
  struct System {
    const char* name;
    int16_t attnum;
    uint32_t typid;
    int16_t len;
    bool byval;
    char align;
  };
  static const System kSystem[] = {{"ctid", -1, 27, 6, false, 's'}, {"oid", -2, 26, 4, true, 'i'},
                                   {"xmin", -3, 28, 4, true, 'i'},  {"cmin", -4, 29, 4, true, 'i'},
                                   {"xmax", -5, 28, 4, true, 'i'},  {"cmax", -6, 29, 4, true, 'i'},
                                   {"tableoid", -7, 26, 4, true, 'i'}};
  auto row = [&](const std::string& name, uint32_t typid, int16_t len, int16_t attnum, int32_t ndims,
                 int32_t typmod, bool byval, char storage, char align, bool notnull) {
    rel.AddRow({hb::Oid(relid), hb::Name(name), hb::Oid(typid), hb::Int32(-1), hb::Int16(len), hb::Int16(attnum),
                hb::Int32(ndims), hb::Int32(-1), hb::Int32(typmod), hb::Bool(byval), hb::Char(static_cast<uint8_t>(storage)),
                hb::Char(static_cast<uint8_t>(align)), hb::Bool(notnull), hb::Bool(false), hb::Bool(false),
                hb::Bool(true), hb::Int32(0)});
  };
  for (const System& s : kSystem) row(s.name, s.typid, s.len, s.attnum, 0, -1, s.byval, 'p', s.align, true);
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    row(c.name, c.typid, c.len, static_cast<int16_t>(i + 1), c.ndims, c.typmod, c.byval, c.storage, c.align, c.notnull);
  }
}

std::vector<Value> ClassRow(const std::string& name, uint32_t schema, uint32_t rowType, uint32_t relfilenode,
                            char relkind, int16_t natts, int32_t pages, float tuples) {
  return {hb::Name(name), hb::Oid(schema), hb::Oid(rowType), hb::Oid(kOwner), hb::Oid(relkind == 'i' ? 403 : 0),
          hb::Oid(relfilenode), hb::Oid(0), hb::Int32(pages), hb::Float4(tuples), hb::Oid(0), hb::Oid(0),
          hb::Bool(false), hb::Bool(false), hb::Char(static_cast<uint8_t>(relkind)), hb::Int16(natts),
          hb::Int16(0), hb::Int16(0), hb::Int16(0), hb::Int16(0), hb::Int16(0), hb::Bool(false), hb::Bool(false),
          hb::Bool(false), hb::Bool(false), hb::Oid(relkind == 'r' ? 387 : 0), hb::Null(), hb::Null()};
}

// The catalogs are written with the very descriptions the engine reads them by.
std::vector<hb::ColumnSpec> CatalogSpecs(StaticCatalog which) {
  std::span<CatalogColumnDesc> columns = StaticColumns(which);
  return hb::ColumnsFrom(columns);
}

bool WriteClass(hb::Layout layout, const hb::ServerBuild& build, const std::string& dir,
                const std::vector<Table>& tables) {
  hb::RelationBuilder rel(layout, CatalogSpecs(StaticCatalog::kPgClass), build);
  bool v83 = layout == hb::Layout::k83;
  // pg_class has OIDs: each row's is the relation's identifier.
  auto add = [&rel](uint32_t oid, std::vector<Value> row) {
    hb::TupleSpec tuple;
    tuple.hasOid = true;
    tuple.oid = oid;
    rel.AddRow(row, tuple);
  };
  add(1247, ClassRow("pg_type", kCatalogSchema, 71, 1247, 'r', v83 ? 26 : 23, 6, 280));
  add(1249, ClassRow("pg_attribute", kCatalogSchema, 75, 1249, 'r', 17, 30, 1900));
  add(1259, ClassRow("pg_class", kCatalogSchema, 83, 1259, 'r', 27, 5, 240));
  add(2615, ClassRow("pg_namespace", kCatalogSchema, v83 ? 11058 : 10279, 2615, 'r', 3, 1, 6));
  for (const Table& t : tables) {
    add(t.oid, ClassRow(t.name, t.schema, t.rowType, t.relfilenode, 'r', static_cast<int16_t>(t.columns.size()), 1,
                        static_cast<float>(t.rows.size())));
  }
  // An index is a relation too, but never a table to recover.
  add(16389, ClassRow("customers_pkey", kPublicSchema, 0, 16389, 'i', 1, 2, 5));
  return rel.WriteFile(dir + "1259");
}

bool WriteAttribute(hb::Layout layout, const hb::ServerBuild& build, const std::string& dir,
                    const std::vector<Table>& tables) {
  hb::RelationBuilder rel(layout, CatalogSpecs(StaticCatalog::kPgAttribute), build);
  AddAttributeRows(rel, 2615, {{"nspname", 19, 64, false, 'i', 'p', -1, 0, true},
                               {"nspowner", 26, 4, true, 'i', 'p', -1, 0, true},
                               {"nspacl", 1034, -1, false, 'i', 'x', -1, 1, false}});
  for (const Table& t : tables) AddAttributeRows(rel, t.oid, t.columns);
  AddAttributeRows(rel, 16389, {{"id", 23, 4, true, 'i', 'p'}});
  return rel.WriteFile(dir + "1249");
}

// The row type of each table and, in 8.3, its array type.
bool WriteType(hb::Layout layout, const hb::ServerBuild& build, const std::string& dir,
               const std::vector<Table>& tables) {
  bool v83 = layout == hb::Layout::k83;
  int version = v83 ? 83 : 82;
  hb::RelationBuilder rel(layout, CatalogSpecs(PgTypeCatalog(version)), build);

  auto row = [&](uint32_t oid, const std::string& name, uint32_t schema, char typtype, uint32_t relid,
                 uint32_t elem, uint32_t array, std::vector<uint32_t> procsOf, char align) {
    std::vector<Value> v = {hb::Name(name), hb::Oid(schema), hb::Oid(kOwner), hb::Int16(-1), hb::Bool(false),
                            hb::Char(static_cast<uint8_t>(typtype)), hb::Bool(true), hb::Char(','), hb::Oid(relid),
                            hb::Oid(elem)};
    if (v83) v.push_back(hb::Oid(array));
    for (uint32_t p : procsOf) v.push_back(hb::Oid(p));
    for (Value x : {hb::Char(static_cast<uint8_t>(align)), hb::Char('x'), hb::Bool(false), hb::Oid(0),
                    hb::Int32(-1), hb::Int32(0), hb::Null(), hb::Null()}) {
      v.push_back(std::move(x));
    }
    hb::TupleSpec tuple;
    tuple.hasOid = true;
    tuple.oid = oid;
    rel.AddRow(v, tuple);
  };
  for (const Table& t : tables) {
    // record_in, record_out, record_recv, record_send (8.3: no typmod procs), no analyze
    std::vector<uint32_t> recordProcs = v83 ? std::vector<uint32_t>{2290, 2291, 2402, 2403, 0, 0, 0}
                                            : std::vector<uint32_t>{2290, 2291, 2402, 2403, 0};
    row(t.rowType, t.name, t.schema, 'c', t.oid, 0, v83 ? t.arrayType : 0, recordProcs, 'd');
    if (v83) {
      // array_in, array_out, array_recv, array_send
      row(t.arrayType, "_" + t.name, t.schema, 'b', 0, t.rowType, 0, {750, 751, 2400, 2401, 0, 0, 0}, 'd');
    }
  }
  return rel.WriteFile(dir + "1247");
}

bool WriteNamespace(hb::Layout layout, const hb::ServerBuild& build, const std::string& dir) {
  bool v83 = layout == hb::Layout::k83;
  // nspname, nspowner, nspacl, as the pg_attribute rows above describe them.
  hb::RelationBuilder rel(layout, {{64, false, 'i', 'p'}, {4, true, 'i', 'p'}, {-1, false, 'i', 'x'}}, build);
  struct Schema {
    uint32_t oid;
    const char* name;
  };
  const Schema schemas[] = {{11, "pg_catalog"}, {99, "pg_toast"}, {v83 ? 11052u : 10406u, "pg_temp_1"},
                            {kPublicSchema, "public"}, {v83 ? 11313u : 10621u, "information_schema"},
                            {kUserSchema, "inventory"}};
  for (const Schema& s : schemas) {
    hb::TupleSpec tuple;
    tuple.hasOid = true;
    tuple.oid = s.oid;
    rel.AddRow({hb::Name(s.name), hb::Oid(kOwner), hb::Null()}, tuple);
  }
  return rel.WriteFile(dir + "2615");
}

bool WriteUserTable(hb::Layout layout, const hb::ServerBuild& build, const std::string& dir, const Table& t) {
  std::vector<hb::ColumnSpec> specs;
  for (const Column& c : t.columns) specs.push_back(SpecOf(c));
  hb::RelationBuilder rel(layout, specs, build);
  uint32_t xmin = 1200;
  for (const auto& r : t.rows) {
    hb::TupleSpec tuple;
    tuple.xmin = xmin++;
    rel.AddRow(r, tuple);
  }
  return rel.WriteFile(dir + std::to_string(t.relfilenode));
}

}  // namespace

bool WriteSampleDatabase(int version, const std::string& directory, const hb::ServerBuild& build) {
  hb::Layout layout = version == 83 ? hb::Layout::k83 : hb::Layout::k82;
  std::string dir = directory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::vector<Table> tables = UserTables(layout, build);
  bool ok = WriteClass(layout, build, dir, tables) && WriteAttribute(layout, build, dir, tables) &&
            WriteType(layout, build, dir, tables) && WriteNamespace(layout, build, dir);
  for (const Table& t : tables) ok = ok && WriteUserTable(layout, build, dir, t);
  return ok;
}

}  // namespace vesk::sampledb
