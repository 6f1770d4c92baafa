// Which stored values count as impossible for their type: the edges a server
// can still write are kept, the first values beyond them are not.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/recovery_run.h"
#include "types/registry/stored_form.h"

namespace vesk {
namespace {

CatalogColumnDesc Column(uint32_t type, int16_t len, bool byval) {
  CatalogColumnDesc c;
  c.atttypid = type;
  c.attlen = len;
  c.attbyval = byval;
  return c;
}

template <typename T>
std::vector<uint8_t> Bytes(T v) {
  std::vector<uint8_t> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

// A numeric with a 4-byte header in the 8.3 order (sign and scale, weight).
std::vector<uint8_t> Numeric83(uint16_t signScale, int16_t weight, std::vector<uint16_t> digits) {
  std::vector<uint8_t> b = Bytes(static_cast<uint32_t>((8 + 2 * digits.size()) << 2));
  for (uint8_t x : Bytes(signScale)) b.push_back(x);
  for (uint8_t x : Bytes(weight)) b.push_back(x);
  for (uint16_t d : digits) {
    for (uint8_t x : Bytes(d)) b.push_back(x);
  }
  return b;
}

TEST(StoredForm, ImpossibleValuesAreNamedPossibleOnesPass) {
  vesk::Run().settings = DatabaseSettings{};
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    CatalogColumnDesc column;
    std::vector<uint8_t> stored;  // empty: `byValue` is the datum
    Datum byValue;
    bool possible;
  };
  const CatalogColumnDesc boolean = Column(16, 1, true), date = Column(1082, 4, true),
                          time = Column(1083, 8, false), timestamp = Column(1114, 8, false),
                          timetz = Column(1266, 12, false), numeric = Column(1700, -1, false);
  std::vector<uint8_t> tzOk = Bytes(43200.0), tzBad = Bytes(43200.0);
  for (uint8_t x : Bytes(int32_t{-3600})) tzOk.push_back(x);
  for (uint8_t x : Bytes(int32_t{20 * 3600})) tzBad.push_back(x);
  const Case cases[] = {
      {"true", boolean, {}, 1, true},
      {"bool 2", boolean, {}, 2, false},
      {"first Julian day", date, {}, static_cast<uint32_t>(-2451545), true},
      {"day before it", date, {}, static_cast<uint32_t>(-2451546), false},
      {"2000-01-01", date, {}, 0, true},
      {"midnight", time, Bytes(0.0), 0, true},
      {"24:00:00", time, Bytes(86400.0), 0, true},
      {"negative time", time, Bytes(-1.0), 0, false},
      {"time zone -1 hour", timetz, tzOk, 0, true},
      {"time zone 20 hours", timetz, tzBad, 0, false},
      {"infinity", timestamp, Bytes(inf), 0, true},
      {"4714 BC", timestamp, Bytes(-211813488000.0), 0, true},
      {"before the Julian days", timestamp, Bytes(-1e15), 0, false},
      {"numeric 12.5", numeric, Numeric83(1, 0, {12, 5000}), 0, true},
      {"numeric zero", numeric, Numeric83(0, 0, {}), 0, true},
      {"numeric NaN", numeric, Numeric83(0xC000, 0, {}), 0, true},
      {"negative zero", numeric, Numeric83(0x4000, 0, {}), 0, false},
      {"digit 10000", numeric, Numeric83(0, 0, {10000}), 0, false},
      {"leading zero digit", numeric, Numeric83(0, 1, {0, 5}), 0, false},
      {"trailing zero digit", numeric, Numeric83(0, 1, {5, 0}), 0, false},
      {"sign 0x8000", numeric, Numeric83(0x8000, 0, {1}), 0, false},
      {"NaN with digits", numeric, Numeric83(0xC000, 0, {1}), 0, false},
  };
  for (const Case& c : cases) {
    const Datum datum = c.stored.empty() ? c.byValue : PointerDatum(c.stored.data());
    EXPECT_EQ(StoredFormProblem(83, c.column, datum) == nullptr, c.possible) << c.what;
  }
}

TEST(StoredForm, DateTimeStorageKnownJudgesByItAlone) {
  // Float seconds of a 2010 timestamp read as int64 microseconds are fine;
  // a negative float (1990) read that way is before any Julian day.
  const CatalogColumnDesc timestamp = Column(1114, 8, false);
  std::vector<uint8_t> seconds1990 = Bytes(-315532800.0);
  vesk::Run().settings = DatabaseSettings{};
  EXPECT_EQ(StoredFormProblem(83, timestamp, PointerDatum(seconds1990.data())), nullptr);
  vesk::Run().settings.integerDatetimes = true;
  vesk::Run().settings.datetimeSource = SettingSource::kControlFile;
  EXPECT_NE(StoredFormProblem(83, timestamp, PointerDatum(seconds1990.data())), nullptr);
  vesk::Run().settings = DatabaseSettings{};
}

}  // namespace
}  // namespace vesk
