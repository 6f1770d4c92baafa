#include "catalog/catalog_readers.h"

namespace vesk {

std::unique_ptr<TableReader> MakeReader(uint8_t version, const char* fileName, pg_some_Table* owner) {
  if (version == 83) return std::make_unique<TableReader83>(fileName, owner);
  return std::make_unique<TableReader82>(fileName, owner);
}

std::unique_ptr<TableReader> MakeBareReader(uint8_t version, pg_some_Table* owner) {
  if (version == 83) return std::make_unique<TableReader83>(owner);
  return std::make_unique<TableReader82>(owner);
}

}  // namespace vesk
