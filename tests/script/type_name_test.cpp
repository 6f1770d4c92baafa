#include "script/type_name.h"

#include <gtest/gtest.h>

#include <string>

#include "script/memory_catalog.h"
#include "script/sql_literal.h"
#include "support/scratch.h"

namespace vesk {
namespace {

using testing::MemoryCatalog;
using testing::TypeSpec;

struct NameCase {
  uint32_t oid;
  int32_t typmod;
  const char* name;  // null: the type cannot be named
};

std::string Named(uint32_t oid, int32_t typmod) {
  char* text = FormatTypeName(oid, typmod);
  std::string name = text != nullptr ? text : "<null>";
  ScratchFree(text);
  return name;
}

class TypeNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    catalog.AddBuiltinTypes();
    catalog.AddSchema(2200, "public");
    catalog.AddSchema(16500, "s");
    catalog.AddType(TypeSpec{.oid = 16501, .name = "money2", .nspOid = 16500, .typoutput = 9000});
    catalog.AddType(TypeSpec{.oid = 16502, .name = "_money2", .nspOid = 16500, .typelem = 16501,
                             .typstorage = 'x', .typoutput = 751});
    catalog.AddType(TypeSpec{.oid = 16503, .name = "orphan", .nspOid = 99999, .typoutput = 9001});
    catalog.AddType(TypeSpec{.oid = 16504, .name = "_lost", .typelem = 77777, .typstorage = 'x', .typoutput = 751});
    catalog.AddType(TypeSpec{.oid = 16505, .name = "Odd\"Type", .nspOid = 2200, .typoutput = 9002});
    // Domains: posint over int4, shorttext over varchar(8), and one over posint.
    catalog.AddType(TypeSpec{.oid = 16510, .name = "posint", .nspOid = 2200, .typtype = 'd',
                             .typbasetype = 23, .typoutput = 43});
    catalog.AddType(TypeSpec{.oid = 16511, .name = "shorttext", .nspOid = 2200, .typtype = 'd',
                             .typstorage = 'x', .typbasetype = 1043, .typtypmod = 12, .typoutput = 1047});
    catalog.AddType(TypeSpec{.oid = 16512, .name = "posint2", .nspOid = 2200, .typtype = 'd',
                             .typbasetype = 16510, .typoutput = 43});
    // A damaged catalog: a domain over itself.
    catalog.AddType(TypeSpec{.oid = 16513, .name = "loop", .typtype = 'd', .typbasetype = 16513});
    catalog.AddType(TypeSpec{.oid = 16514, .name = "pair", .nspOid = 2200, .typtype = 'c', .typoutput = 2290});
    catalog.AddType(TypeSpec{.oid = 16515, .name = "mood", .nspOid = 2200, .typtype = 'e', .typoutput = 3533});
  }

  MemoryCatalog catalog{83};
};

TEST_F(TypeNameTest, NamesEveryRowOfTheTable) {
  const NameCase cases[] = {
      {16, -1, "boolean"},
      {16, 5, "boolean"},
      {20, -1, "bigint"},
      {21, -1, "smallint"},
      {23, -1, "integer"},
      {700, -1, "real"},
      {701, -1, "double precision"},
      {1042, -1, "\"bpchar\""},
      {1042, 14, "character(10)"},
      {1042, 4, nullptr},
      {1043, -1, "character varying"},
      {1043, 24, "character varying(20)"},
      {1043, 4, nullptr},
      {1043, 0, nullptr},
      {1083, -1, "time without time zone"},
      {1083, 3, "time(3) without time zone"},
      {1114, -1, "timestamp without time zone"},
      {1114, 0, "timestamp(0) without time zone"},
      {1184, -1, "timestamp with time zone"},
      {1184, 6, "timestamp(6) with time zone"},
      {1266, -1, "time with time zone"},
      {1266, 2, "time(2) with time zone"},
      {1560, -1, "\"bit\""},
      {1560, 8, "bit(8)"},
      {1562, -1, "bit varying"},
      {1562, 8, "bit varying(8)"},
      {1700, -1, "numeric"},
      {1700, 655366, "numeric(10,2)"},
      {1700, 4, nullptr},
      {25, -1, "\"text\""},
      {1082, 7, "\"date\""},
      {17, -1, "\"bytea\""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(Named(c.oid, c.typmod), c.name != nullptr ? c.name : "<null>") << "oid " << c.oid << " typmod " << c.typmod;
  }
}

TEST_F(TypeNameTest, IntervalFieldsAndPrecision) {
  const NameCase cases[] = {
      {1186, -1, "interval"},
      {1186, 0x7FFFFFFF, "interval"},
      {1186, 0x7FFF0003, "interval(3)"},
      {1186, 0x06FFFF, "interval year to month"},
      {1186, 0x0003FFFF, "interval"},  // a mask the server never writes
      // Precision after the fields, as current servers read it.
      {1186, (7176 << 16) | 3, "interval day to second(3)"},
      {1186, (4096 << 16) | 0, "interval second(0)"},
      {1186, (6 << 16) | 2, "interval year to month"},
      {1186, (2 << 16) | 0xFFFF, "interval month"},
      {1186, (3072 << 16) | 0xFFFF, "interval hour to minute"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(Named(c.oid, c.typmod), c.name) << std::hex << c.typmod;
  const struct {
    int mask;
    const char* text;
  } fields[] = {{2, " month"},   {4, " year"},           {6, " year to month"},   {8, " day"},
                {1024, " hour"}, {1032, " day to hour"}, {2048, " minute"},       {3072, " hour to minute"},
                {3080, " day to minute"}, {4096, " second"}, {6144, " minute to second"},
                {7168, " hour to second"}, {7176, " day to second"}, {0x7FFF, ""}, {5, ""}};
  for (const auto& f : fields) EXPECT_STREQ(IntervalFieldText((f.mask << 16) | 0xFFFF), f.text) << f.mask;
}

TEST_F(TypeNameTest, ArraysNameTheirElement) {
  EXPECT_EQ(Named(1007, -1), "integer[]");
  EXPECT_EQ(Named(1009, -1), "\"text\"[]");
  EXPECT_EQ(Named(1015, 24), "character varying(20)[]");
  EXPECT_EQ(Named(16502, -1), "\"s\".\"money2\"[]");
  // Fixed-size types with an element type are not arrays.
  EXPECT_EQ(Named(600, -1), "\"point\"");
  // An element type that is not in the catalog loses the column.
  EXPECT_EQ(Named(16504, -1), "<null>");
}

TEST_F(TypeNameTest, UserTypesAreQualifiedWhenTheirSchemaIsKnown) {
  EXPECT_EQ(Named(16501, -1), "\"s\".\"money2\"");
  EXPECT_EQ(Named(16503, -1), "\"orphan\"");
  EXPECT_EQ(Named(16505, -1), "\"public\".\"Odd\"\"Type\"");
  EXPECT_EQ(Named(4242, -1), "<null>");
}

TEST_F(TypeNameTest, DomainsAreNamedByTheirBaseType) {
  EXPECT_EQ(Named(16510, -1), "integer");
  EXPECT_EQ(Named(16511, -1), "character varying(8)");
  EXPECT_EQ(Named(16511, 14), "character varying(10)");
  EXPECT_EQ(Named(16512, -1), "integer");
  EXPECT_EQ(Named(16513, -1), "<null>");
}

TEST_F(TypeNameTest, CompositeAndEnumColumnsAreDeclaredText) {
  EXPECT_EQ(Named(16514, -1), "\"text\"");
  EXPECT_EQ(Named(16515, -1), "\"text\"");
}

TEST_F(TypeNameTest, DomainsTakeTheirBaseTypesLiteral) {
  EXPECT_EQ(LiteralKindFor(83, 16510), LiteralKind::kInteger);
  EXPECT_EQ(LiteralKindFor(83, 16511), LiteralKind::kText);
  EXPECT_EQ(LiteralKindFor(82, 16511), LiteralKind::kEscapedText);
  EXPECT_EQ(LiteralKindFor(82, 16513), LiteralKind::kText);
}

}  // namespace
}  // namespace vesk
