// In-memory rows of pg_type (reduced to the 8.2 form) and pg_namespace.
#pragma once

#include <cstdint>

namespace vesk {

struct TypeRecord {
  uint32_t oid = 0;
  char typname[64] = {};
  uint32_t typnamespace = 0;
  uint32_t typowner = 0;
  int16_t typlen = 0;
  bool typbyval = false;
  char typtype = 0;  // 'b' base, 'c' composite, 'd' domain, 'e' enum, 'p' pseudo
  bool typisdefined = false;
  char typdelim = ',';
  uint32_t typrelid = 0;
  uint32_t typelem = 0;
  uint32_t typinput = 0;
  uint32_t typoutput = 0;
  uint32_t typreceive = 0;
  uint32_t typsend = 0;
  uint32_t typanalyze = 0;
  char typalign = 'i';
  char typstorage = 'p';
  bool typnotnull = false;
  uint32_t typbasetype = 0;
  int32_t typtypmod = -1;
  int32_t typndims = 0;
};

struct SchemaRecord {
  uint32_t oid = 0;
  char nspname[64] = {};
};

}  // namespace vesk
