// Recovering a whole data directory: every database pg_database lists, each
// into its own result directory, with loaders that create and fill them
// all; and, for one database directory inside a cluster, its name and
// encoding from there.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Whether `directory` (with a trailing separator) is a cluster's data
// directory: it holds global/ and base/.
bool IsClusterDirectory(const std::string& directory);

// For the database directory `databaseDirectory` (base/<oid>/, trailing
// separator): settles the run's encoding from the pg_database row of the
// cluster around it (../../global) and returns the database's name; "" when
// there is no cluster or no row for it (encoding unknown then).
std::string SettleDatabaseInCluster(const std::string& databaseDirectory);

// Recovers the cluster `clusterDirectory` (trailing separator) into a new
// result directory "<prefix>Recovered <cluster> <date>". Returns
// VESK_OK when any database gave a schema or a table, else the worst status
// of the databases (stopped, internal error, output) or
// VESK_NOTHING_RECOVERED; VESK_NO_DATABASE_DIR when none was chosen.
int32_t RecoverCluster(const std::string& clusterDirectory, const char* prefix);

}  // namespace vesk
