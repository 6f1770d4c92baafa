// Names of the tables and columns that hold a table's dead row versions
// beside it. The rule: the table's name followed by "_dead", or by "_dead2",
// "_dead3", ... for the first that `taken` refuses; the table's name is cut
// (never inside a UTF-8 character) so that the whole stays within the 63
// bytes the server keeps of a name, since a longer one would be cut by the
// server and could then meet a real table.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vesk {

std::string CompanionName(const std::string& table, const std::function<bool(const std::string&)>& taken);

// The companion's own columns, after the table's: where the version sat,
// its transaction ids, why it is dead and where its successor is.
inline constexpr size_t kDeadColumnCount = 6;
struct DeadColumn {
  const char* name;  // without the prefix
  const char* type;
};
inline constexpr std::array<DeadColumn, kDeadColumnCount> kDeadColumns{{
    {"page", "bigint"},
    {"item", "integer"},
    {"xmin", "bigint"},
    {"xmax", "bigint"},
    {"reason", "text"},
    {"newer_ctid", "tid"},
}};

// The prefix of those columns for a table with columns `columns`: "dead_",
// or with one more underscore each time one of the names meets a column.
std::string DeadColumnPrefix(const std::vector<std::string>& columns);

}  // namespace vesk
