// Turns a readable table of pg_type rows (tab-separated; '#' comment lines,
// then one header line of column names; "\N" for null) into the heap file
// image of a freshly created database: six 8192-byte pages in the layout of
// the given version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::typeimage {

inline constexpr size_t kImagePages = 6;

// Throws std::runtime_error naming the line when the table cannot be used
// (unknown or missing column, bad number, rows that do not fit the pages).
std::vector<uint8_t> BuildTypeImage(int version, const std::string& table);

}  // namespace vesk::typeimage
