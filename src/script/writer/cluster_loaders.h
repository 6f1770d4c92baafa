// The loaders at the top of a cluster's result directory: load_all.sh and
// load_all.bat [--replace] SERVER [USER] [PORT] check every recovered
// database first (one the recovery creates must not exist, one it loads into
// must not hold its tables), then create each and load it with the loader of
// its own directory (commit_trust.*), and sum up what failed.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

struct LoadedDatabase {
  std::string name;          // as the cluster names it
  std::string directory;     // its result directory, relative to the loaders
  const char* encoding = nullptr;  // to create it with; null: the server's default
  bool exists = false;       // made by every cluster (postgres, template1): not created
  int32_t scriptFiles = 1;   // recovered_1.sql .. recovered_<n>.sql
};

// Creates the loaders in `directory`; false (logged) when one cannot be made.
bool OpenClusterLoaders(const std::string& directory);
// Appends one database to every loader, and writes the CREATE DATABASE
// statement of one the recovery creates to create_database.sql in its
// directory (for the batch loader, which cannot quote it).
void AppendClusterDatabase(const LoadedDatabase& database);
void CloseClusterLoaders();

// Shell word for `text`: between single quotes, each quote as '\''.
std::string ShellQuoted(const std::string& text);
// The CREATE DATABASE statement of `database`.
std::string CreateDatabaseStatement(const LoadedDatabase& database);

}  // namespace vesk
