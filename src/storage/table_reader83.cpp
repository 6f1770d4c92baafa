// PostgreSQL 8.3 layout: 24-byte page header, 23-byte tuple header, 1-byte
// varlena headers.
#include "storage/record_layout.h"
#include "storage/table_reader.h"
#include "support/recovery_run.h"

namespace vesk {

TableReader83::TableReader83(pg_some_Table* ownerTable) : owner(ownerTable) {}

TableReader83::TableReader83(const char* fileName, pg_some_Table* ownerTable) : owner(ownerTable) {
  path = Run().databaseDirectory + fileName;
}

int TableReader83::ReadPage(const uint8_t* page) { return WalkPage(page, 24, false); }

int TableReader83::ReadRecordLen(const uint8_t* record, uint32_t length) {
  return DecodeRecord(kRecordLayout83, record, length, owner);
}

}  // namespace vesk
