#include "types/registry/stored_form.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "support/recovery_run.h"
#include "types/scalar/var_bytes.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint32_t kBoolOid = 16;
constexpr uint32_t kDateOid = 1082;
constexpr uint32_t kTimeOid = 1083;
constexpr uint32_t kTimestampOid = 1114;
constexpr uint32_t kTimestampTzOid = 1184;
constexpr uint32_t kTimeTzOid = 1266;
constexpr uint32_t kNumericOid = 1700;

// Days from 2000-01-01 back to Julian day 0 (4714-11-24 BC), the first day a
// date can hold, and forward to the last Julian day an int32 holds.
constexpr int64_t kFirstDate = -2451545;
constexpr int64_t kLastDate = INT32_MAX - 2451545;
// Seconds from 2000-01-01 to the first and to beyond the last timestamp the
// server's Julian day arithmetic accepts (4714 BC to 5874897 AD).
constexpr double kFirstSeconds = -211813488000.0;
constexpr double kLastSeconds = 186000000000000.0;
constexpr int64_t kFirstMicroseconds = -211813488000000000;
constexpr double kDaySeconds = 86400.0;
constexpr int64_t kDayMicroseconds = 86400000000;
// Time zone displacements stay below 16 hours.
constexpr int32_t kZoneLimit = 16 * 3600;

int64_t Int64At(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
double DoubleAt(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Date/time values are float8 seconds or int64 microseconds. While the
// storage is only assumed, a value either of them allows is kept.
bool FloatStorage(bool* certain) {
  const DatabaseSettings& s = Run().settings;
  *certain = s.datetimeSource != SettingSource::kDefault;
  return !s.integerDatetimes;
}

bool TimestampPossible(const uint8_t* p) {
  bool certain = false;
  const bool floats = FloatStorage(&certain);
  const double seconds = DoubleAt(p);
  const bool asFloat = std::isinf(seconds) || (seconds >= kFirstSeconds && seconds <= kLastSeconds);
  const int64_t micro = Int64At(p);
  const bool asInteger = micro == INT64_MIN || micro >= kFirstMicroseconds;
  if (certain) return floats ? asFloat : asInteger;
  return asFloat || asInteger;
}

bool TimePossible(const uint8_t* p) {
  bool certain = false;
  const bool floats = FloatStorage(&certain);
  const double seconds = DoubleAt(p);
  const bool asFloat = seconds >= 0.0 && seconds <= kDaySeconds;
  const int64_t micro = Int64At(p);
  const bool asInteger = micro >= 0 && micro <= kDayMicroseconds;
  if (certain) return floats ? asFloat : asInteger;
  return asFloat || asInteger;
}

// A numeric as the server's make_result leaves it: a known sign, digits
// below 10000, no leading or trailing zero digit, zero as positive weight 0,
// NaN without digits.
const char* NumericProblem(uint8_t version, Datum datum) {
  scalar::VarBytes bytes;
  if (!scalar::InlineBytes(version, datum, bytes)) return nullptr;
  if (bytes.size < 4 || bytes.size % 2 != 0) return "numeric of impossible length";
  const uint16_t signAndScale = ReadU16(bytes.data + (version == 83 ? 0 : 2));
  const int16_t weight = ReadI16(bytes.data + (version == 83 ? 2 : 0));
  const uint16_t sign = signAndScale & 0xC000;
  const uint32_t ndigits = (bytes.size - 4) / 2;
  if (sign == 0x8000) return "numeric with an unknown sign";
  if (sign == 0xC000) return ndigits == 0 ? nullptr : "numeric NaN with digits";
  if (ndigits == 0) return sign == 0 && weight == 0 ? nullptr : "numeric zero not in its one form";
  for (uint32_t i = 0; i < ndigits; ++i) {
    if (ReadU16(bytes.data + 4 + 2 * i) >= 10000) return "numeric digit of 10000 or more";
  }
  if (ReadU16(bytes.data + 4) == 0 || ReadU16(bytes.data + 4 + 2 * (ndigits - 1)) == 0) {
    return "numeric with untrimmed zero digits";
  }
  return nullptr;
}

}  // namespace

const char* StoredFormProblem(uint8_t version, const CatalogColumnDesc& column, Datum datum) {
  // A column description that disagrees with the type's own storage is
  // judged elsewhere; these rules hold only for the stored form they know.
  const uint8_t* p = DatumPointer(datum);
  switch (column.atttypid) {
    case kBoolOid:
      if (column.attlen != 1 || !column.attbyval) return nullptr;
      return datum <= 1 ? nullptr : "boolean neither true nor false";
    case kDateOid: {
      if (column.attlen != 4 || !column.attbyval) return nullptr;
      const auto days = static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(datum)));
      return days >= kFirstDate && days <= kLastDate ? nullptr : "date before the first Julian day";
    }
    case kTimestampOid:
    case kTimestampTzOid:
      if (column.attlen != 8 || column.attbyval || p == nullptr) return nullptr;
      return TimestampPossible(p) ? nullptr : "timestamp out of range";
    case kTimeOid:
      if (column.attlen != 8 || column.attbyval || p == nullptr) return nullptr;
      return TimePossible(p) ? nullptr : "time of day out of range";
    case kTimeTzOid: {
      if (column.attlen != 12 || column.attbyval || p == nullptr) return nullptr;
      int32_t zone;
      std::memcpy(&zone, p + 8, sizeof zone);
      if (zone <= -kZoneLimit || zone >= kZoneLimit) return "time zone displacement out of range";
      return TimePossible(p) ? nullptr : "time of day out of range";
    }
    case kNumericOid:
      if (column.attlen != -1 || column.attbyval) return nullptr;
      return NumericProblem(version, datum);
    default:
      return nullptr;
  }
}

bool HasStoredFormRule(uint32_t typeOid) {
  switch (typeOid) {
    case kBoolOid:
    case kDateOid:
    case kTimestampOid:
    case kTimestampTzOid:
    case kTimeOid:
    case kTimeTzOid:
    case kNumericOid:
      return true;
    default:
      return false;
  }
}

}  // namespace vesk
