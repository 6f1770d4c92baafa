// One row of the same content, written as each server build of both layouts
// would store it (64- or 32-bit alignment, float8 or int64 date/time
// storage), must be decoded and printed to the same texts once the run's
// settings name that build. The tuples come from the heap page builder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/static_descriptors.h"
#include "heapbuilder/heap_builder.h"
#include "storage/tuple_values.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"
#include "types/registry/direct_text.h"
#include "types/registry/type_output.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;
using testing::Take;

constexpr int64_t kUsecs = 1000000;

// Seconds since 2000-01-01 of 2008-03-14 15:09:26.5 and 1999-12-31 23:59:59.
constexpr int64_t kStampSeconds = 258822566;
constexpr int64_t kStampTzSeconds = -1;

struct Build {
  uint8_t version;
  uint32_t align;
  bool integer;
};

std::string Name(const Build& b) {
  return std::to_string(b.version) + "/align " + std::to_string(b.align) + (b.integer ? "/integer" : "/float");
}

// A time quantity in the build's storage: `usecs` microseconds.
std::vector<uint8_t> TimeBytes(int64_t usecs, bool integer) {
  std::vector<uint8_t> out(8);
  if (integer) {
    std::memcpy(out.data(), &usecs, 8);
  } else {
    const double seconds = static_cast<double>(usecs) / kUsecs;
    std::memcpy(out.data(), &seconds, 8);
  }
  return out;
}

std::vector<uint8_t> Append32(std::vector<uint8_t> bytes, int32_t v) {
  const size_t at = bytes.size();
  bytes.resize(at + 4);
  std::memcpy(bytes.data() + at, &v, 4);
  return bytes;
}

// timetz: the time of day, then the zone in seconds west of UTC.
std::vector<uint8_t> TimeTz(int64_t usecs, int32_t zone, bool integer) {
  return Append32(TimeBytes(usecs, integer), zone);
}

// A one-dimensional timetz[] (element type 1266, aligned 'd'), without its
// length word: the elements are padded to the build's double alignment.
std::vector<uint8_t> TimeTzArray(const Build& b) {
  std::vector<uint8_t> payload;
  for (int32_t word : {1, 0, 1266, 2, 1}) payload = Append32(payload, word);
  for (const auto& element : {TimeTz(47109 * kUsecs, -19800, b.integer), TimeTz(kUsecs / 2, 3600, b.integer)}) {
    payload.insert(payload.end(), element.begin(), element.end());
    while ((payload.size() + 4) % b.align != 0) payload.push_back(0);
  }
  return payload;
}

struct Column {
  uint32_t type;
  int16_t len;
  bool byval;
  char align;
};

const Column kColumns[] = {
    {23, 4, true, 'i'},     {701, 8, false, 'd'},  {16, 1, true, 'c'},     {1114, 8, false, 'd'},
    {21, 2, true, 's'},     {1083, 8, false, 'd'}, {1266, 12, false, 'd'}, {1186, 16, false, 'd'},
    {25, -1, false, 'i'},   {1184, 8, false, 'd'}, {20, 8, false, 'd'},    {1270, -1, false, 'd'},
};

const char* const kTexts[] = {
    "7",
    "2.5",
    "true",
    "2008-03-14 15:09:26.50",
    "-3",
    "13:05:09.25",
    "13:05:09+05:30",
    "1 year 2 mons 3 days 04:05:06.50",
    "tail",
    "1999-12-31 23:59:59+00",
    "9000000001",
    "{13:05:09+05:30,00:00:00.50-01}",
};

std::vector<hb::Value> RowContent(const Build& b) {
  const double rating = 2.5;
  std::vector<uint8_t> rate(8);
  std::memcpy(rate.data(), &rating, 8);
  return {hb::Int32(7),
          hb::Fixed(rate),
          hb::Bool(true),
          hb::Fixed(TimeBytes(kStampSeconds * kUsecs + kUsecs / 2, b.integer)),
          hb::Int16(-3),
          hb::Fixed(TimeBytes(47109 * kUsecs + kUsecs / 4, b.integer)),
          hb::Fixed(TimeTz(47109 * kUsecs, -19800, b.integer)),
          hb::Fixed(Append32(Append32(TimeBytes(14706 * kUsecs + kUsecs / 2, b.integer), 3), 14)),
          hb::Text("tail"),
          hb::Fixed(TimeBytes(kStampTzSeconds * kUsecs, b.integer)),
          hb::Int64(9000000001LL),
          hb::Varlena(TimeTzArray(b))};
}

// The built-in type catalog of one layout (from the engine's own image),
// as the run's, with the run's settings naming the build.
class BuildUnderTest {
 public:
  explicit BuildUnderTest(const Build& b) : types_(b.version) {
    Run().databaseDirectory = dir_.path() + "/";
    Run().version = b.version;
    FillStaticColumns(types_.reader().columns, PgTypeCatalog(b.version));
    types_.ReadTypes();
    Run().types = &types_;
    Run().settings.maxAlign = Run().settings.doubleAlign = b.align;
    Run().settings.integerDatetimes = b.integer;
  }
  ~BuildUnderTest() {
    Run().types = nullptr;
    Run().settings = DatabaseSettings{};
    Run().version = 82;
    Run().databaseDirectory.clear();
  }
  BuildUnderTest(const BuildUnderTest&) = delete;
  BuildUnderTest& operator=(const BuildUnderTest&) = delete;

 private:
  testing::TempDir dir_;
  pg_type_Table types_;
};

struct Decoded {
  std::vector<CatalogColumnDesc> descs;
  RowValues values;
  bool complete = false;
};

// The stored tuple of the row in build `b`, with its zero-filled spare
// bytes behind it as the decoder expects.
std::vector<uint8_t> StoredTuple(const Build& b) {
  std::vector<hb::ColumnSpec> specs;
  for (const Column& c : kColumns) specs.push_back({c.len, c.byval, c.align, 'x'});
  const hb::ServerBuild build{b.align, b.align, b.integer};
  const std::vector<hb::Value> values = RowContent(b);
  std::vector<uint8_t> tuple =
      hb::EncodeTuple(b.version == 83 ? hb::Layout::k83 : hb::Layout::k82, {}, specs, values, build);
  return tuple;
}

void Decode(const std::vector<uint8_t>& tuple, uint8_t version, Decoded& out) {
  out.descs.clear();
  for (const Column& c : kColumns) {
    CatalogColumnDesc d;
    d.atttypid = c.type;
    d.attlen = c.len;
    d.attbyval = c.byval;
    d.attalign = c.align;
    out.descs.push_back(d);
  }
  std::vector<CatalogColumnDesc*> columns;
  for (CatalogColumnDesc& d : out.descs) columns.push_back(&d);
  out.complete = DecodeTupleValues(version == 83, tuple.data(), static_cast<uint32_t>(tuple.size() - 64), columns,
                                   -1, out.values);
}

std::vector<std::string> Texts(const Decoded& row, uint8_t version) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (row.values[i].isnull) {
      texts.push_back("<null>");
      continue;
    }
    auto text = Take(TypeOutput(version, row.descs[i].atttypid, row.values[i].datum, -1));
    texts.push_back(text ? *text : "<missed>");
  }
  return texts;
}

std::vector<Build> AllBuilds() {
  std::vector<Build> builds;
  for (uint8_t version : {uint8_t{82}, uint8_t{83}}) {
    for (uint32_t align : {4u, 8u}) {
      for (bool integer : {false, true}) builds.push_back({version, align, integer});
    }
  }
  return builds;
}

std::vector<uint8_t> WithSpare(std::vector<uint8_t> tuple) {
  tuple.resize(tuple.size() + 64, 0);
  return tuple;
}

TEST(ServerBuilds, EveryBuildOfTheSameRowPrintsTheSameTexts) {
  const std::vector<std::string> expected(std::begin(kTexts), std::end(kTexts));
  for (const Build& b : AllBuilds()) {
    BuildUnderTest run(b);
    const std::vector<uint8_t> tuple = WithSpare(StoredTuple(b));
    Decoded row;
    Decode(tuple, b.version, row);
    ASSERT_TRUE(row.complete) << Name(b);
    EXPECT_EQ(Texts(row, b.version), expected) << Name(b);
  }
}

// The settings matter: the same bytes read as the other alignment or the
// other date/time storage do not give the row back.
TEST(ServerBuilds, TheOtherSettingDoesNotGiveTheRowBack) {
  const std::vector<std::string> expected(std::begin(kTexts), std::end(kTexts));
  for (const Build& b : AllBuilds()) {
    const std::vector<uint8_t> tuple = WithSpare(StoredTuple(b));
    for (const Build& wrong : {Build{b.version, 12 - b.align, b.integer}, Build{b.version, b.align, !b.integer}}) {
      BuildUnderTest run(wrong);
      Decoded row;
      Decode(tuple, b.version, row);
      EXPECT_NE(Texts(row, b.version), expected) << Name(b) << " read as " << Name(wrong);
    }
  }
}

// The direct texts the row writer takes for timestamps follow the storage
// too, and agree with the routines.
TEST(ServerBuilds, DirectTimestampTextsFollowTheStorage) {
  const int64_t usecs[] = {0, -kUsecs / 2, kStampSeconds * kUsecs, kStampSeconds * kUsecs + 123456,
                           -63113904000LL * kUsecs, INT64_MAX, INT64_MIN};
  for (bool integer : {false, true}) {
    for (uint32_t type : {1114u, 1184u}) {
      BuildUnderTest run(Build{83, 8, integer});
      DirectTextRoutine direct = FindDirectText(83, type);
      ASSERT_NE(direct, nullptr);
      for (int64_t v : usecs) {
        std::vector<uint8_t> stored = TimeBytes(v, integer);
        if (!integer && (v == INT64_MAX || v == INT64_MIN)) {
          const double inf = v == INT64_MAX ? HUGE_VAL : -HUGE_VAL;
          std::memcpy(stored.data(), &inf, 8);
        }
        const Datum d = PointerDatum(stored.data());
        DirectBuffer buffer;
        std::string_view text;
        auto routine = Take(TypeOutput(83, type, d, -1));
        ASSERT_TRUE(routine.has_value()) << v;
        if (direct(d, -1, buffer, text)) {
          EXPECT_EQ(std::string(text), *routine) << v << " integer " << integer;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vesk
