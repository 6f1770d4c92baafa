// The types a current server (PostgreSQL 12 and later) lacks, and what a
// script written for one declares in their place: abstime, reltime,
// tinterval and unknown were dropped or refused as column types there, and
// a base type users made (a C-language type whose library the target lacks)
// is something the script cannot create.
#pragma once

#include <cstdint>
#include <string>

#include "catalog/type_record.h"

namespace vesk {

// True when the run writes its script for a current server.
bool TargetsCurrentServer();

// The type a current server is given for a column whose base type (domains
// and arrays resolved) is `type`, or null when it has `type` itself:
// timestamp with time zone for abstime, interval for reltime, text for
// tinterval (its 8.x text keeps both ends) and unknown, text for a base type
// users made.
const char* CurrentServerStandIn(const TypeRecord& type);

// A base type that users made rather than initdb: the script never creates
// one, so a current server declares its columns as text.
bool IsUserBaseType(const TypeRecord& type);

// The non-domain, non-array type behind a column of `typeOid`: the element
// type of an array, the base of a domain. Null when a link is missing.
const TypeRecord* ElementTypeBehind(uint32_t typeOid);

// When the run targets a current server and the column of `typeOid` gets a
// stand-in, appends a "--" comment line saying so to `comment`, logs it, and
// returns true.
bool NoteStandIn(std::string& comment, const char* columnName, uint32_t typeOid, uint8_t version);

}  // namespace vesk
