// SQL text for the expression trees that 8.x keeps for index expressions
// and predicates, where the tree is simple enough that the text is sure to
// mean the same on a current server: columns of the table, constants of a
// few plain types, built-in operators and functions called by name with
// exactly their declared argument types, AND, OR and NOT. Anything else
// (casts, other constants, user operators) gives no text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/objects/node_tree.h"

namespace vesk {

// What the text needs from the catalogs.
class ExpressionNames {
 public:
  virtual ~ExpressionNames() = default;
  // The quoted name of the table's column, or empty.
  virtual std::string Column(int16_t attnum) const = 0;
  struct Operator {
    std::string name;
    bool builtIn = false;  // in pg_catalog
    uint32_t left = 0;     // 0 for a prefix operator
    uint32_t right = 0;
  };
  virtual bool FindOperator(uint32_t oid, Operator& out) const = 0;
  struct Function {
    std::string name;
    bool builtIn = false;
    bool returnsSet = false;
    std::vector<uint32_t> argTypes;
  };
  virtual bool FindFunction(uint32_t oid, Function& out) const = 0;
};

// The text of `node`, or empty when it cannot be made for sure.
std::string ExpressionText(const TreeItem& node, const ExpressionNames& names);

struct KeyExpression {
  std::string text;  // in parentheses, as CREATE INDEX takes it
  uint32_t type = 0;
};
// An index's key expressions; false when one of them cannot be made.
bool IndexExpressionTexts(const TreeItem& list, const ExpressionNames& names, std::vector<KeyExpression>& out);

}  // namespace vesk
