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
#include <sstream>
#include <string>

#include "common/fixture_files.h"
#include "common/test_server.h"
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

// Sequence name (without its schema) -> "value called" of every
// setval('name', value, called) call.
std::map<std::string, std::string> SequenceValues(const std::string& script) {
  static const std::string call = "setval('";
  std::map<std::string, std::string> values;
  for (size_t at = script.find(call); at != std::string::npos; at = script.find(call, at + 1)) {
    const size_t nameEnd = script.find("', ", at + call.size());
    const size_t end = script.find(')', at);
    if (nameEnd == std::string::npos || end == std::string::npos || end < nameEnd) continue;
    std::string name = script.substr(at + call.size(), nameEnd - at - call.size());
    const size_t dot = name.rfind("\".\"");
    if (dot != std::string::npos) name = name.substr(dot + 2);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    std::string rest = script.substr(nameEnd + 3, end - nameEnd - 3);  // "value, called"
    const size_t comma = rest.find(", ");
    if (comma != std::string::npos) rest.replace(comma, 2, " ");
    values[name] = rest;
  }
  return values;
}

// Parents named in the INHERITS clauses of a pg_dump script.
size_t InheritanceLinks(const std::string& dump) {
  static const std::string clause = "\nINHERITS (";
  size_t links = 0;
  for (size_t at = dump.find(clause); at != std::string::npos; at = dump.find(clause, at + 1)) {
    const size_t end = dump.find(')', at);
    if (end == std::string::npos) break;
    links += 1 + static_cast<size_t>(std::count(dump.begin() + static_cast<std::ptrdiff_t>(at),
                                                dump.begin() + static_cast<std::ptrdiff_t>(end), ','));
  }
  return links;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The statement of `script` that begins with `head`, to its terminating
// ";\n"; empty when there is none.
std::string Statement(const std::string& script, const std::string& head) {
  const size_t at = script.find(head);
  if (at == std::string::npos) return {};
  const size_t end = script.find(";\n", at);
  return end == std::string::npos ? std::string() : script.substr(at, end + 2 - at);
}

// psql's output of `arguments` against the test server (`connection` with
// its database replaced by `database`), errors included.
std::string Psql(const std::string& connection, const std::string& database, const std::string& arguments) {
  std::string target = connection.substr(0, connection.rfind("dbname=")) + "dbname=" + database;
  const std::string command = "psql \"" + target + "\" -X -At -v ON_ERROR_STOP=1 " + arguments + " 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    pclose(pipe);
  }
  return out;
}

const std::string& Regress82Script() {
  static const std::string script = [] {
    const std::string cluster = testing::FixturePath("regress82");
    return cluster.empty() ? std::string() : RecoveredScript(cluster + "/base/16384", VESK_CONTENT_ALL);
  }();
  return script;
}

struct Database {
  const char* fixture;
  const char* oid;
};

TEST(ColumnObjects, SequencesContinueWhereTheOriginalsStoodAndChildrenFindTheirParents) {
  for (const Database& db : {Database{"pg82", "16388"}, Database{"pg83", "16585"}, Database{"regress82", "16384"}}) {
    const std::string cluster = testing::FixturePath(db.fixture);
    if (cluster.empty()) GTEST_SKIP() << "shared fixture " << db.fixture << " not found at " << testing::SharedDir();
    const bool regress = std::string(db.fixture) == "regress82";
    const std::string script = regress ? Regress82Script() : RecoveredScript(cluster + "/base/" + db.oid, VESK_CONTENT_ALL);
    ASSERT_FALSE(script.empty()) << db.fixture;
    const std::string dump = ReadAll(cluster + "/expected/dump.sql");
    const auto expected = SequenceValues(dump);
    EXPECT_FALSE(expected.empty()) << db.fixture;
    EXPECT_EQ(SequenceValues(script), expected) << db.fixture;
    EXPECT_EQ(Occurrences(script, " INHERIT "), InheritanceLinks(dump)) << db.fixture;
    if (!regress) continue;
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

// The serial column of the regression database, restored into a real
// server: its next INSERT draws the number the original's next would have.
TEST(ColumnObjects, SerialColumnDrawsTheOriginalsNextNumber) {
  if (testing::FixturePath("regress82").empty()) GTEST_SKIP() << "shared fixture regress82 not found";
  std::string why;
  const std::string connection = testing::TestServerConnection(&why);
  if (connection.empty()) GTEST_SKIP() << why;
  const std::string& script = Regress82Script();
  ASSERT_FALSE(script.empty());
  std::string sql = Statement(script, "CREATE TABLE \"public\".\"serialtest\"\n") +
                    Statement(script, "CREATE SEQUENCE \"public\".\"serialtest_f2_foo\"\n");
  for (const char* head : {"INSERT INTO \"public\".\"serialtest\" ", "SELECT pg_catalog.setval('\"public\".\"serialtest_f2_foo\"'",
                           "ALTER SEQUENCE \"public\".\"serialtest_f2_foo\" OWNED BY",
                           "ALTER TABLE ONLY \"public\".\"serialtest\" ALTER COLUMN \"f2\" SET DEFAULT"}) {
    for (size_t at = script.find(head); at != std::string::npos; at = script.find(head, at + 1)) {
      sql += script.substr(at, script.find('\n', at) + 1 - at);
    }
  }
  // pg_dump's setval: 3, called, with increment 1.
  ASSERT_NE(ReadAll(testing::FixturePath("regress82") + "/expected/dump.sql")
                .find("SELECT pg_catalog.setval('serialtest_f2_foo', 3, true);"),
            std::string::npos);
  char dir[] = "/tmp/vesk-serial-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/serial.sql";
  std::ofstream(file) << sql << "INSERT INTO \"public\".\"serialtest\" (f1) VALUES ('next') RETURNING f2;\n";
  const std::string database = "vesk_column_objects_serial";
  Psql(connection, "postgres", "-c 'DROP DATABASE IF EXISTS " + database + "' -c 'CREATE DATABASE " + database + "'");
  const std::string out = Psql(connection, database, "-q -f " + file);
  Psql(connection, "postgres", "-c 'DROP DATABASE IF EXISTS " + database + "'");
  std::error_code ec;
  fs::remove_all(dir, ec);
  // The setval prints the value it set, then the INSERT its number.
  EXPECT_EQ(out, "3\n4\n") << sql;
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
