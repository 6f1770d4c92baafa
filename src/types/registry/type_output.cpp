#include "types/registry/type_output.h"

#include "catalog/catalog_readers.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "types/array/array_out.h"
#include "types/registry/output_tables.h"
#include "types/registry/record_out.h"
#include "types/scalar/text_search_out.h"

namespace vesk {

using registry::Route82;
using registry::Route83;

namespace {

// A damaged type catalog can lead a lookup back to a type already visited
// (a record whose output procedure is its own OID, domains over each other).
// Real chains are a domain or two deep.
constexpr int kMaxFallbackDepth = 8;

constexpr uint32_t kTextOid = 25;
constexpr uint32_t kUnknownOid = 705;
constexpr uint32_t kBpcharOid = 1042;
constexpr uint32_t kVarcharOid = 1043;
constexpr uint32_t kNumericOid = 1700;
constexpr uint32_t kCstringOid = 2275;

char* OutputAt(uint8_t version, uint32_t typeOid, Datum d, int32_t typmod, int depth);

bool IsDomain(const TypeRecord& type) { return type.typtype == 'd' && type.typbasetype != 0; }

// Variable-length types with an element type are arrays; name and point
// have an element type too but a fixed length.
bool IsArray(const TypeRecord& type) { return type.typelem != 0 && type.typlen == -1; }

char* CatalogFallback(uint32_t typeOid, Datum d, int32_t typmod, uint8_t version, int depth) {
  Log("Cant define type, try find it in pg_types");
  if (depth >= kMaxFallbackDepth) {
    LogNumber("Type lookup goes round in circles, give up at Oid", static_cast<int>(typeOid));
    return nullptr;
  }
  const TypeRecord* type = FindTypeByOid(typeOid);
  if (!type) {
    Log("Not Found, return NULL");
    return nullptr;
  }
  LogNumber("Found type", static_cast<int>(type->typoutput));
  // A domain's output procedure is its base type's, which the tables key by
  // type OID only: print it as the base type, with the domain's modifier
  // when the column carries none.
  if (IsDomain(*type)) {
    return OutputAt(version, type->typbasetype, d, typmod >= 0 ? typmod : type->typtypmod, depth + 1);
  }
  // Row and enum values are printed from the catalogs: the columns of the
  // type's relation, the labels of pg_enum.
  if (type->typtype == 'c') return record_out(version, *type, d);
  if (type->typtype == 'e' && version == 83) return enum_out(d);
  if (version == 83) {
    if (IsArray(*type)) return array_out83(d);
    Log("Not Found, return NULL");
    return nullptr;
  }
  return OutputAt(version, type->typoutput, d, typmod, depth + 1);
}

char* OutputAt(uint8_t version, uint32_t typeOid, Datum d, int32_t typmod, int depth) {
  char* text = nullptr;
  bool routed = version == 83 ? Route83(typeOid, d, typmod, text) : Route82(typeOid, d, typmod, text);
  if (routed) return text;
  LogFormat("Find new type. Oid = %i", static_cast<int>(typeOid));
  return CatalogFallback(typeOid, d, typmod, version, depth);
}

// Lookup without the log lines of FindTypeByOid.
const TypeRecord* QuietLookup(uint32_t typeOid) {
  pg_type_Table* types = Run().types;
  return types ? types->LookupTypeByOid(typeOid) : nullptr;
}

}  // namespace

char* TypeOutput82(uint32_t typeOid, Datum d, int32_t typmod) { return OutputAt(82, typeOid, d, typmod, 0); }

char* TypeOutput83(uint32_t typeOid, Datum d, int32_t typmod) { return OutputAt(83, typeOid, d, typmod, 0); }

char* TypeOutputByCatalog(uint32_t typeOid, Datum d, int32_t typmod, uint8_t version) {
  return CatalogFallback(typeOid, d, typmod, version, 0);
}

char* TypeOutput(uint8_t version, uint32_t typeOid, Datum d, int32_t typmod) {
  return version == 83 ? TypeOutput83(typeOid, d, typmod) : TypeOutput82(typeOid, d, typmod);
}

OutputRoutine FindOutputRoutine(uint8_t version, uint32_t typeOid) {
  return version == 83 ? registry::FindRoutine83(typeOid) : registry::FindRoutine82(typeOid);
}

const TypeRecord* FindTypeByOid(uint32_t typeOid) {
  const TypeRecord* type = QuietLookup(typeOid);
  if (!type) LogNumber("Cant find type with Oid ", static_cast<int>(typeOid));
  return type;
}

uint32_t ResolveDomainType(uint32_t typeOid) {
  for (int depth = 0; depth < kMaxFallbackDepth; ++depth) {
    const TypeRecord* type = QuietLookup(typeOid);
    if (!type || !IsDomain(*type)) return typeOid;
    typeOid = type->typbasetype;
  }
  return typeOid;
}

bool OutputIsEscaped(uint8_t version, uint32_t typeOid) {
  switch (ResolveDomainType(typeOid)) {
    case kTextOid:
    case kBpcharOid:
    case kVarcharOid:
      return version != 83;
    case kUnknownOid:
    case kCstringOid:
    case kNumericOid:
      return true;
    default:
      return false;
  }
}

}  // namespace vesk
