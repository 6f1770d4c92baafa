// The corruption suite on synthetic databases of both layouts: each case
// damages one part of a good database, recovers it, and checks that the run
// ends with the right status, logs the loss, and still yields every row that
// the damage did not touch, statement for statement.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "damage/damage_harness.h"
#include "damage/synthetic_database.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;
namespace hb = heapbuilder;
using Edit = std::function<void(const std::string& dir, int version)>;

// One damage case. The reference is the same database with exactly the
// damaged part cut out cleanly (a zero page, an unused line pointer, ...):
// every statement of its recovery must come out of the damaged one too.
// Without a reference the damaged run is compared with the undamaged one,
// and at most `maxLost` statements may differ.
// Garbage catalogs decode to whatever they decode to in each layout: a run
// that finds no table among rows it takes for tables says so (-3), one that
// finds none at all finishes with its schemas (0).
constexpr int32_t kFinishedEitherWay = 1;

struct Case {
  Case(const char* n, Edit d, RowEdit r = nullptr, Edit ref = nullptr, int32_t s = VESK_OK, const char* l = nullptr,
       size_t lost = 0, std::vector<std::string> same = {})
      : name(n), damage(std::move(d)), rowEdit(std::move(r)), reference(std::move(ref)), status(s), logLine(l),
        maxLost(lost), sameCount(std::move(same)) {}
  const char* name;
  Edit damage;
  RowEdit rowEdit;
  Edit reference;
  int32_t status;
  const char* logLine;                 // appears in the log
  size_t maxLost;                      // without reference
  std::vector<std::string> sameCount;  // tables whose row count must not change
};

std::string File(const std::string& dir, const char* name) { return dir + "/" + name; }

Edit Zero(const char* file, size_t page) {
  return [=](const std::string& dir, int) { ZeroPage(File(dir, file), page); };
}
Edit Garble(const char* file, size_t page, size_t from, size_t length) {
  return [=](const std::string& dir, int) { OverwriteRandom(File(dir, file), page, from, length, 77); };
}
Edit Cut(const char* file, size_t bytes) {
  return [=](const std::string& dir, int) { fs::resize_file(File(dir, file), bytes); };
}
Edit Remove(const char* file) {
  return [=](const std::string& dir, int) { fs::remove(File(dir, file)); };
}
Edit GarbleWhole(const char* file) {
  return [=](const std::string& dir, int) {
    for (size_t page = 0; page < PageCountOf(File(dir, file)); ++page) {
      OverwriteRandom(File(dir, file), page, 0, kPage, static_cast<uint32_t>(page + 5));
    }
  };
}
Edit LinePointer(const char* file, size_t page, size_t item, uint32_t word) {
  return [=](const std::string& dir, int version) { SetLinePointer(File(dir, file), page, item, version, word); };
}
Edit DropItem(const char* file, size_t page, size_t item) { return LinePointer(file, page, item, 0); }

// Writes `bytes` at `at` bytes into the tuple of (page, item); `at` counts
// from the record start, or from the data start (t_hoff) when `fromData`.
Edit PatchTuple(const char* file, size_t page, size_t item, size_t at, std::vector<uint8_t> bytes,
                bool fromData = false) {
  return [=](const std::string& dir, int version) {
    std::vector<uint8_t> b = ReadBytes(File(dir, file));
    size_t tuple = TupleOffset(b, page, item, version);
    size_t base = tuple + (fromData ? b[tuple + (version == 83 ? 22 : 26)] : 0);
    std::memcpy(b.data() + base + at, bytes.data(), bytes.size());
    WriteBytes(File(dir, file), b);
  };
}
Edit Hoff(const char* file, size_t page, size_t item, uint8_t hoff) {
  return [=](const std::string& dir, int version) {
    PatchTuple(file, page, item, version == 83 ? 22 : 26, {hoff})(dir, version);
  };
}
Edit Natts(const char* file, size_t page, size_t item, uint16_t natts) {
  return [=](const std::string& dir, int version) {
    PatchTuple(file, page, item, version == 83 ? 18 : 22,
               {static_cast<uint8_t>(natts), static_cast<uint8_t>(natts >> 8)})(dir, version);
  };
}

// A torn write: the second half of a page never reached the disk.
Edit Torn(const char* file, size_t page) {
  return [=](const std::string& dir, int) {
    std::vector<uint8_t> b = ReadBytes(File(dir, file));
    std::fill(b.begin() + static_cast<std::ptrdiff_t>(page * kPage + kPage / 2),
              b.begin() + static_cast<std::ptrdiff_t>((page + 1) * kPage), 0);
    WriteBytes(File(dir, file), b);
  };
}
// The clean cut of a torn page: the items reaching into its second half gone.
Edit TornReference(const char* file, size_t page) {
  return [=](const std::string& dir, int version) {
    std::vector<uint32_t> words = LinePointers(ReadBytes(File(dir, file)), page, version);
    for (size_t item = 0; item < words.size(); ++item) {
      if ((words[item] & 0x7FFF) + (words[item] >> 17) > kPage / 2) SetLinePointer(File(dir, file), page, item, version, 0);
    }
  };
}
// Flips `bits` of the 16-bit page header field at `at`.
Edit FlipPageField(const char* file, size_t page, size_t at, uint16_t bits) {
  return [=](const std::string& dir, int) {
    std::vector<uint8_t> b = ReadBytes(File(dir, file));
    b[page * kPage + at] ^= static_cast<uint8_t>(bits);
    b[page * kPage + at + 1] ^= static_cast<uint8_t>(bits >> 8);
    WriteBytes(File(dir, file), b);
  };
}
// Sets t_infomask bits of one tuple; `bits82`/`bits83` per layout.
Edit InfomaskBits(const char* file, size_t page, size_t item, uint16_t bits82, uint16_t bits83) {
  return [=](const std::string& dir, int version) {
    std::vector<uint8_t> b = ReadBytes(File(dir, file));
    const size_t at = TupleOffset(b, page, item, version) + (version == 83 ? 20 : 24);
    const uint16_t bits = version == 83 ? bits83 : bits82;
    b[at] |= static_cast<uint8_t>(bits);
    b[at + 1] |= static_cast<uint8_t>(bits >> 8);
    WriteBytes(File(dir, file), b);
  };
}

std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// Replaces the value of column `column` of row `row` of table file `file`.
RowEdit ValueAt(const char* file, int row, size_t column, std::function<hb::Value(int version)> make) {
  return [=](int version, const std::string& f, int r, std::vector<hb::Value>& values) {
    if (f == file && r == row) values[column] = make(version);
  };
}

// Stored bytes with a 4-byte header word claiming `total` bytes.
hb::Value LongHeader(int version, uint32_t total, std::vector<uint8_t> rest) {
  std::vector<uint8_t> stored = Le32(version == 83 ? total << 2 : total);
  stored.insert(stored.end(), rest.begin(), rest.end());
  return hb::Raw(std::move(stored));
}

// An array value: header fields as given, then `tail` bytes.
hb::Value ArrayOf(int32_t ndim, int32_t dataOffset, std::vector<int32_t> dimsAndBounds, std::vector<uint8_t> tail) {
  std::vector<uint8_t> payload;
  for (int32_t w : {ndim, dataOffset, 25}) {
    auto b = Le32(static_cast<uint32_t>(w));
    payload.insert(payload.end(), b.begin(), b.end());
  }
  for (int32_t w : dimsAndBounds) {
    auto b = Le32(static_cast<uint32_t>(w));
    payload.insert(payload.end(), b.begin(), b.end());
  }
  payload.insert(payload.end(), tail.begin(), tail.end());
  return hb::Varlena(std::move(payload), hb::VarlenaForm::kLong);
}

// Rewrites fields of the catalog rows that `match` picks: (tupleAt, t_hoff,
// oid) -> edits of (offset from the data start, bytes).
using CatalogPatch = std::function<std::vector<std::pair<size_t, std::vector<uint8_t>>>(
    const std::vector<uint8_t>& file, size_t tupleAt, uint8_t hoff, int version)>;
Edit PatchCatalog(const char* file, CatalogPatch patch) {
  return [=](const std::string& dir, int version) {
    std::vector<uint8_t> b = ReadBytes(File(dir, file));
    std::vector<uint8_t> copy = b;
    ForEachTuple(copy, version, [&](size_t tupleAt, uint8_t hoff) {
      for (const auto& [at, bytes] : patch(copy, tupleAt, hoff, version)) {
        std::memcpy(b.data() + tupleAt + hoff + at, bytes.data(), bytes.size());
      }
    });
    WriteBytes(File(dir, file), b);
  };
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// pg_attribute: attrelid at data + 0, atttypid at + 68, attnum at + 78.
Edit AttributeOf(uint32_t relid, int16_t attnum, size_t field, std::vector<uint8_t> bytes) {
  return PatchCatalog("1249", [=](const std::vector<uint8_t>& b, size_t t, uint8_t hoff, int) {
    std::vector<std::pair<size_t, std::vector<uint8_t>>> edits;
    int16_t num = static_cast<int16_t>(b[t + hoff + 78] | (b[t + hoff + 79] << 8));
    if (U32At(b, t + hoff) == relid && num == attnum) edits.emplace_back(field, bytes);
    return edits;
  });
}
std::vector<uint8_t> Le16(int16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

// pg_type: the row whose OID is `oid` gets typelem = `elem` and, when
// given, typoutput = `output`.
Edit TypeRow(uint32_t oid, uint32_t elem, uint32_t output) {
  return PatchCatalog("1247", [=](const std::vector<uint8_t>& b, size_t t, uint8_t hoff, int version) {
    std::vector<std::pair<size_t, std::vector<uint8_t>>> edits;
    if (U32At(b, t + hoff - 4) != oid) return edits;
    edits.emplace_back(84, Le32(elem));
    if (output != 0) edits.emplace_back(version == 83 ? 96 : 92, Le32(output));
    return edits;
  });
}

Edit Both(Edit a, Edit b) {
  return [=](const std::string& dir, int version) {
    a(dir, version);
    b(dir, version);
  };
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // Pages.
      {"ZeroedPage", Zero(kItemsFile, 1), nullptr, Zero(kItemsFile, 1), VESK_OK},
      {"RandomBytesOverTuples", Garble(kItemsFile, 2, 5000, 3000), nullptr, Zero(kItemsFile, 2), VESK_OK},
      {"RandomBytesOverLinePointers", Garble(kCustomersFile, 1, 20, 200), nullptr, Zero(kCustomersFile, 1),
       VESK_OK},
      {"RandomWholePage", Garble(kCustomersFile, 3, 0, kPage), nullptr, Zero(kCustomersFile, 3), VESK_OK},
      {"RandomPageHeader", Garble(kItemsFile, 0, 0, 24), nullptr, Zero(kItemsFile, 0), VESK_OK},
      {"FileCutInsidePage", Cut(kItemsFile, 3 * kPage + 3000), nullptr, Cut(kItemsFile, 3 * kPage), VESK_OK},
      {"TornPage", Torn(kItemsFile, 1), nullptr, TornReference(kItemsFile, 1), VESK_OK, "set aside"},
      {"RandomWholeUserTable", GarbleWhole(kItemsFile), nullptr, Cut(kItemsFile, 0), VESK_OK, "skipped"},
      {"PdLowerPastPdUpper", FlipPageField(kCustomersFile, 1, 12, 0x1000), nullptr, Zero(kCustomersFile, 1),
       VESK_OK, "pd_lower, pd_upper and pd_special out of order"},
      {"PdUpperPastPage", FlipPageField(kItemsFile, 2, 14, 0x4000), nullptr, Zero(kItemsFile, 2), VESK_OK},
      {"LayoutVersionFlipped", FlipPageField(kItemsFile, 0, 18, 0x0001), nullptr, Zero(kItemsFile, 0), VESK_OK,
       "page layout version"},
      {"SpecialSpaceOnHeapPage", FlipPageField(kCustomersFile, 2, 16, 0x0010), nullptr, Zero(kCustomersFile, 2),
       VESK_OK},
      {"FileCutInsideHeader", Cut(kCustomersFile, 2 * kPage + 10), nullptr, Cut(kCustomersFile, 2 * kPage),
       VESK_OK},
      // Line pointers.
      {"LinePointerPastPage", LinePointer(kItemsFile, 0, 5, hb::LinePointerWord(8000, 1000)), nullptr,
       DropItem(kItemsFile, 0, 5), VESK_OK, "Wrong offset (8000) or record len (1000), skip record!"},
      {"LinePointerLongest", LinePointer(kItemsFile, 1, 0, hb::LinePointerWord(100, 0x7FFF)), nullptr,
       DropItem(kItemsFile, 1, 0), VESK_OK, "skip record!"},
      {"LinePointerShorterThanHeader", LinePointer(kCustomersFile, 0, 2, hb::LinePointerWord(8100, 10)), nullptr,
       DropItem(kCustomersFile, 0, 2), VESK_OK},
      {"LinePointerIntoHeader", LinePointer(kCustomersFile, 0, 3, hb::LinePointerWord(2, 60)), nullptr,
       DropItem(kCustomersFile, 0, 3), VESK_OK},
      // Tuple headers.
      {"HoffPastRecord", Hoff(kCustomersFile, 1, 3, 255), nullptr, DropItem(kCustomersFile, 1, 3), VESK_OK},
      {"HoffZero", Hoff(kItemsFile, 1, 4, 0), nullptr, DropItem(kItemsFile, 1, 4), VESK_OK},
      {"HoffOdd", Hoff(kItemsFile, 2, 7, 27), nullptr, DropItem(kItemsFile, 2, 7), VESK_OK},
      {"NattsHuge", Natts(kCustomersFile, 0, 4, 2047), nullptr, DropItem(kCustomersFile, 0, 4), VESK_OK},
      {"NattsZero", Natts(kCustomersFile, 2, 1, 0), nullptr, DropItem(kCustomersFile, 2, 1), VESK_OK},
      {"NattsOneMoreThanTable", Natts(kItemsFile, 0, 2, 6), nullptr, DropItem(kItemsFile, 0, 2), VESK_OK},
      {"NattsOneFewer", Natts(kItemsFile, 0, 3, 4), nullptr, DropItem(kItemsFile, 0, 3), VESK_OK},
      {"XminCommittedAndAborted", InfomaskBits(kCustomersFile, 1, 6, 0x0300, 0x0300), nullptr,
       DropItem(kCustomersFile, 1, 6), VESK_OK, "inserter both committed and aborted"},
      {"UnassignedInfomaskBit", InfomaskBits(kItemsFile, 1, 9, 0x0020, 0x0010), nullptr, DropItem(kItemsFile, 1, 9),
       VESK_OK, "unassigned header flag"},
      {"NullBitmapFlagFlipped", InfomaskBits(kItemsFile, 2, 3, 0x0001, 0x0001), nullptr, DropItem(kItemsFile, 2, 3),
       VESK_OK},
      // Values.
      {"VarlenaPastPage", nullptr, ValueAt(kItemsFile, 7, 1, [](int v) { return LongHeader(v, 0x3FFFFF00, {'a', 'b', 'c'}); }), nullptr,
       VESK_OK, "a value runs past the record", 1, {kCustomers}},
      {"CorruptPglzStream", nullptr,
       ValueAt(kItemsFile, 10, 4,
               [](int) { return hb::CompressedStream({0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF}, 300); }),
       nullptr, VESK_OK, "compressed data is corrupt", 1, {kItems}},
      {"PglzReferenceBeforeStart", nullptr,
       ValueAt(kItemsFile, 20, 4, [](int) { return hb::CompressedStream({0x01, 0x0F, 0xFF, 0x40}, 300); }),
       nullptr, VESK_OK, "compressed data is corrupt", 1, {kItems}},
      {"PglzHugeRawSize", nullptr,
       ValueAt(kItemsFile, 30, 4,
               [](int) { return hb::CompressedStream({0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 0x3FFFFFF0); }),
       nullptr, VESK_OK, nullptr, 1, {kItems}},
      {"ToastPointerToMissingRelation", nullptr,
       ValueAt(kItemsFile, 40, 4, [](int) { return hb::External({5000, 5000, 77, 99999, false}); }), nullptr,
       VESK_OK, "TOAST relation 99999 is not in the catalogs", 1, {kItems}},
      {"ToastPointerHugeSize", nullptr,
       ValueAt(kItemsFile, 41, 4,
               [](int) { return hb::External({0x7FFFFFF0, 0x7FFFFFF0, 78, 99999, true}); }),
       nullptr, VESK_OK, nullptr, 1, {kItems}},
      // The pointer names a user table: its rows are no chunks.
      {"ToastPointerToUserTable", nullptr,
       ValueAt(kItemsFile, 42, 4, [](int) { return hb::External({3000, 3000, 1, 16386, false}); }), nullptr,
       VESK_OK, nullptr, 1, {kItems}},
      {"ArrayTooManyDimensions", nullptr,
       ValueAt(kCustomersFile, 9, 8, [](int) { return ArrayOf(1000, 0, {1, 1}, {}); }), nullptr, VESK_OK,
       nullptr, 1, {kCustomers}},
      {"ArrayNegativeDimension", nullptr,
       ValueAt(kCustomersFile, 10, 8, [](int) { return ArrayOf(1, 0, {-1, 1}, {}); }), nullptr, VESK_OK,
       "ArrayGetNItems: array size exceeds the maximum allowed (268435455)", 1, {kCustomers}},
      {"ArrayDimensionsOverflow", nullptr,
       ValueAt(kCustomersFile, 11, 8,
               [](int) { return ArrayOf(2, 0, {0x10000, 0x10000, 1, 1}, {}); }),
       nullptr, VESK_OK, "ArrayGetNItems", 1, {kCustomers}},
      {"ArrayElementsPastValue", nullptr,
       ValueAt(kCustomersFile, 12, 8, [](int) { return ArrayOf(1, 0, {1000, 1}, {8, 0, 0, 0}); }), nullptr,
       VESK_OK, "ERROR while out type, MISS value", 1, {kCustomers}},
      {"ArrayDataOffsetPastValue", nullptr,
       ValueAt(kCustomersFile, 13, 8, [](int) { return ArrayOf(1, 5000, {2, 1}, {0xFF}); }), nullptr,
       VESK_OK, nullptr, 1, {kCustomers}},
      {"ArrayDimensionsPastValue", nullptr,
       ValueAt(kCustomersFile, 14, 8, [](int) { return ArrayOf(6, 0, {2}, {}); }), nullptr, VESK_OK,
       nullptr, 1, {kCustomers}},
      // Catalogs.
      {"ClassMissing", Remove("1259"), nullptr, nullptr, VESK_OK, "Cannot open base", 100000},
      // Tables listed, not one recovered: no success.
      {"AttributeMissing", Remove("1249"), nullptr, nullptr, VESK_NOTHING_RECOVERED, "Cannot open base", 100000},
      {"TypeMissing", Remove("1247"), nullptr, nullptr, VESK_OK, "is lost, made from its pg_class row", 0,
       {kCustomers, kItems}},
      {"NamespaceMissing", Remove("2615"), nullptr, nullptr, VESK_OK, "Cannot open base", 100000},
      {"ClassGarbage", GarbleWhole("1259"), nullptr, nullptr, kFinishedEitherWay, nullptr, 100000},
      {"AttributeGarbage", GarbleWhole("1249"), nullptr, nullptr, VESK_NOTHING_RECOVERED, nullptr, 100000},
      {"TypeGarbage", GarbleWhole("1247"), nullptr, nullptr, VESK_OK, nullptr, 100000},
      {"NamespaceGarbage", GarbleWhole("2615"), nullptr, nullptr, VESK_OK, nullptr, 100000},
      {"UserTableMissing", Remove(kItemsFile), nullptr, nullptr, VESK_OK, "Cannot open base", kItemRows,
       {kCustomers}},
      {"AttributeGap", AttributeOf(16386, 3, 78, Le16(30)), nullptr, nullptr, VESK_OK, nullptr, kCustomerRows,
       {kCustomers, kItems}},
      {"AttributeDuplicate", AttributeOf(16386, 4, 78, Le16(3)), nullptr, nullptr, VESK_OK, nullptr,
       kCustomerRows, {kCustomers, kItems}},
      {"AttributeNumberHuge", AttributeOf(16390, 2, 78, Le16(32000)), nullptr, nullptr, VESK_OK, nullptr,
       kItemRows, {kCustomers, kItems}},
      // The tags column's type made an array whose element type is itself.
      {"ArrayTypeOfItself", Both(AttributeOf(16386, 9, 68, Le32(16387)), TypeRow(16387, 16387, 751)), nullptr,
       nullptr, VESK_OK, nullptr, kCustomerRows, {kCustomers, kItems}},
      {"RowTypePrintedAsArrayOfItself", Both(AttributeOf(16386, 9, 68, Le32(16388)), TypeRow(16388, 16388, 751)),
       nullptr, nullptr, VESK_OK, nullptr, kCustomerRows, {kItems}},
  };
  return cases;
}

// The first error lines of a log, for a failure message.
std::string ErrorLines(const std::string& log) {
  std::string out;
  size_t n = 0;
  for (size_t at = log.find("ERROR"); at != std::string::npos && n < 8; at = log.find("ERROR", at + 1), ++n) {
    size_t begin = log.rfind('\n', at);
    begin = begin == std::string::npos ? 0 : begin + 1;
    out += log.substr(begin, log.find('\n', at) - begin) + "\n";
  }
  return out;
}

// The suite's totals, printed at its end (a crash never gets there).
struct SuiteFigures {
  size_t cases = 0;
  size_t invented = 0;
};
SuiteFigures& Figures() {
  static SuiteFigures figures;
  return figures;
}

// The undamaged recovery of each layout, made once.
class SyntheticDamage : public ::testing::TestWithParam<std::tuple<int, size_t>> {
 protected:
  static void TearDownTestSuite() {
    std::cout << "[ damage ] " << Figures().cases << " damaged runs, 0 crashes, " << Figures().invented
              << " rows made up\n";
    work_.reset();
  }

  static const Recovery& Baseline(int version) {
    static std::map<int, Recovery> baselines;
    auto it = baselines.find(version);
    if (it != baselines.end()) return it->second;
    std::string dir = Work().path() + "/good" + std::to_string(version);
    EXPECT_TRUE(WriteSyntheticDatabase(version, dir));
    return baselines[version] = RecoverDirectory(dir, Work().path());
  }

  static testing::TempDir& Work() {
    if (!work_) work_ = std::make_unique<testing::TempDir>();
    return *work_;
  }

  static std::unique_ptr<testing::TempDir> work_;
  testing::ScopedTmpDir tmp_{Work().path()};
};
std::unique_ptr<testing::TempDir> SyntheticDamage::work_;

TEST_P(SyntheticDamage, RecoversEveryUntouchedRow) {
  const auto [version, index] = GetParam();
  const Case& c = Cases()[index];
  const Recovery& baseline = Baseline(version);
  ASSERT_EQ(baseline.status, VESK_OK);
  ASSERT_EQ(baseline.InsertCount(kCustomers), static_cast<size_t>(kCustomerRows));
  ASSERT_EQ(baseline.InsertCount(kItems), static_cast<size_t>(kItemRows));

  const std::string dir = Work().path() + "/" + c.name + std::to_string(version);
  ASSERT_TRUE(WriteSyntheticDatabase(version, dir, c.rowEdit));
  if (c.damage) c.damage(dir, version);
  Recovery damaged = RecoverDirectory(dir, Work().path());
  EXPECT_FALSE(damaged.hung);
  if (c.status == kFinishedEitherWay) {
    EXPECT_TRUE(damaged.status == VESK_OK || damaged.status == VESK_NOTHING_RECOVERED) << damaged.status;
  } else {
    EXPECT_EQ(damaged.status, c.status);
  }
  ++Figures().cases;
  if (c.logLine) {
    EXPECT_NE(damaged.log.find(c.logLine), std::string::npos) << c.logLine << "\n" << ErrorLines(damaged.log);
  }

  if (c.reference) {
    const std::string refDir = dir + "-reference";
    ASSERT_TRUE(WriteSyntheticDatabase(version, refDir));
    c.reference(refDir, version);
    Recovery reference = RecoverDirectory(refDir, Work().path());
    // The cut must have cost something, or the case damages nothing.
    EXPECT_LT(reference.TotalInserts(), baseline.TotalInserts());
    std::vector<std::string> missing = MissingStatements(reference, damaged);
    EXPECT_TRUE(missing.empty()) << missing.size() << " rows lost, first: " << missing.front();
    // Damage never adds a row: every statement is one of the undamaged run.
    std::vector<std::string> invented = InventedStatements(baseline, damaged);
    EXPECT_TRUE(invented.empty()) << invented.size() << " rows made up, first: " << invented.front();
    Figures().invented += invented.size();
  } else {
    EXPECT_LE(MissingStatements(baseline, damaged).size(), c.maxLost);
  }
  for (const std::string& table : c.sameCount) {
    EXPECT_EQ(damaged.InsertCount(table), baseline.InsertCount(table)) << table;
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, size_t>>& info) {
  return std::string(Cases()[std::get<1>(info.param)].name) + "_" + std::to_string(std::get<0>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Cases, SyntheticDamage,
                         ::testing::Combine(::testing::Values(82, 83), ::testing::Range<size_t>(0, Cases().size())),
                         CaseName);

}  // namespace
}  // namespace vesk::damage

namespace vesk::damage {
namespace {

// Stored bytes (4-byte 8.3 header) of `depth` one-element arrays of type
// `type`, each the element of the one around it.
std::vector<uint8_t> NestedArray(int depth, uint32_t type) {
  std::vector<uint8_t> value = Le32(16u << 2);
  for (uint32_t w : {0u, 0u, type}) {
    auto b = Le32(w);
    value.insert(value.end(), b.begin(), b.end());
  }
  value.resize(16);
  for (int level = 0; level < depth; ++level) {
    std::vector<uint8_t> outer;
    for (uint32_t w : {0u, 1u, 0u, type, 1u, 1u}) {
      auto b = Le32(w);
      outer.insert(outer.end(), b.begin(), b.end());
    }
    outer.insert(outer.end(), value.begin(), value.end());
    auto header = Le32(static_cast<uint32_t>(outer.size()) << 2);
    std::copy(header.begin(), header.end(), outer.begin());
    value = std::move(outer);
  }
  return value;
}

// An array type whose element type is itself, and a value nested as deep as
// a compressed value on one page allows: the run must end, every other row
// intact.
TEST(SyntheticDamageDeep, ArrayOfItselfNestedDeep) {
  testing::TempDir work;
  testing::ScopedTmpDir tmp(work.path());
  const std::string dir = work.path() + "/nested";
  std::vector<uint8_t> nested = NestedArray(1000, 16387);
  RowEdit edit = [&](int, const std::string& file, int row, std::vector<hb::Value>& values) {
    if (file == kCustomersFile && row == 5) {
      values[8] = hb::Compressed(std::vector<uint8_t>(nested.begin() + 4, nested.end()));
    }
  };
  ASSERT_TRUE(WriteSyntheticDatabase(83, dir, edit));
  Both(AttributeOf(16386, 9, 68, Le32(16387)), TypeRow(16387, 16387, 751))(dir, 83);
  Recovery damaged = RecoverDirectory(dir, work.path());
  EXPECT_FALSE(damaged.hung);
  EXPECT_EQ(damaged.status, VESK_OK);
  EXPECT_EQ(damaged.InsertCount(kCustomers), static_cast<size_t>(kCustomerRows));
  EXPECT_NE(damaged.log.find("Array nested too deep, return NULL"), std::string::npos);
}

}  // namespace
}  // namespace vesk::damage

namespace vesk::damage {
namespace {

// Undamaged input: nothing set aside, nothing counted as lost.
TEST(SyntheticDamageReports, CleanRunReportsEveryRowAndNoLoss) {
  testing::TempDir work;
  testing::ScopedTmpDir tmp(work.path());
  ASSERT_TRUE(WriteSyntheticDatabase(83, work.path() + "/db"));
  Recovery run = RecoverDirectory(work.path() + "/db", work.path(), 120, nullptr, true);
  EXPECT_EQ(run.status, VESK_OK);
  EXPECT_TRUE(run.quarantine.empty());
  ASSERT_EQ(run.reports.count(kItems), 1u);
  EXPECT_EQ(run.reports[kItems].written, kItemRows);
  EXPECT_EQ(run.reports[kCustomers].written, kCustomerRows);
  for (const auto& [table, counts] : run.reports) {
    EXPECT_EQ(counts.quarantined + counts.nulled + counts.pagesSkipped, 0) << table;
    EXPECT_TRUE(counts.problem.empty()) << table;
  }
}

// A random page, an impossible value and a missing table file, each in the
// table report, the status and (the value's row) the quarantine file.
TEST(SyntheticDamageReports, LossesAreCountedPerTable) {
  for (int version : {82, 83}) {
    testing::TempDir work;
    testing::ScopedTmpDir tmp(work.path());
    const std::string dir = work.path() + "/db";
    RowEdit bigDigit = ValueAt(kCustomersFile, 5, 3, [](int v) {
      // One base-10000 digit of 12345: weight 0, scale 2.
      std::vector<uint8_t> payload = v == 83 ? std::vector<uint8_t>{2, 0, 0, 0, 0x39, 0x30}
                                             : std::vector<uint8_t>{0, 0, 2, 0, 0x39, 0x30};
      return hb::Varlena(std::move(payload), hb::VarlenaForm::kLong);
    });
    RowEdit longNote = ValueAt(kItemsFile, 7, 4, [](int v) { return LongHeader(v, 5000, {'a', 'b', 'c'}); });
    ASSERT_TRUE(WriteSyntheticDatabase(version, dir, [&](int v, const std::string& f, int r, std::vector<hb::Value>& x) {
      bigDigit(v, f, r, x);
      longNote(v, f, r, x);
    }));
    const size_t itemsOnPage2 = LinePointers(ReadBytes(dir + "/" + kItemsFile), 2, version).size();
    OverwriteRandom(dir + "/" + kItemsFile, 2, 0, kPage, 9);
    Recovery run = RecoverDirectory(dir, work.path(), 120, nullptr, true);
    EXPECT_EQ(run.status, VESK_RECOVERED_WITH_LOSSES) << version;
    EXPECT_EQ(run.reports[kItems].pagesSkipped, 1) << version;
    EXPECT_EQ(run.reports[kItems].written, static_cast<int64_t>(kItemRows - itemsOnPage2 - 1)) << version;
    EXPECT_EQ(run.InsertCount(kItems), kItemRows - itemsOnPage2 - 1) << version;
    // The impossible numeric is lost, the rest of its row kept.
    EXPECT_EQ(run.reports[kCustomers].written, kCustomerRows) << version;
    EXPECT_EQ(run.reports[kCustomers].nulled, 1) << version;
    EXPECT_NE(run.log.find("Value of column balance lost: numeric digit of 10000 or more"), std::string::npos);
    // A record cut short on a plausible page is set aside, readable in its
    // comment and only there.
    EXPECT_EQ(run.reports[kItems].quarantined, 1) << version;
    EXPECT_NE(run.quarantine.find("\"inventory\".\"items\" page 0 item 8: a value runs past the record"),
              std::string::npos)
        << run.quarantine;
    EXPECT_NE(run.quarantine.find("--   decoded: 7000000000, 'item 7', 7.50, 21, NULL"), std::string::npos)
        << run.quarantine;
    for (const std::string& row : run.inserts[kItems]) EXPECT_EQ(row.find("'item 7'"), std::string::npos);

    std::filesystem::remove(dir + "/" + kItemsFile);
    Recovery missing = RecoverDirectory(dir, work.path(), 120, nullptr, true);
    EXPECT_EQ(missing.status, VESK_RECOVERED_WITH_LOSSES);
    EXPECT_NE(missing.reports[kItems].problem.find(std::string("/") + kItemsFile + ": "), std::string::npos)
        << missing.reports[kItems].problem;
    EXPECT_NE(missing.reports[kItems].problem.find("No such file"), std::string::npos);
  }
}

// Four catalog files of random bytes are no database: refused, and no
// result directory stays behind. The old export keeps its old answer.
TEST(SyntheticDamageReports, RandomFilesAreNotADatabase) {
  testing::TempDir work;
  testing::ScopedTmpDir tmp(work.path());
  const std::string dir = work.path() + "/random";
  std::filesystem::create_directories(dir);
  uint32_t seed = 1;
  for (const char* name : {"1259", "1249", "1247", "2615"}) {
    WriteBytes(dir + "/" + name, std::vector<uint8_t>(kPage, 0));
    OverwriteRandom(dir + "/" + name, 0, 0, kPage, seed++);
  }
  Recovery refused = RecoverDirectory(dir, work.path(), 120, nullptr, true);
  EXPECT_EQ(refused.status, VESK_NOT_A_DATABASE);
  EXPECT_FALSE(refused.resultDirectoryMade);
  Recovery old = RecoverDirectory(dir, work.path());
  EXPECT_EQ(old.status, VESK_NOTHING_RECOVERED);
  EXPECT_EQ(old.TotalInserts(), 0u);
}

}  // namespace
}  // namespace vesk::damage
