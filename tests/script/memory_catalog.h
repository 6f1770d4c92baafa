// An in-memory type and namespace catalog for the tests of the script
// writers: rows go through the real catalog readers' ProcessRow, and the
// script text is captured in a temporary file. Restores the run on exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"

namespace vesk::testing {

struct TypeSpec {
  uint32_t oid = 0;
  const char* name = "";
  uint32_t nspOid = 11;  // pg_catalog: not kept by the namespace reader
  char typtype = 'b';
  uint32_t typelem = 0;
  char typstorage = 'p';
  uint32_t typbasetype = 0;
  int32_t typtypmod = -1;
  uint32_t typoutput = 0;
  bool typbyval = false;
};

class MemoryCatalog {
 public:
  explicit MemoryCatalog(uint8_t version = 83);
  ~MemoryCatalog();
  MemoryCatalog(const MemoryCatalog&) = delete;
  MemoryCatalog& operator=(const MemoryCatalog&) = delete;

  void AddType(const TypeSpec& spec);
  void AddSchema(uint32_t oid, const char* name);
  // The built-in types the tests name, in pg_catalog.
  void AddBuiltinTypes();

  // Script text written since the last call.
  std::string TakeScript();

 private:
  uint8_t version_;
  std::unique_ptr<pg_type_Table> types_;
  std::unique_ptr<pg_namespace_Table> namespaces_;
  std::vector<CatalogColumnDesc> namespaceColumns_;
  RecoveryRun savedRun_;
  ScriptOutput savedScript_;
  FILE* file_ = nullptr;
  size_t taken_ = 0;
};

}  // namespace vesk::testing
