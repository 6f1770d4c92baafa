#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/objects/constraint_sql.h"
#include "script/objects/stored_values.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// A check's text against the columns its stored tree uses, by their names
// now: a rename since leaves an old name in the text.
TEST(ConstraintObjectsTest, CheckTextMustNameTheColumnsItUses) {
  const struct {
    const char* source;
    std::vector<std::string> columns;
    bool current;
  } cases[] = {
      {"(x > 3)", {"x"}, true},
      {"(((x > 3) AND (y <> 'check failed'::text)) AND (x < 7))", {"x", "y", "x"}, true},
      {"(a > 0)", {"b"}, false},                           // a renamed to b
      {"(a > b)", {"b", "a"}, false},                      // a and b swapped their names
      {"(\"Odd \"\"Col\" > 0)", {"Odd \"Col"}, true},       // quoted name
      {"((y)::text <> 'x > 0'::text)", {"x"}, false},       // only inside a literal
      {"(y <> 'it''s x'::text)", {"y"}, true},
      {"(now() > '2000-01-01'::date)", {}, true},           // no column at all
      {"(varchar_col IS NOT NULL)", {"varchar"}, false},  // a word, not a part of one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckTextNamesColumns(c.source, c.columns), c.current) << c.source;
  }
  EXPECT_EQ(TreeColumnNumbers("({OPEXPR :opno 521 :args ({VAR :varno 1 :varattno 2 :vartype 23} {VAR :varno 1 "
                              ":varattno 1 :vartype 23} {VAR :varattno -1} {VAR :varattno} {VAR :varattno 99999999})"),
            (std::vector<int16_t>{2, 1, -1}));
}

TEST(ConstraintObjectsTest, StatementsAsPgDumpWritesThem) {
  ForeignKeySpec key;
  key.table = "\"s\".\"t\"";
  key.name = "t_fk";
  key.columns = {"\"a\"", "\"b\""};
  key.referenced = "\"r\"";
  key.referencedColumns = {"\"x\"", "\"y\""};
  key.matchType = 'f';
  key.deleteAction = 'c';
  key.deferrable = true;
  key.deferred = true;
  ForeignKeySpec plain = key;
  plain.matchType = 'u';
  plain.deleteAction = 'a';
  plain.updateAction = 'n';
  plain.deferrable = false;
  ForeignKeySpec damaged = key;
  damaged.updateAction = '?';
  std::vector<IndexColumnSpec> columns = {{"\"a\"", "", 0}, {"\"b\"", "\"text_pattern_ops\"", 1}, {"\"c\"", "", 3},
                                          {"\"d\"", "", 2}};
  const struct {
    std::string sql;
    const char* expected;
  } cases[] = {
      {KeyConstraintSql("\"t\"", "t_pkey", 'p', {"\"a\"", "\"b\""}),
       "ALTER TABLE ONLY \"t\"\n    ADD CONSTRAINT \"t_pkey\" PRIMARY KEY (\"a\", \"b\");\n\n"},
      {KeyConstraintSql("\"t\"", "t_a_key", 'u', {"\"a\""}),
       "ALTER TABLE ONLY \"t\"\n    ADD CONSTRAINT \"t_a_key\" UNIQUE (\"a\");\n\n"},
      {CheckConstraintSql("\"t\"", "c", "(a > 0)"), "ALTER TABLE \"t\"\n    ADD CONSTRAINT \"c\" CHECK ((a > 0));\n\n"},
      {ForeignKeySql(key),
       "ALTER TABLE ONLY \"s\".\"t\"\n    ADD CONSTRAINT \"t_fk\" FOREIGN KEY (\"a\", \"b\") REFERENCES "
       "\"r\"(\"x\", \"y\") MATCH FULL ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED;\n\n"},
      {ForeignKeySql(plain),
       "ALTER TABLE ONLY \"s\".\"t\"\n    ADD CONSTRAINT \"t_fk\" FOREIGN KEY (\"a\", \"b\") REFERENCES "
       "\"r\"(\"x\", \"y\") ON UPDATE SET NULL;\n\n"},
      {ForeignKeySql(damaged), ""},
      {IndexSql("i", "\"t\"", true, "btree", columns),
       "CREATE UNIQUE INDEX \"i\" ON \"t\" USING \"btree\" (\"a\", \"b\" \"text_pattern_ops\" DESC NULLS LAST, "
       "\"c\" DESC, \"d\" NULLS FIRST);\n\n"},
      {CommentLines("View v:\n    \"a\" integer\n\x1b"), "-- View v:\n--     \"a\" integer\n-- ?\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.sql, c.expected);
}

std::vector<uint8_t> ArrayValue(uint8_t version, int32_t ndim, int32_t dataOffset, const std::vector<int16_t>& items,
                                bool shortHeader, int32_t claimedCount = -1) {
  std::vector<uint8_t> payload;
  auto put32 = [&](int32_t v) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    payload.insert(payload.end(), b, b + 4);
  };
  put32(ndim);
  put32(dataOffset);
  put32(21);
  if (ndim > 0) {
    put32(claimedCount >= 0 ? claimedCount : static_cast<int32_t>(items.size()));
    put32(0);
  }
  for (int16_t item : items) {
    uint8_t b[2];
    std::memcpy(b, &item, 2);
    payload.insert(payload.end(), b, b + 2);
  }
  std::vector<uint8_t> value;
  const uint32_t size = static_cast<uint32_t>(payload.size());
  if (shortHeader) {
    value.push_back(static_cast<uint8_t>(((size + 1) << 1) | 1));
  } else {
    const uint32_t word = version == 83 ? (size + 4) << 2 : size + 4;
    value.resize(4);
    std::memcpy(value.data(), &word, 4);
  }
  value.insert(value.end(), payload.begin(), payload.end());
  return value;
}

// Key vectors as 8.2 and 8.3 store them, and damaged ones that must give
// nothing rather than read past the value.
TEST(ConstraintObjectsTest, KeyVectorsFromStoredValues) {
  const struct {
    uint8_t version;
    std::vector<uint8_t> stored;
    bool ok;
    std::vector<int16_t> items;
  } cases[] = {
      {82, ArrayValue(82, 1, 0, {1, 3}, false), true, {1, 3}},
      {83, ArrayValue(83, 1, 0, {2}, false), true, {2}},
      {83, ArrayValue(83, 1, 0, {4, 5, 6}, true), true, {4, 5, 6}},
      {82, ArrayValue(82, 0, 0, {}, false), true, {}},
      {82, ArrayValue(82, 1, 0, {1, 2}, false, 1000), false, {}},  // count beyond the value
      {82, ArrayValue(82, 1, 0, {1}, false, 0x7FFFFFFF), false, {}},
      {82, ArrayValue(82, 2, 0, {1}, false), false, {}},            // not one-dimensional
      {82, ArrayValue(82, 1, 28, {1}, false), false, {}},           // a null bitmap
      {82, {}, false, {}},
  };
  const uint8_t saved = vesk::Run().version;
  for (const auto& c : cases) {
    vesk::Run().version = c.version;
    std::vector<int16_t> items;
    EXPECT_EQ(StoredInt16Vector(c.stored, items), c.ok);
    if (c.ok) {
      EXPECT_EQ(items, c.items);
    }
  }
  vesk::Run().version = saved;
}

}  // namespace
}  // namespace vesk
