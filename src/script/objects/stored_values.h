// The variable-length catalog values that constraints and indexes keep, as
// the catalog readers copied them from their rows, brought back to text and
// to the key vectors (int2[], int2vector, oidvector).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

// The text of a stored text value (short, compressed or plain). False when
// there is none or it cannot be rebuilt.
bool StoredText(const std::vector<uint8_t>& stored, std::string& out);

// The elements of a one-dimensional array of int2 or oid without nulls; an
// empty array gives an empty list. False for anything else (another shape,
// nulls, a size that does not fit the value).
bool StoredInt16Vector(const std::vector<uint8_t>& stored, std::vector<int16_t>& out);
bool StoredOidVector(const std::vector<uint8_t>& stored, std::vector<uint32_t>& out);

}  // namespace vesk
