// uuid, tsvector and tsquery values in their 8.3 stored forms, built byte
// by byte, against the texts an 8.3 server prints for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "types/scalar/scalar_test_util.h"
#include "types/scalar/text_search_out.h"

namespace vesk {
namespace {

using testing::Plain83;
using testing::PutU16;
using testing::PutU32;
using testing::Short83;
using testing::Stored;
using testing::Take;

TEST(UuidOut, PrintsLowerCaseGroups) {
  std::vector<uint8_t> bytes = {0xa0, 0xee, 0xbc, 0x99, 0x9c, 0x0b, 0x4e, 0xf8,
                                0xbb, 0x6d, 0x6b, 0xb9, 0xbd, 0x38, 0x0a, 0x11};
  EXPECT_EQ(Take(uuid_out(Stored(bytes).datum())), "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11");
  EXPECT_EQ(uuid_out(0), nullptr);
}

struct Lexeme {
  Lexeme(const char* t, std::vector<uint16_t> p = {}, bool with = false)
      : text(t), positions(std::move(p)), withPositions(with) {}
  std::string text;
  std::vector<uint16_t> positions;  // weight in the top two bits
  bool withPositions;
};

// The 8.3 tsvector payload: count, entries, string area with position
// vectors at even offsets.
std::vector<uint8_t> TsvectorPayload(const std::vector<Lexeme>& lexemes) {
  std::vector<uint8_t> area;
  std::vector<uint32_t> entries;
  for (const Lexeme& l : lexemes) {
    uint32_t offset = static_cast<uint32_t>(area.size());
    area.insert(area.end(), l.text.begin(), l.text.end());
    entries.push_back((offset << 12) | (static_cast<uint32_t>(l.text.size()) << 1) | (l.withPositions ? 1u : 0u));
    if (!l.withPositions) continue;
    if (area.size() % 2 != 0) area.push_back(0);
    PutU16(area, static_cast<uint16_t>(l.positions.size()));
    for (uint16_t p : l.positions) PutU16(area, p);
  }
  std::vector<uint8_t> payload;
  PutU32(payload, static_cast<uint32_t>(lexemes.size()));
  for (uint32_t e : entries) PutU32(payload, e);
  payload.insert(payload.end(), area.begin(), area.end());
  return payload;
}

std::optional<std::string> Tsvector(const std::vector<uint8_t>& payload) {
  return Take(tsvectorout(Stored(Plain83(payload)).datum()));
}

TEST(TsvectorOut, PrintsLexemesPositionsAndWeights) {
  struct Case {
    std::vector<Lexeme> lexemes;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{{"a"}, {"cat"}, {"fat"}}, "'a' 'cat' 'fat'"},
      {{{"cat", {3, 0xC000 | 1}, true}, {"fat", {2 | 0x8000, 7 | 0x4000}, true}}, "'cat':3,1A 'fat':2B,7C"},
      // An odd end of the lexeme puts the position vector one byte later.
      {{{"ab", {1}, true}, {"xyz", {4}, true}}, "'ab':1 'xyz':4"},
      {{{"it's"}, {"a\\b"}}, "'it''s' 'a\\\\b'"},
      {{{"none", {}, true}}, "'none'"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tsvector(TsvectorPayload(c.lexemes)), c.text) << c.text;
}

TEST(TsvectorOut, ShortHeaderAsStoredInARow) {
  EXPECT_EQ(Take(tsvectorout(Stored(Short83(TsvectorPayload({{"a"}, {"cat"}}))).datum())), "'a' 'cat'");
}

TEST(TsvectorOut, DamagedValuesAreNull) {
  testing::LogCapture log;
  std::vector<uint8_t> good = TsvectorPayload({{"cat", {3}, true}});
  std::vector<uint8_t> hugeCount = good;
  hugeCount[3] = 0x7F;
  std::vector<uint8_t> negative = good;
  negative[3] = 0x80;
  std::vector<uint8_t> lexemeOutside = good;
  lexemeOutside[6] = 0x10;  // offset far past the area
  std::vector<uint8_t> positionsCut(good.begin(), good.end() - 1);
  std::vector<uint8_t> countOnly = {1, 0};
  for (const auto& payload : {hugeCount, negative, lexemeOutside, positionsCut, countOnly}) {
    EXPECT_EQ(Tsvector(payload), std::nullopt);
  }
  EXPECT_TRUE(log.Has("ERROR while out type, MISS value"));
}

// Items of a query: operands name their text; operators name their kind.
struct Item {
  Item(char o, const char* t = "", uint8_t w = 0) : op(o), text(t), weight(w) {}
  char op;  // 0 operand, '!', '&', '|'
  std::string text;
  uint8_t weight;
};

// The 8.3 tsquery payload for items in stored (prefix) order; the left
// offsets are filled from the tree shape.
std::vector<uint8_t> TsqueryPayload(const std::vector<Item>& items) {
  std::vector<size_t> end(items.size());
  for (size_t i = items.size(); i-- > 0;) {
    if (items[i].op == 0) {
      end[i] = i + 1;
    } else if (items[i].op == '!') {
      end[i] = end[i + 1];
    } else {
      end[i] = end[end[i + 1]];
    }
  }
  std::vector<uint8_t> operands;
  std::vector<uint8_t> payload;
  PutU32(payload, static_cast<uint32_t>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& item = items[i];
    if (item.op == 0) {
      payload.push_back(1);
      payload.push_back(item.weight);
      payload.push_back(0);
      payload.push_back(0);
      PutU32(payload, 0x12345678);  // CRC, not read
      PutU32(payload, (static_cast<uint32_t>(operands.size()) << 12) | static_cast<uint32_t>(item.text.size()));
      operands.insert(operands.end(), item.text.begin(), item.text.end());
      operands.push_back(0);
    } else {
      payload.push_back(2);
      payload.push_back(item.op == '!' ? 1 : item.op == '&' ? 2 : 3);
      payload.push_back(0);
      payload.push_back(0);
      PutU32(payload, item.op == '!' ? 0 : static_cast<uint32_t>(end[i + 1] - i));
      PutU32(payload, 0);
    }
  }
  payload.insert(payload.end(), operands.begin(), operands.end());
  return payload;
}

std::optional<std::string> Tsquery(const std::vector<uint8_t>& payload) {
  return Take(tsqueryout(Stored(Plain83(payload)).datum()));
}

TEST(TsqueryOut, PrintsTheTreeInfixAsTheServer) {
  struct Case {
    std::vector<Item> items;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{{0, "fat"}}, "'fat'"},
      // Stored as operator, right operand, left operand.
      {{{'&'}, {0, "rat"}, {0, "fat"}}, "'fat' & 'rat'"},
      {{{'|'}, {0, "rat"}, {0, "fat"}}, "'fat' | 'rat'"},
      {{{'!'}, {0, "cat"}}, "!'cat'"},
      {{{'!'}, {'&'}, {0, "b"}, {0, "a"}}, "!( 'a' & 'b' )"},
      // 'a' & ('b' | 'c'): an or below the top gets parentheses.
      {{{'&'}, {'|'}, {0, "c"}, {0, "b"}, {0, "a"}}, "'a' & ( 'b' | 'c' )"},
      // ('a' | 'b') & 'c'
      {{{'&'}, {0, "c"}, {'|'}, {0, "b"}, {0, "a"}}, "( 'a' | 'b' ) & 'c'"},
      {{{'&'}, {0, "b", 4 | 2}, {0, "a", 8}}, "'a':A & 'b':BC"},
      {{{0, "it's\\"}}, "'it''s\\\\'"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tsquery(TsqueryPayload(c.items)), c.text) << c.text;
}

TEST(TsqueryOut, LongChainsDoNotExhaustTheStack) {
  // 'w' & 'w' & ... parses into a left-deep tree: every operator's left
  // operand is the next operator.
  constexpr int kTerms = 20000;
  std::vector<Item> items;
  for (int i = 0; i < kTerms - 1; ++i) {
    items.push_back({'&'});
    items.push_back({0, "w"});
  }
  items.push_back({0, "w"});
  std::optional<std::string> text = Tsquery(TsqueryPayload(items));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), kTerms * 3 + (kTerms - 1) * 3);
}

TEST(TsqueryOut, DamagedQueriesAreNull) {
  testing::LogCapture log;
  std::vector<uint8_t> good = TsqueryPayload({{'&'}, {0, "rat"}, {0, "fat"}});
  std::vector<uint8_t> badOperator = good;
  badOperator[5] = 9;
  std::vector<uint8_t> badType = good;
  badType[4] = 7;
  std::vector<uint8_t> missingLeft = TsqueryPayload({{'!'}, {0, "rat"}});
  missingLeft[5] = 2;  // a not turned into an and: no left operand
  std::vector<uint8_t> extraItem = TsqueryPayload({{0, "a"}, {0, "b"}});
  std::vector<uint8_t> noTerminator(good.begin(), good.end() - 1);
  std::vector<uint8_t> hugeCount = good;
  hugeCount[3] = 0x10;
  std::vector<uint8_t> operandOutside = good;
  operandOutside[27] = 0x7F;  // high byte of the first operand's offset word
  for (const auto& payload : {badOperator, badType, missingLeft, extraItem, noTerminator, hugeCount, operandOutside}) {
    EXPECT_EQ(Tsquery(payload), std::nullopt);
  }
  EXPECT_TRUE(log.Has("ERROR while out type, MISS value"));
}

}  // namespace
}  // namespace vesk
