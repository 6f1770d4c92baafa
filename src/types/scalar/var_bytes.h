// The payload of a variable-length value, after the stored form has been
// brought to the plain 4-byte-header form of its layout.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk::scalar {

struct VarBytes {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// 8.2 layout: detoasts. False when the address is null or the value cannot
// be rebuilt (already logged by the TOAST reader). A header that claims less
// than itself raises ValueRejected.
bool Bytes82(Datum d, VarBytes& out);
// 8.3 layout: widens short headers and rebuilds out-of-line and compressed
// values. Same failure contract as Bytes82.
bool Bytes83(Datum d, VarBytes& out);
// By layout code (83, anything else is 8.2).
bool BytesOf(uint8_t version, Datum d, VarBytes& out);
// The payload of a value stored whole in its row (no out-of-line or
// compressed form, a plausible header), read in place: no scratch memory, no
// log line. False for anything else, which BytesOf then handles.
bool InlineBytes(uint8_t version, Datum d, VarBytes& out);
// BytesOf, raising ValueRejected where it gives false.
VarBytes RequireBytes(uint8_t version, Datum d);

}  // namespace vesk::scalar
