#include "api/driver.h"

#include <filesystem>
#include <memory>
#include <string>

#include "api/pass2.h"
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

// The directory part of `path` with one trailing separator, made absolute:
// the run changes the current directory, so a relative path would no longer
// lead to the files afterwards.
std::string DatabaseDirectoryOf(const char* path) {
  std::string text(path);
  size_t cut = text.find_last_of(platform::kPathSeparator);
  std::string dir = cut == std::string::npos ? std::string(".") : text.substr(0, cut == 0 ? 1 : cut);
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(dir, error);
  if (!error) dir = absolute.lexically_normal().string();
  if (dir.empty() || dir.back() != platform::kPathSeparator) dir += platform::kPathSeparator;
  return dir;
}

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

uint8_t DetectVersion() {
  Log("Version of base:");
  int32_t rows82 = CountClassRows(82);
  int32_t rows83 = CountClassRows(83);
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
  run.version = DetectVersion();
  const uint8_t version = run.version;

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
  SendProgress("", 15);
  return 0;
}

int32_t RunRecoveryDriver(const char* path) {
  RecoveryRun& run = Run();
  run.schemasRecovered = 0;
  run.tablesRecovered = 0;
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

  int32_t scratchBaseline = ScratchLiveCount();
  SendMessage("done");
  SendMessage("Pass 2: recovering tables...");
  Log("END: Read data about namespaces.");
  Log("Reading user tables");
  return RunPass2(scratchBaseline);
}

}  // namespace vesk
