// Row values of composite types, built with the heap page builder's tuple
// encoder (the inverse of the record decoder) and printed through the
// dispatch, in both layouts.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/static_descriptors.h"
#include "heapbuilder/heap_builder.h"
#include "support/recovery_run.h"
#include "types/registry/record_out.h"
#include "types/registry/type_output.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;
using testing::Stored;
using testing::Take;

constexpr uint32_t kPair = 71001;      // pair (x integer, y text)
constexpr uint32_t kPairRel = 71002;
constexpr uint32_t kOuter = 71003;     // outer (a integer, p pair, b boolean)
constexpr uint32_t kOuterRel = 71004;
constexpr uint32_t kGappy = 71005;     // gappy (x integer, <dropped integer>, y text)
constexpr uint32_t kGappyRel = 71006;
constexpr uint32_t kSelf = 71007;      // a damaged catalog: self (me self)
constexpr uint32_t kSelfRel = 71008;
constexpr uint32_t kLost = 71009;      // a row type without pg_attribute rows
constexpr uint32_t kLostRel = 71010;

struct Attr {
  uint32_t relid;
  const char* name;
  uint32_t type;
  int16_t len;
  int16_t num;
  bool byval;
  char align;
  bool dropped = false;
};

// Type and attribute catalogs of the current run with the composite types
// above; the built-in types come from the embedded image.
class RowTypeCatalog {
 public:
  explicit RowTypeCatalog(uint8_t version) : version_(version), types_(version), attributes_("1249", version) {
    Run().databaseDirectory = dir_.path() + "/";
    Run().version = version;
    FillStaticColumns(types_.reader().columns, PgTypeCatalog(version));
    types_.ReadTypes();
    for (auto [oid, rel] : {std::pair{kPair, kPairRel}, {kOuter, kOuterRel}, {kGappy, kGappyRel},
                            {kSelf, kSelfRel}, {kLost, kLostRel}}) {
      AddComposite(oid, rel);
    }
    const Attr attrs[] = {
        {kPairRel, "x", 23, 4, 1, true, 'i'},      {kPairRel, "y", 25, -1, 2, false, 'i'},
        {kOuterRel, "a", 23, 4, 1, true, 'i'},     {kOuterRel, "p", kPair, -1, 2, false, 'd'},
        {kOuterRel, "b", 16, 1, 3, true, 'c'},     {kGappyRel, "x", 23, 4, 1, true, 'i'},
        {kGappyRel, "gone", 0, 4, 2, true, 'i', true}, {kGappyRel, "y", 25, -1, 3, false, 'i'},
        {kSelfRel, "me", kSelf, -1, 1, false, 'd'},
    };
    for (const Attr& a : attrs) AddAttribute(a);
    Run().types = &types_;
    Run().attributes = &attributes_;
  }
  ~RowTypeCatalog() {
    Run().types = nullptr;
    Run().attributes = nullptr;
    Run().version = 82;
    Run().databaseDirectory.clear();
  }
  RowTypeCatalog(const RowTypeCatalog&) = delete;
  RowTypeCatalog& operator=(const RowTypeCatalog&) = delete;

 private:
  void AddComposite(uint32_t oid, uint32_t relid) {
    const bool v83 = version_ == 83;
    RowValues row(v83 ? kPgType83ColumnCount : kPgType82ColumnCount, AttrValue{0, false});
    row[0] = AttrValue{PointerDatum(Name("row_type")), false};
    row[3].datum = static_cast<uint16_t>(-1);
    row[5].datum = 'c';
    row[8].datum = relid;
    row[v83 ? 12 : 11].datum = 2291;  // record_out
    row[v83 ? 18 : 15].datum = 'd';
    row[v83 ? 19 : 16].datum = 'x';
    row[v83 ? 22 : 19].datum = static_cast<uint32_t>(-1);
    types_.ProcessRow(row, oid);
  }
  void AddAttribute(const Attr& a) {
    RowValues row(17, AttrValue{0, false});
    row[0].datum = a.relid;
    row[1] = AttrValue{PointerDatum(Name(a.name)), false};
    row[2].datum = a.type;
    row[4].datum = static_cast<uint16_t>(a.len);
    row[5].datum = static_cast<uint16_t>(a.num);
    row[8].datum = static_cast<uint32_t>(-1);
    row[9].datum = a.byval;
    row[10].datum = 'x';
    row[11].datum = static_cast<uint8_t>(a.align);
    row[14].datum = a.dropped;
    row[15].datum = 1;
    attributes_.ProcessRow(row, 0);
  }
  const char* Name(const char* text) {
    std::array<char, 64>& name = names_.emplace_back();
    std::strncpy(name.data(), text, name.size() - 1);
    return name.data();
  }

  uint8_t version_;
  testing::TempDir dir_;
  std::deque<std::array<char, 64>> names_;
  pg_type_Table types_;
  pg_attribute_Table attributes_;
};

hb::Layout LayoutOf(uint8_t version) { return version == 83 ? hb::Layout::k83 : hb::Layout::k82; }

// The stored row value: a tuple whose first 12 header bytes are the
// value's length word, type modifier and type OID, written as a 4-byte
// header value (or in `form` when another one is asked for).
std::vector<uint8_t> RowValue(uint8_t version, uint32_t typeOid, const std::vector<hb::ColumnSpec>& columns,
                              const std::vector<hb::Value>& values, hb::VarlenaForm form = hb::VarlenaForm::kLong) {
  hb::TupleSpec spec;
  spec.ctidBlock = 0;
  spec.ctidItem = 0;
  std::vector<uint8_t> tuple = hb::EncodeTuple(LayoutOf(version), spec, columns, values);
  const uint32_t size = static_cast<uint32_t>(tuple.size());
  const uint32_t header = version == 83 ? size << 2 : size;
  const int32_t typmod = -1;
  std::memcpy(tuple.data(), &header, 4);
  std::memcpy(tuple.data() + 4, &typmod, 4);
  std::memcpy(tuple.data() + 8, &typeOid, 4);
  if (form == hb::VarlenaForm::kLong) return tuple;
  return hb::EncodeVarlena(LayoutOf(version), hb::Varlena({tuple.begin() + 4, tuple.end()}, form));
}

const std::vector<hb::ColumnSpec> kPairColumns = {{4, true, 'i', 'p'}, {-1, false, 'i', 'x'}};

std::vector<uint8_t> Pair(uint8_t version, hb::Value x, hb::Value y,
                          hb::VarlenaForm form = hb::VarlenaForm::kLong) {
  return RowValue(version, kPair, kPairColumns, {std::move(x), std::move(y)}, form);
}

std::optional<std::string> Print(uint8_t version, uint32_t type, const std::vector<uint8_t>& stored) {
  return Take(TypeOutput(version, type, Stored(stored).datum(), -1));
}

class RecordOut : public ::testing::TestWithParam<uint8_t> {};

TEST_P(RecordOut, FieldsAreQuotedAsTheServerQuotesThem) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  struct Case {
    const char* y;
    const char* text;
  } cases[] = {
      {"one", "(1,one)"},           {"", "(1,\"\")"},           {"q\"q", "(1,\"q\"\"q\")"},
      {"a b", "(1,\"a b\")"},       {"a\\b", "(1,\"a\\\\b\")"}, {"(x)", "(1,\"(x)\")"},
      {"a,b", "(1,\"a,b\")"},       {"tab\there", "(1,\"tab\there\")"},
      // 8.2's text routine escapes the quote for a literal; inside a row
      // value the field is the plain text.
      {"it's", "(1,it's)"},
  };
  for (const Case& c : cases) EXPECT_EQ(Print(v, kPair, Pair(v, hb::Int32(1), hb::Text(c.y))), c.text) << c.y;
}

TEST_P(RecordOut, NullFieldsAreEmpty) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  EXPECT_EQ(Print(v, kPair, Pair(v, hb::Null(), hb::Text("q"))), "(,q)");
  // A value stored before the type had its last column.
  EXPECT_EQ(Print(v, kPair, RowValue(v, kPair, kPairColumns, {hb::Int32(7)})), "(7,)");
}

TEST_P(RecordOut, StoredFormsOfTheValue) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  const std::string text(300, 'z');
  EXPECT_EQ(Print(v, kPair, Pair(v, hb::Int32(2), hb::Text(text), hb::VarlenaForm::kCompressed)),
            "(2," + text + ")");
  if (v == 83) {
    EXPECT_EQ(Print(v, kPair, Pair(v, hb::Int32(3), hb::Text("abc", hb::VarlenaForm::kShort),
                                   hb::VarlenaForm::kShort)),
              "(3,abc)");
  }
}

TEST_P(RecordOut, NestedRowValuesAndBooleans) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  std::vector<uint8_t> inner = Pair(v, hb::Int32(1), hb::Text("one"));
  std::vector<hb::ColumnSpec> columns = {{4, true, 'i', 'p'}, {-1, false, 'd', 'x'}, {1, true, 'c', 'p'}};
  std::vector<uint8_t> outer = RowValue(v, kOuter, columns, {hb::Int32(5), hb::Raw(inner), hb::Bool(true)});
  EXPECT_EQ(Print(v, kOuter, outer), "(5,\"(1,one)\",t)");
}

TEST_P(RecordOut, DroppedColumnsAreLeftOut) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  std::vector<hb::ColumnSpec> columns = {{4, true, 'i', 'p'}, {4, true, 'i', 'p'}, {-1, false, 'i', 'x'}};
  EXPECT_EQ(Print(v, kGappy, RowValue(v, kGappy, columns, {hb::Int32(1), hb::Null(), hb::Text("y")})), "(1,y)");
}

TEST_P(RecordOut, DamageGivesNullNeverAWrongValue) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  testing::LogCapture log;
  std::vector<uint8_t> good = Pair(v, hb::Int32(1), hb::Text("one"));
  const size_t hoffAt = v == 83 ? 22 : 26;

  std::vector<uint8_t> hoffPastEnd = good;
  hoffPastEnd[hoffAt] = 0xF8;
  std::vector<uint8_t> hoffInHeader = good;
  hoffInHeader[hoffAt] = 8;
  // The text's length header claims more than the value holds.
  std::vector<uint8_t> fieldTooLong = good;
  fieldTooLong[fieldTooLong.size() - 4 - (v == 83 ? 0 : 3)] = 0x7F;
  std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 12);
  const uint32_t twelve = v == 83 ? 12u << 2 : 12u;
  std::memcpy(headerOnly.data(), &twelve, 4);

  for (const auto& stored : {hoffPastEnd, hoffInHeader, fieldTooLong, headerOnly}) {
    EXPECT_EQ(Print(v, kPair, stored), std::nullopt);
  }
  EXPECT_EQ(Print(v, kLost, good), std::nullopt);
  EXPECT_TRUE(log.Has("Cant find all columns of row type"));
}

TEST_P(RecordOut, ACatalogSayingATypeHoldsItselfEndsInNull) {
  const uint8_t v = GetParam();
  RowTypeCatalog catalog(v);
  testing::LogCapture log;
  // Each level's only field is the same bytes again, as far as they reach.
  std::vector<hb::ColumnSpec> columns = {{-1, false, 'd', 'x'}};
  std::vector<uint8_t> value = Pair(v, hb::Int32(1), hb::Text("one"));
  for (int level = 0; level < 12; ++level) value = RowValue(v, kSelf, columns, {hb::Raw(value)});
  EXPECT_EQ(Print(v, kSelf, value), std::nullopt);
  EXPECT_TRUE(log.Has("Row value nested too deep"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, RecordOut, ::testing::Values(uint8_t{82}, uint8_t{83}),
                         [](const ::testing::TestParamInfo<uint8_t>& p) { return "v" + std::to_string(p.param); });

TEST(AppendRecordField, QuotesOnlyWhatTheServerQuotes) {
  struct Case {
    const char* text;
    const char* field;
  } cases[] = {{"plain", "plain"}, {"", "\"\""}, {"x\"y", "\"x\"\"y\""}, {"x\\y", "\"x\\\\y\""},
               {"a)", "\"a)\""},   {"l\nf", "\"l\nf\""}, {"{1,2}", "\"{1,2}\""}, {"{1}", "{1}"}};
  for (const Case& c : cases) {
    std::string out;
    AppendRecordField(out, c.text);
    EXPECT_EQ(out, c.field) << c.text;
  }
}

}  // namespace
}  // namespace vesk
