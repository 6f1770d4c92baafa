// Output routines of the date and time types (ISO style, floating-point
// storage).
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk {

char* date_out(Datum d);
char* time_out(Datum d, int32_t typmod);
char* timetz_out(Datum d, int32_t typmod);
char* timestamp_out(Datum d, int32_t typmod);
char* timestamptz_out(Datum d, int32_t typmod);
char* interval_out(Datum d, int32_t typmod);
char* abstime_out(Datum d);
char* reltime_out(Datum d);
char* tinterval_out(Datum d);

}  // namespace vesk
