#include "types/datetime/datetime_out.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/datetime/datetime_convert.h"
#include "types/datetime/datetime_encode.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr int32_t kAbstimeInvalid = 0x7FFFFFFE;
constexpr int32_t kAbstimeInfinity = 0x7FFFFFFC;
constexpr int32_t kAbstimeMinusInfinity = INT32_MIN;

const char kMissValue[] = "ERROR while out type, MISS value";

char* Miss() {
  LogError(kMissValue);
  return nullptr;
}

// The finished text in tracked scratch memory, or null (logged) when the
// allocation is refused or the text did not fit.
char* Result(const DateText& text) {
  if (text.cut()) return Miss();
  try {
    return ScratchDup(text.c_str());
  } catch (const ScratchException&) {
    return Miss();
  }
}

int32_t ByValue32(Datum d) { return static_cast<int32_t>(static_cast<uint32_t>(d)); }

// The server build decides how every timestamp, time and interval quantity
// is stored; one run reads one database, so the setting holds for all.
bool IntegerStorage() { return Run().settings.integerDatetimes; }

// The time-of-day fields of a stored time or timetz.
int ClockFields(const uint8_t* p, TimeFields& tm, double& fsec) {
  return IntegerStorage() ? time2tm_int64(ReadI64(p), tm, fsec) : time2tm(ReadF64(p), tm, fsec);
}

// time and timetz: null (logged) when the stored value does not make a clock
// time. An empty text would be quoted as '' and make the whole INSERT fail
// on load, losing the row's other values too.
char* ClockText(const uint8_t* p, const int32_t* zone) {
  TimeFields tm;
  double fsec = 0;
  DateText text;
  if (ClockFields(p, tm, fsec) != 0 || EncodeTimeOnly(tm, fsec, zone, text) < 0) {
    LogFormat("time out of range");
    return nullptr;
  }
  return Result(text);
}

// Shared by timestamp and timestamptz; `withZone` marks the value as UTC.
char* TimestampText(const uint8_t* p, bool withZone) {
  DateText text;
  bool encoded = false;
  if (IntegerStorage()) {
    const int64_t value = ReadI64(p);
    if (EncodeSpecialTimestamp64(value, text)) return Result(text);
    encoded = EncodeTimestamp64(value, withZone, text);
  } else {
    const double value = ReadF64(p);
    if (EncodeSpecialTimestamp(value, text)) return Result(text);
    encoded = EncodeTimestamp(value, withZone, text);
  }
  if (!encoded) {
    LogFormat("timestamp out of range");
    return withZone ? Miss() : nullptr;
  }
  return Result(text);
}

void AppendAbstime(int32_t value, DateText& text) {
  switch (value) {
    case kAbstimeMinusInfinity:
      text.Append("-infinity");
      return;
    case kAbstimeInfinity:
      text.Append("infinity");
      return;
    case kAbstimeInvalid:
      text.Append("invalid");
      return;
    default:
      break;
  }
  TimeFields tm;
  int32_t zone = 0;
  abstime2tm(value, tm, zone);
  EncodeDateTime(tm, 0, &zone, text);
}

}  // namespace

namespace {

// 0001-01-01 00:00:00 and 9999-12-31 23:59:59, in seconds from 2000-01-01.
constexpr double kFirstPlainSecond = -63082281600.0;
constexpr double kLastPlainSecond = 252455615999.0;
constexpr int64_t kSecondsPerDayInt = 86400;

char* PutTwo(char* out, int64_t v) {
  out[0] = static_cast<char>('0' + v / 10);
  out[1] = static_cast<char>('0' + v % 10);
  return out + 2;
}

// A whole second of years 1 to 9999, counted from 2000-01-01.
size_t PlainSecondsText(int64_t seconds, bool withZone, char* buffer) {
  int64_t days = seconds / kSecondsPerDayInt;
  int64_t time = seconds % kSecondsPerDayInt;
  if (time < 0) {
    time += kSecondsPerDayInt;
    days -= 1;
  }
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  j2date(static_cast<uint32_t>(days + kJulianOf2000), year, month, day);
  char* out = PutTwo(PutTwo(buffer, year / 100), year % 100);
  *out++ = '-';
  out = PutTwo(out, month);
  *out++ = '-';
  out = PutTwo(out, day);
  *out++ = ' ';
  out = PutTwo(out, time / 3600);
  *out++ = ':';
  out = PutTwo(out, time / 60 % 60);
  *out++ = ':';
  out = PutTwo(out, time % 60);
  if (withZone) {
    std::memcpy(out, "+00", 3);
    out += 3;
  }
  *out = '\0';
  return static_cast<size_t>(out - buffer);
}

// Most stored timestamps are whole seconds of years 1 to 9999: their fields
// come from integer arithmetic, with the text the field-by-field encoding
// would give.
bool EncodeWholeSeconds(double value, bool withZone, DateText& text) {
  char buffer[kWholeSecondsCapacity];
  const size_t length = WholeSecondsText(value, withZone, buffer);
  if (length == 0) return false;
  text.Append(std::string_view(buffer, length));
  return true;
}

}  // namespace

size_t WholeSecondsText(double value, bool withZone, char* buffer) {
  if (!(value >= kFirstPlainSecond && value <= kLastPlainSecond) || value != std::floor(value)) return 0;
  return PlainSecondsText(static_cast<int64_t>(value), withZone, buffer);
}

size_t WholeSecondsText64(int64_t value, bool withZone, char* buffer) {
  if (value % kUsecsPerSecond != 0) return 0;
  const int64_t seconds = value / kUsecsPerSecond;
  if (seconds < static_cast<int64_t>(kFirstPlainSecond) || seconds > static_cast<int64_t>(kLastPlainSecond)) {
    return 0;
  }
  return PlainSecondsText(seconds, withZone, buffer);
}

bool EncodeTimestamp(double value, bool withZone, DateText& text) {
  return EncodeWholeSeconds(value, withZone, text) || EncodeTimestampFields(value, withZone, text);
}

bool EncodeTimestamp64(int64_t value, bool withZone, DateText& text) {
  char buffer[kWholeSecondsCapacity];
  if (const size_t length = WholeSecondsText64(value, withZone, buffer)) {
    text.Append(std::string_view(buffer, length));
    return true;
  }
  return EncodeTimestampFields64(value, withZone, text);
}

bool EncodeTimestampFields64(int64_t value, bool withZone, DateText& text) {
  TimeFields tm;
  double fsec = 0;
  if (timestamp2tm_int64(value, withZone, tm, fsec) != 0) return false;
  int32_t zone = 0;
  EncodeDateTime(tm, fsec, withZone ? &zone : nullptr, text);
  return true;
}

bool EncodeTimestampFields(double value, bool withZone, DateText& text) {
  TimeFields tm;
  double fsec = 0;
  if (timestamp2tm(value, withZone, tm, fsec) != 0) return false;
  int32_t zone = 0;
  EncodeDateTime(tm, fsec, withZone ? &zone : nullptr, text);
  return true;
}

void EncodeDate(Datum d, DateText& text) {
  TimeFields tm;
  j2date(static_cast<uint32_t>(d) + static_cast<uint32_t>(kJulianOf2000), tm.year, tm.mon, tm.mday);
  EncodeDateOnly(tm, text);
}

char* date_out(Datum d) {
  DateText text;
  EncodeDate(d, text);
  return Result(text);
}

char* time_out(Datum d, int32_t /*typmod*/) {
  if (d == 0) return Miss();
  return ClockText(DatumPointer(d), nullptr);
}

char* timetz_out(Datum d, int32_t /*typmod*/) {
  if (d == 0) return Miss();
  const uint8_t* p = DatumPointer(d);
  int32_t zone = ReadI32(p + 8);
  return ClockText(p, &zone);
}

char* timestamp_out(Datum d, int32_t /*typmod*/) {
  if (d == 0) return Miss();
  return TimestampText(DatumPointer(d), false);
}

char* timestamptz_out(Datum d, int32_t /*typmod*/) {
  if (d == 0) return Miss();
  return TimestampText(DatumPointer(d), true);
}

char* interval_out(Datum d, int32_t /*typmod*/) {
  if (d == 0) return Miss();
  const uint8_t* p = DatumPointer(d);
  TimeFields tm;
  double fsec = 0;
  const int converted = IntegerStorage() ? interval2tm_int64(ReadI64(p), ReadI32(p + 8), ReadI32(p + 12), tm, fsec)
                                         : interval2tm(ReadF64(p), ReadI32(p + 8), ReadI32(p + 12), tm, fsec);
  if (converted != 0) {
    LogFormat("could not convert interval to tm");
    return nullptr;
  }
  DateText text;
  EncodeInterval(tm, fsec, text);
  if (text.cut()) {
    LogFormat("could not format interval");
    return nullptr;
  }
  return Result(text);
}

char* abstime_out(Datum d) {
  // A current server declares abstime columns timestamp with time zone,
  // which has no invalid value: the value is lost rather than the row.
  if (ByValue32(d) == kAbstimeInvalid && Run().options.targetServer == VESK_TARGET_CURRENT) {
    Log("abstime value 'invalid' has no timestamp with time zone equivalent, return NULL");
    return nullptr;
  }
  DateText text;
  AppendAbstime(ByValue32(d), text);
  return Result(text);
}

char* reltime_out(Datum d) {
  TimeFields tm;
  reltime2tm(ByValue32(d), tm);
  DateText text;
  EncodeInterval(tm, 0, text);
  return Result(text);
}

char* tinterval_out(Datum d) {
  if (d == 0) return Miss();
  const uint8_t* p = DatumPointer(d);
  DateText text;
  text.Append("[\"");
  if (ReadI32(p) == 0) {
    // The servers print an invalid interval this way; it is a value, not a
    // loss.
    text.Append("Undefined Range");
  } else {
    AppendAbstime(ReadI32(p + 4), text);
    text.Append("\" \"");
    AppendAbstime(ReadI32(p + 8), text);
  }
  text.Append("\"]");
  return Result(text);
}

}  // namespace vesk
