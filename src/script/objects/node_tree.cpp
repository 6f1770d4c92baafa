#include "script/objects/node_tree.h"

#include <cctype>
#include <charconv>

namespace vesk {
namespace {

constexpr int kMaxDepth = 100;
constexpr size_t kMaxBytes = 1 << 20;

class TreeParser {
 public:
  explicit TreeParser(std::string_view text) : text_(text) {}

  bool ParseAll(TreeItem& out) {
    if (!ParseItem(out, 0)) return false;
    SkipSpace();
    return at_ == text_.size();
  }

 private:
  void SkipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }

  static bool IsDelimiter(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')' || c == '{' || c == '}';
  }

  // A bare token; a backslash keeps the next character in it.
  std::string_view Token() {
    SkipSpace();
    const size_t start = at_;
    while (at_ < text_.size() && !IsDelimiter(text_[at_])) at_ += text_[at_] == '\\' && at_ + 1 < text_.size() ? 2 : 1;
    return text_.substr(start, at_ - start);
  }

  bool Peek(char c) {
    SkipSpace();
    return at_ < text_.size() && text_[at_] == c;
  }

  bool ParseItem(TreeItem& out, int depth) {
    if (depth > kMaxDepth) return false;
    SkipSpace();
    if (at_ >= text_.size()) return false;
    if (text_[at_] == '{') return ParseNode(out, depth);
    if (text_[at_] == '(') return ParseList(out, depth);
    std::string_view token = Token();
    if (token.empty()) return false;
    if (token == "<>") {
      out.kind = TreeItem::Kind::kNull;
      return true;
    }
    out.kind = TreeItem::Kind::kToken;
    out.text = token;
    return true;
  }

  bool ParseList(TreeItem& out, int depth) {
    ++at_;
    out.kind = TreeItem::Kind::kList;
    while (!Peek(')')) {
      if (at_ >= text_.size()) return false;
      TreeItem item;
      if (!ParseItem(item, depth + 1)) return false;
      out.items.push_back(std::move(item));
    }
    ++at_;
    return true;
  }

  // "N [ b b ... ]": the value's length, then its bytes, signed or not. A
  // value held in the Datum itself shows the whole Datum, so there may be
  // more bytes than the length (8 for an int4 on a 64-bit server).
  bool ParseBytes(TreeItem& out) {
    std::string_view count = Token();
    size_t n = 0;
    if (std::from_chars(count.data(), count.data() + count.size(), n).ec != std::errc() || n > kMaxBytes) return false;
    if (Token() != "[") return false;
    out.kind = TreeItem::Kind::kBytes;
    for (std::string_view b = Token(); b != "]"; b = Token()) {
      int value = 0;
      if (out.bytes.size() >= n + 8 ||
          std::from_chars(b.data(), b.data() + b.size(), value).ec != std::errc() || value < -128 || value > 255) {
        return false;
      }
      out.bytes.push_back(static_cast<uint8_t>(value));
    }
    return out.bytes.size() >= n;
  }

  bool ParseNode(TreeItem& out, int depth) {
    ++at_;
    out.kind = TreeItem::Kind::kNode;
    out.text = Token();
    if (out.text.empty()) return false;
    while (!Peek('}')) {
      if (at_ >= text_.size()) return false;
      std::string_view name = Token();
      if (name.size() < 2 || name[0] != ':') return false;
      TreeItem value;
      if (name == ":constvalue" && !Peek('<')) {
        if (!ParseBytes(value)) return false;
      } else if (!ParseItem(value, depth + 1)) {
        return false;
      }
      out.fields.push_back(TreeField{std::string(name.substr(1)), std::move(value)});
    }
    ++at_;
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

const TreeItem* TreeItem::Field(std::string_view name) const {
  for (const auto& [key, value] : fields) {
    if (key == name) return &value;
  }
  return nullptr;
}

bool TreeItem::Number(std::string_view name, long long& out) const {
  const TreeItem* f = Field(name);
  if (f == nullptr || f->kind != Kind::kToken) return false;
  const std::string& t = f->text;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), out);
  return result.ec == std::errc() && result.ptr == t.data() + t.size();
}

bool ParseNodeTree(std::string_view text, TreeItem& out) {
  out = TreeItem();
  return TreeParser(text).ParseAll(out);
}

}  // namespace vesk
