// Benchmark, not a timed test: rebuilds the 5,000 out-of-line bodies of table
// `docs` in the perf83 database and reports how long it took. Disabled by
// default; run with --gtest_also_run_disabled_tests --gtest_filter='*Perf83*'.
// Uses the unpacked database in VESK_PERF83_DIR, or unpacks the archive into a
// temporary directory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <string>

#include "catalog/catalog_readers.h"
#include "common/pass_one_fixture.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

class BodyCounter : public pg_some_Table {
 public:
  int ProcessRow(const RowValues& values, uint32_t) override {
    ++rows;
    for (size_t i = 0; i < values.size() && i < columns->size(); ++i) {
      const AttrValue& v = values[i];
      if (v.isnull || v.datum == 0 || (*columns)[i]->attlen != -1) continue;
      const uint8_t* stored = DatumPointer(v.datum);
      if (stored[0] != 0x01) continue;
      ++external;
      uint8_t* plain = ExpandShortVarlena(stored);
      if (plain) {
        ++rebuilt;
        bytes += PayloadLength(plain, 83);
        if (PayloadLength(plain, 83) != ReadU32(stored + 2) - 4) ++wrongLength;
      }
      ScratchFree(plain);
    }
    return 1;
  }

  const std::vector<CatalogColumnDesc*>* columns = nullptr;
  long rows = 0, external = 0, rebuilt = 0, wrongLength = 0;
  uint64_t bytes = 0;
};

std::string Perf83Directory(fs::path& unpacked) {
  if (const char* given = std::getenv("VESK_PERF83_DIR")) return std::string(given) + "/";
  std::string archive = testing::SharedDir() + "/fixtures/perf83.tar.xz";
  if (!fs::exists(archive)) return {};
  unpacked = fs::temp_directory_path() / ("vesk-perf83-" + std::to_string(::getpid()));
  fs::create_directories(unpacked);
  std::string command = "tar -xJf '" + archive + "' -C '" + unpacked.string() + "'";
  if (std::system(command.c_str()) != 0) return {};
  return (unpacked / "17137").string() + "/";
}

// The OID of the relation called `name`: pg_class rows carry the row type,
// whose typrelid is the relation's OID.
uint32_t RelationOid(const char* name) {
  TableReader& classes = vesk::Run().classes->reader();
  for (size_t i = 0; i < classes.RowCount(); ++i) {
    auto* table = static_cast<const RecoveredTable*>(classes.RowAt(i));
    if (std::strcmp(table->relname, name) != 0) continue;
    const TypeRecord* type = vesk::Run().types->LookupTypeByOid(table->reltype);
    if (type) return type->typrelid;
  }
  return 0;
}

TEST(Perf83Benchmark, DISABLED_DocsBodiesAreAllRebuilt) {
  fs::path unpacked;
  std::string directory = Perf83Directory(unpacked);
  if (directory.empty()) GTEST_SKIP() << "perf83 database not available";
  ResetToastCache();
  {
    testing::PassOne pass(directory);
    ASSERT_EQ(pass.status, 0);
    uint32_t docs = RelationOid("docs");
    ASSERT_NE(docs, 0u);
    // A real run logs every fetch: time it with the log on.
    std::string logPath = (fs::temp_directory_path() / ("vesk-perf83-log-" + std::to_string(::getpid()))).string();
    TheLog().Open(logPath.c_str(), true);
    BodyCounter counter;
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<TableReader> reader = OpenRelationById(docs, &counter, 83);
    reader->cacheRows = false;
    counter.columns = &reader->columns;
    ASSERT_EQ(reader->ReadTable(), 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ResetToastCache();
    TheLog().Close();
    std::printf("log: %ju bytes\n", static_cast<uintmax_t>(fs::file_size(logPath)));
    fs::remove(logPath);
    std::printf("perf83 docs: %ld rows, %ld out-of-line bodies, %ld rebuilt, %llu bytes, %.3f s\n", counter.rows,
                counter.external, counter.rebuilt, static_cast<unsigned long long>(counter.bytes), seconds);
    EXPECT_EQ(counter.rows, 5000);
    EXPECT_EQ(counter.external, 5000);
    EXPECT_EQ(counter.rebuilt, 5000);
    EXPECT_EQ(counter.wrongLength, 0);
  }
  if (!unpacked.empty()) fs::remove_all(unpacked);
}

}  // namespace
}  // namespace vesk
