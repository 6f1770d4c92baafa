#include "script/companion_name.h"

#include <algorithm>

namespace vesk {
namespace {

constexpr size_t kNameBytes = 63;

// `name` cut to at most `bytes`, backing off to the start of a UTF-8
// character.
std::string CutName(const std::string& name, size_t bytes) {
  if (name.size() <= bytes) return name;
  size_t cut = bytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

}  // namespace

std::string CompanionName(const std::string& table, const std::function<bool(const std::string&)>& taken) {
  for (unsigned n = 1;; ++n) {
    const std::string suffix = n == 1 ? std::string("_dead") : "_dead" + std::to_string(n);
    std::string name = CutName(table, kNameBytes - suffix.size()) + suffix;
    if (!taken(name)) return name;
  }
}

std::string DeadColumnPrefix(const std::vector<std::string>& columns) {
  std::string prefix = "dead_";
  for (;;) {
    const bool meets = std::any_of(kDeadColumns.begin(), kDeadColumns.end(), [&](const DeadColumn& c) {
      return std::find(columns.begin(), columns.end(), prefix + c.name) != columns.end();
    });
    if (!meets) return prefix;
    prefix.insert(0, "_");
  }
}

}  // namespace vesk
