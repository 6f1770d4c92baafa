// The built-in type images against the pg_type files of freshly created
// databases they were taken from.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/static_descriptors.h"
#include "catalog/type_image.h"
#include "catalog_test_util.h"

namespace vesk {
namespace {

auto Fields(const TypeRecord& t) {
  return std::make_tuple(t.oid, std::string(t.typname), t.typnamespace, t.typowner, t.typlen, t.typbyval,
                         t.typtype, t.typisdefined, t.typdelim, t.typrelid, t.typelem, t.typinput, t.typoutput,
                         t.typreceive, t.typsend, t.typanalyze, t.typalign, t.typstorage, t.typnotnull,
                         t.typbasetype, t.typtypmod, t.typndims);
}

using Rows = std::vector<decltype(Fields(TypeRecord{}))>;

// Every type record a pg_type reader keeps from one source, in reading order.
Rows ReadSource(uint8_t version, const uint8_t* image, size_t size, const std::string& path) {
  pg_type_Table table(version);
  FillStaticColumns(table.reader().columns, PgTypeCatalog(version));
  table.reader().path = path;
  table.reader().SetMemoryImage(image, size);
  EXPECT_EQ(table.reader().ReadTable(), 0);
  Rows rows;
  for (size_t i = 0; i < table.reader().RowCount(); ++i) {
    rows.push_back(Fields(*static_cast<const TypeRecord*>(table.reader().RowAt(i))));
  }
  return rows;
}

struct ImageCase {
  uint8_t version;
  const char* freshFile;
  size_t rows;
};

class TypeImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(TypeImageTest, IsSixPagesOfLiveRows) {
  size_t size = 0;
  const uint8_t* image = BuiltinTypeImage(GetParam().version, &size);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(size, kTypeImageSize);
  EXPECT_EQ(ReadSource(GetParam().version, image, size, "image").size(), GetParam().rows);
}

TEST_P(TypeImageTest, DecodesToExactlyTheRowsOfAFreshDatabase) {
  const ImageCase& c = GetParam();
  std::string fresh = testing::SharedDir() + c.freshFile;
  if (!std::filesystem::exists(fresh)) GTEST_SKIP() << "no fresh database file at " << fresh;
  size_t size = 0;
  const uint8_t* image = BuiltinTypeImage(c.version, &size);
  Rows fromImage = ReadSource(c.version, image, size, "image");
  Rows fromFile = ReadSource(c.version, nullptr, 0, fresh);
  ASSERT_EQ(fromFile.size(), c.rows);
  ASSERT_EQ(fromImage.size(), fromFile.size());
  for (size_t i = 0; i < fromFile.size(); ++i) {
    EXPECT_EQ(fromImage[i], fromFile[i]) << "row " << i << " (" << std::get<1>(fromFile[i]) << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, TypeImageTest,
                         ::testing::Values(ImageCase{82, "/fixtures/pg82/base/16384/1247", 242},
                                           ImageCase{83, "/fixtures/pg83/base/16385/1247", 269}),
                         [](const auto& p) { return "v" + std::to_string(p.param.version); });

TEST(ReadTypes, BuiltinTypesWinOverTheDatabaseFile) {
  testing::ScratchDirectory dir("readtypes");
  // No 1247 in the directory: only the image's types are known.
  pg_type_Table table(83);
  FillStaticColumns(table.reader().columns, PgTypeCatalog(83));
  EXPECT_EQ(table.ReadTypes(), 0);
  EXPECT_EQ(table.reader().RowCount(), 269u);
  ASSERT_NE(table.LookupTypeByOid(23), nullptr);
  EXPECT_STREQ(table.LookupTypeByOid(23)->typname, "int4");
  EXPECT_STREQ(table.LookupTypeByOid(1043)->typname, "varchar");
}

}  // namespace
}  // namespace vesk
