// How the scripts of one database declare its text: from the encoding its
// pg_database row stores, or the one the caller names.
#pragma once

#include <cstdint>

namespace vesk {

// Settles Run().settings' encoding fields for a database whose stored
// encoding number is `number` (-1: no pg_database row was found) in the
// numbering of layout `version`, and logs the choice. The caller's
// VeskOptions::encoding wins over the stored one.
void SettleEncoding(uint8_t version, int32_t number);

// The encoding a server should create the database with to hold the script's
// text: the declared one, UTF8 for a client-only encoding; null when nothing
// is declared (the server's default).
const char* CreationEncoding();

}  // namespace vesk
