// The monetary conventions of the process's locale, fetched once with
// localeconv and kept for the life of the process.
#pragma once

#include <string>

namespace vesk {

struct MonetaryConventions {
  std::string currencySymbol;
  std::string monDecimalPoint;
  std::string monThousandsSep;
  std::string monGrouping;
  std::string negativeSign;
  int fracDigits = 0;
  int nSignPosn = 0;
};

// Filled on first use; later changes of the locale are not seen.
const MonetaryConventions& GetMonetaryConventions();

}  // namespace vesk
