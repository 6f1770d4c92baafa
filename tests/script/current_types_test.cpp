// A table of the types a current server lacks, stored by the heap page
// builder and recovered for an 8.x server (every type as stored) and for a
// current one (types it has, values it loads, nothing else lost).
#include "script/current_types.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/log_capture.h"
#include "common/temp_dir.h"
#include "heapbuilder/heap_builder.h"
#include "script/memory_catalog.h"
#include "script/script_table.h"
#include "script/table_definition.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;

constexpr uint32_t kAbstimeArray = 1023;
constexpr uint32_t kCityBudget = 16600;  // C type, 16 bytes, routine in the user's library
constexpr uint32_t kInt42 = 16602;       // by value, 4 bytes, routine unknown to the engine

struct ColumnDef {
  const char* name;
  uint32_t type;
  hb::ColumnSpec spec;
};

const ColumnDef kColumns[] = {
    {"id", 23, {4, true, 'i', 'p'}},
    {"at", 702, {4, true, 'i', 'p'}},
    {"rt", 703, {4, true, 'i', 'p'}},
    {"ti", 704, {12, false, 'i', 'p'}},
    {"u", 705, {-2, false, 'c', 'p'}},
    {"ats", kAbstimeArray, {-1, false, 'i', 'x'}},
    {"budget", kCityBudget, {16, false, 'i', 'p'}},
    {"w", kInt42, {4, true, 'i', 'p'}},
};

hb::Value Tinterval(int32_t status, int32_t from, int32_t to) {
  std::vector<uint8_t> bytes;
  for (int32_t v : {status, from, to}) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  }
  return hb::Fixed(bytes);
}

hb::Value Budget() {
  std::vector<uint8_t> bytes(16);
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i) * 4] = static_cast<uint8_t>(i + 1);
  return hb::Fixed(bytes);
}

// Recovers the table for `target` from a heap file in `dir`; the script.
std::string Recover(uint8_t version, int32_t target, const testing::TempDir& dir) {
  testing::MemoryCatalog catalog(version);
  catalog.AddBuiltinTypes();
  catalog.AddSchema(2200, "public");
  for (auto [oid, name] : {std::pair{702u, "abstime"}, {703u, "reltime"}, {704u, "tinterval"}}) {
    catalog.AddType(testing::TypeSpec{.oid = oid, .name = name, .typbyval = oid != 704});
  }
  catalog.AddType(
      testing::TypeSpec{.oid = kAbstimeArray, .name = "_abstime", .typelem = 702, .typstorage = 'x', .typoutput = 751});
  catalog.AddType(testing::TypeSpec{.oid = kCityBudget, .name = "city_budget", .nspOid = 2200, .typoutput = 16601});
  catalog.AddType(testing::TypeSpec{.oid = kInt42, .name = "int42", .nspOid = 2200, .typoutput = 16603,
                                    .typbyval = true});
  vesk::Run().options.targetServer = target;

  std::vector<hb::ColumnSpec> specs;
  std::vector<CatalogColumnDesc> columns;
  for (const ColumnDef& c : kColumns) {
    specs.push_back(c.spec);
    CatalogColumnDesc& d = columns.emplace_back();
    std::strncpy(d.attname, c.name, sizeof d.attname - 1);
    d.atttypid = c.type;
    d.attlen = c.spec.attlen;
    d.attbyval = c.spec.attbyval;
    d.attalign = c.spec.attalign;
    d.attstorage = c.spec.attstorage;
    d.attnum = static_cast<int16_t>(columns.size());
  }
  hb::RelationBuilder relation(version == 83 ? hb::Layout::k83 : hb::Layout::k82, specs);
  const hb::Value budget = Budget();
  relation.AddRow({hb::Int32(1), hb::Int32(0), hb::Int32(93600), Tinterval(1, 0, 946684800), hb::CString("abc"),
                   hb::Null(), budget, hb::Int32(42)});
  relation.AddRow({hb::Int32(2), hb::Int32(0x7FFFFFFE), hb::Int32(-1), Tinterval(0, 0, 0), hb::Null(), hb::Null(),
                   hb::Null(), hb::Null()});
  relation.AddRow({hb::Int32(3), hb::Int32(0x7FFFFFFC), hb::Null(), hb::Null(), hb::Null(), hb::Null(), hb::Null(),
                   hb::Null()});
  const std::string file = dir / ("legacy" + std::to_string(version));
  EXPECT_TRUE(relation.WriteFile(file));

  pg_script_Table table(nullptr, "public", version);
  std::strcpy(table.reader().tableName, "legacy");
  table.reader().path = file;
  for (CatalogColumnDesc& d : columns) table.reader().columns.push_back(&d);
  EXPECT_EQ(WriteTableDefinition(table), 0);
  EXPECT_EQ(table.ReadTable(), 0);
  EXPECT_EQ(table.reader().valuesMissed, target == VESK_TARGET_CURRENT ? 1 : 2);
  return catalog.TakeScript();
}

TEST(TargetServerTypes, LegacyTypesLoadIntoTheServerAsked) {
  const struct {
    int32_t target;
    const char* script;
  } cases[] = {
      {VESK_TARGET_ORIGINAL,
       "CREATE TABLE \"public\".\"legacy\"\n(\n\"id\" integer,\n\"at\" \"abstime\",\n\"rt\" \"reltime\",\n"
       "\"ti\" \"tinterval\",\n\"u\" \"unknown\",\n\"ats\" \"abstime\"[],\n\"budget\" \"public\".\"city_budget\",\n"
       "\"w\" \"public\".\"int42\");\n\n"
       "INSERT INTO \"public\".\"legacy\" VALUES (1, '1970-01-01 00:00:00+00', '1 day 02:00:00', "
       "'[\"1970-01-01 00:00:00+00\" \"2000-01-01 00:00:00+00\"]', 'abc', NULL, NULL, NULL);\n"
       "INSERT INTO \"public\".\"legacy\" VALUES (2, 'invalid', '-00:00:01', '[\"Undefined Range\"]', NULL, NULL, "
       "NULL, NULL);\n"
       "INSERT INTO \"public\".\"legacy\" VALUES (3, 'infinity', NULL, NULL, NULL, NULL, NULL, NULL);\n"},
      {VESK_TARGET_CURRENT,
       "-- Column at: type abstime, which current servers lack, is declared as timestamp with time zone\n"
       "-- Column rt: type reltime, which current servers lack, is declared as interval\n"
       "-- Column ti: type tinterval, which current servers lack, is declared as text\n"
       "-- Column u: type unknown, which current servers lack, is declared as text\n"
       "-- Column ats: type abstime, which current servers lack, is declared as timestamp with time zone\n"
       "-- Column budget: base type city_budget cannot be created by this script; declared as text holding its "
       "values' stored bytes in hex (\\x...)\n"
       "-- Column w: base type int42 cannot be created by this script; declared as text holding its values' "
       "stored bytes in hex (\\x...)\n"
       "CREATE TABLE \"public\".\"legacy\"\n(\n\"id\" integer,\n\"at\" timestamp with time zone,\n"
       "\"rt\" interval,\n\"ti\" text,\n\"u\" text,\n\"ats\" timestamp with time zone[],\n\"budget\" text,\n"
       "\"w\" text);\n\n"
       "INSERT INTO \"public\".\"legacy\" VALUES (1, '1970-01-01 00:00:00+00', '1 day 02:00:00', "
       "'[\"1970-01-01 00:00:00+00\" \"2000-01-01 00:00:00+00\"]', 'abc', NULL, "
       "E'\\\\x01000000020000000300000004000000', E'\\\\x2a000000');\n"
       "INSERT INTO \"public\".\"legacy\" VALUES (2, NULL, '-00:00:01', '[\"Undefined Range\"]', NULL, NULL, "
       "NULL, NULL);\n"
       "INSERT INTO \"public\".\"legacy\" VALUES (3, 'infinity', NULL, NULL, NULL, NULL, NULL, NULL);\n"},
  };
  testing::TempDir dir;
  for (uint8_t version : {uint8_t{82}, uint8_t{83}}) {
    for (const auto& c : cases) {
      testing::LogCapture log;
      EXPECT_EQ(Recover(version, c.target, dir), c.script) << int{version} << " target " << c.target;
      EXPECT_EQ(log.Has("abstime value 'invalid' has no timestamp with time zone equivalent"),
                c.target == VESK_TARGET_CURRENT);
    }
  }
}

}  // namespace
}  // namespace vesk
