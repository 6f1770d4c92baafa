#include "types/scalar/monetary_conventions.h"

#include <clocale>

namespace vesk {
namespace {

std::string Copy(const char* text) { return text ? std::string(text) : std::string(); }

MonetaryConventions Fetch() {
  const std::lconv* lc = std::localeconv();
  MonetaryConventions conventions;
  if (!lc) return conventions;
  conventions.currencySymbol = Copy(lc->currency_symbol);
  conventions.monDecimalPoint = Copy(lc->mon_decimal_point);
  conventions.monThousandsSep = Copy(lc->mon_thousands_sep);
  conventions.monGrouping = Copy(lc->mon_grouping);
  conventions.negativeSign = Copy(lc->negative_sign);
  conventions.fracDigits = static_cast<unsigned char>(lc->frac_digits);
  conventions.nSignPosn = static_cast<unsigned char>(lc->n_sign_posn);
  return conventions;
}

}  // namespace

const MonetaryConventions& GetMonetaryConventions() {
  static const MonetaryConventions conventions = Fetch();
  return conventions;
}

}  // namespace vesk
