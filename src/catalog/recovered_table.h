// In-memory copy of one pg_class row.
#pragma once

#include <cstdint>

namespace vesk {

struct RecoveredTable {
  uint32_t oid = 0;  // the row's own OID: the relation's identifier
  char relname[64] = {};
  uint32_t relnamespace = 0;
  uint32_t reltype = 0;
  uint32_t relowner = 0;
  uint32_t relam = 0;
  uint32_t relfilenode = 0;
  uint32_t reltablespace = 0;
  int32_t relpages = 0;
  float reltuples = 0;
  uint32_t reltoastrelid = 0;
  uint32_t reltoastidxid = 0;
  bool relhasindex = false;
  bool relisshared = false;
  char relkind = 0;
  int16_t relnatts = 0;
  int16_t relchecks = 0;
  int16_t reltriggers = 0;
  int16_t relukeys = 0;
  int16_t relfkeys = 0;
  int16_t relrefs = 0;
  bool relhasoids = false;
  bool relhaspkey = false;
  bool relhasrules = false;
  bool relhassubclass = false;
  uint32_t relfrozenxid = 0;
};

}  // namespace vesk
