// The control file reader on the real clusters' files and on damaged copies
// of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/fixture_files.h"
#include "storage/control_file.h"

namespace vesk {
namespace {

std::vector<uint8_t> FixtureControlFile(const std::string& fixture) {
  const std::string root = testing::FixturePath(fixture);
  if (root.empty()) return {};
  std::ifstream in(root + "/global/pg_control", std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(ControlFileCrc, MatchesTheServersTableDrivenCrc) {
  const char text[] = "123456789";
  EXPECT_EQ(ControlFileCrc(std::span(reinterpret_cast<const uint8_t*>(text), 9)), 0xC40ED0B0u);
  EXPECT_EQ(ControlFileCrc({}), 0u);
}

struct FixtureCase {
  const char* fixture;
  uint32_t version, maxAlign, toastChunk;
  bool integerDatetimes;
  uint32_t timeWidth;
  uint32_t nextXid;
};

class ControlFileFixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ControlFileFixtureTest, ReadsTheClustersValues) {
  const FixtureCase& c = GetParam();
  std::vector<uint8_t> bytes = FixtureControlFile(c.fixture);
  if (bytes.empty()) GTEST_SKIP() << "fixture " << c.fixture << " not available";
  ControlFile f = ParseControlFile(bytes);
  ASSERT_EQ(f.status, ControlFileStatus::kValid) << f.problem;
  EXPECT_EQ(f.version, c.version);
  EXPECT_EQ(f.maxAlign, c.maxAlign);
  EXPECT_EQ(f.floatFormat, 1234567.0);
  EXPECT_EQ(f.blockSize, 8192u);
  EXPECT_EQ(f.segmentPages, 131072u);
  EXPECT_EQ(f.nameDataLen, 64u);
  EXPECT_EQ(f.toastMaxChunkSize, c.toastChunk);
  EXPECT_EQ(f.integerDatetimes, c.integerDatetimes);
  EXPECT_EQ(f.timeWidth, c.timeWidth);
  EXPECT_EQ(f.nextXid, c.nextXid);
}

INSTANTIATE_TEST_SUITE_P(Clusters, ControlFileFixtureTest,
                         ::testing::Values(FixtureCase{"pg82", 822, 8, 0, false, 8, 675},
                                           FixtureCase{"pg83", 833, 8, 1996, false, 8, 538},
                                           FixtureCase{"pg83i", 833, 8, 1996, true, 8, 450},
                                           FixtureCase{"pg83-32", 833, 4, 2000, false, 4, 451}),
                         [](const auto& p) {
                           std::string name = p.param.fixture;
                           for (char& ch : name) if (ch == '-') ch = '_';
                           return name;
                         });

// Offsets in the 64-bit 8.3 server's struct, where the damage goes.
constexpr size_t kVersionAt = 8, kMaxAlignAt = 96, kFloatAt = 104, kBlockSizeAt = 112, kToastAt = 136,
                 kIntTimesAt = 140, kCrcAt = 404;

struct DamageCase {
  const char* what;
  void (*damage)(std::vector<uint8_t>&);
  ControlFileStatus expected;
};

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void Reseal(std::vector<uint8_t>& b) { Put32(b, kCrcAt, ControlFileCrc(std::span(b).first(kCrcAt))); }

const DamageCase kDamage[] = {
    {"empty", [](std::vector<uint8_t>& b) { b.clear(); }, ControlFileStatus::kTruncated},
    {"cut in the header", [](std::vector<uint8_t>& b) { b.resize(12); }, ControlFileStatus::kTruncated},
    {"cut before the CRC", [](std::vector<uint8_t>& b) { b.resize(300); }, ControlFileStatus::kTruncated},
    {"cut right after the CRC", [](std::vector<uint8_t>& b) { b.resize(kCrcAt + 4); }, ControlFileStatus::kValid},
    {"one bit flipped", [](std::vector<uint8_t>& b) { b[200] ^= 0x10; }, ControlFileStatus::kBadCrc},
    {"CRC zeroed", [](std::vector<uint8_t>& b) { Put32(b, kCrcAt, 0); }, ControlFileStatus::kBadCrc},
    {"8.4's version", [](std::vector<uint8_t>& b) { Put32(b, kVersionAt, 843); }, ControlFileStatus::kUnknownVersion},
    {"big-endian version",
     [](std::vector<uint8_t>& b) {
       const uint8_t big[4] = {0, 0, 0x03, 0x41};  // 833
       std::memcpy(b.data() + kVersionAt, big, 4);
     },
     ControlFileStatus::kByteSwapped},
    {"maxAlign 16, resealed", [](std::vector<uint8_t>& b) { Put32(b, kMaxAlignAt, 16); Reseal(b); },
     ControlFileStatus::kImplausible},
    {"toast chunk of a whole page, resealed", [](std::vector<uint8_t>& b) { Put32(b, kToastAt, 8192); Reseal(b); },
     ControlFileStatus::kImplausible},
    {"enableIntTimes 7, resealed", [](std::vector<uint8_t>& b) { Put32(b, kIntTimesAt, 7); Reseal(b); },
     ControlFileStatus::kImplausible},
    {"block size 16384, resealed", [](std::vector<uint8_t>& b) { Put32(b, kBlockSizeAt, 16384); Reseal(b); },
     ControlFileStatus::kUnsupported},
    {"foreign float format, resealed",
     [](std::vector<uint8_t>& b) {
       const double other = 7654321.0;
       std::memcpy(b.data() + kFloatAt, &other, 8);
       Reseal(b);
     },
     ControlFileStatus::kUnsupported},
};

TEST(ControlFileDamage, EachDamageIsNamedAndNothingIsReadOutside) {
  const std::vector<uint8_t> original = FixtureControlFile("pg83");
  if (original.empty()) GTEST_SKIP() << "fixture pg83 not available";
  for (const DamageCase& c : kDamage) {
    std::vector<uint8_t> bytes = original;
    c.damage(bytes);
    // An exact-size heap copy lets the sanitizer see any read past the end.
    auto copy = std::make_unique<uint8_t[]>(std::max<size_t>(bytes.size(), 1));
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    ControlFile f = ParseControlFile(std::span(copy.get(), bytes.size()));
    EXPECT_EQ(f.status, c.expected) << c.what << ": " << f.problem;
    if (c.expected != ControlFileStatus::kValid) {
      EXPECT_FALSE(f.problem.empty()) << c.what;
    }
  }
}

TEST(ControlFileDamage, MissingFileIsMissing) {
  EXPECT_EQ(ReadControlFile("/nonexistent/global/pg_control").status, ControlFileStatus::kMissing);
}

}  // namespace
}  // namespace vesk
