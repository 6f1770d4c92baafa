// Address texts of the inet and cidr types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/datum.h"

namespace vesk {

// Dotted quad of the four bytes, with "/bits" unless bits is 32. Returns
// `buffer`, or null with `error` set (EINVAL for bits above 32, EMSGSIZE when
// `size` is too small).
char* FormatIPv4(const uint8_t* address, uint32_t bits, char* buffer, size_t size, int& error);
// Colon-hex text of the 16 bytes, the longest zero run (first of equals, at
// least two words) shortened to "::", a dotted tail for the IPv4-compatible
// and IPv4-mapped forms, and "/bits" unless bits is 128. Errors as above.
char* FormatIPv6(const uint8_t* address, uint32_t bits, char* buffer, size_t size, int& error);
// The inet or cidr value at `d` in the given layout, read in place; cidr
// texts always carry "/bits". Null when the value cannot be printed (logged).
char* network_out(Datum d, bool isCidr, uint8_t version);

}  // namespace vesk
