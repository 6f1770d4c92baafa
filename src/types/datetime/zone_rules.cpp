#include "types/datetime/zone_rules.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

constexpr size_t kHeaderSize = 44;
// The header plus as much body as the state can hold; a longer file is read
// only this far.
constexpr size_t kMaxFileRead = 7944;
constexpr size_t kMaxPath = 260;

int32_t BigEndian32(const uint8_t* p) {
  uint32_t v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  return static_cast<int32_t>(v);
}

// Reads the zone file into `buf`; the number of bytes, or -1.
long ReadZoneFile(uint8_t* buf) {
  std::string path = Run().moduleDirectory;
  path += platform::kPathSeparator;
  path += "adds";
  path += platform::kPathSeparator;
  path += "Greenwich";
  if (path.size() >= kMaxPath) return -1;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  size_t n = std::fread(buf, 1, kMaxFileRead, f);
  bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) return -1;
  return static_cast<long>(n);
}

// Sequential reader over the body; the size check before the body is read
// guarantees every Take stays inside the bytes read.
struct BodyCursor {
  const uint8_t* p;
  int32_t Int() {
    int32_t v = BigEndian32(p);
    p += 4;
    return v;
  }
  uint8_t Byte() { return *p++; }
};

bool ReadIndicators(BodyCursor& body, int32_t count, ZoneState& state, bool isStd) {
  for (int32_t i = 0; i < state.typecnt; ++i) {
    int32_t flag = 0;
    if (count != 0) {
      uint8_t b = body.Byte();
      if (b > 1) return false;
      flag = b;
    }
    (isStd ? state.ttis[i].ttisstd : state.ttis[i].ttisgmt) = flag;
  }
  return true;
}

bool ReadBody(BodyCursor& body, int32_t stdcnt, int32_t gmtcnt, ZoneState& state) {
  for (int32_t i = 0; i < state.timecnt; ++i) state.ats[i] = body.Int();
  for (int32_t i = 0; i < state.timecnt; ++i) {
    state.types[i] = body.Byte();
    if (state.types[i] >= state.typecnt) return false;
  }
  for (int32_t i = 0; i < state.typecnt; ++i) {
    ZoneType& tt = state.ttis[i];
    tt.gmtoff = body.Int();
    tt.isdst = body.Byte();
    if (tt.isdst > 1) return false;
    tt.abbrind = body.Byte();
    if (tt.abbrind > state.charcnt) return false;
  }
  for (int32_t i = 0; i < state.charcnt; ++i) state.chars[i] = static_cast<char>(body.Byte());
  state.chars[state.charcnt] = '\0';
  for (int32_t i = 0; i < state.leapcnt; ++i) {
    state.lsis[i].trans = body.Int();
    state.lsis[i].corr = body.Int();
  }
  return ReadIndicators(body, stdcnt, state, true) && ReadIndicators(body, gmtcnt, state, false);
}

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Leap days in years 1..y (proleptic Gregorian; y may be negative).
int64_t LeapsThroughEndOf(int64_t y) {
  auto floorDiv = [](int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); };
  return floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400);
}

// Correction and leap-second count at `t`: the last record not after t.
void FindLeap(int32_t t, const ZoneState& state, int64_t& corr, int32_t& hit) {
  corr = 0;
  hit = 0;
  int32_t count = state.leapcnt < 0 ? 0 : (state.leapcnt > kMaxLeaps ? kMaxLeaps : state.leapcnt);
  for (int32_t i = count - 1; i >= 0; --i) {
    const LeapRecord& lp = state.lsis[i];
    if (t < lp.trans) continue;
    if (t == lp.trans) {
      bool inserted = i == 0 ? lp.corr > 0 : lp.corr > state.lsis[i - 1].corr;
      if (inserted) {
        hit = 1;
        for (int32_t j = i; j > 0 && int64_t{state.lsis[j].trans} == int64_t{state.lsis[j - 1].trans} + 1 &&
                            int64_t{state.lsis[j].corr} == int64_t{state.lsis[j - 1].corr} + 1;
             --j) {
          ++hit;
        }
      }
    }
    corr = lp.corr;
    return;
  }
}

ZoneState& UtcState() {
  static ZoneState* state = new ZoneState();
  return *state;
}
bool utcLoaded = false;
CalendarFields sharedFields;

}  // namespace

int LoadZoneFile(const char* /*name*/, ZoneState& state) {
  uint8_t buf[kMaxFileRead];
  long got = ReadZoneFile(buf);
  if (got < static_cast<long>(kHeaderSize)) return -1;
  int32_t gmtcnt = BigEndian32(buf + 20);
  int32_t stdcnt = BigEndian32(buf + 24);
  int32_t leapcnt = BigEndian32(buf + 28);
  int32_t timecnt = BigEndian32(buf + 32);
  int32_t typecnt = BigEndian32(buf + 36);
  int32_t charcnt = BigEndian32(buf + 40);
  if (leapcnt < 0 || leapcnt > kMaxLeaps) return -1;
  if (typecnt < 1 || typecnt > kMaxTypes) return -1;
  if (timecnt < 0 || timecnt > kMaxTimes) return -1;
  if (charcnt < 0 || charcnt > kMaxFileChars) return -1;
  if ((stdcnt != 0 && stdcnt != typecnt) || (gmtcnt != 0 && gmtcnt != typecnt)) return -1;
  int64_t need = int64_t{timecnt} * 5 + int64_t{typecnt} * 6 + charcnt + int64_t{leapcnt} * 8 + stdcnt + gmtcnt;
  if (got - static_cast<long>(kHeaderSize) < need) return -1;
  state.leapcnt = leapcnt;
  state.timecnt = timecnt;
  state.typecnt = typecnt;
  state.charcnt = charcnt;
  BodyCursor body{buf + kHeaderSize};
  return ReadBody(body, stdcnt, gmtcnt, state) ? 0 : -1;
}

int ParseZoneString(const char* name, ZoneState& state, bool lastDitch) {
  if (!lastDitch || !name) return -1;
  size_t len = std::strlen(name);
  if (len > kMaxChars - 1) len = kMaxChars - 1;
  if (LoadZoneFile("posixrules", state) != 0) state.leapcnt = 0;
  state.typecnt = 1;
  state.timecnt = 0;
  state.ttis[0] = ZoneType{};
  int32_t charcnt = static_cast<int32_t>(len) + 1;
  if (charcnt > kMaxChars) return -1;
  state.charcnt = charcnt;
  std::memcpy(state.chars, name, len);
  state.chars[len] = '\0';
  return 0;
}

void SecondsToCalendar(int32_t t, int32_t offset, const ZoneState& state, CalendarFields& out) {
  int64_t corr = 0;
  int32_t hit = 0;
  FindLeap(t, state, corr, hit);
  // 64-bit, and normalised by division: a corrupt correction cannot overflow
  // or make the day loop long.
  int64_t days = t / 86400;
  int64_t rem = t % 86400 + int64_t{offset} - corr;
  int64_t shift = rem / 86400 - (rem % 86400 < 0 ? 1 : 0);
  days += shift;
  rem -= shift * 86400;
  out.hour = static_cast<int32_t>(rem / 3600);
  out.min = static_cast<int32_t>(rem % 3600 / 60);
  out.sec = static_cast<int32_t>(rem % 60) + hit;
  out.wday = static_cast<int32_t>(((days + 4) % 7 + 7) % 7);
  int64_t y = 1970;
  while (days < 0 || days >= (IsLeapYear(y) ? 366 : 365)) {
    int64_t newy = y + days / 365 - (days < 0 ? 1 : 0);
    days -= (newy - y) * 365 + LeapsThroughEndOf(newy - 1) - LeapsThroughEndOf(y - 1);
    y = newy;
  }
  out.year = static_cast<int32_t>(y - 1900);
  out.yday = static_cast<int32_t>(days);
  static constexpr int32_t kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                                {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
  const int32_t* lengths = kMonthDays[IsLeapYear(y) ? 1 : 0];
  int32_t mon = 0;
  while (mon < 11 && days >= lengths[mon]) days -= lengths[mon++];
  out.mon = mon;
  out.mday = static_cast<int32_t>(days) + 1;
  out.isdst = 0;
  out.gmtoff = offset;
}

const CalendarFields* pg_gmtime(int32_t t) {
  ZoneState& state = UtcState();
  if (!utcLoaded) {
    // Set first: a failed load is not retried, the built-in zone stays.
    utcLoaded = true;
    if (LoadZoneFile("GMT", state) != 0) ParseZoneString("GMT", state, true);
  }
  SecondsToCalendar(t, 0, state, sharedFields);
  sharedFields.zone = state.chars;
  return &sharedFields;
}

void ResetUtcZoneForTest() {
  utcLoaded = false;
  UtcState() = ZoneState{};
}

}  // namespace vesk
