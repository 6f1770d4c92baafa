#include "script/objects/expression_text.h"

#include <cstring>

namespace vesk {
namespace {

constexpr uint32_t kBool = 16;
constexpr uint32_t kName = 19;
constexpr uint32_t kInt8 = 20;
constexpr uint32_t kInt2 = 21;
constexpr uint32_t kInt4 = 23;
constexpr uint32_t kText = 25;

struct Typed {
  std::string text;
  uint32_t type = 0;
};

Typed Deparse(const TreeItem& node, const ExpressionNames& names, int depth);

int64_t LittleEndian(const std::vector<uint8_t>& bytes, size_t size) {
  uint64_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  if (size < 8 && (v >> (8 * size - 1)) != 0) v |= ~uint64_t{0} << (8 * size);  // sign
  return static_cast<int64_t>(v);
}

// Printable ASCII without backslashes: the same literal whatever a server's
// standard_conforming_strings says.
bool QuoteText(const uint8_t* data, size_t size, std::string& out) {
  out = "'";
  for (size_t i = 0; i < size; ++i) {
    const uint8_t c = data[i];
    if (c < 0x20 || c > 0x7E || c == '\\') return false;
    if (c == '\'') out += '\'';
    out += static_cast<char>(c);
  }
  out += '\'';
  return true;
}

Typed Constant(const TreeItem& node) {
  long long type = 0;
  long long length = 0;
  const TreeItem* isNull = node.Field("constisnull");
  const TreeItem* value = node.Field("constvalue");
  if (!node.Number("consttype", type) || !node.Number("constlen", length) || isNull == nullptr || value == nullptr) {
    return {};
  }
  if (isNull->text != "false" || value->kind != TreeItem::Kind::kBytes) return {};
  const std::vector<uint8_t>& bytes = value->bytes;
  const uint32_t t = static_cast<uint32_t>(type);
  std::string literal;
  switch (t) {
    case kInt4:
      if (bytes.size() < 4) return {};
      {
        const int64_t v = LittleEndian(bytes, 4);
        // A negative number is an operator applied to a constant on input.
        return {v < 0 ? "(" + std::to_string(v) + ")" : std::to_string(v), t};
      }
    case kInt2:
      if (bytes.size() < 2) return {};
      return {"'" + std::to_string(LittleEndian(bytes, 2)) + "'::smallint", t};
    case kInt8:
      if (bytes.size() < 8) return {};
      return {"'" + std::to_string(LittleEndian(bytes, 8)) + "'::bigint", t};
    case kBool:
      if (bytes.empty()) return {};
      return {bytes[0] != 0 ? "true" : "false", t};
    case kName: {
      if (length != 64 || bytes.size() < 64) return {};
      const void* end = std::memchr(bytes.data(), 0, 64);
      if (end == nullptr || !QuoteText(bytes.data(), static_cast<const uint8_t*>(end) - bytes.data(), literal)) return {};
      return {literal + "::name", t};
    }
    case kText: {
      // A plain 4-byte header in the byte order of the server's machine:
      // 8.2 keeps the total length in it, 8.3 that length shifted by two.
      if (length != -1 || bytes.size() < 4) return {};
      const uint64_t word = static_cast<uint64_t>(LittleEndian(bytes, 4)) & 0xFFFFFFFFu;
      size_t size = 0;
      if (word == bytes.size()) {
        size = static_cast<size_t>(word);
      } else if ((word & 3) == 0 && (word >> 2) == bytes.size()) {
        size = static_cast<size_t>(word >> 2);
      } else {
        return {};
      }
      if (!QuoteText(bytes.data() + 4, size - 4, literal)) return {};
      return {literal + "::text", t};
    }
    default:
      return {};
  }
}

Typed Variable(const TreeItem& node, const ExpressionNames& names) {
  long long varno = 0, attno = 0, up = 0, type = 0;
  if (!node.Number("varno", varno) || !node.Number("varattno", attno) || !node.Number("varlevelsup", up) ||
      !node.Number("vartype", type) || varno != 1 || up != 0 || attno <= 0 || attno > 1600) {
    return {};
  }
  return {names.Column(static_cast<int16_t>(attno)), static_cast<uint32_t>(type)};
}

// The arguments, each with its text and type; false when one has none.
bool Arguments(const TreeItem& node, const ExpressionNames& names, int depth, std::vector<Typed>& out) {
  const TreeItem* args = node.Field("args");
  if (args == nullptr || args->kind != TreeItem::Kind::kList) return false;
  for (const TreeItem& arg : args->items) {
    Typed t = Deparse(arg, names, depth + 1);
    if (t.text.empty()) return false;
    out.push_back(std::move(t));
  }
  return true;
}

Typed OperatorCall(const TreeItem& node, const ExpressionNames& names, int depth) {
  long long oid = 0, result = 0;
  ExpressionNames::Operator op;
  std::vector<Typed> args;
  const TreeItem* retset = node.Field("opretset");
  if (!node.Number("opno", oid) || !node.Number("opresulttype", result) || retset == nullptr ||
      retset->text != "false" || !names.FindOperator(static_cast<uint32_t>(oid), op) || !op.builtIn ||
      !Arguments(node, names, depth, args)) {
    return {};
  }
  const uint32_t type = static_cast<uint32_t>(result);
  if (args.size() == 2 && args[0].type == op.left && args[1].type == op.right) {
    return {"(" + args[0].text + " " + op.name + " " + args[1].text + ")", type};
  }
  if (args.size() == 1 && op.left == 0 && args[0].type == op.right) return {"(" + op.name + " " + args[0].text + ")", type};
  return {};
}

Typed FunctionCall(const TreeItem& node, const ExpressionNames& names, int depth) {
  long long oid = 0, result = 0, format = -1;
  ExpressionNames::Function fn;
  std::vector<Typed> args;
  // Format 0: called by name; casts (1, 2) are left alone.
  if (!node.Number("funcid", oid) || !node.Number("funcresulttype", result) || !node.Number("funcformat", format) ||
      format != 0 || !names.FindFunction(static_cast<uint32_t>(oid), fn) || !fn.builtIn || fn.returnsSet ||
      !Arguments(node, names, depth, args) || args.size() != fn.argTypes.size()) {
    return {};
  }
  std::string text = fn.name + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].type != fn.argTypes[i]) return {};
    text += (i > 0 ? ", " : "") + args[i].text;
  }
  return {text + ")", static_cast<uint32_t>(result)};
}

Typed BooleanExpression(const TreeItem& node, const ExpressionNames& names, int depth) {
  const TreeItem* op = node.Field("boolop");
  std::vector<Typed> args;
  if (op == nullptr || !Arguments(node, names, depth, args) || args.empty()) return {};
  for (const Typed& arg : args) {
    if (arg.type != kBool) return {};
  }
  if (op->text == "not") return args.size() == 1 ? Typed{"(NOT " + args[0].text + ")", kBool} : Typed{};
  if (op->text != "and" && op->text != "or") return {};
  const std::string joint = op->text == "and" ? " AND " : " OR ";
  std::string text = "(";
  for (size_t i = 0; i < args.size(); ++i) text += (i > 0 ? joint : "") + args[i].text;
  return {text + ")", kBool};
}

Typed Deparse(const TreeItem& node, const ExpressionNames& names, int depth) {
  if (node.kind != TreeItem::Kind::kNode || depth > 50) return {};
  if (node.text == "VAR") return Variable(node, names);
  if (node.text == "CONST") return Constant(node);
  if (node.text == "OPEXPR") return OperatorCall(node, names, depth);
  if (node.text == "FUNCEXPR") return FunctionCall(node, names, depth);
  if (node.text == "BOOLEXPR") return BooleanExpression(node, names, depth);
  return {};
}

}  // namespace

std::string ExpressionText(const TreeItem& node, const ExpressionNames& names) { return Deparse(node, names, 0).text; }

bool IndexExpressionTexts(const TreeItem& list, const ExpressionNames& names, std::vector<KeyExpression>& out) {
  out.clear();
  if (list.kind != TreeItem::Kind::kList) return false;
  for (const TreeItem& item : list.items) {
    Typed t = Deparse(item, names, 0);
    if (t.text.empty()) return false;
    out.push_back({"(" + t.text + ")", t.type});
  }
  return true;
}

}  // namespace vesk
