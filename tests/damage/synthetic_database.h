// The bundled sample database with its two user tables refilled with many
// rows over several pages, so that damage can hit one page, one record or
// one value while the rest stays readable.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "heapbuilder/heap_builder.h"

namespace vesk::damage {

// File numbers and row counts of the refilled tables.
inline constexpr const char* kCustomersFile = "16386";  // public.customers, 9 columns
inline constexpr const char* kItemsFile = "16399";      // inventory.items, 5 columns
inline constexpr int kCustomerRows = 240;
inline constexpr int kItemRows = 600;
inline const std::string kCustomers = "\"public\".\"customers\"";
inline const std::string kItems = "\"inventory\".\"items\"";

// Lets a case replace the values of one row before it is stored.
using RowEdit =
    std::function<void(int version, const std::string& file, int row, std::vector<heapbuilder::Value>& values)>;

// Writes the database into `dir` (created), as the server `build` would
// have stored it. Items with row % 5 == 0 carry a compressed note; every
// customer has a text[] of tags.
bool WriteSyntheticDatabase(int version, const std::string& dir, const RowEdit& edit = nullptr,
                            const heapbuilder::ServerBuild& build = {});

}  // namespace vesk::damage
