#include "catalog/pg_database_table.h"

#include <fstream>
#include <memory>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/static_descriptors.h"
#include "platform/platform.h"
#include "support/logger.h"

namespace vesk {
namespace {

constexpr int kStoppedRead = -1000;

class pg_database_Table : public pg_some_Table {
 public:
  pg_database_Table(const std::string& path, uint8_t version) : reader_(MakeBareReader(version, this)) {
    reader_->path = path;
    reader_->cacheRows = false;
    FillStaticColumns(reader_->columns, StaticCatalog::kPgDatabase);
  }

  int ProcessRow(const RowValues& values, uint32_t oid) override {
    char name[kNameSize];
    const auto& columns = reader_->columns;
    if (oid == 0 || !CopyName(ValueAt(values, 0), columns[0], name) || IsEmptyName(name)) return 0;
    DatabaseEntry entry;
    entry.oid = oid;
    entry.name = name;
    if (const AttrValue* v = ValueAt(values, 2)) entry.encoding = DatumI32(v->datum);
    if (const AttrValue* v = ValueAt(values, 3)) entry.isTemplate = DatumBool(v->datum);
    if (const AttrValue* v = ValueAt(values, 4)) entry.allowConnections = DatumBool(v->datum);
    for (DatabaseEntry& known : entries_) {
      if (known.oid == oid) {
        known = entry;
        return 1;
      }
    }
    entries_.push_back(entry);
    return 1;
  }

  int Read() { return reader_->ReadTable(); }
  std::vector<DatabaseEntry>& entries() { return entries_; }

 private:
  std::unique_ptr<TableReader> reader_;
  std::vector<DatabaseEntry> entries_;
};

// 82 or 83 from the cluster's PG_VERSION ("8.2", "8.3"); 0 otherwise.
uint8_t VersionFile(const std::string& clusterDirectory) {
  std::ifstream in(clusterDirectory + "PG_VERSION");
  std::string text;
  if (!std::getline(in, text)) return 0;
  if (text.rfind("8.2", 0) == 0) return 82;
  if (text.rfind("8.3", 0) == 0) return 83;
  return 0;
}

}  // namespace

DatabaseList ReadDatabaseList(const std::string& clusterDirectory, bool* stopped) {
  DatabaseList list;
  if (stopped) *stopped = false;
  const std::string path = clusterDirectory + "global" + platform::kPathSeparator + "1262";
  list.fileFound = platform::FileExists(path);
  if (!list.fileFound) {
    LogFormat("No pg_database in the cluster: %s is missing", path.c_str());
    return list;
  }
  uint8_t version = VersionFile(clusterDirectory);
  for (uint8_t candidate : {uint8_t{83}, uint8_t{82}}) {
    if (version != 0 && candidate != version) continue;
    pg_database_Table table(path, candidate);
    if (table.Read() == kStoppedRead) {
      if (stopped) *stopped = true;
      return list;
    }
    if (table.entries().size() > list.databases.size()) {
      list.databases = std::move(table.entries());
      list.version = candidate;
    }
  }
  if (list.version == 0) list.version = version;
  LogFormat("pg_database lists %zu databases", list.databases.size());
  return list;
}

const DatabaseEntry* FindDatabase(const DatabaseList& list, uint32_t oid) {
  for (const DatabaseEntry& entry : list.databases) {
    if (entry.oid == oid) return &entry;
  }
  return nullptr;
}

}  // namespace vesk
