// Checking a column default's stored text before it goes into the script.
// 8.x keeps the text (adsrc) as it was printed when the default was made;
// the node tree beside it holds the OIDs of what the expression names. A
// sequence or table renamed since leaves a stale name in the text (the
// default of a serial column whose sequence was renamed still names the old
// sequence), and the script may create a relation under another name than
// the original's (a reserved schema name renamed). The relations the default
// depends on (pg_depend) say what each 'name'::regclass constant means.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// A relation a default names or depends on.
struct NamedRelation {
  uint32_t oid = 0;
  std::string schema;      // its schema's name as the script knows it
  std::string relname;     // its name in pg_class
  std::string scriptName;  // "schema"."name" as the script creates it; empty: not created
};

struct CheckedDefault {
  std::string text;     // the expression to write (valid when problem is empty)
  std::string problem;  // why it must not be written; empty when it may
  bool stale = false;   // a constant named a relation by another name than the script's
};

// Relations the script creates that a name may stand for, when the default
// has no dependency that says which (pg_depend lost): `schema` is empty for
// an unqualified name.
using RelationsByName = std::function<std::vector<NamedRelation>(const std::string& schema, const std::string& name)>;

// Gives every 'name'::regclass constant of `source` the script's name of the
// relation it means: a name that matches a relation of `dependsOn` means it;
// a name that matches none, while exactly one relation of `dependsOn` is
// named by no constant, means that one (it was renamed); without any
// dependency, the one relation `byName` finds. A constant that means no
// relation, or one the script does not create, is a problem.
CheckedDefault CheckDefaultExpression(std::string_view source, const std::vector<NamedRelation>& dependsOn,
                                      const RelationsByName& byName);

// Splits a regclass constant's text ("name", "schema.name", quoted parts
// with doubled quotes, unquoted parts folded to lower case) into schema and
// name; false when it is not such a text.
bool SplitQualifiedName(std::string_view text, std::string& schema, std::string& name);

}  // namespace vesk
