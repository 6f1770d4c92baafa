// tsquery, 8.3 layout: int32 item count, then 12-byte items in prefix order
// (an operator is followed by its right operand, then its left one), then
// the NUL-terminated operand strings. Operand item: type 1, weight mask,
// CRC, then a word of length (low 12 bits) and string offset (high 20).
// Operator item: type 2, operator (1 not, 2 and, 3 or), offset of the left
// operand.
#include <string>
#include <vector>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/text_search_out.h"
#include "types/scalar/var_bytes.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

constexpr uint32_t kItemSize = 12;
constexpr uint8_t kOperand = 1;
constexpr uint8_t kOperator = 2;
constexpr uint8_t kNot = 1;
constexpr uint8_t kAnd = 2;
constexpr uint8_t kOr = 3;

struct Query {
  const uint8_t* items;
  uint32_t count;
  const uint8_t* operands;
  uint32_t operandSize;

  uint8_t Type(uint32_t i) const { return items[i * kItemSize]; }
  uint8_t Flag(uint32_t i) const { return items[i * kItemSize + 1]; }  // weight or operator
  uint32_t Word(uint32_t i) const { return ReadU32(items + i * kItemSize + 8); }
};

// One past the last item of each node's subtree, checked to stay inside
// the query; deeper items come later, so one backward pass fills it.
std::vector<uint32_t> SubtreeEnds(const Query& q) {
  std::vector<uint32_t> end(q.count);
  for (uint32_t i = q.count; i-- > 0;) {
    if (q.Type(i) == kOperand) {
      end[i] = i + 1;
      continue;
    }
    const uint8_t op = q.Flag(i);
    if (q.Type(i) != kOperator || (op != kNot && op != kAnd && op != kOr) || i + 1 >= q.count) RejectLength(i);
    const uint32_t right = end[i + 1];
    if (op == kNot) {
      end[i] = right;
    } else {
      if (right >= q.count) RejectLength(i);
      end[i] = end[right];
    }
  }
  return end;
}

void AppendOperand(std::string& out, const Query& q, uint32_t i) {
  const uint32_t offset = q.Word(i) >> 12;
  out += '\'';
  for (uint32_t k = offset;; ++k) {
    if (k >= q.operandSize) RejectLength(offset);
    const char c = static_cast<char>(q.operands[k]);
    if (c == '\0') break;
    // Doubled backslashes keep their meaning for the text search parser.
    if (c == '\'' || c == '\\') out += c;
    out += c;
  }
  out += '\'';
  const uint8_t weight = q.Flag(i);
  if (weight == 0) return;
  out += ':';
  if (weight & 8) out += 'A';
  if (weight & 4) out += 'B';
  if (weight & 2) out += 'C';
  if (weight & 1) out += 'D';
}

// A node to print, or a fixed text between nodes.
struct Step {
  uint32_t item;
  bool first;
  const char* text;
};

// The server's infix walk without its recursion: a long chain of operators
// must not cost stack depth.
std::string Infix(const Query& q, const std::vector<uint32_t>& end) {
  std::string out;
  std::vector<Step> steps{{0, true, nullptr}};
  while (!steps.empty()) {
    const Step step = steps.back();
    steps.pop_back();
    if (step.text != nullptr) {
      out += step.text;
      continue;
    }
    const uint32_t i = step.item;
    if (q.Type(i) == kOperand) {
      AppendOperand(out, q, i);
    } else if (q.Flag(i) == kNot) {
      out += '!';
      const bool group = q.Type(i + 1) == kOperator;
      if (group) steps.push_back({0, false, " )"});
      steps.push_back({i + 1, group, nullptr});
      if (group) steps.push_back({0, false, "( "});
    } else {
      const bool group = q.Flag(i) == kOr && !step.first;
      if (group) steps.push_back({0, false, " )"});
      steps.push_back({i + 1, false, nullptr});
      steps.push_back({0, false, q.Flag(i) == kOr ? " | " : " & "});
      steps.push_back({end[i + 1], false, nullptr});
      if (group) steps.push_back({0, false, "( "});
    }
  }
  return out;
}

char* TsqueryText(Datum d) {
  const VarBytes bytes = RequireBytes(83, d);
  if (bytes.size < 4) RejectLength(bytes.size);
  const int32_t count = ReadI32(bytes.data);
  const uint64_t itemsEnd = 4 + uint64_t{kItemSize} * static_cast<uint32_t>(count);
  if (count < 0 || itemsEnd > bytes.size) RejectLength(count);
  if (count == 0) return ScratchDup("");
  const Query q{bytes.data + 4, static_cast<uint32_t>(count), bytes.data + itemsEnd,
                static_cast<uint32_t>(bytes.size - itemsEnd)};
  const std::vector<uint32_t> end = SubtreeEnds(q);
  // Items outside the tree that begins at the first one mean damage.
  if (end[0] != q.count) RejectLength(end[0]);
  return ScratchDup(Infix(q, end).c_str());
}

}  // namespace

char* tsqueryout(Datum d) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] { return TsqueryText(d); });
}

}  // namespace vesk
