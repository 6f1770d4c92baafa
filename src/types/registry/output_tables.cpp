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
bool RouteShared(uint32_t key, Datum d, int32_t typmod, char*& text) {
  switch (key) {
    case 16: text = boolout(d); return true;
    case 18: text = charout(d); return true;
    case 19: text = nameout(d); return true;
    case 20: text = int8out(d); return true;
    case 21: text = int2out(d); return true;
    case 22: text = int2vectorout(d); return true;
    case 23: text = int4out(d); return true;
    case 26: text = oidout(d); return true;
    case 27: text = tidout(d); return true;
    case 28: text = xidout(d); return true;
    case 29: text = cidout(d); return true;
    case 30: text = oidvectorout(d); return true;
    case 600: text = point_out(d); return true;
    case 601: text = lseg_out(d); return true;
    case 603: text = box_out(d); return true;
    case 628: text = line_out(d); return true;
    case 700: text = float4out(d); return true;
    case 701: text = float8out(d); return true;
    case 702: text = abstime_out(d); return true;
    case 703: text = reltime_out(d); return true;
    case 704: text = tinterval_out(d); return true;
    case 705: text = unknownout(d); return true;
    case 718: text = circle_out(d); return true;
    case 829: text = macaddr_out(d); return true;
    case 1082: text = date_out(d); return true;
    case 1083: text = time_out(d, typmod); return true;
    case 1114: text = timestamp_out(d, typmod); return true;
    case 1184: text = timestamptz_out(d, typmod); return true;
    case 1186: text = interval_out(d, typmod); return true;
    case 1266: text = timetz_out(d, typmod); return true;
    default: return false;
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

bool Route82(uint32_t key, Datum d, int32_t typmod, char*& text) {
  switch (key) {
    case 17: text = byteaout82(d); return true;
    case 25: text = textout82(d); return true;
    case 602: text = path_out82(d); return true;
    case 604: text = poly_out82(d); return true;
    case 650: text = cidr_out82(d); return true;
    case 751: text = array_out82(d); return true;  // output procedure of every array type
    case 790: text = cash_out82(d); return true;
    case 869: text = inet_out82(d); return true;
    case 1042: text = bpcharout82(d, typmod); return true;
    case 1043: text = varcharout82(d, typmod); return true;
    case 1560: text = bit_out82(d, typmod); return true;
    case 1562: text = varbit_out82(d, typmod); return true;
    case 1700: text = numeric_out82(d, typmod); return true;
    case 2293: text = cstring_out(d); return true;  // output procedure of cstring
    default: return RouteShared(key, d, typmod, text);
  }
}

bool Route83(uint32_t key, Datum d, int32_t typmod, char*& text) {
  switch (key) {
    case 17: text = byteaout83(d); return true;
    case 25: text = textout83(d); return true;
    case 602: text = path_out83(d); return true;
    case 604: text = poly_out83(d); return true;
    case 650: text = cidr_out83(d); return true;
    case 790: text = cash_out83(d); return true;
    case 869: text = inet_out83(d); return true;
    case 1042: text = bpcharout83(d, typmod); return true;
    case 1043: text = varcharout83(d, typmod); return true;
    case 1560: text = bit_out83(d, typmod); return true;
    case 1562: text = varbit_out83(d, typmod); return true;
    case 1700: text = numeric_out83(d, typmod); return true;
    case 2950: text = uuid_out(d); return true;
    case 3614: text = tsvectorout(d); return true;
    case 3615: text = tsqueryout(d); return true;
    default:
      if (IsListedArray83(key)) {
        text = array_out83(d);
        return true;
      }
      return RouteShared(key, d, typmod, text);
  }
}

}  // namespace vesk::registry
