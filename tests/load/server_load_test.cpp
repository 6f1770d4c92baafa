// --into's load against the tests' PostgreSQL server, one database per test,
// fed with pieces as the engine sends them.
#include "server_load.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "common/test_server.h"

namespace vesk::frontend {
namespace {

struct Piece {
  int32_t kind;
  std::string text;
  const char* schema = nullptr;
  const char* table = nullptr;
};

Piece Sql(std::string text) { return {VESK_PIECE_SQL, std::move(text)}; }
Piece Begin(const char* table) { return {VESK_PIECE_TABLE_BEGIN, "", "public", table}; }
Piece End(const char* table) { return {VESK_PIECE_TABLE_END, "", "public", table}; }
Piece Copy(const char* table, const std::string& columns) {
  return {VESK_PIECE_COPY_BEGIN, std::string("COPY \"public\".\"") + table + "\" (" + columns + ") FROM stdin;\n",
          "public", table};
}
Piece Rows(const char* table, std::string rows) { return {VESK_PIECE_COPY_DATA, std::move(rows), "public", table}; }
Piece CopyEnd(const char* table) { return {VESK_PIECE_COPY_END, "\\.\n", "public", table}; }

// `count` rows "n<TAB>row n" of a COPY, with the value of row `bad` (if
// any) one an integer column refuses.
std::string NumberedRows(int count, int bad = 0) {
  std::string rows;
  for (int n = 1; n <= count; ++n) {
    rows += (n == bad ? "x" + std::to_string(n) : std::to_string(n)) + "\trow " + std::to_string(n) + "\n";
  }
  return rows;
}

class ServerLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    server_ = vesk::testing::TestServerConnection(&why);
    if (server_.empty()) GTEST_SKIP() << why;
    database_ = std::string("vesk_load_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : database_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(Admin("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)"), "");
    ASSERT_EQ(Admin("CREATE DATABASE " + database_), "");
  }
  void TearDown() override {
    if (!database_.empty()) Admin("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  }

  std::string Target() const { return server_ + " dbname=" + database_; }

  std::string Admin(const std::string& sql) { return Run(server_, sql); }

  // The first column of every row of `sql` in the test's database, one per
  // line; or the error.
  std::string Query(const std::string& sql) { return Run(Target(), sql); }

  static std::string Run(const std::string& conninfo, const std::string& sql) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    std::string out;
    PGresult* result = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK) {
      for (int row = 0; row < PQntuples(result); ++row) out += std::string(PQgetvalue(result, row, 0)) + "\n";
    } else if (status != PGRES_COMMAND_OK) {
      out = std::string("error: ") + PQerrorMessage(conn);
    }
    PQclear(result);
    PQfinish(conn);
    return out;
  }

  // Feeds the pieces; the summary of the load. What the server refused
  // goes to `rejects`.
  LoadSummary Load(const std::vector<Piece>& pieces, const std::string& rejects = "") {
    std::string error;
    auto load = ServerLoad::Connect(Target(), nullptr, error);
    EXPECT_NE(load, nullptr) << error;
    if (!load) return {};
    if (!rejects.empty()) load->KeepRejects([rejects] { return rejects; });
    for (const Piece& p : pieces) {
      VeskScriptPiece piece{sizeof(VeskScriptPiece), p.kind, p.schema, p.table,
                            p.text.empty() ? nullptr : p.text.data(), static_cast<int64_t>(p.text.size())};
      EXPECT_TRUE(load->Take(piece));
    }
    load->Finish();
    return load->Summary();
  }

  std::string server_;
  std::string database_;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

TEST_F(ServerLoadTest, TablesInCopyAndInsertFormLoad) {
  LoadSummary summary = Load({
      Sql("SET client_encoding = 'UTF8';\n-- Create table a\n"),
      Begin("a"), Sql("CREATE TABLE \"public\".\"a\"\n(\n\"id\" integer,\n\"t\" text);\n\n"),
      Copy("a", "\"id\", \"t\""), Rows("a", "1\tone\n2\tGrüße; 'x'\n"), Rows("a", "3\t\\N\n"), CopyEnd("a"),
      End("a"),
      Begin("b"), Sql("CREATE TABLE \"public\".\"b\" (\"x\" integer);\nINSERT INTO \"public\".\"b\" VALUES (1);\n"),
      Sql("INSERT INTO \"public\".\"b\" VA"), Sql("LUES (2);\n"), End("b"),
  });
  EXPECT_FALSE(summary.HasLosses()) << Joined(summary.Failures());
  EXPECT_EQ(summary.Tables(), 2);
  EXPECT_EQ(summary.Rows(), 5);
  EXPECT_EQ(Query("SELECT id || ':' || coalesce(t, 'null') FROM a ORDER BY id"), "1:one\n2:Grüße; 'x'\n3:null\n");
  EXPECT_EQ(Query("SELECT x FROM b ORDER BY x"), "1\n2\n");
}

// A value the server refuses costs its row and nothing else; a failing
// statement outside a table costs only itself; a table the server cannot
// create loses its rows without trying each.
TEST_F(ServerLoadTest, FailuresCostOnlyWhatFailed) {
  const struct {
    const char* name;
    std::vector<Piece> pieces;
    const char* query;
    const char* rows;  // what the query gives after the load
    int64_t rowsLoaded, rowsLost, statementsFailed, tablesFailed;
    const char* listed;    // part of a failure line
    const char* rejected;  // part of the file of refused rows and statements
  } cases[] = {
      {"copy",
       {Begin("c"), Sql("CREATE TABLE c (n integer, t text);"), Copy("c", "n, t"), Rows("c", NumberedRows(450, 300)),
        CopyEnd("c"), End("c")},
       "SELECT count(*) || ' ' || sum(n) FROM c", "449 101175\n", 449, 1, 0, 1,
       "row of \"public\".\"c\" lost: ERROR:  invalid input syntax for type integer: \"x300\"",
       "\nCOPY \"public\".\"c\" (n, t) FROM stdin;\nx300\trow 300\n\\.\n"},
      {"inserts",
       {Begin("i"), Sql("CREATE TABLE i (n integer);\nINSERT INTO i VALUES (1);\nINSERT INTO i VALUES ('x');\n"),
        Sql("INSERT INTO i VALUES (3);\n"), End("i")},
       "SELECT string_agg(n::text, ',' ORDER BY n) FROM i", "1,3\n", 2, 1, 0, 1, "row: INSERT INTO i VALUES ('x')",
       "\nINSERT INTO i VALUES ('x');\n"},
      // libpq would cut the batch at the NUL and drop the rest unseen.
      {"nul",
       {Begin("z"), Sql("CREATE TABLE z (n int);\n"), Sql(std::string("INSERT INTO z VALUES (1) \0;\n", 28)),
        Sql("INSERT INTO z VALUES (2);\n"), End("z")},
       "SELECT string_agg(n::text, ',') FROM z", "2\n", 1, 1, 0, 1, "holds a NUL byte", "INSERT INTO z VALUES (1) "},
      {"statement",
       {Sql("CREATE TABLE nosuch.t (a int);\nCREATE TABLE ok (a int);\n"), Begin("d"), Sql("CREATE TABLE d (n int);"),
        End("d")},
       "SELECT string_agg(relname, ',' ORDER BY relname) FROM pg_class WHERE relname IN ('ok', 't', 'd')", "d,ok\n",
       0, 0, 1, 0, "statement: CREATE TABLE nosuch.t (a int)", "-- ERROR:  schema \"nosuch\" does not exist\nCREATE TABLE nosuch.t (a int);\n"},
      {"definition",
       {Begin("u"), Sql("CREATE TABLE u (n nosuchtype);"), Copy("u", "n"), Rows("u", "1\n2\n"), Rows("u", "3\n"),
        CopyEnd("u"), End("u")},
       "SELECT count(*) FROM pg_class WHERE relname = 'u'", "0\n", 0, 3, 1, 1,
       "3 rows of \"public\".\"u\" lost: ERROR:  relation \"public.u\" does not exist",
       "\nCREATE TABLE u (n nosuchtype);\n\n-- ERROR:  relation \"public.u\" does not exist\nCOPY \"public\".\"u\" (n) FROM stdin;\n1\n2\n3\n\\.\n"},
  };
  vesk::testing::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string rejects = dir / (std::string(c.name) + ".sql");
    LoadSummary summary = Load(c.pieces, rejects);
    std::stringstream refused;
    refused << std::ifstream(rejects).rdbuf();
    EXPECT_NE(refused.str().find(c.rejected), std::string::npos) << refused.str();
    EXPECT_EQ(Query(c.query), c.rows);
    EXPECT_EQ(summary.Rows(), c.rowsLoaded);
    EXPECT_EQ(summary.RowsLostCount(), c.rowsLost);
    EXPECT_EQ(summary.StatementsFailed(), c.statementsFailed);
    EXPECT_EQ(summary.TablesFailed(), c.tablesFailed);
    EXPECT_NE(Joined(summary.Failures()).find(c.listed), std::string::npos) << Joined(summary.Failures());
    EXPECT_TRUE(summary.HasLosses());
  }
}

// A server gone in the middle of a table: the load says so and asks the
// run to stop, the tables committed before stay.
TEST_F(ServerLoadTest, LostConnectionStopsTheRun) {
  std::string error;
  auto load = ServerLoad::Connect(Target(), nullptr, error);
  ASSERT_NE(load, nullptr) << error;
  auto take = [&load](const Piece& p) {
    VeskScriptPiece piece{sizeof(VeskScriptPiece), p.kind, p.schema, p.table, p.text.data(),
                          static_cast<int64_t>(p.text.size())};
    return load->Take(piece);
  };
  for (const Piece& p : {Begin("kept"), Sql("CREATE TABLE kept (n int);"), End("kept"), Begin("gone"),
                         Sql("CREATE TABLE gone (n int);"), Copy("gone", "n"), Rows("gone", "1\n")}) {
    ASSERT_TRUE(take(p));
  }
  ASSERT_EQ(Admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + database_ + "'"),
            "t\n");
  bool running = true;
  for (const Piece& p : {Rows("gone", "2\n"), CopyEnd("gone"), End("gone"), Sql("CREATE TABLE later (n int);")}) {
    running = running && take(p);
  }
  load->Finish();
  EXPECT_FALSE(running);
  EXPECT_TRUE(load->Summary().IsConnectionLost());
  EXPECT_EQ(Query("SELECT string_agg(relname, ',') FROM pg_class WHERE relname IN ('kept', 'gone', 'later')"),
            "kept\n");
}

}  // namespace
}  // namespace vesk::frontend
