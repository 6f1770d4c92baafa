#include "support/encoding_names.h"

#include <cctype>
#include <iterator>
#include <string>

namespace vesk {
namespace {

// Server encodings of 8.3 in their stored order. 8.2 had JOHAB where 8.3
// has EUC_JIS_2004; every other number is the same in both. KOI8 is written
// under the name current servers give it.
constexpr const char* kServerEncodings83[] = {
    "SQL_ASCII", "EUC_JP",     "EUC_CN",     "EUC_KR",     "EUC_TW",     "EUC_JIS_2004", "UTF8",
    "MULE_INTERNAL", "LATIN1", "LATIN2",     "LATIN3",     "LATIN4",     "LATIN5",       "LATIN6",
    "LATIN7",    "LATIN8",     "LATIN9",     "LATIN10",    "WIN1256",    "WIN1258",      "WIN866",
    "WIN874",    "KOI8R",      "WIN1251",    "WIN1252",    "ISO_8859_5", "ISO_8859_6",   "ISO_8859_7",
    "ISO_8859_8", "WIN1250",   "WIN1253",    "WIN1254",    "WIN1255",    "WIN1257",
};
// Encodings a client may declare but no database may store.
constexpr const char* kClientEncodings[] = {"SJIS", "BIG5", "GBK", "UHC", "GB18030", "JOHAB", "SHIFT_JIS_2004"};
constexpr int32_t kServerEncodingCount = static_cast<int32_t>(std::size(kServerEncodings83));
constexpr int32_t kVersionDependent = 5;

// Case, '-' and '_' do not tell encoding names apart.
std::string Folded(const char* name) {
  std::string out;
  for (const char* p = name; *p; ++p) {
    if (*p == '-' || *p == '_') continue;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  return out;
}

}  // namespace

const char* EncodingName(uint8_t version, int32_t number) {
  if (number < 0 || number >= kServerEncodingCount) return nullptr;
  if (number == kVersionDependent && version != 83) return "JOHAB";
  return kServerEncodings83[number];
}

int32_t EncodingNumber(uint8_t version, const char* name) {
  if (name == nullptr) return -1;
  std::string wanted = Folded(name);
  if (wanted == "KOI8") wanted = "KOI8R";
  for (int32_t n = 0; n < kServerEncodingCount; ++n) {
    if (Folded(EncodingName(version, n)) == wanted) return n;
  }
  return -1;
}

const char* CanonicalEncodingName(const char* name) {
  int32_t number = EncodingNumber(83, name);
  if (number >= 0) return EncodingName(83, number);
  if (name == nullptr) return nullptr;
  for (const char* client : kClientEncodings) {
    if (Folded(client) == Folded(name)) return client;
  }
  return nullptr;
}

}  // namespace vesk
