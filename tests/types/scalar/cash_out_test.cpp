#include <gtest/gtest.h>

#include <limits>

#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::BytesOfValue;
using testing::Stored;
using testing::Take;

// The test program runs in the C locale: no monetary conventions set.
std::optional<std::string> Cash82(int32_t cents) { return Take(cash_out82(Stored(BytesOfValue(cents)).datum())); }
std::optional<std::string> Cash83(int64_t cents) { return Take(cash_out83(Stored(BytesOfValue(cents)).datum())); }

TEST(CashOut82, DollarsWithGroupsAndSign) {
  EXPECT_EQ(Cash82(123456), "$1,234.56");
  EXPECT_EQ(Cash82(-123456), "-$1,234.56");
  EXPECT_EQ(Cash82(0), "$0.00");
  EXPECT_EQ(Cash82(-5), "-$0.05");
  EXPECT_EQ(Cash82(1), "$0.01");
  EXPECT_EQ(Cash82(100000), "$1,000.00");
  EXPECT_EQ(Cash82(std::numeric_limits<int32_t>::max()), "$21,474,836.47");
  EXPECT_EQ(Cash82(std::numeric_limits<int32_t>::min()), "-$21,474,836.48");
}

TEST(CashOut83, WholeEightByteAmount) {
  EXPECT_EQ(Cash83(123456), "1,234.56");
  EXPECT_EQ(Cash83(-1), "-0.01");
  EXPECT_EQ(Cash83(123456789012), "1,234,567,890.12");
  EXPECT_EQ(Cash83(std::numeric_limits<int64_t>::max()), "92,233,720,368,547,758.07");
  EXPECT_EQ(Cash83(std::numeric_limits<int64_t>::min()), "-92,233,720,368,547,758.08");
  // The upper half matters: only the low four bytes would read as 1 cent.
  EXPECT_EQ(Cash83((int64_t{1} << 32) + 1), "42,949,672.97");
}

}  // namespace
}  // namespace vesk
