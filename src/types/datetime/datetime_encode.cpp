#include "types/datetime/datetime_encode.h"

#include <cmath>
#include <cstdlib>

#include "support/logger.h"

namespace vesk {
namespace {

// Printed year: positive years as they are, year 0 and before as BC years.
int64_t DisplayYear(int32_t year) { return year > 0 ? year : 1 - int64_t{year}; }

// A field of the compact interval form: "[ ][+]N unit[s]".
void AppendIntervalField(DateText& text, int32_t value, const char* unit, bool& before, bool& nonzero) {
  if (value == 0) return;
  if (nonzero) text.AppendChar(' ');
  if (before && value > 0) text.AppendChar('+');
  text.AppendInt(value);
  text.AppendChar(' ');
  text.Append(unit);
  if (value != 1) text.AppendChar('s');
  before = value < 0;
  nonzero = true;
}

int64_t Magnitude(int32_t v) { return v < 0 ? -int64_t{v} : v; }

}  // namespace

void EncodeTimezone(DateText& text, int32_t zone) {
  text.AppendChar(zone <= 0 ? '+' : '-');
  uint32_t s = zone < 0 ? 0u - static_cast<uint32_t>(zone) : static_cast<uint32_t>(zone);
  uint32_t hour = s / 3600;
  uint32_t min = s / 60 % 60;
  uint32_t sec = s % 60;
  if (hour > 24 || min > 60 || sec > 60) {
    Log("Error in EncodeTimezone, return 0");
    text.AppendChar('0');
    return;
  }
  text.AppendPadded(hour, 2);
  if (sec != 0) {
    text.AppendChar(':');
    text.AppendPadded(min, 2);
    text.AppendChar(':');
    text.AppendPadded(sec, 2);
  } else if (min != 0) {
    text.AppendChar(':');
    text.AppendPadded(min, 2);
  }
}

int EncodeDateOnly(const TimeFields& tm, DateText& text) {
  if (tm.mon < 1 || tm.mon > 12) return -1;
  text.AppendPadded(DisplayYear(tm.year), 4);
  text.AppendChar('-');
  text.AppendPadded(tm.mon, 2);
  text.AppendChar('-');
  text.AppendPadded(tm.mday, 2);
  if (tm.year <= 0) text.Append(" BC");
  return 0;
}

int EncodeTimeOnly(const TimeFields& tm, double fsec, const int32_t* zone, DateText& text) {
  // A negative fraction (a stored time just below midnight's zero) is no
  // clock time either; printed, it would not load back.
  if (tm.hour < 0 || tm.hour > 24 || tm.min < 0 || tm.min > 60 || tm.sec < 0 || tm.sec > 60 || fsec < 0) {
    return -1;
  }
  text.AppendPadded(tm.hour, 2);
  text.AppendChar(':');
  text.AppendPadded(tm.min, 2);
  text.AppendChar(':');
  if (fsec != 0) {
    text.AppendFixed(tm.sec + fsec, 13, 10);
    text.TrimTrailingZeros();
  } else {
    text.AppendPadded(tm.sec, 2);
  }
  if (zone) EncodeTimezone(text, *zone);
  return 1;
}

void EncodeDateTime(const TimeFields& tm, double fsec, const int32_t* zone, DateText& text) {
  text.AppendPadded(DisplayYear(tm.year), 4);
  text.AppendChar('-');
  text.AppendPadded(tm.mon, 2);
  text.AppendChar('-');
  text.AppendPadded(tm.mday, 2);
  text.AppendChar(' ');
  text.AppendPadded(tm.hour, 2);
  text.AppendChar(':');
  text.AppendPadded(tm.min, 2);
  text.AppendChar(':');
  // Fractions are printed before year 1 too: the stored double still holds
  // them to well under a millisecond there, and dropping them would move the
  // recovered instant.
  if (fsec != 0) {
    text.AppendFixed(tm.sec + fsec, 9, 6);
    text.TrimTrailingZeros();
  } else {
    text.AppendPadded(tm.sec, 2);
  }
  if (zone && tm.isdst >= 0) EncodeTimezone(text, *zone);
  if (tm.year <= 0) text.Append(" BC");
}

void EncodeInterval(const TimeFields& tm, double fsec, DateText& text) {
  bool before = false;
  bool nonzero = false;
  AppendIntervalField(text, tm.year, "year", before, nonzero);
  AppendIntervalField(text, tm.mon, "mon", before, nonzero);
  AppendIntervalField(text, tm.mday, "day", before, nonzero);
  if (nonzero && tm.hour == 0 && tm.min == 0 && tm.sec == 0 && fsec == 0) return;
  bool minus = tm.hour < 0 || tm.min < 0 || tm.sec < 0 || fsec < 0;
  if (nonzero) text.AppendChar(' ');
  if (minus) {
    text.AppendChar('-');
  } else if (before) {
    text.AppendChar('+');
  }
  text.AppendPadded(Magnitude(tm.hour), 2);
  text.AppendChar(':');
  text.AppendPadded(Magnitude(tm.min), 2);
  text.AppendChar(':');
  if (fsec != 0) {
    size_t piece = text.size();
    text.AppendFixed(std::fabs(fsec + tm.sec), 12, 9);
    text.TrimTrailingZeros(piece);
  } else {
    text.AppendPadded(Magnitude(tm.sec), 2);
  }
}

bool EncodeSpecialTimestamp(double value, DateText& text) {
  if (value == -HUGE_VAL) {
    text.Append("-infinity");
    return true;
  }
  if (value == HUGE_VAL) {
    text.Append("infinity");
    return true;
  }
  return false;
}

bool EncodeSpecialTimestamp64(int64_t value, DateText& text) {
  if (value == INT64_MIN) {
    text.Append("-infinity");
    return true;
  }
  if (value == INT64_MAX) {
    text.Append("infinity");
    return true;
  }
  return false;
}

}  // namespace vesk
