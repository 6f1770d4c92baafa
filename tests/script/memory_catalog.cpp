#include "script/memory_catalog.h"

#include <array>
#include <cstring>

#include "catalog/static_descriptors.h"

namespace vesk::testing {
namespace {

// Positions in an 8.2 / 8.3 pg_type row.
struct TypeFieldIndex {
  size_t nsp, typtype, typelem, typoutput, typstorage, typbasetype, typtypmod, count;
};
TypeFieldIndex FieldIndex(uint8_t version) {
  if (version == 83) return {1, 5, 9, 12, 19, 21, 22, kPgType83ColumnCount};
  return {1, 5, 9, 11, 16, 18, 19, kPgType82ColumnCount};
}

constexpr size_t kTypbyval = 4;  // the same in both layouts

AttrValue ByValue(uint32_t v) { return AttrValue{static_cast<Datum>(v), false}; }

}  // namespace

MemoryCatalog::MemoryCatalog(uint8_t version) : version_(version), savedRun_(Run()), savedScript_(Script()) {
  types_ = std::make_unique<pg_type_Table>(version);
  FillStaticColumns(types_->reader().columns, PgTypeCatalog(version));
  namespaces_ = std::make_unique<pg_namespace_Table>("2615", version);
  CatalogColumnDesc nspname;
  std::strcpy(nspname.attname, "nspname");
  nspname.attlen = 64;
  namespaceColumns_.push_back(nspname);
  namespaces_->reader().columns = {&namespaceColumns_[0]};
  Run().types = types_.get();
  Run().namespaces = namespaces_.get();
  Run().version = version;
  Run().breakFlag = nullptr;
  Run().tablesRecovered = 0;
  Run().schemasRecovered = 0;
  file_ = std::tmpfile();
  Script().script = file_;
  Script().rotationAllowed = true;
  Script().byteCount = 0;
}

MemoryCatalog::~MemoryCatalog() {
  Run() = savedRun_;
  Script() = savedScript_;
  if (file_ != nullptr) std::fclose(file_);
}

void MemoryCatalog::AddType(const TypeSpec& spec) {
  TypeFieldIndex at = FieldIndex(version_);
  RowValues values(at.count);
  std::array<char, 64> name{};
  std::strncpy(name.data(), spec.name, name.size() - 1);
  values[0] = AttrValue{PointerDatum(name.data()), false};
  values[at.nsp] = ByValue(spec.nspOid);
  values[kTypbyval] = ByValue(spec.typbyval ? 1 : 0);
  values[at.typtype] = ByValue(static_cast<uint8_t>(spec.typtype));
  values[at.typelem] = ByValue(spec.typelem);
  values[at.typoutput] = ByValue(spec.typoutput);
  values[at.typstorage] = ByValue(static_cast<uint8_t>(spec.typstorage));
  values[at.typbasetype] = ByValue(spec.typbasetype);
  values[at.typtypmod] = ByValue(static_cast<uint32_t>(spec.typtypmod));
  types_->ProcessRow(values, spec.oid);
}

void MemoryCatalog::AddSchema(uint32_t oid, const char* name) {
  std::array<char, 64> stored{};
  std::strncpy(stored.data(), name, stored.size() - 1);
  RowValues values{AttrValue{PointerDatum(stored.data()), false}};
  namespaces_->ProcessRow(values, oid);
}

void MemoryCatalog::AddBuiltinTypes() {
  static const struct {
    uint32_t oid;
    const char* name;
    char storage;
    uint32_t output;
  } kBuiltins[] = {
      {16, "bool", 'p', 1243},     {17, "bytea", 'x', 31},     {20, "int8", 'p', 461},
      {21, "int2", 'p', 39},       {23, "int4", 'p', 43},      {25, "text", 'x', 47},
      {26, "oid", 'p', 1799},      {700, "float4", 'p', 201},  {701, "float8", 'p', 215},
      {705, "unknown", 'p', 110},  {1042, "bpchar", 'x', 1045}, {1043, "varchar", 'x', 1047},
      {1082, "date", 'p', 1085},   {1083, "time", 'p', 1144},  {1114, "timestamp", 'p', 1313},
      {1184, "timestamptz", 'p', 1151}, {1186, "interval", 'p', 1161}, {1266, "timetz", 'p', 1351},
      {1560, "bit", 'x', 1565},    {1562, "varbit", 'x', 1563}, {1700, "numeric", 'm', 1702},
  };
  for (const auto& b : kBuiltins) {
    const bool byValue = b.oid == 16 || b.oid == 21 || b.oid == 23 || b.oid == 26 || b.oid == 700 || b.oid == 1082;
    AddType(TypeSpec{
        .oid = b.oid, .name = b.name, .typstorage = b.storage, .typoutput = b.output, .typbyval = byValue});
  }
  // The point type has a typelem but is stored plain: not an array.
  AddType(TypeSpec{.oid = 600, .name = "point", .typelem = 701, .typstorage = 'p', .typoutput = 117});
  const struct {
    uint32_t oid, elem;
    const char* name;
  } kArrays[] = {{1007, 23, "_int4"}, {1009, 25, "_text"}, {1015, 1043, "_varchar"}};
  for (const auto& a : kArrays) {
    AddType(TypeSpec{.oid = a.oid, .name = a.name, .typelem = a.elem, .typstorage = 'x', .typoutput = 751});
  }
}

std::string MemoryCatalog::TakeScript() {
  std::fflush(file_);
  std::rewind(file_);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
  std::fseek(file_, 0, SEEK_END);
  std::string fresh = text.substr(taken_);
  taken_ = text.size();
  return fresh;
}

}  // namespace vesk::testing
