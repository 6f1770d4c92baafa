#include "catalog/static_descriptors.h"

#include <array>
#include <cstring>

namespace vesk {
namespace {

struct Row {
  const char* name;
  uint32_t typid;
  int16_t len;
  bool byval;
  char align;
  char storage;
  bool notnull;
};

constexpr Row kName{"", 19, 64, false, 'i', 'p', true};
constexpr Row Oid(const char* n) { return {n, 26, 4, true, 'i', 'p', true}; }
constexpr Row Int4(const char* n) { return {n, 23, 4, true, 'i', 'p', true}; }
constexpr Row Int2(const char* n) { return {n, 21, 2, true, 's', 'p', true}; }
constexpr Row Bool(const char* n) { return {n, 16, 1, true, 'c', 'p', true}; }
constexpr Row Char(const char* n) { return {n, 18, 1, true, 'c', 'p', true}; }
constexpr Row Proc(const char* n) { return {n, 24, 4, true, 'i', 'p', true}; }
constexpr Row Text(const char* n) { return {n, 25, -1, false, 'i', 'x', false}; }
constexpr Row Name(const char* n) { return {n, kName.typid, kName.len, kName.byval, kName.align, kName.storage, true}; }

constexpr Row kPgClass[] = {
    Name("relname"),       Oid("relnamespace"),   Oid("reltype"),      Oid("relowner"),
    Oid("relam"),          Oid("relfilenode"),    Oid("reltablespace"), Int4("relpages"),
    {"reltuples", 700, 4, false, 'i', 'p', true},
    Oid("reltoastrelid"),  Oid("reltoastidxid"),  Bool("relhasindex"), Bool("relisshared"),
    Char("relkind"),       Int2("relnatts"),      Int2("relchecks"),   Int2("reltriggers"),
    Int2("relukeys"),      Int2("relfkeys"),      Int2("relrefs"),     Bool("relhasoids"),
    Bool("relhaspkey"),    Bool("relhasrules"),   Bool("relhassubclass"),
    {"relfrozenxid", 28, 4, true, 'i', 'p', true},
    {"relacl", 1034, -1, false, 'i', 'x', false},
    {"reloptions", 1009, -1, false, 'i', 'x', false},
};

constexpr Row kPgAttribute[] = {
    Oid("attrelid"),     Name("attname"),     Oid("atttypid"),     Int4("attstattarget"),
    Int2("attlen"),      Int2("attnum"),      Int4("attndims"),    Int4("attcacheoff"),
    Int4("atttypmod"),   Bool("attbyval"),    Char("attstorage"),  Char("attalign"),
    Bool("attnotnull"),  Bool("atthasdef"),   Bool("attisdropped"), Bool("attislocal"),
    Int4("attinhcount"),
};

constexpr Row kPgType82[] = {
    Name("typname"),     Oid("typnamespace"), Oid("typowner"),     Int2("typlen"),
    Bool("typbyval"),    Char("typtype"),     Bool("typisdefined"), Char("typdelim"),
    Oid("typrelid"),     Oid("typelem"),      Proc("typinput"),    Proc("typoutput"),
    Proc("typreceive"),  Proc("typsend"),     Proc("typanalyze"),  Char("typalign"),
    Char("typstorage"),  Bool("typnotnull"),  Oid("typbasetype"),  Int4("typtypmod"),
    Int4("typndims"),    Text("typdefaultbin"), Text("typdefault"),
};

constexpr Row kPgType83[] = {
    Name("typname"),     Oid("typnamespace"), Oid("typowner"),     Int2("typlen"),
    Bool("typbyval"),    Char("typtype"),     Bool("typisdefined"), Char("typdelim"),
    Oid("typrelid"),     Oid("typelem"),      Oid("typarray"),     Proc("typinput"),
    Proc("typoutput"),   Proc("typreceive"),  Proc("typsend"),     Proc("typmodin"),
    Proc("typmodout"),   Proc("typanalyze"),  Char("typalign"),    Char("typstorage"),
    Bool("typnotnull"),  Oid("typbasetype"),  Int4("typtypmod"),   Int4("typndims"),
    Text("typdefaultbin"), Text("typdefault"),
};

constexpr Row kPgNamespace[] = {
    Name("nspname"), Oid("nspowner"), {"nspacl", 1034, -1, false, 'i', 'x', false},
};

constexpr Row kPgEnum[] = {Oid("enumtypid"), Name("enumlabel")};

constexpr Row kPgDatabase[] = {
    Name("datname"),      Oid("datdba"),         Int4("encoding"),     Bool("datistemplate"),
    Bool("datallowconn"), Int4("datconnlimit"),  Oid("datlastsysoid"),
    {"datfrozenxid", 28, 4, true, 'i', 'p', true},
    Oid("dattablespace"),
    {"datconfig", 1009, -1, false, 'i', 'x', false},
    {"datacl", 1034, -1, false, 'i', 'x', false},
};

constexpr Row kPgAttrdef[] = {Oid("adrelid"), Int2("adnum"), Text("adbin"), Text("adsrc")};

constexpr Row kPgDepend[] = {
    Oid("classid"), Oid("objid"), Int4("objsubid"), Oid("refclassid"), Oid("refobjid"), Int4("refobjsubid"),
    Char("deptype"),
};

constexpr Row kPgInherits[] = {Oid("inhrelid"), Oid("inhparent"), Int4("inhseqno")};

// int8 is passed by reference in 8.2 and 8.3.
constexpr Row Int8(const char* n) { return {n, 20, 8, false, 'd', 'p', true}; }
constexpr Row kSequenceRow[] = {
    Name("sequence_name"), Int8("last_value"), Int8("increment_by"), Int8("max_value"), Int8("min_value"),
    Int8("cache_value"),   Int8("log_cnt"),    Bool("is_cycled"),    Bool("is_called"),
};

static_assert(std::size(kPgClass) == kPgClassColumnCount);
static_assert(std::size(kPgAttribute) == kPgAttributeColumnCount);
static_assert(std::size(kPgType82) == kPgType82ColumnCount);
static_assert(std::size(kPgType83) == kPgType83ColumnCount);
static_assert(std::size(kPgNamespace) == kPgNamespaceColumnCount);
static_assert(std::size(kPgEnum) == kPgEnumColumnCount);
static_assert(std::size(kPgDatabase) == kPgDatabaseColumnCount);
static_assert(std::size(kPgAttrdef) == kPgAttrdefColumnCount);
static_assert(std::size(kPgDepend) == kPgDependColumnCount);
static_assert(std::size(kPgInherits) == kPgInheritsColumnCount);
static_assert(std::size(kSequenceRow) == kSequenceRowColumnCount);

CatalogColumnDesc Describe(uint32_t relid, const Row& row, size_t index) {
  CatalogColumnDesc d;
  d.attrelid = relid;
  std::strncpy(d.attname, row.name, sizeof(d.attname) - 1);
  d.atttypid = row.typid;
  d.attstattarget = -1;
  d.attlen = row.len;
  d.attnum = static_cast<int16_t>(index + 1);
  d.attndims = (row.typid == 1034 || row.typid == 1009) ? 1 : 0;  // the two array columns
  d.attcacheoff = -1;
  d.atttypmod = -1;
  d.attbyval = row.byval;
  d.attstorage = row.storage;
  d.attalign = row.align;
  d.attnotnull = row.notnull;
  return d;
}

template <size_t N>
std::array<CatalogColumnDesc, N> Build(uint32_t relid, const Row (&rows)[N]) {
  std::array<CatalogColumnDesc, N> out{};
  for (size_t i = 0; i < N; ++i) out[i] = Describe(relid, rows[i], i);
  return out;
}

}  // namespace

CatalogColumnDesc* PgClassColumns() {
  static auto table = Build(1259, kPgClass);
  return table.data();
}

CatalogColumnDesc* PgAttributeColumns() {
  static auto table = Build(1249, kPgAttribute);
  return table.data();
}

CatalogColumnDesc* PgType82Columns() {
  static auto table = Build(1247, kPgType82);
  return table.data();
}

CatalogColumnDesc* PgType83Columns() {
  static auto table = Build(1247, kPgType83);
  return table.data();
}

std::span<CatalogColumnDesc> StaticColumns(StaticCatalog which) {
  static auto pgNamespace = Build(2615, kPgNamespace);
  static auto pgEnum = Build(3501, kPgEnum);
  static auto pgDatabase = Build(1262, kPgDatabase);
  static auto pgAttrdef = Build(2604, kPgAttrdef);
  static auto pgDepend = Build(2608, kPgDepend);
  static auto pgInherits = Build(2611, kPgInherits);
  static auto sequenceRow = Build(0, kSequenceRow);
  switch (which) {
    case StaticCatalog::kPgClass: return {PgClassColumns(), kPgClassColumnCount};
    case StaticCatalog::kPgAttribute: return {PgAttributeColumns(), kPgAttributeColumnCount};
    case StaticCatalog::kPgType82: return {PgType82Columns(), kPgType82ColumnCount};
    case StaticCatalog::kPgType83: return {PgType83Columns(), kPgType83ColumnCount};
    case StaticCatalog::kPgNamespace: return pgNamespace;
    case StaticCatalog::kPgEnum: return pgEnum;
    case StaticCatalog::kPgDatabase: return pgDatabase;
    case StaticCatalog::kPgAttrdef: return pgAttrdef;
    case StaticCatalog::kPgDepend: return pgDepend;
    case StaticCatalog::kPgInherits: return pgInherits;
    case StaticCatalog::kSequenceRow: return sequenceRow;
  }
  return {};
}

StaticCatalog PgTypeCatalog(int version) {
  return version == 83 ? StaticCatalog::kPgType83 : StaticCatalog::kPgType82;
}

void FillStaticColumns(std::vector<CatalogColumnDesc*>& columns, StaticCatalog which) {
  columns.clear();
  for (CatalogColumnDesc& d : StaticColumns(which)) columns.push_back(&d);
}

}  // namespace vesk
