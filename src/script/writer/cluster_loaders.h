// The loaders at the top of a cluster's result directory: load_all.sh and
// load_all.bat SERVER [USER] create each recovered database and feed it its
// script files with psql, database by database.
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
// Appends one database's creation and load lines to every loader.
void AppendClusterDatabase(const LoadedDatabase& database);
void CloseClusterLoaders();

// Shell word for `text`: between single quotes, each quote as '\''.
std::string ShellQuoted(const std::string& text);
// The CREATE DATABASE statement of `database`.
std::string CreateDatabaseStatement(const LoadedDatabase& database);

}  // namespace vesk
