// The objects written after the data, on real fixture databases without a
// server: every sequence continues where the original's stood (pg_dump's
// setval is the reference), a serial column whose sequence was renamed still
// draws from it, and the content option keeps rows or definitions out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "common/fixture_files.h"
#include "vesk/veskdll.h"

namespace vesk::acceptance {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The whole script of a run of `database` with schema objects and `content`.
std::string RecoveredScript(const std::string& database, int32_t content) {
  char dir[] = "/tmp/vesk-objects-XXXXXX";
  if (mkdtemp(dir) == nullptr) return {};
  const std::string work = dir;
  VeskOptions options{};
  options.size = sizeof options;
  options.version = VESK_OPTIONS_VERSION;
  options.schemaObjects = VESK_OBJECTS_ALL;
  options.content = content;
  std::string script;
  const int32_t status = FileRecoverEx((database + "/1259").c_str(), (work + "/").c_str(), nullptr, nullptr, 0,
                                       (work + "/run.log").c_str(), &options);
  if (status == VESK_OK || status == VESK_RECOVERED_WITH_LOSSES) {
    for (const auto& entry : fs::recursive_directory_iterator(work)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("recovered_", 0) == 0 && entry.path().extension() == ".sql") script += ReadAll(entry.path());
    }
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  return script;
}

// Sequence name (without its schema) -> "value called" of every setval.
std::map<std::string, std::string> SequenceValues(const std::string& script) {
  static const std::regex setval(R"(setval\('([^']*)', (-?[0-9]+), (true|false)\))");
  std::map<std::string, std::string> values;
  for (auto it = std::sregex_iterator(script.begin(), script.end(), setval); it != std::sregex_iterator(); ++it) {
    std::string name = (*it)[1];
    const size_t dot = name.rfind("\".\"");
    if (dot != std::string::npos) name = name.substr(dot + 2);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    values[name] = (*it)[2].str() + " " + (*it)[3].str();
  }
  return values;
}

// Parents named in the INHERITS clauses of a pg_dump script.
size_t InheritanceLinks(const std::string& dump) {
  static const std::regex inherits(R"(\nINHERITS \(([^)]*)\);)");
  size_t links = 0;
  for (auto it = std::sregex_iterator(dump.begin(), dump.end(), inherits); it != std::sregex_iterator(); ++it) {
    const std::string parents = (*it)[1];
    links += 1 + static_cast<size_t>(std::count(parents.begin(), parents.end(), ','));
  }
  return links;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

struct Database {
  const char* fixture;
  const char* oid;
};

TEST(ColumnObjects, SequencesContinueWhereTheOriginalsStoodAndChildrenFindTheirParents) {
  for (const Database& db : {Database{"pg82", "16388"}, Database{"pg83", "16585"}, Database{"regress82", "16384"}}) {
    const std::string cluster = testing::FixturePath(db.fixture);
    if (cluster.empty()) GTEST_SKIP() << "shared fixture " << db.fixture << " not found at " << testing::SharedDir();
    const std::string script = RecoveredScript(cluster + "/base/" + db.oid, VESK_CONTENT_ALL);
    ASSERT_FALSE(script.empty()) << db.fixture;
    const std::string dump = ReadAll(cluster + "/expected/dump.sql");
    const auto expected = SequenceValues(dump);
    EXPECT_FALSE(expected.empty()) << db.fixture;
    EXPECT_EQ(SequenceValues(script), expected) << db.fixture;
    EXPECT_EQ(Occurrences(script, " INHERIT "), InheritanceLinks(dump)) << db.fixture;
    if (std::string(db.fixture) != "regress82") continue;
    // serialtest_f2_seq was renamed serialtest_f2_foo: the stored default
    // text still names the old one.
    EXPECT_NE(script.find("ALTER TABLE ONLY \"public\".\"serialtest\" ALTER COLUMN \"f2\" SET DEFAULT "
                          "nextval('\"public\".\"serialtest_f2_foo\"'::regclass);"),
              std::string::npos);
    EXPECT_NE(script.find("ALTER SEQUENCE \"public\".\"serialtest_f2_foo\" OWNED BY \"public\".\"serialtest\".\"f2\";"),
              std::string::npos);
    EXPECT_EQ(script.find("serialtest_f2_seq'::regclass);\n"), std::string::npos);
  }
}

TEST(ColumnObjects, ContentKeepsRowsOrDefinitionsOut) {
  const std::string cluster = testing::FixturePath("pg82");
  if (cluster.empty()) GTEST_SKIP() << "shared fixture pg82 not found at " << testing::SharedDir();
  struct Case {
    int32_t content;
    bool definitions;
    bool rows;
  };
  for (const Case& c : {Case{VESK_CONTENT_ALL, true, true}, Case{VESK_CONTENT_SCHEMA_ONLY, true, false},
                        Case{VESK_CONTENT_DATA_ONLY, false, true}}) {
    const std::string script = RecoveredScript(cluster + "/base/16388", c.content);
    ASSERT_FALSE(script.empty()) << c.content;
    const bool rows = script.find("INSERT INTO ") != std::string::npos || script.find("\nCOPY ") != std::string::npos;
    EXPECT_EQ(rows, c.rows) << c.content;
    EXPECT_EQ(script.find("setval(") != std::string::npos, c.rows) << c.content;
    for (const char* create : {"CREATE TABLE ", "CREATE SCHEMA ", "CREATE SEQUENCE ", "SET NOT NULL"}) {
      EXPECT_EQ(script.find(create) != std::string::npos, c.definitions) << c.content << " " << create;
    }
  }
}

}  // namespace
}  // namespace vesk::acceptance
