// The text form in which 8.x servers store expression trees (index
// expressions and predicates, check constraints): nodes in braces with
// ":field value" pairs, lists in parentheses, constants as a byte count and
// the bytes in brackets. Read into a plain tree, bounded in depth and size,
// so that a damaged text gives no tree rather than a crash.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk {

struct TreeField;

struct TreeItem {
  enum class Kind : uint8_t { kToken, kNode, kList, kBytes, kNull };
  Kind kind = Kind::kToken;
  std::string text;  // token, or the node's type (OPEXPR, VAR, ...)
  std::vector<TreeField> fields;  // a node's
  std::vector<TreeItem> items;                           // a list's
  std::vector<uint8_t> bytes;                            // a constant's value

  // The node's field `name`, or null.
  const TreeItem* Field(std::string_view name) const;
  // The field as a number; false when absent or not a number.
  bool Number(std::string_view name, long long& out) const;
};

struct TreeField {
  std::string name;  // without the colon
  TreeItem value;
};

// False when the text is not one complete item of that form.
bool ParseNodeTree(std::string_view text, TreeItem& out);

}  // namespace vesk
