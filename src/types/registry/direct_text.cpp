#include "types/registry/direct_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "support/recovery_run.h"
#include "types/datetime/date_text.h"
#include "types/datetime/datetime_encode.h"
#include "types/datetime/datetime_out.h"
#include "types/scalar/numeric_var.h"
#include "types/scalar/scalar_chars.h"
#include "types/scalar/utf8_length.h"
#include "types/scalar/var_bytes.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

using scalar::VarBytes;

constexpr int32_t kVarHeaderSize = 4;

template <typename Int>
bool Decimal(Int value, DirectBuffer& buffer, std::string_view& text) {
  auto result = std::to_chars(buffer.bytes, buffer.bytes + kDirectTextCapacity - 1, value);
  *result.ptr = '\0';
  text = std::string_view(buffer.bytes, static_cast<size_t>(result.ptr - buffer.bytes));
  return true;
}

bool Int2Text(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  return Decimal(static_cast<int16_t>(static_cast<uint16_t>(d & 0xFFFFu)), buffer, text);
}

bool Int4Text(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  return Decimal(static_cast<int32_t>(static_cast<uint32_t>(d & 0xFFFFFFFFu)), buffer, text);
}

bool OidText(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  return Decimal(static_cast<uint32_t>(d & 0xFFFFFFFFu), buffer, text);
}

bool Int8Text(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  return p != nullptr && Decimal(ReadI64(p), buffer, text);
}

bool BoolText(Datum d, int32_t, DirectBuffer&, std::string_view& text) {
  text = d != 0 ? "true" : "false";
  return true;
}

// Special values (NaN, infinities) are left to the routines.
bool FloatText(double value, int digits, DirectBuffer& buffer, std::string_view& text) {
  if (!std::isfinite(value)) return false;
  text = std::string_view(buffer.bytes, FiniteFloatChars(value, digits, buffer.bytes, kDirectTextCapacity));
  return true;
}

bool Float4Text(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  return p != nullptr && FloatText(static_cast<double>(ReadF32(p)), FLT_DIG, buffer, text);
}

bool Float8Text(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  if (p == nullptr) return false;
  double value = ReadF64(p);
  return !Float8Underflows(value) && FloatText(value, DBL_DIG, buffer, text);
}

// The shortest texts (special values left to the routines as above).
template <typename Float>
bool ShortestText(Float value, DirectBuffer& buffer, std::string_view& text) {
  static_assert(kShortestFloatCapacity <= kDirectTextCapacity);
  if (!std::isfinite(value)) return false;
  text = std::string_view(buffer.bytes, ShortestFloatChars(value, buffer.bytes));
  return true;
}

bool Float4Shortest(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  return p != nullptr && ShortestText(ReadF32(p), buffer, text);
}

bool Float8Shortest(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  return p != nullptr && ShortestText(ReadF64(p), buffer, text);
}

template <uint8_t kVersion>
bool NumericText(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  VarBytes bytes;
  if (!scalar::InlineBytes(kVersion, d, bytes) || bytes.size < 4) return false;
  NumericVar var = UnpackNumeric(bytes, kVersion);
  if (var.sign == kNumericNaN) {
    text = "NaN";
    return true;
  }
  if (NumericTextSize(var) > kDirectTextCapacity) return false;
  text = std::string_view(buffer.bytes, WriteNumericText(var, buffer.bytes));
  return true;
}

std::string_view UpToNul(const VarBytes& bytes) {
  const auto* data = reinterpret_cast<const char*>(bytes.data);
  const void* nul = std::memchr(data, '\0', bytes.size);
  size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - data) : bytes.size;
  return std::string_view(data, length);
}

template <uint8_t kVersion>
bool StringText(Datum d, int32_t, DirectBuffer&, std::string_view& text) {
  VarBytes bytes;
  if (!scalar::InlineBytes(kVersion, d, bytes)) return false;
  text = UpToNul(bytes);
  return true;
}

// 8.2's varchar routine refuses a value longer than its declared length.
bool Varchar82Text(Datum d, int32_t typmod, DirectBuffer&, std::string_view& text) {
  VarBytes bytes;
  if (!scalar::InlineBytes(82, d, bytes)) return false;
  if (typmod > kVarHeaderSize && scalar::Utf8Length(bytes.data, bytes.size) > static_cast<size_t>(typmod - kVarHeaderSize)) {
    return false;
  }
  text = UpToNul(bytes);
  return true;
}

// A date/time text that was cut is unprintable: the routine logs it.
bool CopyOut(const DateText& date, DirectBuffer& buffer, std::string_view& text) {
  if (date.cut() || date.size() >= kDirectTextCapacity) return false;
  std::memcpy(buffer.bytes, date.c_str(), date.size() + 1);
  text = std::string_view(buffer.bytes, date.size());
  return true;
}

template <bool kWithZone>
bool TimestampText(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  if (p == nullptr) return false;
  double value = ReadF64(p);
  static_assert(kWholeSecondsCapacity <= kDirectTextCapacity);
  if (size_t length = WholeSecondsText(value, kWithZone, buffer.bytes)) {
    text = std::string_view(buffer.bytes, length);
    return true;
  }
  DateText date;
  if (!EncodeSpecialTimestamp(value, date) && !EncodeTimestampFields(value, kWithZone, date)) return false;
  return CopyOut(date, buffer, text);
}

template <bool kWithZone>
bool TimestampText64(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  const uint8_t* p = DatumPointer(d);
  if (p == nullptr) return false;
  const int64_t value = ReadI64(p);
  if (size_t length = WholeSecondsText64(value, kWithZone, buffer.bytes)) {
    text = std::string_view(buffer.bytes, length);
    return true;
  }
  DateText date;
  if (!EncodeSpecialTimestamp64(value, date) && !EncodeTimestampFields64(value, kWithZone, date)) return false;
  return CopyOut(date, buffer, text);
}

bool DateValueText(Datum d, int32_t, DirectBuffer& buffer, std::string_view& text) {
  DateText date;
  EncodeDate(d, date);
  return CopyOut(date, buffer, text);
}

DirectTextRoutine FindShared(uint32_t typeOid) {
  // Chosen once per column: the storage is the server build's, one for the run.
  const bool integerDatetimes = Run().settings.integerDatetimes;
  const bool exactFloats = Run().options.floatText == VESK_FLOATS_EXACT;
  switch (typeOid) {
    case 16: return BoolText;
    case 20: return Int8Text;
    case 21: return Int2Text;
    case 23: return Int4Text;
    case 26: return OidText;
    case 700: return exactFloats ? Float4Shortest : Float4Text;
    case 701: return exactFloats ? Float8Shortest : Float8Text;
    case 1082: return DateValueText;
    case 1114: return integerDatetimes ? TimestampText64<false> : TimestampText<false>;
    case 1184: return integerDatetimes ? TimestampText64<true> : TimestampText<true>;
    default: return nullptr;
  }
}

}  // namespace

DirectTextRoutine FindDirectText(uint8_t version, uint32_t typeOid) {
  if (version == 83) {
    switch (typeOid) {
      case 25:
      case 1042:
      case 1043: return StringText<83>;
      case 1700: return NumericText<83>;
      default: return FindShared(typeOid);
    }
  }
  switch (typeOid) {
    case 25:
    case 1042: return StringText<82>;
    case 1043: return Varchar82Text;
    case 1700: return NumericText<82>;
    default: return FindShared(typeOid);
  }
}

bool DirectTextIsPlain(uint32_t typeOid) {
  switch (typeOid) {
    case 16:
    case 1082:
    case 1114:
    case 1184: return true;
    default: return false;
  }
}

}  // namespace vesk
