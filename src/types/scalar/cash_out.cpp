// money: a signed amount in hundredths, grouped and signed by the locale's
// monetary conventions. 8.2 stores 32 bits, 8.3 stores 64 bits.
#include <cstring>
#include <string>

#include "support/scratch.h"
#include "types/scalar/monetary_conventions.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

// The amount is laid out right-aligned ending at position kLast; 64-bit
// amounts with one-digit groups and ten decimal places still fit.
constexpr int kLast = 93;

struct CashStyle {
  int points = 2;
  int group = 3;
  char comma = ',';
  char decimal = '.';
  std::string currency;
  std::string negative;
  int convention = 0;
};

CashStyle StyleFromLocale() {
  const MonetaryConventions& mc = GetMonetaryConventions();
  CashStyle style;
  style.points = mc.fracDigits >= 0 && mc.fracDigits <= 10 ? mc.fracDigits : 2;
  int grouping = mc.monGrouping.empty() ? 0 : static_cast<unsigned char>(mc.monGrouping[0]);
  style.group = grouping >= 1 && grouping <= 6 ? grouping : 3;
  style.comma = mc.monThousandsSep.empty() ? ',' : mc.monThousandsSep[0];
  style.decimal = mc.monDecimalPoint.empty() ? '.' : mc.monDecimalPoint[0];
  style.currency = mc.currencySymbol.empty() ? "$" : mc.currencySymbol;
  style.negative = mc.negativeSign.empty() ? "-" : mc.negativeSign;
  style.convention = mc.nSignPosn;
  return style;
}

// Digits, separators and decimal symbol of the magnitude, without sign or
// currency symbol; points into `buffer`.
const char* LayOutAmount(uint64_t magnitude, const CashStyle& style, char (&buffer)[kLast + 3]) {
  // Integer division truncates toward zero, as the server's layout expects
  // for zero decimal places.
  int pointPos = kLast - style.points - (style.points - 1) / style.group;
  int commaPos = pointPos % (style.group + 1);
  std::memset(buffer, ' ', kLast + 1);
  buffer[kLast + 1] = buffer[kLast + 2] = '\0';
  int count = kLast;
  while ((magnitude != 0 || count > pointPos - 2) && count > 0) {
    if (style.points != 0 && count == pointPos) {
      buffer[count--] = style.decimal;
    } else if (count % (style.group + 1) == commaPos) {
      buffer[count--] = style.comma;
    }
    buffer[count--] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  // With no decimal places the units position may have taken a separator.
  if (buffer[kLast] == style.comma) buffer[kLast] = '\0';
  return buffer + count + 1;
}

char* Concatenate(const char* a, const char* b, const char* c) {
  size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(la + lb + lc + 1)));
  std::memcpy(text, a, la);
  std::memcpy(text + la, b, lb);
  std::memcpy(text + la + lb, c, lc + 1);
  return text;
}

char* CashText(int64_t amount, bool withCurrency) {
  // The conventions are fetched once per process; so is their reading.
  static const CashStyle style = StyleFromLocale();
  bool negative = amount < 0;
  // Negate in unsigned arithmetic so the most negative amount survives.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  char buffer[kLast + 3];
  const char* digits = LayOutAmount(magnitude, style, buffer);
  const char* currency = withCurrency ? style.currency.c_str() : "";
  if (!negative) return Concatenate(currency, digits, "");
  std::string body = std::string(currency) + digits;
  switch (style.convention) {
    case 0:
      return Concatenate("(", body.c_str(), ")");
    case 2:
      return Concatenate(body.c_str(), style.negative.c_str(), "");
    default:
      return Concatenate(style.negative.c_str(), body.c_str(), "");
  }
}

}  // namespace

char* cash_out82(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([p] { return CashText(ReadI32(p), true); });
}

char* cash_out83(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([p] { return CashText(ReadI64(p), false); });
}

}  // namespace vesk
