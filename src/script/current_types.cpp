#include "script/current_types.h"

#include "catalog/catalog_values.h"
#include "catalog/schema_rules.h"
#include "script/base_type.h"
#include "script/type_name.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "types/registry/type_output.h"

namespace vesk {
namespace {

// OIDs below this are the server's own, assigned by initdb.
constexpr uint32_t kFirstNormalOid = 16384;

constexpr uint32_t kAbstimeOid = 702;
constexpr uint32_t kReltimeOid = 703;
constexpr uint32_t kTintervalOid = 704;
constexpr uint32_t kUnknownOid = 705;

std::string CommentText(const char* text) {
  char safe[kNameSize];
  WriteCommentSafe(safe, text, sizeof safe);
  return safe;
}

}  // namespace

bool TargetsCurrentServer() { return Run().options.targetServer == VESK_TARGET_CURRENT; }

bool IsUserBaseType(const TypeRecord& type) {
  return type.typtype == 'b' && type.oid >= kFirstNormalOid && !IsArrayTypeRecord(type);
}

const char* CurrentServerStandIn(const TypeRecord& type) {
  switch (type.oid) {
    case kAbstimeOid: return "timestamp with time zone";
    case kReltimeOid: return "interval";
    case kTintervalOid:
    case kUnknownOid: return "text";
    default: return IsUserBaseType(type) ? "text" : nullptr;
  }
}

const TypeRecord* ElementTypeBehind(uint32_t typeOid) {
  int32_t typmod = -1;
  const TypeRecord* type = ResolveDomain(LookupType(typeOid), typmod);
  if (type != nullptr && IsArrayTypeRecord(*type)) type = ResolveDomain(LookupType(type->typelem), typmod);
  return type;
}

bool NoteStandIn(std::string& comment, const char* columnName, uint32_t typeOid, uint8_t version) {
  if (!TargetsCurrentServer()) return false;
  const TypeRecord* type = ElementTypeBehind(typeOid);
  const char* standIn = type != nullptr ? CurrentServerStandIn(*type) : nullptr;
  if (standIn == nullptr) return false;
  const std::string column = CommentText(columnName);
  const std::string name = CommentText(type->typname);
  if (!IsUserBaseType(*type)) {
    LogFormat("Column %s: type %s, which current servers lack, is declared as %s", column.c_str(), name.c_str(),
              standIn);
    comment += "-- Column " + column + ": type " + name + ", which current servers lack, is declared as " +
               standIn + "\n";
    return true;
  }
  const bool knownText = FindOutputRoutine(version, type->typoutput) != nullptr;
  const char* held = knownText ? "its values' text" : "its values' stored bytes in hex (\\x...)";
  LogFormat("Column %s: base type %s cannot be created by the script, declared as text holding %s",
            column.c_str(), name.c_str(), held);
  comment += "-- Column " + column + ": base type " + name + " cannot be created by this script; declared as " +
             "text holding " + held + "\n";
  return true;
}

}  // namespace vesk
