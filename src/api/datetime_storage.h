// How the database stores timestamp, time, timetz and interval, judged from
// stored values of the user tables' date/time columns.
#pragma once

#include <cstdint>

namespace vesk {

// What one stored 8-byte date/time word says: +1 integer microseconds,
// -1 float8 seconds, 0 either (or neither).
int DatetimeWordVote(uint64_t word);

// With the catalogs in Run(): unless the caller forced the storage, reads a
// bounded sample of stored values; when they agree, and there is no control
// file or they contradict it, records the storage as detected. Logs the
// evidence.
void SettleDatetimeStorage();

}  // namespace vesk
