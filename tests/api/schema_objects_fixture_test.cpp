#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/packed_fixture.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The regression database of the 8.2 server holds keys, checks, foreign
// keys, plain, partial and expression indexes and views: each comes back
// once, as its own statement, and only where the options ask for it.
TEST(SchemaObjectsFixtureTest, RegressionDatabaseKeysIndexesAndViews) {
  const std::string cluster = testing::PackedFixture("regress82");
  if (cluster.empty()) GTEST_SKIP() << "fixture regress82 not available under " << VESK_SHARED_DIR;
  std::string database;
  for (const auto& entry : fs::directory_iterator(cluster + "/base")) database = entry.path().string();
  const fs::path cwd = fs::current_path();

  const struct {
    int32_t objects;
    size_t keys, checks, foreignKeys, indexes, views;
  } cases[] = {
      {VESK_OBJECTS_ALL, 6, 6, 3, 57, 17},
      {VESK_OBJECTS_NO_CONSTRAINTS, 0, 0, 0, 0, 17},
  };
  for (const auto& c : cases) {
    testing::TempDir out;
    VeskOptions options{};
    options.size = sizeof options;
    options.version = VESK_OPTIONS_VERSION;
    options.schemaObjects = c.objects;
    const int32_t status = FileRecoverEx((database + "/1259").c_str(), (out.path() + "/").c_str(), nullptr, nullptr,
                                         0, (out / "run.log").c_str(), &options);
    fs::current_path(cwd);
    ASSERT_EQ(status, 0);
    std::string script;
    for (const auto& entry : fs::directory_iterator(out.path())) {
      if (entry.is_directory()) script = testing::ReadFile(entry.path() / "recovered_1.sql");
    }
    EXPECT_EQ(Count(script, " PRIMARY KEY ("), c.keys) << c.objects;
    EXPECT_EQ(Count(script, " CHECK ("), c.checks) << c.objects;
    EXPECT_EQ(Count(script, " FOREIGN KEY ("), c.foreignKeys) << c.objects;
    EXPECT_EQ(Count(script, "\nCREATE INDEX ") + Count(script, "\nCREATE UNIQUE INDEX "), c.indexes) << c.objects;
    EXPECT_EQ(Count(script, "\n-- View "), c.views) << c.objects;
    EXPECT_EQ(Count(script, "is not written"), 0u) << c.objects;
    if (c.objects != VESK_OBJECTS_ALL) continue;
    for (const char* statement : {
             "ALTER TABLE ONLY \"public\".\"rule_and_refint_t3\"\n    ADD CONSTRAINT \"rule_and_refint_t3_pkey\" "
             "PRIMARY KEY (\"id3a\", \"id3b\", \"id3c\");\n",
             "ALTER TABLE ONLY \"public\".\"clstr_tst\"\n    ADD CONSTRAINT \"clstr_tst_con\" FOREIGN KEY (\"b\") "
             "REFERENCES \"public\".\"clstr_tst_s\"(\"rf_a\");\n",
             "ALTER TABLE \"public\".\"insert_tbl\"\n    ADD CONSTRAINT \"insert_tbl_check\" CHECK (((x + z) = 0));\n",
             "CREATE UNIQUE INDEX \"hash_f8_index_3\" ON \"public\".\"hash_f8_heap\" USING \"btree\" (\"random\") "
             "WHERE (\"seqno\" > 1000);\n",
             "CREATE UNIQUE INDEX \"hash_f8_index_2\" ON \"public\".\"hash_f8_heap\" USING \"btree\" "
             "(((\"seqno\" + 1)), \"random\");\n",
         }) {
      EXPECT_NE(script.find(statement), std::string::npos) << statement;
    }
    // Foreign keys last: the rows and every key they need come first.
    EXPECT_GT(script.find(" FOREIGN KEY ("), script.rfind(" INDEX "));
  }
}

}  // namespace
}  // namespace vesk
