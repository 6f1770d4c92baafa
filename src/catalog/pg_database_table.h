// The cluster's list of databases: the shared catalog pg_database
// (global/1262), read with the same table reader as a database's catalogs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

struct DatabaseEntry {
  uint32_t oid = 0;  // also the name of its directory below base/
  std::string name;
  int32_t encoding = -1;  // server encoding number, in the layout's numbering
  bool isTemplate = false;
  bool allowConnections = true;
};

struct DatabaseList {
  uint8_t version = 0;  // layout of the cluster: 82 or 83; 0 when unknown
  bool fileFound = false;
  std::vector<DatabaseEntry> databases;  // in file order, one per OID
};

// Reads `clusterDirectory` (with a trailing separator)/global/1262. The
// layout is the one PG_VERSION names, else the one that decodes more rows.
// Rows without a name or an OID are left out; of two rows with one OID (an
// old version without its hint bits) the later one stands. Sets *stopped
// when the break flag ended the read.
DatabaseList ReadDatabaseList(const std::string& clusterDirectory, bool* stopped = nullptr);

// The entry of the database whose OID is `oid`, or null.
const DatabaseEntry* FindDatabase(const DatabaseList& list, uint32_t oid);

}  // namespace vesk
