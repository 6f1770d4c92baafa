// Deciding the server build from a database directory's own evidence: page
// layout marks, PG_VERSION, and how pg_class decodes when those fail.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "api/driver.h"
#include "api/server_build.h"
#include "catalog/static_descriptors.h"
#include "catalog_test_util.h"
#include "common/log_capture.h"
#include "heapbuilder/heap_builder.h"
#include "storage/page_probe.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;

std::vector<hb::Value> ClassRow(const std::string& name, uint32_t oid, int16_t natts) {
  std::vector<hb::Value> v = {hb::Name(name), hb::Oid(2200), hb::Oid(17000u + oid), hb::Oid(10), hb::Oid(0),
                              hb::Oid(16500u + oid), hb::Oid(0), hb::Int32(1), hb::Float4(3), hb::Oid(0),
                              hb::Oid(0), hb::Bool(false), hb::Bool(false), hb::Char('r'), hb::Int16(natts)};
  for (int k = 0; k < 5; ++k) v.push_back(hb::Int16(0));
  for (int k = 0; k < 4; ++k) v.push_back(hb::Bool(false));
  v.push_back(hb::Oid(400));
  v.push_back(hb::Null());
  v.push_back(hb::Null());
  return v;
}

struct ClassFile {
  int live = 5;
  int dead = 0;          // versions deleted by a committed transaction, never vacuumed
  int16_t ownColumns = 0;  // >0: a row for pg_class itself with this many columns
};

// pg_class after DDL churn: each dead version is an old row of a table that
// was altered, as ALTER TABLE and temporary tables leave them.
void WriteClassFile(const std::string& path, hb::Layout layout, const ClassFile& spec) {
  hb::RelationBuilder rel(layout, hb::ColumnsFrom(StaticColumns(StaticCatalog::kPgClass)));
  hb::TupleSpec dead;
  dead.xmin = 1000;
  dead.xmax = 1001;
  dead.infomask = hb::kXminCommitted | hb::kXmaxCommitted | hb::kUpdated;
  for (int i = 0; i < spec.dead; ++i) rel.AddRow(ClassRow("old_" + std::to_string(i), 500 + i, 2), dead);
  for (int i = 0; i < spec.live; ++i) rel.AddRow(ClassRow("table_" + std::to_string(i), i, 2));
  if (spec.ownColumns > 0) rel.AddRow(ClassRow("pg_class", 1259, spec.ownColumns));
  ASSERT_TRUE(rel.WriteFile(path));
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Rewrites pd_pagesize_version of every page of the file.
void MarkPages(const std::string& path, uint16_t word) {
  const auto low = static_cast<uint8_t>(word & 0xFF);
  const auto high = static_cast<uint8_t>(word >> 8);
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(0, std::ios::end);
  const auto size = static_cast<long>(f.tellg());
  for (long at = 18; at + 1 < size; at += 8192) {
    f.seekp(at);
    f.put(static_cast<char>(low));
    f.put(static_cast<char>(high));
  }
}

TEST(ServerBuild, RowCountOfAChurned82CatalogStaysWith82) {
  // Dead 8.2 versions read through 8.3 header offsets no longer look dead,
  // so a bare row count once took such a catalog for 8.3. The page check
  // keeps the 8.3 reading off pages marked as 8.2, so even the count's
  // fallback now keeps 8.2.
  testing::ScratchDirectory dir("churn_rowcount");
  WriteClassFile(dir.File("1259"), hb::Layout::k82, {5, 40, 0});
  EXPECT_EQ(DetectVersion(), 82);
}

struct BuildCase {
  const char* what;
  hb::Layout layout;
  ClassFile classFile;
  const char* versionFile;  // null: no PG_VERSION
  int32_t mark;             // -1: as built; else pd_pagesize_version of every page
  int32_t status;
  uint8_t version;
};

class ServerBuildTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(ServerBuildTest, DecidesFromTheFilesOwnEvidence) {
  const BuildCase& c = GetParam();
  testing::ScratchDirectory dir("build");
  WriteClassFile(dir.File("1259"), c.layout, c.classFile);
  if (c.versionFile) WriteText(dir.File("PG_VERSION"), c.versionFile);
  if (c.mark >= 0) MarkPages(dir.File("1259"), static_cast<uint16_t>(c.mark));
  vesk::Run().version = 0;
  EXPECT_EQ(SettleServerBuild(), c.status) << c.what;
  if (c.status == 0) {
    EXPECT_EQ(vesk::Run().version, c.version) << c.what;
  }
  vesk::Run().settings = DatabaseSettings{};
}

constexpr int32_t kOk = 0;
constexpr int32_t kRefused = VESK_UNSUPPORTED_BUILD;

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerBuildTest,
    ::testing::Values(
        BuildCase{"churned 8.2, marks only", hb::Layout::k82, {5, 40, 0}, nullptr, -1, kOk, 82},
        BuildCase{"churned 8.2 with PG_VERSION", hb::Layout::k82, {5, 40, 0}, "8.2\n", -1, kOk, 82},
        BuildCase{"8.3 with PG_VERSION", hb::Layout::k83, {5, 0, 0}, "8.3\n", -1, kOk, 83},
        BuildCase{"8.3, marks only", hb::Layout::k83, {5, 0, 0}, nullptr, -1, kOk, 83},
        BuildCase{"8.2 marks, PG_VERSION says 8.3: the catalogs decide", hb::Layout::k82, {5, 0, 0}, "8.3\n", -1, kOk, 82},
        // Pages with a mark no 8.2/8.3 server writes are never read, so the
        // catalog beneath it cannot vouch for them.
        BuildCase{"foreign mark over an 8.3 catalog", hb::Layout::k83, {5, 0, 27}, "8.3", 0x2000, kRefused, 0},
        BuildCase{"foreign mark, no readable catalog", hb::Layout::k83, {5, 0, 0}, "8.3", 0x2000, kRefused, 0},
        BuildCase{"8.0's layout mark", hb::Layout::k82, {5, 0, 25}, "8.0\n", 0x2002, kRefused, 0},
        BuildCase{"8.4's PG_VERSION, pg_class of 25 columns", hb::Layout::k83, {5, 0, 25}, "8.4\n", -1, kRefused, 0},
        BuildCase{"8.1's PG_VERSION over a catalog that reads as 8.2", hb::Layout::k82, {5, 0, 27}, "8.1\n", -1, kOk,
                  82},
        BuildCase{"16 KiB pages", hb::Layout::k83, {5, 0, 0}, "8.3\n", 0x4004, kRefused, 0},
        BuildCase{"big-endian pages", hb::Layout::k83, {5, 0, 0}, "8.3\n", 0x0420, kRefused, 0}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

// The builder pads tuple headers as a 64-bit server does: a forced value
// wins, but the contradiction is logged.
TEST(ServerBuild, ForcedAlignmentAgainstTheTupleHeaders) {
  struct {
    uint32_t forced;
    uint32_t used;
    SettingSource source;
    bool warned;
  } cases[] = {{0, 8, SettingSource::kDetected, false},
               {4, 4, SettingSource::kForced, true},
               {8, 8, SettingSource::kForced, false}};
  testing::ScratchDirectory dir("forced_align");
  WriteClassFile(dir.File("1259"), hb::Layout::k83, {20, 0, 0});
  for (const auto& c : cases) {
    testing::LogCapture log;
    DatabaseSettings& settings = vesk::Run().settings;
    settings = DatabaseSettings{};
    if (c.forced != 0) {
      settings.maxAlign = settings.doubleAlign = c.forced;
      settings.alignSource = SettingSource::kForced;
    }
    ASSERT_EQ(SettleServerBuild(), 0);
    EXPECT_EQ(settings.maxAlign, c.used) << c.forced;
    EXPECT_EQ(settings.alignSource, c.source) << c.forced;
    EXPECT_EQ(log.Has("contradicts the tuple headers, which show 8"), c.warned) << c.forced;
  }
  vesk::Run().settings = DatabaseSettings{};
}

TEST(ServerBuild, VersionFileText) {
  struct {
    const char* text;
    uint8_t layout;
  } cases[] = {{"8.2\n", 82}, {"8.3", 83}, {" 8.4\n", 84}, {"8.0\n", 80}, {"", 0}, {"x.y", 0}, {"10\n", 0},
               {"9.10", 1}};
  for (const auto& c : cases) EXPECT_EQ(VersionFileLayout(c.text), c.layout) << c.text;
}

TEST(ServerBuild, AlignmentNeedsAClearMajorityOfHeaders) {
  struct {
    uint32_t align4, align8, expected;
  } cases[] = {{0, 0, 0}, {10, 0, 4}, {0, 3, 8}, {95, 5, 4}, {5, 95, 8}, {60, 40, 0}};
  for (const auto& c : cases) {
    PageProbe p;
    p.align4 = c.align4;
    p.align8 = c.align8;
    EXPECT_EQ(AlignmentFromHeaders(p), c.expected) << c.align4 << "/" << c.align8;
  }
}

}  // namespace
}  // namespace vesk
