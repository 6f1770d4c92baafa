#include <gtest/gtest.h>

#include "heapbuilder/heap_builder.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::Bytes;
using testing::Plain82;
using testing::Plain83;
using testing::Short83;
using testing::Stored;
using testing::Take;

std::optional<std::string> Text82(std::string_view v) { return Take(textout82(Stored(Plain82(Bytes(v))).datum())); }
std::optional<std::string> Text83(std::string_view v) { return Take(textout83(Stored(Plain83(Bytes(v))).datum())); }

struct TextCase {
  const char* stored;
  const char* text82;  // escaped once by the 8.2 routines
  const char* text83;  // exactly as stored
};

class TextLike : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextLike, EightTwoEscapesEightThreeDoesNot) {
  const TextCase& c = GetParam();
  EXPECT_EQ(Text82(c.stored), c.text82);
  EXPECT_EQ(Text83(c.stored), c.text83);
  EXPECT_EQ(Take(textout83(Stored(Short83(Bytes(c.stored))).datum())), c.text83);
  EXPECT_EQ(Take(bpcharout82(Stored(Plain82(Bytes(c.stored))).datum(), -1)), c.text82);
  EXPECT_EQ(Take(bpcharout83(Stored(Short83(Bytes(c.stored))).datum(), -1)), c.text83);
  EXPECT_EQ(Take(varcharout82(Stored(Plain82(Bytes(c.stored))).datum(), -1)), c.text82);
  EXPECT_EQ(Take(varcharout83(Stored(Plain83(Bytes(c.stored))).datum(), -1)), c.text83);
}

INSTANTIATE_TEST_SUITE_P(Values, TextLike,
                         ::testing::Values(TextCase{"hello", "hello", "hello"}, TextCase{"it's", "it\\'s", "it's"},
                                           TextCase{"back\\slash", "back\\\\slash", "back\\slash"},
                                           TextCase{"'\\\\", "\\'\\\\\\\\", "'\\\\"},
                                           TextCase{"ab   ", "ab   ", "ab   "}, TextCase{"", "", ""},
                                           TextCase{"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e",
                                                    "Gr\xC3\xBC\xC3\x9F" "e"}));

TEST(VarcharOut82, EmptyValueIsEmptyTextNotNull) {
  EXPECT_EQ(Take(varcharout82(Stored(Plain82({})).datum(), 7)), "");
}

TEST(VarcharOut82, DeclaredLengthCountsCharactersNotBytes) {
  // varchar(3) has modifier 7; three euro signs are nine bytes.
  EXPECT_EQ(Take(varcharout82(Stored(Plain82(Bytes("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"))).datum(), 7)),
            "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
  EXPECT_EQ(Take(varcharout82(Stored(Plain82(Bytes("abc"))).datum(), 7)), "abc");
}

TEST(VarcharOut82, ValueLongerThanItsColumnIsRefused) {
  testing::LogCapture log;
  // varchar(10) has modifier 14.
  EXPECT_EQ(varcharout82(Stored(Plain82(Bytes("123456789012345"))).datum(), 14), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]: Invalid length [15]"));
  EXPECT_TRUE(log.Has("ERROR while out type, MISS value"));
  EXPECT_EQ(varcharout82(Stored(Plain82(Bytes("12345678901"))).datum(), 14), nullptr);
  EXPECT_EQ(Take(varcharout82(Stored(Plain82(Bytes("1234567890"))).datum(), 14)), "1234567890");
}

TEST(VarcharOut83, LongValuesAreKept) {
  std::string big(70000, 'v');
  EXPECT_EQ(Take(varcharout83(Stored(Plain83(Bytes(big))).datum(), -1)), big);
}

TEST(TextOut82, ValueThatCannotBeRebuiltIsNullNotEmpty) {
  // An 8.2 external pointer whose TOAST relation this run cannot open.
  heapbuilder::ExternalPointer pointer{100, 96, 12345, 99999, false};
  Stored external(heapbuilder::EncodeVarlena(heapbuilder::Layout::k82, heapbuilder::External(pointer)));
  EXPECT_EQ(textout82(external.datum()), nullptr);
}

TEST(TextOut, CompressedValuesAreRebuiltInBothLayouts) {
  std::string original(3000, 'x');
  original += "it's";
  auto value = heapbuilder::Compressed(Bytes(original));
  Stored stored82(heapbuilder::EncodeVarlena(heapbuilder::Layout::k82, value));
  Stored stored83(heapbuilder::EncodeVarlena(heapbuilder::Layout::k83, value));
  EXPECT_EQ(Take(textout82(stored82.datum())), original.substr(0, 3002) + "\\'s");
  EXPECT_EQ(Take(textout83(stored83.datum())), original);
}

TEST(TextOut, HeaderShorterThanItselfIsRefused) {
  std::vector<uint8_t> damaged{2, 0, 0, 0, 'a'};
  EXPECT_EQ(textout82(Stored(damaged).datum()), nullptr);
  std::vector<uint8_t> damaged83{2 << 2, 0, 0, 0, 'a'};
  EXPECT_EQ(textout83(Stored(damaged83).datum()), nullptr);
}

TEST(CStringRoutines, EscapeInBothLayouts) {
  std::vector<uint8_t> stored = Bytes("x'y\\z");
  stored.push_back(0);
  EXPECT_EQ(Take(unknownout(Stored(stored).datum())), "x\\'y\\\\z");
  EXPECT_EQ(Take(cstring_out(Stored(stored).datum())), "x\\'y\\\\z");
}

TEST(CStringRoutines, ResultIsAlwaysAScratchCopy) {
  std::vector<uint8_t> stored = Bytes("abc");
  stored.push_back(0);
  Stored value(stored);
  char* text = cstring_out(value.datum());
  EXPECT_NE(reinterpret_cast<Datum>(text), value.datum());
  EXPECT_EQ(Take(text), "abc");
}

TEST(EscapeQuotes, ReleasesItsInputAndEscapesOnce) {
  int32_t before = ScratchLiveCount();
  char* escaped = EscapeQuotes(ScratchDup("a'b\\c"));
  EXPECT_STREQ(escaped, "a\\'b\\\\c");
  EXPECT_EQ(ScratchLiveCount(), before + 1);
  ScratchFree(escaped);
  char untracked[] = "plain";
  EXPECT_EQ(EscapeQuotes(untracked), untracked);
  EXPECT_EQ(EscapeQuotes(nullptr), nullptr);
}

// Decodes the server's bytea escape format.
std::vector<uint8_t> Unescape(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(static_cast<uint8_t>(text[i]));
    } else if (text[i + 1] == '\\') {
      out.push_back('\\');
      ++i;
    } else {
      out.push_back(static_cast<uint8_t>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
      i += 3;
    }
  }
  return out;
}

TEST(ByteaOut, EscapesBackslashAndUnprintables) {
  std::vector<uint8_t> payload{0x41, 0x5C, 0x00, 0xFF};
  EXPECT_EQ(Take(byteaout82(Stored(Plain82(payload)).datum())), "A\\\\\\000\\377");
  EXPECT_EQ(Take(byteaout83(Stored(Short83(payload)).datum())), "A\\\\\\000\\377");
  EXPECT_EQ(Take(byteaout83(Stored(Plain83({})).datum())), "");
}

TEST(ByteaOut, EveryByteComesBackInBothLayouts) {
  std::vector<uint8_t> payload;
  for (int i = 0; i < 256; ++i) payload.push_back(static_cast<uint8_t>(i));
  payload.push_back('\'');
  auto text82 = Take(byteaout82(Stored(Plain82(payload)).datum()));
  auto text83 = Take(byteaout83(Stored(Plain83(payload)).datum()));
  ASSERT_TRUE(text82 && text83);
  EXPECT_EQ(Unescape(*text82), payload);
  EXPECT_EQ(*text82, *text83);
  EXPECT_NE(text82->find("'"), std::string::npos) << "quotes are left to the literal writer";
}

}  // namespace
}  // namespace vesk
