// Rebuilding values stored out of line (in the table's TOAST relation) or
// compressed with pglz. Results are tracked scratch blocks; a null result
// means the value could not be rebuilt (logged).
#pragma once

#include <cstdint>

namespace vesk {

// 8.2: the value itself when neither top bit of its header is set, else the
// rebuilt plain value (4-byte header, low 30 bits = total length) or null.
uint8_t* pg_detoast_datum(const uint8_t* value);
uint8_t* heap_tuple_untoast_attr(const uint8_t* value);
uint8_t* toast_fetch_datum(const uint8_t* pointer);

// 8.3: brings any stored form to the plain 4-byte form (header word = total
// size << 2): widens a 1-byte header, rebuilds out-of-line and compressed
// values. A plain 4-byte value comes back unchanged. Null when it cannot be
// rebuilt.
uint8_t* ExpandShortVarlena(const uint8_t* value);

// Decompresses the pglz stream of `compressed` (a value whose word 1 is the
// raw size) into `destination`, which holds raw size bytes. Never writes past
// the destination or reads past the stored length. True when the output came
// out exactly raw size long.
bool pglz_decompress(const uint8_t* compressed, uint32_t storedLength, uint8_t* destination);

// Forgets every TOAST relation indexed so far (their open files included).
// The driver calls it when a run ends; a run on another database directory
// starts afresh by itself.
void ResetToastCache();

}  // namespace vesk
