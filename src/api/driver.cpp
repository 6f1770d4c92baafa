#include "api/driver.h"

#include <cstdio>
#include <memory>
#include <string>

#include "api/commit_log_setup.h"
#include "api/datetime_storage.h"
#include "api/pass2.h"
#include "api/server_build.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "catalog/static_descriptors.h"
#include "platform/platform.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {
namespace {

constexpr char kClassFile[] = "1259";
constexpr char kAttributeFile[] = "1249";
constexpr char kNamespaceFile[] = "2615";

std::vector<CatalogColumnDesc*> StaticList(StaticCatalog which) {
  std::vector<CatalogColumnDesc*> columns;
  FillStaticColumns(columns, which);
  return columns;
}

// Number of pg_class rows the layout decodes, 0 when the read was stopped.
int32_t CountClassRows(uint8_t version) {
  pg_class_Table classes(kClassFile, version);
  classes.reader().columns = StaticList(StaticCatalog::kPgClass);
  if (classes.reader().ReadTable() != 0) return 0;
  return static_cast<int32_t>(classes.reader().RowCount());
}

// Reads a catalog into a reader the run keeps (so that an early return still
// leaves it for the end of the run to destroy).
template <typename Catalog>
int ReadCatalog(Catalog*& slot, std::unique_ptr<Catalog> catalog, std::vector<CatalogColumnDesc*> columns) {
  slot = catalog.release();
  slot->reader().columns = std::move(columns);
  return slot->reader().ReadTable();
}

// Enum values are OIDs of pg_enum rows, which only 8.3 has.
int ReadEnumLabels(uint8_t version) {
  RecoveryRun& run = Run();
  delete run.enums;
  run.enums = nullptr;
  if (version != 83) return 0;
  run.enums = new pg_enum_Table(run.attributes, version);
  return run.enums->ReadLabels();
}

// What the caller forced wins over anything the files say.
void TakeForcedSettings() {
  RecoveryRun& run = Run();
  DatabaseSettings& settings = run.settings;
  if (run.options.maxAlign != 0) {
    settings.maxAlign = settings.doubleAlign = static_cast<uint32_t>(run.options.maxAlign);
    settings.alignSource = SettingSource::kForced;
  }
  if (run.options.datetimeStorage != VESK_DATETIME_AUTO) {
    settings.integerDatetimes = run.options.datetimeStorage == VESK_DATETIME_INTEGER;
    settings.datetimeSource = SettingSource::kForced;
  }
}

}  // namespace

// Absolute, as the run changes the current directory: a relative path would
// no longer lead to the files afterwards.
std::string DatabaseDirectoryOf(const char* path) {
  std::string text(path);
  size_t cut = text.find_last_of(platform::kPathSeparators);
  std::string dir = cut == std::string::npos ? std::string(".") : text.substr(0, cut == 0 ? 1 : cut);
  std::string absolute;
  if (platform::AbsolutePath(dir, absolute)) dir = absolute;
  if (dir.empty() || !platform::IsPathSeparator(dir.back())) dir += platform::kPathSeparator;
  return dir;
}

namespace {

// The layout that the first page header of another catalog file states (its
// layout version byte: 3 for 8.2, 4 for 8.3); 0 when none states one.
uint8_t LayoutStatedByCatalogFiles() {
  for (const char* name : {kAttributeFile, kNamespaceFile, "1247"}) {
    std::FILE* f = std::fopen((Run().databaseDirectory + name).c_str(), "rb");
    if (f == nullptr) continue;
    uint8_t header[20] = {};
    const bool read = std::fread(header, 1, sizeof header, f) == sizeof header;
    std::fclose(f);
    if (!read || header[19] != 0x20) continue;
    if (header[18] == 3) return 82;
    if (header[18] == 4) return 83;
  }
  return 0;
}

}  // namespace

uint8_t DetectVersion() {
  Log("Version of base:");
  int32_t rows82 = CountClassRows(82);
  int32_t rows83 = CountClassRows(83);
  // Without a pg_class row either way the other catalogs still say which
  // server wrote them.
  if (rows82 == 0 && rows83 == 0 && LayoutStatedByCatalogFiles() == 83) rows83 = 1;
  if (rows83 > rows82) {
    Log("PostgreSQL 8.3");
    return 83;
  }
  Log("PostgreSQL 8.2");
  return 82;
}

int32_t ReadCatalogs() {
  RecoveryRun& run = Run();
  Log("START: Read data about tables.");
  SendProgress("pg_class", 0);
  const int32_t build = SettleServerBuild();
  if (build != 0) return build;
  const uint8_t version = run.version;
  // Before any catalog: a table whose creation rolled back must not appear.
  OpenClusterCommitLog(run.databaseDirectory, version);

  if (ReadCatalog(run.classes, std::make_unique<pg_class_Table>(kClassFile, version),
                  StaticList(StaticCatalog::kPgClass)) != 0) {
    return kStopped;
  }
  if (StopRequested()) return kStopped;

  SendProgress("pg_attribute", 5);
  Log("END: Read data about tables.");
  Log("START: Read data about fields.");
  if (ReadCatalog(run.attributes, std::make_unique<pg_attribute_Table>(kAttributeFile, version),
                  StaticList(StaticCatalog::kPgAttribute)) != 0) {
    return kStopped;
  }

  SendProgress("pg_type", 10);
  Log("END: Read data about fields.");
  Log("START: Read data about types.");
  run.types = new pg_type_Table(version);
  run.types->reader().columns = StaticList(PgTypeCatalog(version));
  if (run.types->ReadTypes() != 0) return kStopped;

  if (ReadEnumLabels(version) != 0) return kStopped;

  Log("END: Read data about types.");
  Log("START: Read data about namespaces.");
  run.namespaces = new pg_namespace_Table(kNamespaceFile, version);
  run.namespaces->TakeColumns(*run.attributes);
  // A stop inside this read surfaces at the next poll, in Pass 2.
  run.namespaces->reader().ReadTable();
  SettleDatetimeStorage();
  AnnounceServerBuild();
  SendProgress("", 15);
  return 0;
}

namespace {

// Catalog pages skipped and catalog rows set aside count as losses of the
// run; a directory where no catalog gave a single row holds no database.
void JudgeCatalogs() {
  RecoveryRun& run = Run();
  int64_t rows = 0;
  const TableReader* readers[] = {run.classes != nullptr ? &run.classes->reader() : nullptr,
                                  run.attributes != nullptr ? &run.attributes->reader() : nullptr,
                                  run.namespaces != nullptr ? &run.namespaces->reader() : nullptr};
  for (const TableReader* reader : readers) {
    if (reader == nullptr) continue;
    rows += static_cast<int64_t>(reader->RowCount());
    run.totals.catalogDamage += reader->pagesSkipped + reader->rowsQuarantined;
  }
  run.notADatabase = rows == 0;
  if (run.notADatabase) Log("No catalog holds a plausible row: not a PostgreSQL 8.2/8.3 database directory");
}

}  // namespace

int32_t RunRecoveryDriver(const char* path) {
  RecoveryRun& run = Run();
  run.schemasRecovered = 0;
  run.tablesRecovered = 0;
  run.tablesRepaired.clear();
  run.totals = RecoveryRun::Losses{};
  run.notADatabase = false;
  SendMessage("Pass 1: analyzing database...");
  if (StopRequested()) return kStopped;

  run.databaseDirectory = DatabaseDirectoryOf(path);
  if (!platform::SetCurrentDirectory(run.databaseDirectory)) {
    std::string reason = platform::LastErrorText();
    Log("Cant find path");
    LogValue(run.databaseDirectory.c_str(), reason.c_str());
    return -4;
  }
  TakeForcedSettings();
  int32_t status = ReadCatalogs();
  if (status != 0) return status;
  JudgeCatalogs();
  // Only a caller that knows the status is spared the empty script.
  if (run.notADatabase && run.extendedStatus) return VESK_NOT_A_DATABASE;

  int32_t scratchBaseline = ScratchLiveCount();
  SendMessage("done");
  SendMessage("Pass 2: recovering tables...");
  Log("END: Read data about namespaces.");
  Log("Reading user tables");
  return RunPass2(scratchBaseline);
}

}  // namespace vesk
