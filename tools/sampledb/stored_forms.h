// The stored bytes of the values the sample database holds, as a server of
// either layout and either date/time storage writes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "heapbuilder/heap_builder.h"

namespace vesk::sampledb {

// Days since 2000-01-01 of a calendar date.
int32_t DaysSince2000(int year, int month, int day);
// A date column value.
heapbuilder::Value Date(int year, int month, int day);
// A timestamp column value: seconds since 2000-01-01 00:00 as a float8, or
// with `integer` whole microseconds as an int64.
heapbuilder::Value Timestamp(int year, int month, int day, int hour, int minute, double second,
                             bool integer = false);
// A numeric value from its decimal text ("-12.50") with `dscale` digits
// after the point; the text must carry at most that many. 8.2 stores the
// weight before the sign-and-scale word, 8.3 after it.
heapbuilder::Value Numeric(heapbuilder::Layout layout, const std::string& text, int dscale);
// A one-dimensional text[] (lower bound 1); nullopt elements are NULL.
heapbuilder::Value TextArray(heapbuilder::Layout layout, const std::vector<std::optional<std::string>>& elements);

}  // namespace vesk::sampledb
