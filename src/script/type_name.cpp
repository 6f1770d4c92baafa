#include "script/type_name.h"

#include <cstdio>
#include <string_view>

#include "catalog/catalog_readers.h"
#include "script/base_type.h"
#include "script/current_types.h"
#include "script/user_types.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/registry/type_output.h"

namespace vesk {
namespace {

void AppendFormat(std::string& out, const char* format, int value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  out += buffer;
}

// Character and numeric modifiers carry a 4-byte header allowance; anything
// below one real unit cannot have come from the server.
bool CheckedLength(int32_t typmod, int32_t& length) {
  length = typmod - 4;
  if (length >= 1) return true;
  LogFormat("Invalid typemod %i, cant rightly defenit type!", typmod);
  return false;
}

// The built-in types live in the server's own catalog schema, which the
// script does not recreate: they come out unqualified.
void AppendQuotedName(std::string& out, const TypeRecord& type) { AppendQualifiedTypeName(out, type); }

// A precision together with fields is written after the fields, the only
// spelling current servers read ("interval(3) day to second" is a syntax
// error there and would lose the whole table). Only seconds have a
// precision, so with other fields it says nothing and is left out.
void AppendIntervalName(std::string& out, int32_t typmod) {
  out += "interval";
  if (typmod < 0) return;
  int precision = typmod & 0xFFFF;
  std::string_view fields = IntervalFieldText(typmod);
  out += fields;
  bool seconds = fields.empty() || fields.ends_with("second");
  if (precision != 0xFFFF && seconds) AppendFormat(out, "(%d)", precision);
}

bool AppendNumericName(std::string& out, int32_t typmod) {
  if (typmod < 0) {
    out += "numeric";
    return true;
  }
  int32_t length = 0;
  if (!CheckedLength(typmod, length)) return false;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "numeric(%d,%d)", (length >> 16) & 0xFFFF, length & 0xFFFF);
  out += buffer;
  return true;
}

bool AppendCharacterName(std::string& out, const TypeRecord& type, int32_t typmod, const char* bare,
                         const char* sized) {
  if (typmod < 0) {
    if (bare != nullptr) {
      out += bare;
    } else {
      AppendQuotedName(out, type);
    }
    return true;
  }
  int32_t length = 0;
  if (!CheckedLength(typmod, length)) return false;
  AppendFormat(out, sized, length);
  return true;
}

// "time(%d) without time zone" and its kin: the modifier is the precision.
void AppendTimeName(std::string& out, int32_t typmod, const char* base, const char* zone) {
  out += base;
  if (typmod >= 0) AppendFormat(out, "(%d)", typmod);
  out += zone;
}

bool AppendBaseName(std::string& out, const TypeRecord& type, int32_t typmod) {
  if (TargetsCurrentServer()) {
    if (const char* standIn = CurrentServerStandIn(type)) {
      out += standIn;
      return true;
    }
  }
  switch (type.oid) {
    case 16: out += "boolean"; return true;
    case 20: out += "bigint"; return true;
    case 21: out += "smallint"; return true;
    case 23: out += "integer"; return true;
    case 700: out += "real"; return true;
    case 701: out += "double precision"; return true;
    case 1042: return AppendCharacterName(out, type, typmod, nullptr, "character(%d)");
    case 1043: return AppendCharacterName(out, type, typmod, "character varying", "character varying(%d)");
    case 1083: AppendTimeName(out, typmod, "time", " without time zone"); return true;
    case 1114: AppendTimeName(out, typmod, "timestamp", " without time zone"); return true;
    case 1184: AppendTimeName(out, typmod, "timestamp", " with time zone"); return true;
    case 1186: AppendIntervalName(out, typmod); return true;
    case 1266: AppendTimeName(out, typmod, "time", " with time zone"); return true;
    case 1560:
      if (typmod < 0) {
        AppendQuotedName(out, type);
      } else {
        AppendFormat(out, "bit(%d)", typmod);
      }
      return true;
    case 1562:
      out += "bit varying";
      if (typmod >= 0) AppendFormat(out, "(%d)", typmod);
      return true;
    case 1700: return AppendNumericName(out, typmod);
    default: break;
  }
  // An enum or composite type the script did not create: as text its
  // columns still load and keep the value's text.
  if ((type.typtype == 'c' || type.typtype == 'e') && !IsDefinedUserType(type.oid)) {
    out += QuoteName("text");
  } else {
    AppendQuotedName(out, type);
  }
  return true;
}

}  // namespace

void AppendQualifiedTypeName(std::string& out, const TypeRecord& type) {
  pg_namespace_Table* namespaces = Run().namespaces;
  const char* schema = namespaces != nullptr ? namespaces->FindSchemaName(type.typnamespace) : nullptr;
  if (schema != nullptr) {
    out += QuoteName(schema);
    out += '.';
  }
  out += QuoteName(type.typname);
}

bool IsArrayTypeRecord(const TypeRecord& type) {
  return type.typelem != 0 && type.typstorage != 'p' && type.typtype != 'd';
}

const char* IntervalFieldText(int32_t typmod) {
  switch ((typmod >> 16) & 0x7FFF) {
    case 2: return " month";
    case 4: return " year";
    case 6: return " year to month";
    case 8: return " day";
    case 1024: return " hour";
    case 1032: return " day to hour";
    case 2048: return " minute";
    case 3072: return " hour to minute";
    case 3080: return " day to minute";
    case 4096: return " second";
    case 6144: return " minute to second";
    case 7168: return " hour to second";
    case 7176: return " day to second";
    case 0x7FFF: return "";
    default:
      LogFormat("invalid INTERVAL typmod: 0x%x", static_cast<unsigned>(typmod));
      return "";
  }
}

bool AppendTypeName(std::string& out, uint32_t typeOid, int32_t typmod) {
  const TypeRecord* type = FindTypeByOid(typeOid);
  if (type == nullptr) return false;
  type = ResolveDomain(type, typmod);
  if (type == nullptr) return false;
  bool array = IsArrayTypeRecord(*type);
  if (array) {
    type = LookupType(type->typelem);
    if (type == nullptr) return false;
  }
  if (!AppendBaseName(out, *type, typmod)) return false;
  if (array) out += "[]";
  return true;
}

char* FormatTypeName(uint32_t typeOid, int32_t typmod) {
  std::string name;
  if (!AppendTypeName(name, typeOid, typmod)) return nullptr;
  return ScratchDup(name.c_str());
}

}  // namespace vesk
