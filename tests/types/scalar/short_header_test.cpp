// 8.3 values with a 1-byte header are read where they are stored: every
// payload size the form allows must give the same value as the 4-byte form,
// through a text, a binary and a numeric routine, and leave no block behind.
#include <gtest/gtest.h>

#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::Bytes;
using testing::Plain83;
using testing::Short83;
using testing::Stored;
using testing::Take;

TEST(ShortHeader83, EveryPayloadSizeReadsLikeTheLongForm) {
  int32_t live = ScratchLiveCount();
  for (size_t size = 0; size <= 126; ++size) {
    std::string value;
    for (size_t i = 0; i < size; ++i) value += static_cast<char>('a' + i % 26);
    std::vector<uint8_t> payload = Bytes(value);
    EXPECT_EQ(Take(textout83(Stored(Short83(payload)).datum())), value) << size;
    EXPECT_EQ(Take(byteaout83(Stored(Short83(payload)).datum())), Take(byteaout83(Stored(Plain83(payload)).datum())))
        << size;
  }
  EXPECT_EQ(ScratchLiveCount(), live);
}

TEST(ShortHeader83, NumericReadInPlace) {
  // 12.50: ndigits 2 (0012, 5000), weight 0, dscale 2, sign positive.
  std::vector<uint8_t> payload;
  testing::PutU16(payload, 2);  // sign and dscale
  testing::PutU16(payload, 0);  // weight
  testing::PutU16(payload, 12);
  testing::PutU16(payload, 5000);
  EXPECT_EQ(Take(numeric_out83(Stored(Short83(payload)).datum(), -1)), "12.50");
  EXPECT_EQ(Take(numeric_out83(Stored(Plain83(payload)).datum(), -1)), "12.50");
}

}  // namespace
}  // namespace vesk
