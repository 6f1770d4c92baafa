// Just enough JSON to read the round-trip tool's report: objects, arrays,
// strings (with escapes), numbers, true, false and null.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk::acceptance {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  // The member `key`, or a null value when absent.
  const Json& operator[](const std::string& key) const;
};

// Parses one JSON value that makes up the whole of `text` (blanks around it
// allowed); nullopt on any syntax error.
std::optional<Json> ParseJson(const std::string& text);

}  // namespace vesk::acceptance
