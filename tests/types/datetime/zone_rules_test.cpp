#include "types/datetime/zone_rules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "datetime_test_util.h"
#include "support/recovery_run.h"
#include "types/datetime/datetime_out.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::ByValue;
using testing::LogCapture;
using testing::Text;

constexpr int32_t kJuly1972 = 78796800;  // 1972-07-01 00:00:00 UTC

// A compiled zone file (TZif, version 1 body) with the counts taken from
// its parts; tests corrupt the bytes afterwards.
struct ZoneFile {
  std::vector<int32_t> ats;
  std::vector<uint8_t> idx;
  struct Type {
    int32_t gmtoff;
    uint8_t isdst, abbrind;
  };
  std::vector<Type> types{{0, 0, 0}};
  std::string chars = "UTC";
  std::vector<std::pair<int32_t, int32_t>> leaps;
  bool indicators = true;

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = {'T', 'Z', 'i', 'f', 0};
    out.resize(20, 0);
    auto ntypes = static_cast<int32_t>(types.size());
    for (int32_t n : {indicators ? ntypes : 0, indicators ? ntypes : 0, static_cast<int32_t>(leaps.size()),
                      static_cast<int32_t>(ats.size()), ntypes, static_cast<int32_t>(chars.size())}) {
      Put(out, n);
    }
    for (int32_t t : ats) Put(out, t);
    out.insert(out.end(), idx.begin(), idx.end());
    for (const Type& t : types) {
      Put(out, t.gmtoff);
      out.push_back(t.isdst);
      out.push_back(t.abbrind);
    }
    out.insert(out.end(), chars.begin(), chars.end());
    for (auto [trans, corr] : leaps) {
      Put(out, trans);
      Put(out, corr);
    }
    if (indicators) out.insert(out.end(), 2 * types.size(), 0);
    return out;
  }
  static void Put(std::vector<uint8_t>& out, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(u >> shift));
  }
};

void SetCount(std::vector<uint8_t>& bytes, size_t offset, int32_t v) {
  std::vector<uint8_t> be;
  ZoneFile::Put(be, v);
  std::copy(be.begin(), be.end(), bytes.begin() + static_cast<long>(offset));
}

class ZoneRules : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vesk_zone_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_ / "adds");
    vesk::Run().moduleDirectory = dir_.string();
    ResetUtcZoneForTest();
  }
  void TearDown() override {
    ResetUtcZoneForTest();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::vector<uint8_t>& bytes) {
    std::ofstream out(dir_ / "adds" / "Greenwich", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  fs::path dir_;
};

std::string Clock(const CalendarFields& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year + 1900, c.mon + 1, c.mday, c.hour, c.min,
                c.sec);
  return buf;
}

TEST_F(ZoneRules, BuiltInZoneWithoutAFile) {
  const CalendarFields& c = *pg_gmtime(0);
  EXPECT_EQ(Clock(c), "1970-01-01 00:00:00");
  EXPECT_EQ(c.wday, 4);
  EXPECT_EQ(c.yday, 0);
  EXPECT_STREQ(c.zone, "GMT");
  EXPECT_EQ(c.gmtoff, 0);
  EXPECT_EQ(c.isdst, 0);
}

TEST_F(ZoneRules, PlainGregorianCalendar) {
  struct Case {
    int32_t t;
    const char* clock;
    int wday, yday;
  } cases[] = {
      {-1, "1969-12-31 23:59:59", 3, 364},
      {2147483647, "2038-01-19 03:14:07", 2, 18},
      {INT32_MIN, "1901-12-13 20:45:52", 5, 346},
      {951782400, "2000-02-29 00:00:00", 2, 59},
      {951868800, "2000-03-01 00:00:00", 3, 60},
      {-2145916800, "1902-01-01 00:00:00", 3, 0},
      {1230767999, "2008-12-31 23:59:59", 3, 365},
      {-86400, "1969-12-31 00:00:00", 3, 364},
  };
  for (const auto& c : cases) {
    const CalendarFields& f = *pg_gmtime(c.t);
    EXPECT_EQ(Clock(f), c.clock) << c.t;
    EXPECT_EQ(f.wday, c.wday) << c.t;
    EXPECT_EQ(f.yday, c.yday) << c.t;
  }
}

TEST_F(ZoneRules, ValidFileGivesItsAbbreviation) {
  ZoneFile zf;
  Write(zf.Bytes());
  EXPECT_STREQ(pg_gmtime(0)->zone, "UTC");
  EXPECT_EQ(Clock(*pg_gmtime(1201784709)), "2008-01-31 13:05:09");
}

TEST_F(ZoneRules, LeapRecordInsertsSecond60) {
  ZoneFile zf;
  zf.leaps = {{kJuly1972, 1}};
  Write(zf.Bytes());
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972 - 1)), "1972-06-30 23:59:59");
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972)), "1972-06-30 23:59:60");
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972 + 1)), "1972-07-01 00:00:00");
  EXPECT_EQ(Clock(*pg_gmtime(1201784709)), "2008-01-31 13:05:08");
  EXPECT_EQ(Text(abstime_out(ByValue(kJuly1972))), "1972-06-30 23:59:60+00");
}

TEST_F(ZoneRules, LeapRecordsInARow) {
  ZoneFile zf;
  zf.leaps = {{kJuly1972, 1}, {kJuly1972 + 1, 2}, {kJuly1972 + 200, 1}};
  Write(zf.Bytes());
  // Two inserted seconds back to back count as two hits at the second.
  EXPECT_EQ(pg_gmtime(kJuly1972 + 1)->sec, 61);
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972 + 2)), "1972-07-01 00:00:00");
  // A removed second (the correction drops) is no hit.
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972 + 200)), "1972-07-01 00:03:19");
}

TEST_F(ZoneRules, FirstRecordWithANegativeCorrectionIsNoLeapSecond) {
  ZoneFile zf;
  zf.leaps = {{kJuly1972, -1}};
  Write(zf.Bytes());
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972)), "1972-07-01 00:00:01");
}

TEST_F(ZoneRules, MalformedFilesFallBackToTheBuiltInZone) {
  struct Case {
    const char* name;
    std::function<void(ZoneFile&)> edit;
    std::function<void(std::vector<uint8_t>&)> corrupt;
  } cases[] = {
      {"no types", nullptr, [](auto& b) { SetCount(b, 36, 0); }},
      {"371 transitions", nullptr, [](auto& b) { SetCount(b, 32, 371); }},
      {"51 leaps", nullptr, [](auto& b) { SetCount(b, 28, 51); }},
      {"51 abbreviation chars", nullptr, [](auto& b) { SetCount(b, 40, 51); }},
      {"negative leap count", nullptr, [](auto& b) { SetCount(b, 28, -1); }},
      {"indicator count", nullptr, [](auto& b) { SetCount(b, 24, 2); }},
      {"type index = typecnt",
       [](ZoneFile& z) {
         z.ats = {0};
         z.idx = {1};
       },
       nullptr},
      {"daylight flag 2", [](ZoneFile& z) { z.types[0].isdst = 2; }, nullptr},
      {"abbreviation index past chars", [](ZoneFile& z) { z.types[0].abbrind = 4; }, nullptr},
      {"indicator byte 2", nullptr, [](auto& b) { b.back() = 2; }},
      {"short body", nullptr, [](auto& b) { b.pop_back(); }},
      {"short header", nullptr, [](auto& b) { b.resize(43); }},
      {"empty file", nullptr, [](auto& b) { b.clear(); }},
  };
  for (const Case& c : cases) {
    ZoneFile zf;
    zf.leaps = {{kJuly1972, 1}};
    if (c.edit) c.edit(zf);
    std::vector<uint8_t> bytes = zf.Bytes();
    if (c.corrupt) c.corrupt(bytes);
    Write(bytes);
    ResetUtcZoneForTest();
    EXPECT_STREQ(pg_gmtime(0)->zone, "GMT") << c.name;
    // No leap seconds in the built-in zone.
    EXPECT_EQ(Clock(*pg_gmtime(kJuly1972)), "1972-07-01 00:00:00") << c.name;
  }
}

TEST_F(ZoneRules, FileIsReadOncePerProcess) {
  EXPECT_STREQ(pg_gmtime(0)->zone, "GMT");  // absent at the first call
  ZoneFile zf;
  zf.leaps = {{kJuly1972, 1}};
  Write(zf.Bytes());
  EXPECT_STREQ(pg_gmtime(0)->zone, "GMT");
  EXPECT_EQ(Clock(*pg_gmtime(kJuly1972)), "1972-07-01 00:00:00");
  ResetUtcZoneForTest();
  EXPECT_STREQ(pg_gmtime(0)->zone, "UTC");
}

TEST_F(ZoneRules, LongAbbreviationIsLoggedButPrinted) {
  ZoneFile zf;
  zf.chars = "VERYLONGZONENAME";
  Write(zf.Bytes());
  LogCapture log;
  EXPECT_EQ(Text(abstime_out(ByValue(0))), "1970-01-01 00:00:00+00");
  EXPECT_TRUE(log.Has("invalid time zone name: \"VERYLONGZONENAME\""));
}

TEST_F(ZoneRules, LoadAndLastDitchDirectly) {
  ZoneFile zf;
  zf.ats = {100, 200};
  zf.idx = {1, 0};
  zf.types = {{0, 0, 0}, {3600, 1, 4}};
  zf.chars = "UTC";
  zf.chars.push_back('\0');
  zf.chars += "BST";
  zf.leaps = {{kJuly1972, 1}};
  Write(zf.Bytes());
  auto state = std::make_unique<ZoneState>();
  ASSERT_EQ(LoadZoneFile("ignored", *state), 0);
  EXPECT_EQ(state->timecnt, 2);
  EXPECT_EQ(state->typecnt, 2);
  EXPECT_EQ(state->ttis[1].gmtoff, 3600);
  EXPECT_STREQ(state->chars + state->ttis[1].abbrind, "BST");
  EXPECT_EQ(state->leapcnt, 1);

  // The fallback keeps the file's leap records but is plain UTC otherwise.
  ASSERT_EQ(ParseZoneString("GMT", *state, true), 0);
  EXPECT_EQ(state->typecnt, 1);
  EXPECT_EQ(state->timecnt, 0);
  EXPECT_EQ(state->leapcnt, 1);
  EXPECT_STREQ(state->chars, "GMT");
  EXPECT_EQ(ParseZoneString("EST5EDT", *state, false), -1);

  fs::remove(dir_ / "adds" / "Greenwich");
  EXPECT_EQ(LoadZoneFile("GMT", *state), -1);
  ASSERT_EQ(ParseZoneString("GMT", *state, true), 0);
  EXPECT_EQ(state->leapcnt, 0);
}

TEST_F(ZoneRules, AbsurdCorrectionsStayInRange) {
  ZoneFile zf;
  zf.leaps = {{INT32_MIN, INT32_MAX}, {0, INT32_MIN}};
  Write(zf.Bytes());
  for (int32_t t : {INT32_MIN, -1, 0, 1, INT32_MAX}) {
    const CalendarFields& c = *pg_gmtime(t);
    EXPECT_GE(c.mon, 0);
    EXPECT_LE(c.mon, 11);
    EXPECT_GE(c.mday, 1);
    EXPECT_LE(c.mday, 31);
    EXPECT_GE(c.hour, 0);
    EXPECT_LE(c.hour, 23);
  }
}

}  // namespace
}  // namespace vesk
