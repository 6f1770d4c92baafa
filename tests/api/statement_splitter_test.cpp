#include "statement_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk::frontend {
namespace {

std::vector<std::string> Split(const std::string& text, size_t pieceSize) {
  std::vector<std::string> statements;
  auto sink = [&statements](std::string_view s) { statements.emplace_back(s); };
  StatementSplitter splitter;
  for (size_t at = 0; at < text.size(); at += pieceSize) splitter.Feed(std::string_view(text).substr(at, pieceSize), sink);
  splitter.Finish(sink);
  return statements;
}

// Every case is cut into pieces of every size from one character to the
// whole, since the engine may cut its text anywhere.
TEST(StatementSplitterTest, EndsStatementsOnlyOutsideQuotesAndComments) {
  const struct {
    const char* text;
    std::vector<std::string> statements;
  } cases[] = {
      {"CREATE SCHEMA a;\n\nCREATE TABLE b (x int);\n", {"CREATE SCHEMA a", "CREATE TABLE b (x int)"}},
      {"INSERT INTO t VALUES ('a;b', 'it''s;', '');", {"INSERT INTO t VALUES ('a;b', 'it''s;', '')"}},
      // Backslashes escape only in E'...' (and not in a name ending in e).
      {"SELECT E'x\\';y', e'\\\\';SELECT 'a\\';SELECT 2",
       {"SELECT E'x\\';y', e'\\\\'", "SELECT 'a\\'", "SELECT 2"}},
      {"SELECT E'a''b\\';c';", {"SELECT E'a''b\\';c'"}},
      {"SELECT xe'\\';' ;", {"SELECT xe'\\'", "' ;"}},
      {"CREATE TABLE \"a;\"\"b\" (\"'\" int);", {"CREATE TABLE \"a;\"\"b\" (\"'\" int)"}},
      {"-- one; two\nSELECT 1; /* a; /* nested; */ still; */ SELECT 2 -- x;\n;",
       {"SELECT 1", "SELECT 2 -- x;"}},
      {"CREATE FUNCTION f() RETURNS int AS $body$ SELECT 1; $b$ $$ $body$ LANGUAGE sql; SELECT $$;$$;",
       {"CREATE FUNCTION f() RETURNS int AS $body$ SELECT 1; $b$ $$ $body$ LANGUAGE sql", "SELECT $$;$$"}},
      {"SELECT $a$x$$a$; SELECT 1;", {"SELECT $a$x$$a$", "SELECT 1"}},
      {"PREPARE p AS SELECT $1; SELECT a$b, $_1$;$_1$ FROM t;", {"PREPARE p AS SELECT $1", "SELECT a$b, $_1$;$_1$ FROM t"}},
      {"SELECT 1-2/3; SELECT 4 --c\n- 1/*;*/;", {"SELECT 1-2/3", "SELECT 4 --c\n- 1/*;*/"}},
      {"  -- nothing\n /* x; */ ;; \n", {}},
      {"SELECT 'unterminated;", {"SELECT 'unterminated;"}},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    for (size_t size = 1; size <= text.size(); ++size) {
      EXPECT_EQ(Split(text, size), c.statements) << text << " in pieces of " << size;
    }
  }
}

}  // namespace
}  // namespace vesk::frontend
