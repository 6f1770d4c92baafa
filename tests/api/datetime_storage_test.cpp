// What one stored date/time word says about the server's storage.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "api/datetime_storage.h"

namespace vesk {
namespace {

uint64_t Bits(double d) {
  uint64_t w;
  std::memcpy(&w, &d, sizeof w);
  return w;
}
uint64_t Bits(int64_t i) { return static_cast<uint64_t>(i); }

TEST(DatetimeWordVote, FloatSecondsAndIntegerMicrosecondsTellThemselvesApart) {
  constexpr int kInt = 1, kFloat = -1, kEither = 0;
  struct {
    const char* what;
    uint64_t word;
    int vote;
  } cases[] = {
      {"2010 as float seconds", Bits(3.2e8), kFloat},
      {"2010 as integer microseconds", Bits(int64_t{320000000000000}), kInt},
      {"year 100 as float", Bits(-6.0e10), kFloat},
      {"year 100 as integer", Bits(int64_t{-60000000000000000}), kInt},
      {"noon as float (time)", Bits(43200.0), kFloat},
      {"noon as integer (time)", Bits(int64_t{43200000000}), kInt},
      {"half a second as float (interval)", Bits(0.5), kFloat},
      {"one microsecond as integer", Bits(int64_t{1}), kInt},
      {"the epoch itself", 0, kEither},
      {"'infinity' as float", Bits(std::numeric_limits<double>::infinity()), kFloat},
      {"'infinity' as integer", Bits(std::numeric_limits<int64_t>::max()), kInt},
      {"'-infinity' as integer reads as -0.0", Bits(std::numeric_limits<int64_t>::min()), kEither},
      {"NaN", Bits(std::nan("")), kEither},
      {"a float far past year 9999", Bits(1e12), kEither},
  };
  for (const auto& c : cases) EXPECT_EQ(DatetimeWordVote(c.word), c.vote) << c.what;
}

}  // namespace
}  // namespace vesk
