// Arbitrary stored bytes behind a header that matches the buffer (the record
// decoder guarantees no more): every routine must return text or null
// without reading outside the value, under the sanitizers.
#include <gtest/gtest.h>

#include <random>

#include "support/recovery_run.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::PlainOf;

TEST(DamagedValues, RandomPayloadsNeverEscapeTheirValue) {
  std::mt19937 random(8283);
  for (uint8_t version : {uint8_t{82}, uint8_t{83}}) {
    vesk::Run().version = version;
    for (int i = 0; i < 3000; ++i) {
      std::vector<uint8_t> payload(random() % 48);
      for (auto& byte : payload) byte = static_cast<uint8_t>(random());
      // Small counts and weights make the interesting paths likely.
      if (payload.size() >= 4 && random() % 2) payload[1] = payload[2] = payload[3] = 0;
      std::vector<uint8_t> stored = PlainOf(version, payload);
      // Exact-size heap copy: any overread trips the address sanitizer.
      std::vector<uint8_t> exact(stored);
      Datum d = PointerDatum(exact.data());
      int32_t typmod = static_cast<int32_t>(random() % 20) - 1;
      ScratchMark();
      if (version == 82) {
        for (auto r : {byteaout82, textout82, int2vectorout, oidvectorout}) ScratchFree(r(d));
        for (auto r : {bpcharout82, varcharout82, bit_out82, varbit_out82, numeric_out82}) ScratchFree(r(d, typmod));
      } else {
        for (auto r : {byteaout83, textout83, int2vectorout, oidvectorout}) ScratchFree(r(d));
        for (auto r : {bpcharout83, varcharout83, bit_out83, varbit_out83, numeric_out83}) ScratchFree(r(d, typmod));
      }
      ScratchReleaseToMark();
    }
  }
  vesk::Run().version = 82;
}

TEST(DamagedValues, FixedSizeValuesReadOnlyTheirBytes) {
  std::mt19937 random(1);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> bytes(8);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    std::vector<uint8_t> four(bytes.begin(), bytes.begin() + 4), six(bytes.begin(), bytes.begin() + 6);
    ScratchMark();
    ScratchFree(int8out(PointerDatum(bytes.data())));
    ScratchFree(float8out(PointerDatum(bytes.data())));
    ScratchFree(cash_out83(PointerDatum(bytes.data())));
    ScratchFree(float4out(PointerDatum(four.data())));
    ScratchFree(cash_out82(PointerDatum(four.data())));
    ScratchFree(tidout(PointerDatum(six.data())));
    ScratchReleaseToMark();
  }
}

}  // namespace
}  // namespace vesk
