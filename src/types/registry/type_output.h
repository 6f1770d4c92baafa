// The output dispatch: picks the output routine by type OID and layout.
#pragma once

#include <cstdint>

#include "catalog/type_record.h"
#include "storage/datum.h"

namespace vesk {

char* TypeOutput82(uint32_t typeOid, Datum d, int32_t typmod);
char* TypeOutput83(uint32_t typeOid, Datum d, int32_t typmod);
char* TypeOutputByCatalog(uint32_t typeOid, Datum d, int32_t typmod, uint8_t version);
// The type record of the current run, or null (logged).
const TypeRecord* FindTypeByOid(uint32_t typeOid);
// TypeOutput83 for version 83, else TypeOutput82.
char* TypeOutput(uint8_t version, uint32_t typeOid, Datum d, int32_t typmod);

// The routine TypeOutput calls for values of `typeOid` without asking the
// catalogs, or null when the type is found through them (domains, row and
// enum types, 8.2 arrays), whose lookups are logged value by value. Looked
// up once, it serves a whole column.
using OutputRoutine = char* (*)(Datum d, int32_t typmod);
OutputRoutine FindOutputRoutine(uint8_t version, uint32_t typeOid);

// The type whose routine prints values of `typeOid`: the base type of a
// domain (through nested domains), else `typeOid` itself. Logs nothing.
uint32_t ResolveDomainType(uint32_t typeOid);
// True when TypeOutput's text for `typeOid` (domains resolved) already has a
// backslash before every backslash and single quote (EscapeQuotes): 8.2
// text, bpchar and varchar; unknown, cstring and numeric in both layouts
// (numeric text never holds either character).
bool OutputIsEscaped(uint8_t version, uint32_t typeOid);

}  // namespace vesk
