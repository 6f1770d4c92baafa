#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "catalog/catalog_readers.h"
#include "catalog/static_descriptors.h"
#include "support/recovery_run.h"
#include "types/registry/type_output.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::BytesOfValue;
using testing::LogCapture;
using testing::PlainOf;
using testing::PutU32;
using testing::Stored;
using testing::Take;

constexpr uint32_t kDomainOverInt4 = 70001;
constexpr uint32_t kDomainOverVarchar8 = 70002;
constexpr uint32_t kDomainOverDomain = 70003;
constexpr uint32_t kSelfOutput = 70004;
constexpr uint32_t kDomainCycleA = 70005;
constexpr uint32_t kDomainCycleB = 70006;
constexpr uint32_t kEnum = 70007;
constexpr uint32_t kComposite = 70008;

// A type catalog for the current run: the built-in image of the layout plus
// hand-made rows, installed in Run() while the object lives.
class TypeCatalog {
 public:
  explicit TypeCatalog(uint8_t version) : table_(version), version_(version) {
    std::filesystem::create_directories(dir_.path());
    vesk::Run().databaseDirectory = dir_.path() + "/";
    vesk::Run().version = version;
    FillStaticColumns(table_.reader().columns, PgTypeCatalog(version));
    table_.ReadTypes();
    vesk::Run().types = &table_;
  }
  ~TypeCatalog() {
    vesk::Run().types = nullptr;
    vesk::Run().version = 82;
    vesk::Run().databaseDirectory.clear();
  }
  TypeCatalog(const TypeCatalog&) = delete;
  TypeCatalog& operator=(const TypeCatalog&) = delete;

  void Add(uint32_t oid, char typtype, int16_t typlen, uint32_t typelem, uint32_t typoutput, uint32_t basetype,
           int32_t typmod) {
    bool v83 = version_ == 83;
    RowValues row(v83 ? 26 : 23, AttrValue{0, false});
    row[0] = AttrValue{PointerDatum(name_.data()), false};
    row[3].datum = static_cast<uint16_t>(typlen);
    row[5].datum = static_cast<uint8_t>(typtype);
    row[9].datum = typelem;
    row[v83 ? 12 : 11].datum = typoutput;
    row[v83 ? 21 : 18].datum = basetype;
    row[v83 ? 22 : 19].datum = static_cast<uint32_t>(typmod);
    table_.ProcessRow(row, oid);
  }

  // The user types of the fixture databases and some damaged ones.
  void AddUserTypes() {
    Add(kDomainOverInt4, 'd', 4, 0, 43, 23, -1);
    Add(kDomainOverVarchar8, 'd', -1, 0, 1047, 1043, 12);
    Add(kDomainOverDomain, 'd', 4, 0, 43, kDomainOverInt4, -1);
    Add(kSelfOutput, 'b', 4, 0, kSelfOutput, 0, -1);
    Add(kDomainCycleA, 'd', 4, 0, 43, kDomainCycleB, -1);
    Add(kDomainCycleB, 'd', 4, 0, 43, kDomainCycleA, -1);
    Add(kEnum, 'e', 4, 0, 3505, 0, -1);
    Add(kComposite, 'c', -1, 0, 2291, 0, -1);
  }

 private:
  testing::TempDir dir_;
  pg_type_Table table_;
  uint8_t version_;
  std::array<char, 64> name_{"user_type"};
};

// One-dimensional int4 array {values} with lower bound 1, no nulls.
std::vector<uint8_t> Int4Array(uint8_t version, std::initializer_list<int32_t> values) {
  std::vector<uint8_t> payload;
  PutU32(payload, 1);
  PutU32(payload, 0);
  PutU32(payload, 23);
  PutU32(payload, static_cast<uint32_t>(values.size()));
  PutU32(payload, 1);
  for (int32_t v : values) PutU32(payload, static_cast<uint32_t>(v));
  return PlainOf(version, payload);
}

std::optional<std::string> Out(uint8_t version, uint32_t type, Datum d, int32_t typmod = -1) {
  return Take(TypeOutput(version, type, d, typmod));
}

class BothLayouts : public ::testing::TestWithParam<uint8_t> {};
INSTANTIATE_TEST_SUITE_P(Layouts, BothLayouts, ::testing::Values(82, 83));

TEST_P(BothLayouts, BuiltInKeysNeedNoCatalog) {
  uint8_t v = GetParam();
  EXPECT_EQ(Out(v, 23, 0xFFFFFFFFu), "-1");
  EXPECT_EQ(Out(v, 21, 7), "7");
  EXPECT_EQ(Out(v, 26, 0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(Out(v, 18, 'q'), "q");
  EXPECT_EQ(Out(v, 701, Stored(BytesOfValue(0.5)).datum()), "0.5");
  EXPECT_STREQ(TypeOutput(v, 16, 1, -1), "true");
}

// Types stored alike in both layouts print alike, with no fallback lines.
TEST_P(BothLayouts, SystemTypesPrintInEitherLayout) {
  LogCapture log;
  uint8_t v = GetParam();
  EXPECT_EQ(Out(v, 27, Stored({0, 0, 1, 0, 2, 0}).datum()), "(1,2)");
  EXPECT_EQ(Out(v, 28, 12345), "12345");
  EXPECT_EQ(Out(v, 29, 7), "7");
  std::vector<uint8_t> unknown = testing::Bytes("abc");
  unknown.push_back(0);
  EXPECT_EQ(Out(v, 705, Stored(unknown).datum()), "abc");
  vesk::Run().version = v;
  std::vector<uint8_t> vector;
  for (uint32_t word : {1u, 0u, 26u, 2u, 0u, 5u, 6u}) PutU32(vector, word);
  EXPECT_EQ(Out(v, 30, Stored(PlainOf(v, vector)).datum()), "5 6");
  vesk::Run().version = 82;
  EXPECT_FALSE(log.Has("Find new type"));
}

TEST_P(BothLayouts, UnknownKeyWithoutCatalogIsNullAndLogged) {
  LogCapture log;
  EXPECT_EQ(TypeOutput(GetParam(), 99999, 1, -1), nullptr);
  EXPECT_TRUE(log.Has("Find new type. Oid = 99999"));
  EXPECT_TRUE(log.Has("Cant define type, try find it in pg_types"));
  EXPECT_TRUE(log.Has("Cant find type with Oid  [99999]"));
  EXPECT_TRUE(log.Has("Not Found, return NULL"));
}

TEST(FindTypeByOid, NoCatalogMeansNoType) {
  LogCapture log;
  ASSERT_EQ(vesk::Run().types, nullptr);
  EXPECT_EQ(FindTypeByOid(23), nullptr);
  EXPECT_TRUE(log.Has("Cant find type with Oid  [23]"));
}

TEST(TypeOutput83, MoneyIsTheWholeEightByteAmount) {
  EXPECT_EQ(Out(83, 790, Stored(BytesOfValue(int64_t{9223372036854775807})).datum()), "92,233,720,368,547,758.07");
  EXPECT_EQ(Out(82, 790, Stored(BytesOfValue(int32_t{-5})).datum()), "-$0.05");
}

TEST(TypeOutput83, BitValuesAreBareDigits) {
  std::vector<uint8_t> bits;
  PutU32(bits, 4);
  bits.push_back(0xA0);
  EXPECT_EQ(Out(83, 1560, Stored(PlainOf(83, bits)).datum(), 4), "1010");
  EXPECT_EQ(Out(82, 1560, Stored(PlainOf(82, bits)).datum(), 4), "X'A'::bit(4)");
}

TEST(TypeOutput82, ArrayTypeReachesArrayOutThroughItsOutputProcedure) {
  TypeCatalog catalog(82);
  LogCapture log;
  EXPECT_EQ(Out(82, 1007, Stored(Int4Array(82, {1, 2})).datum()), "{1,2}");
  std::string text = log.Text();
  size_t find = text.find("Find new type. Oid = 1007");
  size_t fallback = text.find("Cant define type, try find it in pg_types");
  size_t found = text.find("Found type [751]");
  ASSERT_NE(find, std::string::npos);
  ASSERT_NE(fallback, std::string::npos);
  ASSERT_NE(found, std::string::npos);
  EXPECT_LT(find, fallback);
  EXPECT_LT(fallback, found);
}

TEST(TypeOutput83, ListedArrayNeedsNoFallback) {
  LogCapture log;
  TypeCatalog catalog(83);
  EXPECT_EQ(Out(83, 1007, Stored(Int4Array(83, {3, -4})).datum()), "{3,-4}") << log.Text();
  EXPECT_FALSE(log.Has("Find new type"));
}

TEST(TypeOutput83, UnlistedArrayIsRecognisedInTheCatalog) {
  TypeCatalog catalog(83);
  catalog.Add(71000, 'b', -1, 23, 751, 0, -1);
  EXPECT_EQ(Out(83, 71000, Stored(Int4Array(83, {5})).datum()), "{5}");
}

TEST_P(BothLayouts, DomainPrintsAsItsBaseType) {
  TypeCatalog catalog(GetParam());
  catalog.AddUserTypes();
  EXPECT_EQ(Out(GetParam(), kDomainOverInt4, 5), "5");
  EXPECT_EQ(Out(GetParam(), kDomainOverDomain, 0x7FFFFFFF), "2147483647");
  EXPECT_EQ(Out(GetParam(), kDomainOverVarchar8, Stored(PlainOf(GetParam(), testing::Bytes("abc"))).datum()), "abc");
}

TEST(TypeOutput82, DomainTakesItsBaseModifierWhenTheColumnHasNone) {
  TypeCatalog catalog(82);
  catalog.AddUserTypes();
  Stored tooLong(PlainOf(82, testing::Bytes("123456789")));
  EXPECT_EQ(TypeOutput82(kDomainOverVarchar8, tooLong.datum(), -1), nullptr);
  EXPECT_EQ(Out(82, kDomainOverVarchar8, Stored(PlainOf(82, testing::Bytes("it's"))).datum()), "it\\'s");
}

TEST_P(BothLayouts, DamagedCatalogCyclesEndInNull) {
  TypeCatalog catalog(GetParam());
  catalog.AddUserTypes();
  LogCapture log;
  EXPECT_EQ(TypeOutput(GetParam(), kDomainCycleA, 5, -1), nullptr);
  EXPECT_EQ(TypeOutput(GetParam(), kSelfOutput, 5, -1), nullptr);
  EXPECT_EQ(ResolveDomainType(kDomainCycleA) == kDomainCycleA || ResolveDomainType(kDomainCycleA) == kDomainCycleB,
            true);
}

TEST_P(BothLayouts, EnumsAndCompositesWithoutTheirCatalogsAreNull) {
  TypeCatalog catalog(GetParam());
  catalog.AddUserTypes();
  EXPECT_EQ(TypeOutput(GetParam(), kEnum, 1, -1), nullptr);
  EXPECT_EQ(TypeOutput(GetParam(), kComposite, Stored(PlainOf(GetParam(), {0, 0, 0, 0})).datum(), -1), nullptr);
}

TEST(TypeOutputByCatalog, UsesTheRecordsOutputProcedure) {
  TypeCatalog catalog(82);
  LogCapture log;
  // cstring's output procedure is a key of the 8.2 table.
  std::vector<uint8_t> text = testing::Bytes("a'b");
  text.push_back(0);
  EXPECT_EQ(Take(TypeOutputByCatalog(2275, Stored(text).datum(), -1, 82)), "a\\'b");
  EXPECT_TRUE(log.Has("Found type [2293]"));
}

struct EscapedCase {
  uint8_t version;
  uint32_t type;
  bool escaped;
};

class OutputIsEscapedTest : public ::testing::TestWithParam<EscapedCase> {};

TEST_P(OutputIsEscapedTest, SaysWhichTextsComeEscaped) {
  TypeCatalog catalog(GetParam().version);
  catalog.AddUserTypes();
  EXPECT_EQ(OutputIsEscaped(GetParam().version, GetParam().type), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Types, OutputIsEscapedTest,
    ::testing::Values(EscapedCase{82, 25, true}, EscapedCase{83, 25, false}, EscapedCase{82, 1042, true},
                      EscapedCase{83, 1042, false}, EscapedCase{82, 1043, true}, EscapedCase{83, 1043, false},
                      EscapedCase{82, kDomainOverVarchar8, true}, EscapedCase{83, kDomainOverVarchar8, false},
                      EscapedCase{82, 705, true}, EscapedCase{83, 705, true}, EscapedCase{83, 1700, true},
                      EscapedCase{82, 17, false}, EscapedCase{82, 19, false}, EscapedCase{82, 18, false},
                      EscapedCase{82, 1007, false}));

}  // namespace
}  // namespace vesk
