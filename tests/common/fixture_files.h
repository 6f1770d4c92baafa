// Where the real fixture databases live and what their original servers
// printed: the table list and each table's rows in COPY text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vesk::testing {

inline std::string SharedDir() { return VESK_SHARED_DIR; }
inline bool HaveFixtures() { return std::filesystem::exists(SharedDir() + "/fixtures/pg83/base"); }

// The folder of a fixture by name, packed ones unpacked into the shared
// cache on first use; empty when the fixture (or its tool) is not there.
inline std::string FixturePath(const std::string& name) {
  const std::string tool = SharedDir() + "/tools/fixture";
  if (!std::filesystem::exists(tool)) return {};
  std::FILE* out = ::popen(("'" + tool + "' '" + name + "' 2>/dev/null").c_str(), "r");
  if (out == nullptr) return {};
  std::string path;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, out) != nullptr) path += buffer;
  if (::pclose(out) != 0) return {};
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return std::filesystem::is_directory(path) ? path : std::string();
}

// The folder of one cluster ("pg82", "pg83").
inline std::string ClusterDir(const std::string& cluster) { return SharedDir() + "/fixtures/" + cluster; }

// A database directory, with the trailing separator the run expects.
inline std::string FixtureDir(const std::string& cluster, const std::string& database) {
  return ClusterDir(cluster) + "/base/" + database + "/";
}

// One line of a cluster's expected/tables.tsv.
struct FixtureTable {
  uint32_t oid = 0;
  std::string schema;
  std::string table;
  int rows = -1;  // -1: the list does not say
};

// Every user table of a cluster; empty when the list cannot be read.
inline std::vector<FixtureTable> FixtureTables(const std::string& cluster) {
  std::ifstream in(ClusterDir(cluster) + "/expected/tables.tsv");
  std::vector<FixtureTable> tables;
  std::string line;
  std::getline(in, line);  // heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string oid, rows;
    FixtureTable t;
    std::getline(fields, oid, '\t');
    std::getline(fields, t.schema, '\t');
    std::getline(fields, t.table, '\t');
    std::getline(fields, rows, '\t');
    t.oid = static_cast<uint32_t>(std::stoul(oid));
    if (!rows.empty()) t.rows = std::stoi(rows);
    tables.push_back(std::move(t));
  }
  return tables;
}

// The table's rows as the original server printed them (one record text a
// line, COPY-escaped), sorted, since heap order is no contract.
inline std::vector<std::string> ExpectedRows(const std::string& cluster, uint32_t relid) {
  std::ifstream in(ClusterDir(cluster) + "/expected/" + std::to_string(relid) + ".rows");
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace vesk::testing
