#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_test_support.h"

namespace vesk {
namespace {

// Random stored values whose header agrees with the bytes the decoder let
// through (as it does after its length check), each in a heap block of
// exactly that size: every form must be refused or rebuilt without touching
// a byte outside the block. No catalogs are loaded, so pointers lead nowhere.
TEST(DamagedValues, RandomHeadersOfBothLayoutsStayInsideTheValue) {
  toasttest::ScratchDatabase db;
  std::mt19937 random(7);
  int32_t live = ScratchLiveCount();
  for (int round = 0; round < 3000; ++round) {
    uint32_t size = 1 + random() % 64;
    auto value = std::make_unique<uint8_t[]>(size);
    for (uint32_t i = 0; i < size; ++i) value[i] = static_cast<uint8_t>(random());
    uint8_t* result = nullptr;
    if (round % 2 == 0) {
      if (size < 4) continue;
      uint32_t header = size | (static_cast<uint32_t>(random() % 4) << 30);
      std::memcpy(value.get(), &header, 4);
      result = pg_detoast_datum(value.get());
    } else {
      switch (random() % 3) {
        case 0: value[0] = 0x01; if (size > 1) value[1] = static_cast<uint8_t>(size); break;
        case 1: value[0] = static_cast<uint8_t>((std::min<uint32_t>(size, 127) << 1) | 1); break;
        default:
          if (size < 4) continue;
          uint32_t header = (size << 2) | (random() % 2 ? 2u : 0u);
          std::memcpy(value.get(), &header, 4);
      }
      if (value[0] == 0x01 && size < 2) continue;
      result = ExpandShortVarlena(value.get());
    }
    if (result != value.get()) ScratchFree(result);
  }
  EXPECT_EQ(ScratchLiveCount(), live);
}

}  // namespace
}  // namespace vesk
