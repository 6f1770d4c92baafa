#include <cstdio>
#include <cstring>
#include <string>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/type_image.h"
#include "platform/platform.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {
namespace {

// Index of each kept TypeRecord member in a row of either layout (-1: not
// kept). 8.3 inserts typarray at 10 and typmodin/typmodout at 15 and 16.
enum Field {
  kNamespace, kOwner, kLen, kByval, kType, kDefined, kDelim, kRelid, kElem, kInput, kOutput,
  kReceive, kSend, kAnalyze, kAlign, kStorage, kNotNull, kBaseType, kTypmod, kNdims, kNone
};

Field FieldAt(uint8_t version, size_t k) {
  static constexpr Field k82[] = {kNone, kNamespace, kOwner, kLen, kByval, kType, kDefined, kDelim,
                                  kRelid, kElem, kInput, kOutput, kReceive, kSend, kAnalyze,
                                  kAlign, kStorage, kNotNull, kBaseType, kTypmod, kNdims};
  static constexpr Field k83[] = {kNone, kNamespace, kOwner, kLen, kByval, kType, kDefined, kDelim,
                                  kRelid, kElem, kNone, kInput, kOutput, kReceive, kSend, kNone,
                                  kNone, kAnalyze, kAlign, kStorage, kNotNull, kBaseType, kTypmod,
                                  kNdims};
  if (version == 83) return k < std::size(k83) ? k83[k] : kNone;
  return k < std::size(k82) ? k82[k] : kNone;
}

void SetTypeField(TypeRecord& t, Field f, Datum d) {
  switch (f) {
    case kNamespace: t.typnamespace = DatumU32(d); break;
    case kOwner: t.typowner = DatumU32(d); break;
    case kLen: t.typlen = DatumI16(d); break;
    case kByval: t.typbyval = DatumBool(d); break;
    case kType: t.typtype = DatumChar(d); break;
    case kDefined: t.typisdefined = DatumBool(d); break;
    case kDelim: t.typdelim = DatumChar(d); break;
    case kRelid: t.typrelid = DatumU32(d); break;
    case kElem: t.typelem = DatumU32(d); break;
    case kInput: t.typinput = DatumU32(d); break;
    case kOutput: t.typoutput = DatumU32(d); break;
    case kReceive: t.typreceive = DatumU32(d); break;
    case kSend: t.typsend = DatumU32(d); break;
    case kAnalyze: t.typanalyze = DatumU32(d); break;
    case kAlign: t.typalign = DatumChar(d); break;
    case kStorage: t.typstorage = DatumChar(d); break;
    case kNotNull: t.typnotnull = DatumBool(d); break;
    case kBaseType: t.typbasetype = DatumU32(d); break;
    case kTypmod: t.typtypmod = DatumI32(d); break;
    case kNdims: t.typndims = DatumI32(d); break;
    case kNone: break;
  }
}

// A record with every member zero, as a row without values would leave it.
TypeRecord* NewTypeRecord(uint32_t oid) {
  TypeRecord* t = ScratchNew<TypeRecord>();
  t->oid = oid;
  t->typdelim = 0;
  t->typalign = 0;
  t->typstorage = 0;
  t->typtypmod = 0;
  return t;
}

bool WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool written = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && written;
}

int ReadImageInMemory(TableReader& reader, const char* name, const uint8_t* image, size_t size) {
  reader.path = name;
  reader.SetMemoryImage(image, size);
  int status = reader.ReadTable();
  reader.SetMemoryImage(nullptr, 0);
  return status;
}

// The built-in types: where the module quorndll carries the image as a
// resource, it is extracted as the file pg_type into the module directory
// and read from there; otherwise (and when that file cannot be written) the
// image compiled into the engine is read in place.
int ReadTypeImage(TableReader& reader, uint8_t version) {
  const char* name = version == 83 ? "pg_type_data83" : "pg_type_data";
  const uint8_t* image = nullptr;
  size_t size = 0;
  if (platform::ModuleResource("quorndll.dll", name, &image, &size)) {
    const std::string& directory = Run().moduleDirectory;
    std::string path = directory + platform::kPathSeparator + "pg_type";
    if (!directory.empty() && WriteWholeFile(path, image, size)) {
      reader.path = path;
      return reader.ReadTable();
    }
    Log("Cannot create file from resource");
    return ReadImageInMemory(reader, name, image, size);
  }
  image = BuiltinTypeImage(version, &size);
  return image ? ReadImageInMemory(reader, name, image, size) : 0;
}

}  // namespace

pg_type_Table::pg_type_Table(uint8_t version) : reader_(MakeBareReader(version, this)), version_(version) {
  std::strncpy(reader_->tableName, "pg_type", sizeof reader_->tableName - 1);
  reader_->cacheRows = false;
}

int pg_type_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  if (LookupTypeByOid(oid) != nullptr) return 0;
  const auto& columns = reader_->columns;
  TypeRecord* t = NewTypeRecord(oid);
  if (CopyName(ValueAt(values, 0), columns.empty() ? nullptr : columns[0], t->typname) && version_ == 83) {
    LogFormat("83: name %s", t->typname);
  }
  for (size_t k = 1; k < values.size(); ++k) {
    if (const AttrValue* v = ValueAt(values, k)) SetTypeField(*t, FieldAt(version_, k), v->datum);
  }
  if (IsEmptyName(t->typname)) {
    GenerateName(t->typname, "some_recov_type_%i", nameCounter_, "Get NULL type name, replace with %s");
  }
  if (version_ == 83) {
    LogFormat("Found(83) type: name ={%s} owner = 0x%X typrelid = 0x%X ", t->typname, t->typowner, t->typrelid);
  } else {
    LogFormat("Found(82) type: name ={%s} owner = 0x%X typrelid = 0x%X ", t->typname, t->typowner, t->typrelid);
  }
  reader_->AddRow(t);
  byOid_.try_emplace(t->oid, t);
  byRelid_.try_emplace(t->typrelid, t);
  return 1;
}

int pg_type_Table::ReadTypes() {
  Log("-");
  Log("PG_TYPE: Read predefened types from self source");
  if (ReadTypeImage(*reader_, version_) == kStopped) return kStopped;
  Log("PG_TYPE: Read other types from source of database");
  reader_->path = Run().databaseDirectory + "1247";
  return reader_->ReadTable() == kStopped ? kStopped : 0;
}

const TypeRecord* pg_type_Table::StandInRowType(const RecoveredTable& table) {
  if (table.oid == 0 || table.reltype == 0) return nullptr;
  if (LookupTypeByOid(table.reltype) != nullptr || LookupTypeByRelid(table.oid) != nullptr) return nullptr;
  TypeRecord* t = ScratchNew<TypeRecord>();
  t->oid = table.reltype;
  std::memcpy(t->typname, table.relname, sizeof t->typname);
  t->typname[sizeof t->typname - 1] = '\0';
  t->typnamespace = table.relnamespace;
  t->typowner = table.relowner;
  t->typlen = -1;
  t->typtype = 'c';
  t->typisdefined = true;
  t->typrelid = table.oid;
  t->typalign = 'd';
  t->typstorage = 'x';
  LogFormat("Row type of table %s is lost, made from its pg_class row", t->typname);
  reader_->AddRow(t);
  byOid_.try_emplace(t->oid, t);
  byRelid_.try_emplace(t->typrelid, t);
  return t;
}

const TypeRecord* pg_type_Table::LookupTypeByOid(uint32_t oid) {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : it->second;
}

const TypeRecord* pg_type_Table::LookupTypeByRelid(uint32_t relid) {
  // Relation OIDs are never 0; every type that is not a row type has
  // typrelid 0, so that key would only find an unrelated type.
  if (relid == 0) return nullptr;
  auto it = byRelid_.find(relid);
  return it == byRelid_.end() ? nullptr : it->second;
}

}  // namespace vesk
