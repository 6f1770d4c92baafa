// A whole recovery of each real fixture database, loaded into a real
// PostgreSQL server by the shared round-trip tool and compared table by table
// with what the original server held.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "acceptance/json_reader.h"
#include "common/fixture_files.h"
#include "vesk/veskdll.h"

namespace vesk::acceptance {
namespace {

namespace fs = std::filesystem;

struct TableName {
  std::string schema;
  std::string table;
  bool operator<(const TableName& o) const { return std::tie(schema, table) < std::tie(o.schema, o.table); }
};

// The tables that must come back exactly, in both layouts. Extend this list
// as more value families are recovered.
const std::vector<TableName>& CoveredTables() {
  static const std::vector<TableName> tables = {
      {"public", "scalars"},  {"Mixed Schema", "Odd \"Quoted\" Name"},
      {"sales", "orders"},    {"public", "Pg_x"},
      {"public", "evolved"},  {"public", "churn"},
      {"public", "with_oids"}, {"public", "sysvals"},
      {"public", "bulk"},     {"public", "unknown_col"},
      {"public", "domains"},
  };
  return tables;
}

// Tables of types only 8.3 has (enum, uuid, text search).
const std::vector<TableName>& CoveredTables83() {
  static const std::vector<TableName> tables = {{"public", "enums"}, {"public", "newtypes"}};
  return tables;
}

// Columns of tables not yet exact as a whole that must be right in every row.
const std::vector<std::pair<TableName, std::string>>& CoveredColumns() {
  static const std::vector<std::pair<TableName, std::string>> columns = {};
  return columns;
}

struct Fixture {
  const char* layout;    // pg82 / pg83
  const char* database;  // folder below base/
  int port;              // a server of its own, so the two can run at once
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.layout; }

std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  *status = pclose(pipe);
  return out;
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Newest server binaries, as the round-trip tool picks them.
std::string ServerBinDir() {
  std::string best;
  int bestVersion = -1;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    int version = std::atoi(entry.path().filename().c_str());
    if (version > bestVersion && fs::exists(entry.path() / "bin" / "initdb")) {
      bestVersion = version;
      best = (entry.path() / "bin").string();
    }
  }
  return best;
}

std::string ServerUser() {
  if (geteuid() == 0) return "vesktest";
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

std::string AsServerUser(const std::string& command) {
  return geteuid() == 0 ? "runuser -u vesktest -- " + command : command;
}

// Stops the throw-away server the round-trip tool left running for us.
class ServerGuard {
 public:
  ServerGuard(std::string bin, int port) : bin_(std::move(bin)), port_(port) {}
  ~ServerGuard() {
    int status = 0;
    RunCommand(AsServerUser(bin_ + "/pg_ctl -D /tmp/vesk-roundtrip-" + std::to_string(port_) +
                            " -m fast -w stop") + " >/dev/null 2>&1",
               &status);
  }
  ServerGuard(const ServerGuard&) = delete;
  ServerGuard& operator=(const ServerGuard&) = delete;

 private:
  std::string bin_;
  int port_;
};

// Output settings under which the fixtures' expected rows were printed.
constexpr char kPrintSettings[] =
    "PGOPTIONS='-c client_min_messages=error -c DateStyle=ISO -c TimeZone=UTC -c extra_float_digits=0 "
    "-c lc_monetary=C -c bytea_output=escape' ";

std::string Query(int port, const std::string& db, const std::string& sql) {
  int status = 0;
  return RunCommand(std::string(kPrintSettings) + "psql -h /tmp -p " + std::to_string(port) + " -U " + ServerUser() +
                        " -X -At -d " + db + " -c " + ShellQuote(sql) + " 2>&1",
                    &status);
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Table name -> OID, from the fixture's table list.
std::map<TableName, uint32_t> FixtureTableOids(const std::string& layout) {
  std::map<TableName, uint32_t> tables;
  for (const testing::FixtureTable& t : testing::FixtureTables(layout)) tables[TableName{t.schema, t.table}] = t.oid;
  return tables;
}

std::string QuoteIdent(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The result directory FileRecover made below `parent`.
std::string ResultDirectory(const std::string& parent) {
  for (const auto& entry : fs::directory_iterator(parent)) {
    if (entry.is_directory() && entry.path().filename().string().rfind("Recovered", 0) == 0) {
      return entry.path().string();
    }
  }
  return "";
}

std::string ScriptText(const std::string& resultDir) {
  std::string text;
  for (const auto& entry : fs::directory_iterator(resultDir)) {
    if (entry.path().extension() == ".sql") text += ReadFile(entry.path().string());
  }
  return text;
}

// The current server cannot load every table of the original dump (types it
// no longer has, WITH OIDS, a failed COPY whose data psql then reads as
// commands), which leaves the tool's own copy empty. The original server's
// printed rows are the reference then.
bool MatchesOriginalRows(int port, const std::string& db, const std::string& layout, uint32_t oid,
                         const TableName& table) {
  if (oid == 0) return false;
  std::string rows = Query(port, db, "COPY (SELECT t__::text FROM " + QuoteIdent(table.schema) + "." +
                                         QuoteIdent(table.table) + " t__) TO STDOUT");
  std::vector<std::string> expected = testing::ExpectedRows(layout, oid);
  std::vector<std::string> recovered = SortedLines(rows);
  if (recovered != expected) {
    std::cout << table.schema << "." << table.table << " differs from the original rows:\n" << rows;
  }
  return !expected.empty() && recovered == expected;
}

class RoundTripTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(RoundTripTest, CoveredTablesComeBackExactly) {
  const Fixture& fixture = GetParam();
  const std::string shared = testing::SharedDir();
  const std::string fixtureDir = testing::ClusterDir(fixture.layout);
  const std::string databaseDir = fixtureDir + "/base/" + fixture.database;
  if (!fs::exists(databaseDir)) GTEST_SKIP() << "shared fixtures not found at " << fixtureDir;
  const std::string bin = ServerBinDir();
  if (bin.empty()) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "no PostgreSQL server installed (Debian package postgresql)";
    GTEST_SKIP() << "no PostgreSQL server installed (Debian package postgresql)";
  }

  char work[] = "/tmp/vesk-acceptance-XXXXXX";
  ASSERT_NE(mkdtemp(work), nullptr);
  const std::string workDir = work;
  const std::string log = workDir + "/recovery.log";
  ASSERT_EQ(FileRecover((databaseDir + "/1259").c_str(), (workDir + "/").c_str(), 0, nullptr, nullptr, 0,
                        log.c_str()),
            VESK_OK);
  const std::string resultDir = ResultDirectory(workDir);
  ASSERT_FALSE(resultDir.empty()) << "no result directory below " << workDir;

  const std::string script = ScriptText(resultDir);
  EXPECT_NE(script.find("\"sql_data\""), std::string::npos) << "the user's table sql_data must be recovered";

  const std::string tag = std::string("acc_") + fixture.layout;
  ServerGuard server(bin, fixture.port);
  int status = 0;
  std::string output = RunCommand("python3 " + ShellQuote(shared + "/tools/roundtrip.py") + " " +
                                      ShellQuote(fixtureDir) + " " + ShellQuote(resultDir) + " --json --keep --port " +
                                      std::to_string(fixture.port) + " --tag " + tag + " 2>&1",
                                  &status);
  ASSERT_EQ(status, 0) << output;
  size_t summaryAt = output.rfind("fidelity ");
  ASSERT_NE(summaryAt, std::string::npos) << output;
  std::cout << "[ " << fixture.layout << " ] " << output.substr(summaryAt);
  size_t jsonAt = output.find('{');
  ASSERT_NE(jsonAt, std::string::npos) << output;
  std::optional<Json> report = ParseJson(output.substr(jsonAt, summaryAt - jsonAt));
  ASSERT_TRUE(report.has_value()) << output;

  std::set<TableName> exact;
  std::set<TableName> seen;
  for (const Json& table : (*report)["tables"].items) {
    TableName name{table["schema"].text, table["table"].text};
    seen.insert(name);
    if (table["exact"].boolean) exact.insert(name);
  }
  const std::map<TableName, uint32_t> oids = FixtureTableOids(fixture.layout);
  std::vector<TableName> covered = CoveredTables();
  if (std::string(fixture.layout) == "pg83") {
    covered.insert(covered.end(), CoveredTables83().begin(), CoveredTables83().end());
  }
  for (const TableName& table : covered) {
    EXPECT_TRUE(seen.count(table) == 1) << table.schema << "." << table.table << " missing from the report";
    auto oid = oids.find(table);
    bool ok = exact.count(table) == 1 ||
              MatchesOriginalRows(fixture.port, "rec_" + tag, fixture.layout, oid == oids.end() ? 0 : oid->second, table);
    EXPECT_TRUE(ok) << table.schema << "." << table.table << " not exact";
  }

  for (const auto& [table, columns] : CoveredColumns()) {
    const std::string sql =
        "SELECT " + columns + " FROM " + QuoteIdent(table.schema) + "." + QuoteIdent(table.table) + " ORDER BY 1";
    std::string expected = Query(fixture.port, "exp_" + tag, sql);
    std::string recovered = Query(fixture.port, "rec_" + tag, sql);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(recovered, expected) << table.table << " columns " << columns;
  }

  std::error_code ec;
  if (!::testing::Test::HasFailure()) fs::remove_all(workDir, ec);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RoundTripTest,
                         ::testing::Values(Fixture{"pg82", "16388", 5471}, Fixture{"pg83", "16585", 5472}),
                         [](const ::testing::TestParamInfo<Fixture>& f) { return std::string(f.param.layout); });

}  // namespace
}  // namespace vesk::acceptance
