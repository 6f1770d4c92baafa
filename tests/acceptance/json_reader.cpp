#include "acceptance/json_reader.h"

#include <cstdlib>
#include <cstring>

namespace vesk::acceptance {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  bool Whole(Json& out) {
    if (!Value(out)) return false;
    Blanks();
    return i_ == s_.size();
  }

 private:
  void Blanks() {
    while (i_ < s_.size() && std::strchr(" \t\r\n", s_[i_]) != nullptr) ++i_;
  }
  bool Eat(char c) {
    Blanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Word(const char* w) {
    size_t n = std::strlen(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }

  bool String(std::string& out) {
    if (!Eat('"')) return false;
    while (i_ < s_.size()) {
      char c = s_[i_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (i_ + 4 > s_.size()) return false;
          unsigned long code = std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16);
          i_ += 4;
          AppendUtf8(out, code);
          break;
        }
        default: out += e; break;
      }
    }
    return false;
  }

  static void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool Array(Json& out) {
    out.kind = Json::Kind::kArray;
    if (Eat(']')) return true;
    do {
      out.items.emplace_back();
      if (!Value(out.items.back())) return false;
    } while (Eat(','));
    return Eat(']');
  }

  bool Object(Json& out) {
    out.kind = Json::Kind::kObject;
    if (Eat('}')) return true;
    do {
      std::string key;
      if (!String(key) || !Eat(':')) return false;
      if (!Value(out.members[key])) return false;
    } while (Eat(','));
    return Eat('}');
  }

  bool Value(Json& out) {
    Blanks();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') return ++i_, Object(out);
    if (c == '[') return ++i_, Array(out);
    if (c == '"') {
      out.kind = Json::Kind::kString;
      return String(out.text);
    }
    if (Word("true") || Word("false")) {
      out.kind = Json::Kind::kBool;
      out.boolean = c == 't';
      return true;
    }
    if (Word("null")) return true;
    char* end = nullptr;
    out.number = std::strtod(s_.c_str() + i_, &end);
    if (end == s_.c_str() + i_) return false;
    out.kind = Json::Kind::kNumber;
    i_ = static_cast<size_t>(end - s_.c_str());
    return true;
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  static const Json kAbsent;
  auto it = members.find(key);
  return it == members.end() ? kAbsent : it->second;
}

std::optional<Json> ParseJson(const std::string& text) {
  Json out;
  if (!Parser(text).Whole(out)) return std::nullopt;
  return out;
}

}  // namespace vesk::acceptance
