#include "types/registry/output_tables.h"

#include "types/array/array_out.h"
#include "types/datetime/datetime_out.h"
#include "types/geometric/geometric_out.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/text_search_out.h"

namespace vesk::registry {
namespace {

// Routines both layouts share: the stored forms of these types did not
// change between 8.2 and 8.3.
OutputRoutine FindShared(uint32_t key) {
  switch (key) {
    case 16: return [](Datum d, int32_t) { return boolout(d); };
    case 18: return [](Datum d, int32_t) { return charout(d); };
    case 19: return [](Datum d, int32_t) { return nameout(d); };
    case 20: return [](Datum d, int32_t) { return int8out(d); };
    case 21: return [](Datum d, int32_t) { return int2out(d); };
    case 22: return [](Datum d, int32_t) { return int2vectorout(d); };
    case 23: return [](Datum d, int32_t) { return int4out(d); };
    case 26: return [](Datum d, int32_t) { return oidout(d); };
    case 27: return [](Datum d, int32_t) { return tidout(d); };
    case 28: return [](Datum d, int32_t) { return xidout(d); };
    case 29: return [](Datum d, int32_t) { return cidout(d); };
    case 30: return [](Datum d, int32_t) { return oidvectorout(d); };
    case 600: return [](Datum d, int32_t) { return point_out(d); };
    case 601: return [](Datum d, int32_t) { return lseg_out(d); };
    case 603: return [](Datum d, int32_t) { return box_out(d); };
    case 628: return [](Datum d, int32_t) { return line_out(d); };
    case 700: return [](Datum d, int32_t) { return float4out(d); };
    case 701: return [](Datum d, int32_t) { return float8out(d); };
    case 702: return [](Datum d, int32_t) { return abstime_out(d); };
    case 703: return [](Datum d, int32_t) { return reltime_out(d); };
    case 704: return [](Datum d, int32_t) { return tinterval_out(d); };
    case 705: return [](Datum d, int32_t) { return unknownout(d); };
    case 718: return [](Datum d, int32_t) { return circle_out(d); };
    case 829: return [](Datum d, int32_t) { return macaddr_out(d); };
    case 1082: return [](Datum d, int32_t) { return date_out(d); };
    case 1083: return [](Datum d, int32_t typmod) { return time_out(d, typmod); };
    case 1114: return [](Datum d, int32_t typmod) { return timestamp_out(d, typmod); };
    case 1184: return [](Datum d, int32_t typmod) { return timestamptz_out(d, typmod); };
    case 1186: return [](Datum d, int32_t typmod) { return interval_out(d, typmod); };
    case 1266: return [](Datum d, int32_t typmod) { return timetz_out(d, typmod); };
    default: return nullptr;
  }
}

// Array types the 8.3 table names outright; other 8.3 arrays are recognised
// through the type catalog.
bool IsListedArray83(uint32_t key) {
  switch (key) {
    case 651: case 750: case 1000: case 1001: case 1002: case 1003: case 1005:
    case 1006: case 1007: case 1009: case 1014: case 1015: case 1016: case 1017:
    case 1018: case 1019: case 1020: case 1021: case 1022: case 1023: case 1024:
    case 1025: case 1026: case 1027: case 1028: case 1040: case 1041: case 1231:
    case 1263: case 1561: case 1563:
      return true;
    default:
      return false;
  }
}

}  // namespace

OutputRoutine FindRoutine82(uint32_t key) {
  switch (key) {
    case 17: return [](Datum d, int32_t) { return byteaout82(d); };
    case 25: return [](Datum d, int32_t) { return textout82(d); };
    case 602: return [](Datum d, int32_t) { return path_out82(d); };
    case 604: return [](Datum d, int32_t) { return poly_out82(d); };
    case 650: return [](Datum d, int32_t) { return cidr_out82(d); };
    case 751: return [](Datum d, int32_t) { return array_out82(d); };  // output procedure of every array type
    case 790: return [](Datum d, int32_t) { return cash_out82(d); };
    case 869: return [](Datum d, int32_t) { return inet_out82(d); };
    case 1042: return [](Datum d, int32_t typmod) { return bpcharout82(d, typmod); };
    case 1043: return [](Datum d, int32_t typmod) { return varcharout82(d, typmod); };
    case 1560: return [](Datum d, int32_t typmod) { return bit_out82(d, typmod); };
    case 1562: return [](Datum d, int32_t typmod) { return varbit_out82(d, typmod); };
    case 1700: return [](Datum d, int32_t typmod) { return numeric_out82(d, typmod); };
    case 2293: return [](Datum d, int32_t) { return cstring_out(d); };  // output procedure of cstring
    default: return FindShared(key);
  }
}

OutputRoutine FindRoutine83(uint32_t key) {
  switch (key) {
    case 17: return [](Datum d, int32_t) { return byteaout83(d); };
    case 25: return [](Datum d, int32_t) { return textout83(d); };
    case 602: return [](Datum d, int32_t) { return path_out83(d); };
    case 604: return [](Datum d, int32_t) { return poly_out83(d); };
    case 650: return [](Datum d, int32_t) { return cidr_out83(d); };
    case 790: return [](Datum d, int32_t) { return cash_out83(d); };
    case 869: return [](Datum d, int32_t) { return inet_out83(d); };
    case 1042: return [](Datum d, int32_t typmod) { return bpcharout83(d, typmod); };
    case 1043: return [](Datum d, int32_t typmod) { return varcharout83(d, typmod); };
    case 1560: return [](Datum d, int32_t typmod) { return bit_out83(d, typmod); };
    case 1562: return [](Datum d, int32_t typmod) { return varbit_out83(d, typmod); };
    case 1700: return [](Datum d, int32_t typmod) { return numeric_out83(d, typmod); };
    case 2950: return [](Datum d, int32_t) { return uuid_out(d); };
    case 3614: return [](Datum d, int32_t) { return tsvectorout(d); };
    case 3615: return [](Datum d, int32_t) { return tsqueryout(d); };
    default:
      if (IsListedArray83(key)) return [](Datum d, int32_t) { return array_out83(d); };
      return FindShared(key);
  }
}

bool Route82(uint32_t key, Datum d, int32_t typmod, char*& text) {
  OutputRoutine routine = FindRoutine82(key);
  if (routine == nullptr) return false;
  text = routine(d, typmod);
  return true;
}

bool Route83(uint32_t key, Datum d, int32_t typmod, char*& text) {
  OutputRoutine routine = FindRoutine83(key);
  if (routine == nullptr) return false;
  text = routine(d, typmod);
  return true;
}

}  // namespace vesk::registry
