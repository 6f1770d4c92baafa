#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/objects/constraint_sql.h"
#include "script/objects/expression_text.h"
#include "script/objects/node_tree.h"
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

// The catalogs of a table (a int4, s name, t text, r float8) with a few
// operators and functions, as the expression text asks for them.
class FakeNames : public ExpressionNames {
 public:
  std::string Column(int16_t attnum) const override {
    const char* names[] = {"", "\"a\"", "\"s\"", "\"t\"", "\"r\""};
    return attnum >= 1 && attnum <= 4 ? names[attnum] : "";
  }
  bool FindOperator(uint32_t oid, Operator& out) const override {
    switch (oid) {
      case 97: out = {"<", true, 23, 23}; return true;
      case 521: out = {">", true, 23, 23}; return true;
      case 660: out = {"<", true, 19, 19}; return true;
      case 654: out = {"||", true, 25, 25}; return true;
      case 484: out = {"-", true, 0, 20}; return true;
      case 9999: out = {"<<<", false, 23, 23}; return true;
      default: return false;
    }
  }
  bool FindFunction(uint32_t oid, Function& out) const override {
    if (oid != 1395) return false;
    out = {"abs", true, false, {701}};
    return true;
  }
};

std::string Var(int attno, int type) {
  return "{VAR :varno 1 :varattno " + std::to_string(attno) + " :vartype " + std::to_string(type) +
         " :vartypmod -1 :varlevelsup 0 :varnoold 1 :varoattno " + std::to_string(attno) + "}";
}
std::string Const(int type, int length, const std::string& bytes) {
  return "{CONST :consttype " + std::to_string(type) + " :constlen " + std::to_string(length) +
         " :constbyval true :constisnull false :constvalue " + bytes + "}";
}
std::string Op(int opno, const std::string& args, int result = 16) {
  return "{OPEXPR :opno " + std::to_string(opno) + " :opfuncid 0 :opresulttype " + std::to_string(result) +
         " :opretset false :args (" + args + ")}";
}
std::string NameConst(char c) {
  std::string bytes = "64 [ " + std::to_string(static_cast<int>(c));
  for (int i = 1; i < 64; ++i) bytes += " 0";
  return Const(19, 64, bytes + " ]");
}

// Stored trees to text: what is rebuilt exactly, and what is refused (a
// guess would make a different index) or cannot be read at all.
TEST(ConstraintObjectsTest, ExpressionTextFromStoredTrees) {
  const std::string k1000 = Const(23, 4, "4 [ -24 3 0 0 0 0 0 0 ]");
  const std::string kMinus5 = Const(23, 4, "4 [ -5 -1 -1 -1 0 0 0 0 ]");
  const struct {
    std::string tree;
    const char* text;
  } cases[] = {
      {Op(521, Var(1, 23) + " " + k1000), "(\"a\" > 1000)"},
      {Op(521, Var(1, 23) + " " + kMinus5), "(\"a\" > (-5))"},
      {"{BOOLEXPR :boolop or :args (" + Op(97, Var(1, 23) + " " + k1000) + " " + Op(660, Var(2, 19) + " " + NameConst('B')) +
           ")}",
       "((\"a\" < 1000) OR (\"s\" < 'B'::name))"},
      {"{BOOLEXPR :boolop not :args (" + Op(97, Var(1, 23) + " " + k1000) + ")}", "(NOT (\"a\" < 1000))"},
      {Op(654, Var(3, 25) + " " + Const(25, -1, "9 [ 9 0 0 0 120 39 92 121 33 ]"), 25), ""},  // a backslash
      {Op(654, Var(3, 25) + " " + Const(25, -1, "7 [ 28 0 0 0 120 39 121 ]"), 25), "(\"t\" || 'x''y'::text)"},
      {Op(654, Var(3, 25) + " " + Const(25, -1, "6 [ 6 0 0 0 120 121 ]"), 25), "(\"t\" || 'xy'::text)"},
      {Op(9999, Var(1, 23) + " " + k1000), ""},                          // not a built-in operator
      {Op(521, Var(1, 21) + " " + k1000), ""},                           // operand of another type
      {Op(521, Var(1, 23) + " " + Var(5, 23)), ""},                      // no such column
      {Op(484, Const(20, 8, "8 [ 1 0 0 0 0 0 0 0 ]"), 20), "(- '1'::bigint)"},
      {"{FUNCEXPR :funcid 1395 :funcresulttype 701 :funcretset false :funcformat 0 :args (" + Var(4, 701) + ")}",
       "abs(\"r\")"},
      {"{FUNCEXPR :funcid 1395 :funcresulttype 701 :funcretset false :funcformat 2 :args (" + Var(4, 701) + ")}", ""},
      {"{RELABELTYPE :arg " + Var(1, 23) + "}", ""},
  };
  FakeNames names;
  for (const auto& c : cases) {
    TreeItem tree;
    ASSERT_TRUE(ParseNodeTree(c.tree, tree)) << c.tree;
    EXPECT_EQ(ExpressionText(tree, names), c.text) << c.tree;
  }
  TreeItem list;
  std::vector<KeyExpression> keys;
  ASSERT_TRUE(ParseNodeTree("(" + Op(654, Var(3, 25) + " " + Var(3, 25), 25) + ")", list));
  ASSERT_TRUE(IndexExpressionTexts(list, names, keys));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].text, "((\"t\" || \"t\"))");
  EXPECT_EQ(keys[0].type, 25u);

  const std::string damaged[] = {
      "{OPEXPR :opno 521 :args ({VAR",
      std::string(5000, '(') + std::string(5000, ')'),
      Const(23, 4, "4 [ 1 2 ]"),           // fewer bytes than the length
      Const(23, 4, "4 [ 1 2 3 4 5 6 7 8 9 10 11 12 13 ]"),
      Const(23, 4, "4 [ 1 2 3 999 ]"),
      "{VAR :varno 1 :varattno 1} trailing",
      "{VAR varno 1}",
      "",
  };
  for (const std::string& text : damaged) {
    TreeItem tree;
    EXPECT_FALSE(ParseNodeTree(text, tree)) << text.substr(0, 80);
  }
}

}  // namespace
}  // namespace vesk
