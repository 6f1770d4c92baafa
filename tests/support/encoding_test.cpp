// Encoding numbers and names of both releases, and the reading of text that
// no server checked into valid UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "support/encoding_names.h"
#include "support/utf8_text.h"

namespace vesk {
namespace {

TEST(EncodingNames, NumbersOfBothReleases) {
  struct Case {
    uint8_t version;
    int32_t number;
    const char* name;  // null: no server encoding
  };
  const Case cases[] = {
      {82, 0, "SQL_ASCII"}, {83, 0, "SQL_ASCII"}, {82, 5, "JOHAB"},    {83, 5, "EUC_JIS_2004"},
      {82, 6, "UTF8"},      {83, 6, "UTF8"},      {83, 8, "LATIN1"},   {82, 8, "LATIN1"},
      {83, 22, "KOI8R"},    {83, 24, "WIN1252"},  {82, 24, "WIN1252"}, {83, 33, "WIN1257"},
      {83, 34, nullptr},    {82, -1, nullptr},    {83, 1000, nullptr},
  };
  for (const Case& c : cases) {
    const char* name = EncodingName(c.version, c.number);
    if (c.name == nullptr) {
      EXPECT_EQ(name, nullptr) << c.number;
      continue;
    }
    ASSERT_NE(name, nullptr) << c.number;
    EXPECT_STREQ(name, c.name) << int(c.version) << " " << c.number;
    EXPECT_EQ(EncodingNumber(c.version, c.name), c.number);
  }
}

TEST(EncodingNames, NamesAsUsersWriteThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"latin1", "LATIN1"}, {"Latin-1", "LATIN1"}, {"utf-8", "UTF8"}, {"sql_ascii", "SQL_ASCII"},
      {"win1252", "WIN1252"}, {"koi8", "KOI8R"}, {"sjis", "SJIS"}, {"iso_8859_5", "ISO_8859_5"},
      {"johab", "JOHAB"}, {"nonsense", nullptr}, {"", nullptr},
  };
  for (const auto& [given, canonical] : cases) {
    const char* name = CanonicalEncodingName(given);
    if (canonical == nullptr) {
      EXPECT_EQ(name, nullptr) << given;
    } else {
      ASSERT_NE(name, nullptr) << given;
      EXPECT_STREQ(name, canonical) << given;
    }
  }
  EXPECT_EQ(EncodingNumber(83, "SJIS"), -1) << "a client-only encoding is no database's";
}

TEST(Utf8Text, ValidityAsAServerJudgesIt) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain ascii, longer than one eight-byte word", true},
      {"caf\xC3\xA9", true},
      {"caf\xE9", false},                    // LATIN1 e-acute
      {"\xE2\x82\xAC 100", true},            // euro sign
      {"\xF0\x9F\x98\x80", true},            // four bytes
      {"\xC0\x80", false},                   // overlong NUL
      {"\xE0\x80\xAF", false},               // overlong slash
      {"\xED\xA0\x80", false},               // surrogate
      {"\xF4\x90\x80\x80", false},           // past U+10FFFF
      {"\xE2\x82", false},                   // cut short
      {"\x80 lone continuation", false},
      {std::string(40, 'a') + "\xC3\xA9" + std::string(40, 'b'), true},
      {std::string(40, 'a') + "\xC3" + std::string(40, 'b'), false},
      {"0123456789abcdef\xFF", false},       // the bad byte after whole words
  };
  for (const auto& [text, valid] : cases) EXPECT_EQ(IsValidUtf8(text), valid) << text;
}

TEST(Utf8Text, RepairReadsWholeValuesOrStrayBytesAsLatin1) {
  std::string statement = "INSERT ('na\xEFve \xFC" "ber', ";
  const size_t value = statement.size();
  statement += "'caf\xC3\xA9 and caf\xE9'";
  EXPECT_TRUE(RepairValue(statement, value));
  // One reading for the whole value: its valid pair is read as LATIN1 too.
  EXPECT_EQ(statement.substr(value), "'caf\xC3\x83\xC2\xA9 and caf\xC3\xA9'");
  EXPECT_EQ(statement.substr(0, value), "INSERT ('na\xEFve \xFC" "ber', ") << "text before the value stays";
  std::string valid = "'\xE2\x82\xAC'";
  EXPECT_FALSE(RepairValue(valid, 0));
  EXPECT_EQ(valid, "'\xE2\x82\xAC'");

  EXPECT_EQ(RepairBytes("\"caf\xE9\" \xE2\x82\xAC \xFF\xFE\x80"),
            "\"caf\xC3\xA9\" \xE2\x82\xAC \xC3\xBF\xC3\xBE\xC2\x80");
  EXPECT_TRUE(IsValidUtf8(RepairBytes("\xC0\x80\xED\xA0\x80\xF4\x90")));
}

}  // namespace
}  // namespace vesk
