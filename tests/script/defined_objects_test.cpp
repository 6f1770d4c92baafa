// The objects written after the data follow the tables whose definitions
// the script really wrote, not a guess from pg_class.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/packed_fixture.h"
#include "common/pass_one_fixture.h"
#include "script/objects/defined_objects.h"
#include "script/objects/schema_objects.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

uint32_t TableOid(const char* name) {
  TableReader& reader = Run().classes->reader();
  for (size_t i = 0; i < reader.RowCount(); ++i) {
    const auto* row = static_cast<const RecoveredTable*>(reader.RowAt(i));
    if (row->relkind == 'r' && std::strcmp(row->relname, name) == 0) return row->oid;
  }
  return 0;
}

// Of the regression database's tables only clstr_tst is defined (as when
// the others' definitions could not be written): its indexes come, its
// foreign key to clstr_tst_s does not, and no other table gets an object.
TEST(DefinedObjectsTest, ObjectsOnlyForTablesWhoseDefinitionWasWritten) {
  const std::string cluster = testing::PackedFixture("regress82");
  if (cluster.empty()) GTEST_SKIP() << "fixture regress82 not available under " << VESK_SHARED_DIR;
  testing::PassOne pass(cluster + "/base/16384/");
  ASSERT_EQ(pass.status, 0);
  const uint32_t defined = TableOid("clstr_tst");
  ASSERT_NE(defined, 0u);
  ASSERT_NE(TableOid("clstr_tst_s"), 0u);

  RecoveryRun& run = vesk::Run();
  const VeskOptions savedOptions = run.options;
  run.options.schemaObjects = VESK_OBJECTS_ALL;
  run.options.content = VESK_CONTENT_ALL;
  run.tablesDefined = {{defined, "\"public\".\"clstr_tst\""}};
  {
    const DefinedObjects objects;
    EXPECT_EQ(objects.Table(TableOid("clstr_tst_s")), nullptr);
    EXPECT_EQ(objects.Column(TableOid("clstr_tst_s"), 1), nullptr);
    ASSERT_NE(objects.Table(defined), nullptr);
    EXPECT_NE(objects.Column(defined, 2), nullptr);
    WriteConstraintObjects(objects);
    WriteForeignKeys(objects);
  }
  run.tablesDefined.clear();
  run.options = savedOptions;

  const std::string text = pass.ScriptSoFar().substr(pass.script.size());
  EXPECT_NE(text.find("CREATE INDEX \"clstr_tst_c_b\" ON \"public\".\"clstr_tst\" USING \"btree\" (\"c\", \"b\");"),
            std::string::npos);
  EXPECT_NE(text.find("-- Foreign key clstr_tst_con of public.clstr_tst is not written: the table it references "
                      "is not recovered"),
            std::string::npos);
  EXPECT_EQ(text.find(" FOREIGN KEY ("), std::string::npos);
  EXPECT_NE(text.find("\"clstr_tst_pkey\" PRIMARY KEY (\"a\")"), std::string::npos);
  for (const char* marker : {" ON \"", "ALTER TABLE ONLY \"", "ALTER TABLE \""}) {
    const std::string needle = marker;
    const std::string expected = needle.substr(0, needle.size() - 1) + "\"public\".\"clstr_tst\"";
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
      EXPECT_EQ(text.compare(at, expected.size(), expected), 0) << text.substr(at, 60);
    }
  }
}

}  // namespace
}  // namespace vesk
