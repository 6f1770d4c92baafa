// PostgreSQL 8.2 layout: 20-byte page header, 27-byte tuple header.
#include "storage/record_layout.h"
#include "storage/table_reader.h"
#include "support/recovery_run.h"

namespace vesk {

TableReader82::TableReader82(pg_some_Table* ownerTable) : owner(ownerTable) {}

TableReader82::TableReader82(const char* fileName, pg_some_Table* ownerTable) : owner(ownerTable) {
  path = Run().databaseDirectory + fileName;
}

int TableReader82::ReadPage(const uint8_t* page) { return WalkPage(page, 20, true); }

int TableReader82::ReadRecord(const uint8_t* record) {
  return DecodeRecord(kRecordLayout82, record, CurrentRecordLength(), owner);
}

}  // namespace vesk
