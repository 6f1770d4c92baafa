#include "script/objects/default_expression.h"

#include <algorithm>

#include "script/sql_literal.h"

namespace vesk {
namespace {

constexpr std::string_view kRegclassCast = "::regclass";

// One string constant of the expression: where it stands (an E prefix
// included) and its value.
struct Constant {
  size_t begin = 0;
  size_t end = 0;
  std::string value;
};

// Reads the constant whose opening quote is at `quote`; false when it is not
// closed. The text is as the server printed it: quotes doubled, and
// backslash escapes only in an E'' constant.
bool ReadConstant(std::string_view text, size_t quote, bool escaped, Constant& c) {
  c.value.clear();
  for (size_t i = quote + 1; i < text.size(); ++i) {
    const char ch = text[i];
    if (escaped && ch == '\\' && i + 1 < text.size()) {
      c.value += text[++i];
    } else if (ch == '\'' && i + 1 < text.size() && text[i + 1] == '\'') {
      c.value += '\'';
      ++i;
    } else if (ch == '\'') {
      c.end = i + 1;
      return true;
    } else {
      c.value += ch;
    }
  }
  return false;
}

// The string constants cast to regclass, in text order. Constants of any
// other kind are stepped over whole, so that a quote inside one is never
// taken for the start of another; double-quoted identifiers likewise.
std::vector<Constant> RegclassConstants(std::string_view text) {
  std::vector<Constant> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      size_t close = text.find('"', i + 1);
      while (close != std::string_view::npos && close + 1 < text.size() && text[close + 1] == '"') {
        close = text.find('"', close + 2);
      }
      if (close == std::string_view::npos) break;
      i = close;
      continue;
    }
    if (text[i] != '\'') continue;
    const bool escaped = i > 0 && (text[i - 1] == 'E' || text[i - 1] == 'e');
    Constant c;
    c.begin = escaped ? i - 1 : i;
    if (!ReadConstant(text, i, escaped, c)) break;
    i = c.end - 1;
    if (text.substr(c.end, kRegclassCast.size()) == kRegclassCast) found.push_back(std::move(c));
  }
  return found;
}

bool Matches(const NamedRelation& r, const std::string& schema, const std::string& name) {
  return r.relname == name && (schema.empty() || r.schema == schema);
}

std::string Describe(const Constant& c) { return "'" + c.value + "'"; }

}  // namespace

bool SplitQualifiedName(std::string_view text, std::string& schema, std::string& name) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  bool partQuoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (quoted) {
      if (ch != '"') {
        parts.back() += ch;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        parts.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (ch == '"') {
      if (!parts.back().empty()) return false;
      quoted = partQuoted = true;
    } else if (ch == '.') {
      if (parts.back().empty()) return false;
      parts.emplace_back();
      partQuoted = false;
    } else {
      if (partQuoted) return false;  // text after a closing quote
      parts.back() += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
  }
  if (quoted || parts.back().empty() || parts.size() > 2) return false;
  name = parts.back();
  schema = parts.size() == 2 ? parts.front() : std::string();
  return true;
}

CheckedDefault CheckDefaultExpression(std::string_view source, const std::vector<NamedRelation>& dependsOn,
                                      const RelationsByName& byName) {
  CheckedDefault out;
  const std::vector<Constant> constants = RegclassConstants(source);
  std::vector<const NamedRelation*> meant(constants.size(), nullptr);
  std::vector<bool> named(dependsOn.size(), false);

  for (size_t k = 0; k < constants.size(); ++k) {
    std::string schema, name;
    if (!SplitQualifiedName(constants[k].value, schema, name)) continue;
    for (size_t d = 0; d < dependsOn.size(); ++d) {
      if (!Matches(dependsOn[d], schema, name)) continue;
      meant[k] = &dependsOn[d];
      named[d] = true;
      break;
    }
  }
  // The stale names: all one text, and one dependency left for them.
  std::vector<const NamedRelation*> spare;
  for (size_t d = 0; d < dependsOn.size(); ++d) {
    if (!named[d]) spare.push_back(&dependsOn[d]);
  }
  // Relations found by name alone; reserved, so that `meant` may point in.
  std::vector<NamedRelation> looked;
  looked.reserve(constants.size());
  for (size_t k = 0; k < constants.size(); ++k) {
    if (meant[k] != nullptr) continue;
    bool oneText = true;
    for (size_t j = 0; j < constants.size(); ++j) {
      if (meant[j] == nullptr && constants[j].value != constants[k].value) oneText = false;
    }
    std::string schema, name;
    if (spare.size() == 1 && oneText) {
      meant[k] = spare.front();
    } else if (dependsOn.empty() && byName && SplitQualifiedName(constants[k].value, schema, name)) {
      std::vector<NamedRelation> candidates = byName(schema, name);
      if (candidates.size() == 1) {
        looked.push_back(std::move(candidates.front()));
        meant[k] = &looked.back();
      }
    }
    if (meant[k] == nullptr) {
      out.problem = "names " + Describe(constants[k]) + ", which cannot be told apart or found";
      return out;
    }
  }

  std::string text;
  size_t at = 0;
  for (size_t k = 0; k < constants.size(); ++k) {
    if (meant[k]->scriptName.empty()) {
      out.problem = "needs " + meant[k]->schema + "." + meant[k]->relname + ", which the script does not create";
      return out;
    }
    std::string schema, name;
    SplitQualifiedName(constants[k].value, schema, name);
    if (name != meant[k]->relname || (!schema.empty() && schema != meant[k]->schema)) out.stale = true;
    text.append(source.substr(at, constants[k].begin - at));
    AppendLiteral(text, LiteralKind::kText, meant[k]->scriptName);
    at = constants[k].end;
  }
  text.append(source.substr(at));
  out.text = std::move(text);
  return out;
}

}  // namespace vesk
