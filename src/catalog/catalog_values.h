// Reading the decoded values of a catalog row. A value counts as present when
// the decoder reached it, it is not null and, for a pass-by-reference column,
// it carries an address (a failed start check leaves datum 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "storage/column_desc.h"
#include "storage/datum.h"

namespace vesk {

inline constexpr size_t kNameSize = 64;

// The value at index k, or null when the row is shorter or the value is null.
inline const AttrValue* ValueAt(const RowValues& values, size_t k) {
  if (k >= values.size() || values[k].isnull) return nullptr;
  return &values[k];
}

inline uint32_t DatumU32(Datum d) { return static_cast<uint32_t>(d); }
inline int32_t DatumI32(Datum d) { return static_cast<int32_t>(static_cast<uint32_t>(d)); }
inline int16_t DatumI16(Datum d) { return static_cast<int16_t>(static_cast<uint16_t>(d)); }
inline char DatumChar(Datum d) { return static_cast<char>(static_cast<uint8_t>(d)); }
inline bool DatumBool(Datum d) { return d != 0; }

// Copies a stored name into `out` (kNameSize bytes, always NUL-terminated).
// Reads no more than the column's own width, so a damaged descriptor cannot
// make it read past the value the decoder checked. False when the value is
// absent or the column is not a by-reference fixed-width column.
bool CopyName(const AttrValue* value, const CatalogColumnDesc* column, char* out);

// The stored bytes of a variable-length value as the record holds them,
// header included: plain, compressed or a TOAST pointer (the decoder has
// checked that they end inside the record). Empty when the value is absent
// or its header cannot be one.
std::string StoredVarlena(const AttrValue* value, uint8_t version);
// The text of a stored value that is neither compressed nor out of line;
// false for one that is (it needs the TOAST code) or has no valid header.
bool PlainVarlenaText(const std::string& stored, uint8_t version, std::string& text);

// A name is empty when its first byte is NUL.
inline bool IsEmptyName(const char* name) { return name[0] == '\0'; }

// Fills an empty name with `pattern` and the counter, bumps the counter and
// logs `logFormat` with the new name.
void GenerateName(char* name, const char* pattern, int32_t& counter, const char* logFormat);

}  // namespace vesk
