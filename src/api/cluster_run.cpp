#include "api/cluster_run.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "api/database_encoding.h"
#include "api/database_run.h"
#include "api/result_directory.h"
#include "catalog/pg_database_table.h"
#include "platform/platform.h"
#include "script/writer/cluster_loaders.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

constexpr char kSeparator = platform::kPathSeparator;

// One database the run will recover.
struct Target {
  DatabaseEntry entry;
  bool listed = true;    // pg_database has its row
  bool optional = false; // dropped when it holds no user table
};

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// OIDs of the numbered directories below base/, in ascending order.
std::vector<uint32_t> BaseDirectories(const std::string& clusterDirectory) {
  std::vector<uint32_t> oids;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(clusterDirectory + "base", error)) {
    const std::string name = item.path().filename().string();
    if (name.empty() || name.size() > 10 || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const unsigned long long oid = std::stoull(name);
    if (oid != 0 && oid <= 0xFFFFFFFFull && IsDirectory(item.path().string())) oids.push_back(static_cast<uint32_t>(oid));
  }
  std::sort(oids.begin(), oids.end());
  return oids;
}

bool IsChosen(const std::string& name, const char* const* chosen) {
  for (const char* const* p = chosen; *p != nullptr; ++p) {
    if (name == *p) return true;
  }
  return false;
}

// The databases the caller named, in pg_database order; each name that
// matches none is logged.
std::vector<Target> NamedTargets(const DatabaseList& list, const char* const* chosen) {
  std::vector<Target> targets;
  for (const DatabaseEntry& entry : list.databases) {
    if (IsChosen(entry.name, chosen)) targets.push_back({entry, true, false});
  }
  for (const char* const* p = chosen; *p != nullptr; ++p) {
    const bool found = std::any_of(list.databases.begin(), list.databases.end(),
                                   [&](const DatabaseEntry& entry) { return entry.name == *p; });
    if (!found) LogValue("No database of this name in pg_database:", *p);
  }
  return targets;
}

// Every listed database but template0; templates and postgres only when
// they hold user tables. A numbered directory pg_database does not list
// (its row lost, or the whole catalog) is recovered under its OID, on the
// same terms: a user's database may be behind it.
std::vector<Target> AllTargets(const DatabaseList& list, const std::string& clusterDirectory) {
  std::vector<Target> targets;
  for (const DatabaseEntry& entry : list.databases) {
    if (entry.name == "template0") continue;
    targets.push_back({entry, true, entry.isTemplate || entry.name == "postgres"});
  }
  for (uint32_t oid : BaseDirectories(clusterDirectory)) {
    if (FindDatabase(list, oid) != nullptr) continue;
    Target target;
    target.entry.oid = oid;
    target.entry.name = "database_" + std::to_string(oid);
    target.listed = false;
    target.optional = true;
    LogFormat("Directory base%c%u is not listed in pg_database: recovered as %s, encoding unknown", kSeparator, oid,
              target.entry.name.c_str());
    targets.push_back(target);
  }
  return targets;
}

// A directory name for the database, unique within the run.
std::string DirectoryNameFor(const Target& target, std::set<std::string>& used) {
  std::string name = SafeFileName(target.entry.name);
  if (!used.insert(name).second) {
    name += "_" + std::to_string(target.entry.oid);
    used.insert(name);
  }
  return name;
}

// Removes the result directory of a database that gave nothing worth
// loading (a template as initdb made it).
void DropResult(const std::string& directory, const Target& target) {
  std::error_code error;
  std::filesystem::remove_all(directory, error);
  LogValue("No user tables, left out:", target.entry.name.c_str());
}

int32_t Worse(int32_t status, int32_t worst) {
  auto rank = [](int32_t s) {
    switch (s) {
      case VESK_INTERNAL_ERROR: return 3;
      case VESK_CANNOT_CREATE_OUTPUT: return 2;
      case VESK_NOTHING_RECOVERED: return 1;
      default: return 0;
    }
  };
  return rank(status) > rank(worst) ? status : worst;
}

struct ClusterResult {
  bool anyRecovered = false;
  bool withLosses = false;  // some database lost pages, rows, values or files
  int32_t worst = VESK_OK;
};

// Recovers one database; false when the run was stopped.
bool RecoverTarget(const Target& target, uint8_t version, const std::string& clusterDirectory,
                   const std::string& runDirectory, std::set<std::string>& used, ClusterResult& result) {
  const DatabaseEntry& entry = target.entry;
  const std::string databaseDirectory =
      clusterDirectory + "base" + kSeparator + std::to_string(entry.oid) + kSeparator;
  LogFormat("Database %s (OID %u)", entry.name.c_str(), entry.oid);
  SendMessage(("Database " + entry.name).c_str());
  if (!IsDirectory(databaseDirectory)) {
    LogFormat("Database %s: its directory %s is missing", entry.name.c_str(), databaseDirectory.c_str());
    return true;
  }
  RecoveryRun& run = Run();
  run.settings = DatabaseSettings{};
  SettleEncoding(version, target.listed ? entry.encoding : -1);
  const std::string directoryName = DirectoryNameFor(target, used);
  const std::string resultDirectory = runDirectory + kSeparator + directoryName;
  const int32_t status = RecoverDatabaseInto((databaseDirectory + "1259").c_str(), resultDirectory);
  if (status == VESK_NOTHING_RECOVERED && target.optional) {
    DropResult(resultDirectory, target);
    return true;
  }
  if (status != VESK_CANNOT_CREATE_OUTPUT) {
    LoadedDatabase loaded;
    loaded.name = entry.name;
    loaded.directory = directoryName;
    loaded.encoding = CreationEncoding();
    loaded.exists = entry.name == "postgres" || entry.name == "template1";
    loaded.scriptFiles = Script().fileNumber;
    AppendClusterDatabase(loaded);
  }
  if (status == VESK_STOPPED) return false;
  if (status == VESK_OK || status == VESK_RECOVERED_WITH_LOSSES) result.anyRecovered = true;
  if (status == VESK_RECOVERED_WITH_LOSSES) result.withLosses = true;
  result.worst = Worse(status, result.worst);
  return true;
}

}  // namespace

bool IsClusterDirectory(const std::string& directory) {
  return IsDirectory(directory + "global") && IsDirectory(directory + "base");
}

std::string SettleDatabaseInCluster(const std::string& databaseDirectory) {
  namespace fs = std::filesystem;
  fs::path directory = fs::path(databaseDirectory).parent_path();
  const std::string oidText = directory.filename().string();
  const bool numbered = !oidText.empty() && oidText.size() <= 10 &&
                        oidText.find_first_not_of("0123456789") == std::string::npos;
  const fs::path cluster = directory.parent_path().parent_path();
  if (!numbered || directory.parent_path().filename() != "base") {
    SettleEncoding(0, -1);
    return {};
  }
  const std::string clusterDirectory = cluster.string() + kSeparator;
  if (!IsDirectory(clusterDirectory + "global")) {
    LogFormat("No cluster around the database directory (%sglobal is missing): name and encoding unknown",
              clusterDirectory.c_str());
    SettleEncoding(0, -1);
    return {};
  }
  DatabaseList list = ReadDatabaseList(clusterDirectory);
  const unsigned long long oid = std::stoull(oidText);
  const DatabaseEntry* entry = oid <= 0xFFFFFFFFull ? FindDatabase(list, static_cast<uint32_t>(oid)) : nullptr;
  if (entry == nullptr) {
    if (list.fileFound) LogFormat("pg_database has no row for OID %s: name and encoding unknown", oidText.c_str());
    SettleEncoding(list.version, -1);
    return {};
  }
  LogFormat("Database %s (OID %u) of the cluster %s", entry->name.c_str(), entry->oid, clusterDirectory.c_str());
  SettleEncoding(list.version, entry->encoding);
  return entry->name;
}

int32_t RecoverCluster(const std::string& clusterDirectory, const char* prefix) {
  LogValue("Cluster directory:", clusterDirectory.c_str());
  std::string clusterPath = clusterDirectory + "1259";
  std::string runDirectory = ResultDirectoryPath(prefix ? prefix : "", clusterPath, platform::NowLocal());
  const bool made = MakeResultDirectory(runDirectory, Run().extendedStatus);
  Run().resultDirectory = runDirectory;
  if (!made) return VESK_CANNOT_CREATE_OUTPUT;
  bool stopped = false;
  DatabaseList list = ReadDatabaseList(clusterDirectory, &stopped);
  if (stopped) return VESK_STOPPED;
  const char* const* chosen = Run().options.databases;
  std::vector<Target> targets = chosen != nullptr ? NamedTargets(list, chosen) : AllTargets(list, clusterDirectory);
  if (targets.empty()) {
    Log("No database to recover in the cluster");
    return VESK_NO_DATABASE_DIR;
  }
  if (!OpenClusterLoaders(runDirectory)) {
    CloseClusterLoaders();
    return VESK_CANNOT_CREATE_OUTPUT;
  }
  std::set<std::string> used;
  ClusterResult result;
  bool completed = true;
  for (const Target& target : targets) {
    if (!RecoverTarget(target, list.version, clusterDirectory, runDirectory, used, result)) {
      completed = false;
      break;
    }
  }
  CloseClusterLoaders();
  Run().resultDirectory = runDirectory;
  if (!completed) return VESK_STOPPED;
  if (result.worst == VESK_INTERNAL_ERROR || result.worst == VESK_CANNOT_CREATE_OUTPUT) return result.worst;
  if (!result.anyRecovered) return VESK_NOTHING_RECOVERED;
  return result.withLosses ? VESK_RECOVERED_WITH_LOSSES : VESK_OK;
}

}  // namespace vesk
