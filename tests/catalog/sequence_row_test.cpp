// A sequence's one row, read from the real fixtures' a_sequence in both
// layouts and from damaged copies of it: a row that cannot be what the
// server wrote gives no sequence rather than numbers already handed out.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalog/sequence_row.h"
#include "catalog_test_util.h"
#include "common/log_capture.h"

namespace vesk {
namespace {

struct Layout {
  const char* file;  // a_sequence of the fixture database
  uint8_t version;
  uint32_t headerSize;
  uint32_t hoffAt;  // t_hoff within the tuple header
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutI64(std::vector<uint8_t>& page, size_t at, int64_t value) { std::memcpy(page.data() + at, &value, 8); }

TEST(SequenceRow, DamagedRowsGiveNoSequence) {
  const Layout layouts[] = {{"pg82/base/16388/16489", 82, 20, 26}, {"pg83/base/16585/16707", 83, 24, 22}};
  struct Case {
    const char* what;
    long at;  // from the row's data start; -1: the page's special space; -2: empty file
    int64_t value;
    bool readable;
  };
  const Case cases[] = {
      {"as stored", 0, 0, true},     {"no sequence magic", -1, 0, false}, {"increment zero", 72, 0, false},
      {"maximum below minimum", 80, 0, false}, {"cache zero", 96, 0, false},  {"no row at all", -2, 0, false},
  };
  for (const Layout& layout : layouts) {
    const std::vector<uint8_t> original = ReadBytes(testing::SharedDir() + "/fixtures/" + layout.file);
    if (original.size() != 8192) GTEST_SKIP() << "shared fixtures not found at " << testing::SharedDir();
    uint32_t pointer = 0;
    std::memcpy(&pointer, original.data() + layout.headerSize, 4);
    const size_t tuple = pointer & 0x7FFF;
    const size_t data = tuple + original[tuple + layout.hoffAt];
    for (const Case& c : cases) {
      testing::ScratchDirectory dir("sequence_row");
      std::vector<uint8_t> page = original;
      if (c.at == -1) PutI64(page, 8184, 0);
      if (c.at > 0) PutI64(page, data + static_cast<size_t>(c.at), c.value);
      if (c.at == -2) page.clear();
      std::ofstream(dir.File("16489"), std::ios::binary).write(reinterpret_cast<const char*>(page.data()),
                                                               static_cast<std::streamsize>(page.size()));
      testing::LogCapture log;
      SequenceState state;
      EXPECT_EQ(ReadSequenceState(16489, "a_sequence", layout.version, state), c.readable)
          << layout.version << " " << c.what;
      if (!c.readable) continue;
      EXPECT_EQ(state.lastValue, 1);
      EXPECT_EQ(state.incrementBy, 1);
      EXPECT_EQ(state.maxValue, INT64_MAX);
      EXPECT_EQ(state.minValue, 1);
      EXPECT_EQ(state.cacheValue, 1);
      EXPECT_FALSE(state.isCycled);
      EXPECT_FALSE(state.isCalled);
    }
  }
}

}  // namespace
}  // namespace vesk
