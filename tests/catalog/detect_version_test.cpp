// Layout detection on pg_class files made by the heap page builder.
#include <gtest/gtest.h>

#include <fstream>

#include "api/driver.h"
#include "catalog/static_descriptors.h"
#include "catalog_test_util.h"
#include "heapbuilder/heap_builder.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;

void WriteClassFile(const std::string& path, hb::Layout layout, int rows) {
  std::span<CatalogColumnDesc> cols = StaticColumns(StaticCatalog::kPgClass);
  hb::RelationBuilder rel(layout, hb::ColumnsFrom(cols));
  for (int i = 0; i < rows; ++i) {
    std::vector<hb::Value> v = {hb::Name("table_" + std::to_string(i)), hb::Oid(2200), hb::Oid(17000u + static_cast<uint32_t>(i)),
                                hb::Oid(10), hb::Oid(0), hb::Oid(16500u + static_cast<uint32_t>(i)), hb::Oid(0),
                                hb::Int32(1), hb::Float4(3), hb::Oid(0), hb::Oid(0), hb::Bool(false), hb::Bool(false),
                                hb::Char('r'), hb::Int16(2)};
    for (int k = 0; k < 5; ++k) v.push_back(hb::Int16(0));
    for (int k = 0; k < 4; ++k) v.push_back(hb::Bool(false));
    v.push_back(hb::Oid(400));
    v.push_back(hb::Null());
    v.push_back(hb::Null());
    rel.AddRow(v);
  }
  ASSERT_TRUE(rel.WriteFile(path));
}

struct DetectCase {
  const char* what;
  int layout;  // 82, 83, or 0 for no file at all
  int rows;
  uint8_t expected;
};

class DetectVersionTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(DetectVersionTest, PicksTheLayoutThatDecodesMoreRows) {
  const DetectCase& c = GetParam();
  testing::ScratchDirectory dir("detect");
  if (c.layout != 0) WriteClassFile(dir.File("1259"), c.layout == 83 ? hb::Layout::k83 : hb::Layout::k82, c.rows);
  EXPECT_EQ(DetectVersion(), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectVersionTest,
    ::testing::Values(DetectCase{"8.2, one page", 82, 5, 82}, DetectCase{"8.3, one page", 83, 5, 83},
                      DetectCase{"8.2, several pages", 82, 200, 82},
                      DetectCase{"8.3, several pages", 83, 200, 83}, DetectCase{"8.3, a single row", 83, 1, 83},
                      DetectCase{"empty file: a tie", 82, 0, 82}, DetectCase{"no file: a tie", 0, 0, 82}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(DetectVersion, GarbageFileIsATie) {
  testing::ScratchDirectory dir("detect_garbage");
  std::ofstream out(dir.File("1259"), std::ios::binary);
  for (int i = 0; i < 3 * 8192; ++i) out.put(static_cast<char>((i * 7919) >> 3));
  out.close();
  uint8_t v = DetectVersion();
  EXPECT_TRUE(v == 82 || v == 83);
}

}  // namespace
}  // namespace vesk
