// Fixed-capacity text of one date/time value, with the printf-style number
// forms the encoders need. An append that would not fit marks the text as cut
// instead of writing past the end; callers treat a cut text as unprintable,
// so a shortened value never reaches a script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vesk {

class DateText {
 public:
  // Longest possible value: an interval with a nine-digit year count and
  // ten-digit day and hour counts is under 70 characters.
  static constexpr size_t kCapacity = 127;

  DateText() { text_[0] = '\0'; }

  void Append(std::string_view s) {
    if (cut_ || s.size() > kCapacity - len_) {
      cut_ = true;
      return;
    }
    std::memcpy(text_ + len_, s.data(), s.size());
    len_ += s.size();
    text_[len_] = '\0';
  }
  void AppendChar(char c) { Append(std::string_view(&c, 1)); }
  // "%d"
  void AppendInt(int64_t v);
  // "%0<width>d": zeros between the sign and the digits.
  void AppendPadded(int64_t v, int width);
  // "%0<width>.<precision>f" of a finite value, rounded exactly as printf.
  void AppendFixed(double v, int width, int precision);
  // Drops trailing zeros of a fixed-point number that ends the text, keeping
  // at least two digits after the point; never looks before `from`.
  void TrimTrailingZeros(size_t from = 0);

  const char* c_str() const { return text_; }
  size_t size() const { return len_; }
  bool cut() const { return cut_; }

 private:
  // Only text_[0..len_] is ever read; not clearing the rest keeps a value's
  // conversion to the bytes it writes.
  char text_[kCapacity + 1];
  size_t len_ = 0;
  bool cut_ = false;
};

}  // namespace vesk
