// Fixed-size geometric types (point, lseg, box, circle, line) and the
// variable-length ones (path, polygon) in both layouts.
#include <cstring>
#include <string>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/geometric/geometric_out.h"
#include "types/geometric/output_guard.h"
#include "types/geometric/path_encode.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint32_t kPathHeader = 16;     // length, count, closed flag, padding
constexpr uint32_t kPolygonHeader = 40;  // length, count, bounding box
constexpr uint32_t kPointSize = 16;

// The plain 4-byte-header form of a stored path or polygon, and whether it
// is a copy that must be released.
struct PlainValue {
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;
  bool owned = false;
};

PlainValue Expand(Datum d, uint8_t version) {
  const uint8_t* stored = DatumPointer(d);
  PlainValue v;
  if (!stored) return v;
  v.bytes = version == 83 ? ExpandShortVarlena(stored) : pg_detoast_datum(stored);
  if (!v.bytes) return v;
  v.owned = v.bytes != stored;
  v.size = version == 83 ? VarSize83(v.bytes) : VarSize82(v.bytes);
  return v;
}

// Point count of a path or polygon, checked against the stored length so
// that a damaged count can never send the walk past the value. -1 when the
// value cannot be printed (logged).
int32_t CheckedPointCount(const PlainValue& v, uint32_t header) {
  if (v.size < header) {
    LogErrorNumber("Invalid length", static_cast<int>(v.size));
    return -1;
  }
  int32_t count = ReadI32(v.bytes + 4);
  uint32_t room = (v.size - header) / kPointSize;
  if (count < 0 || static_cast<uint32_t>(count) > room) {
    LogErrorNumber("Invalid number of points", count);
    return -1;
  }
  if (count == 0) {
    // The servers refuse such values on input, so printing empty brackets
    // would make the whole row fail to load.
    Log("Path or polygon without points, return NULL");
    return -1;
  }
  return count;
}

char* PointsOut(Datum d, uint8_t version, bool polygon) {
  PlainValue v = Expand(d, version);
  if (!v.bytes) return nullptr;
  char* text = nullptr;
  try {
    uint32_t header = polygon ? kPolygonHeader : kPathHeader;
    int32_t count = CheckedPointCount(v, header);
    if (count > 0) {
      int kind = kPathClosed;
      if (!polygon && ReadI32(v.bytes + 8) == 0) kind = kPathOpen;
      text = path_encode(v.bytes + header, kind, count);
    }
  } catch (...) {
    if (v.owned) ScratchFree(v.bytes);
    throw;
  }
  if (v.owned) ScratchFree(v.bytes);
  return text;
}

char* FixedPoints(Datum d, int kind, int32_t count) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardedOutput([&] { return path_encode(p, kind, count); });
}

}  // namespace

char* point_out(Datum d) { return FixedPoints(d, kPathBare, 1); }
char* lseg_out(Datum d) { return FixedPoints(d, kPathOpen, 2); }
// The servers print a box as its two corners without enclosing parentheses.
char* box_out(Datum d) { return FixedPoints(d, kPathBare, 2); }

char* path_out82(Datum d) {
  return GuardedOutput([&] { return PointsOut(d, 82, false); });
}
char* path_out83(Datum d) {
  return GuardedOutput([&] { return PointsOut(d, 83, false); });
}
char* poly_out82(Datum d) {
  return GuardedOutput([&] { return PointsOut(d, 82, true); });
}
char* poly_out83(Datum d) {
  return GuardedOutput([&] { return PointsOut(d, 83, true); });
}

char* circle_out(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardedOutput([&] {
    char centre[64];
    pair_encode(ReadF64(p), ReadF64(p + 8), centre);
    char radius[kCoordinateCapacity];
    coordinate_encode(ReadF64(p + 16), radius);
    std::string text = std::string("<(") + centre + ")," + radius + ">";
    return ScratchDup(text.c_str());
  });
}

char* line_out(Datum) {
  Log("!!! NOT supported type LINE");
  return nullptr;
}

}  // namespace vesk
