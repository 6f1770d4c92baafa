#include "support/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace vesk {
namespace {

// Length of the valid UTF-8 sequence at text[at], or 0 when none starts there.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) return 0;
  // The second byte's range excludes overlong forms, surrogates and code
  // points past U+10FFFF.
  uint8_t low = 0x80, high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

// ASCII runs 32 bytes at a time: most text has no high byte at all, and a
// UTF8 database's every text value passes here.
size_t SkipAscii(std::string_view text, size_t at) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  while (at + 32 <= text.size()) {
    uint64_t words[4];
    std::memcpy(words, text.data() + at, 32);
    if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) break;
    at += 32;
  }
  while (at < text.size() && static_cast<uint8_t>(text[at]) < 0x80) ++at;
  return at;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t at = SkipAscii(text, 0); at < text.size();) {
    size_t length = SequenceLength(text, at);
    if (length == 0) return false;
    at = SkipAscii(text, at + length);
  }
  return true;
}

void AppendLatin1AsUtf8(std::string& out, std::string_view bytes) {
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
}

bool RepairValue(std::string& text, size_t from) {
  if (from >= text.size() || IsValidUtf8(std::string_view(text).substr(from))) return false;
  std::string value = text.substr(from);
  text.resize(from);
  AppendLatin1AsUtf8(text, value);
  return true;
}

std::string RepairBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t length = SequenceLength(text, at);
    if (length == 0) {
      AppendLatin1AsUtf8(out, text.substr(at, 1));
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace vesk
