#include "sampledb/stored_forms.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace vesk::sampledb {
namespace {

namespace hb = heapbuilder;

constexpr uint16_t kNumericNegative = 0x4000;
constexpr uint32_t kTextOid = 25;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Offsets inside an array count from its (4-byte) length word, which the
// payload given to the builder leaves out.
void PadTo(std::vector<uint8_t>& payload, size_t alignment) {
  while ((payload.size() + 4) % alignment != 0) payload.push_back(0);
}

}  // namespace

int32_t DaysSince2000(int year, int month, int day) {
  // Days from civil (proleptic Gregorian), shifted so that 2000-01-01 is 0.
  int y = month <= 2 ? year - 1 : year;
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 730425;
}

hb::Value Date(int year, int month, int day) { return hb::Int32(DaysSince2000(year, month, day)); }

hb::Value Timestamp(int year, int month, int day, int hour, int minute, double second, bool integer) {
  if (integer) {
    const int64_t seconds = int64_t{DaysSince2000(year, month, day)} * 86400 + hour * 3600 + minute * 60;
    return hb::Int64(seconds * 1000000 + std::llround(second * 1000000.0));
  }
  double days = DaysSince2000(year, month, day);
  return hb::Float8(days * 86400.0 + hour * 3600.0 + minute * 60.0 + second);
}

hb::Value Numeric(hb::Layout layout, const std::string& text, int dscale) {
  bool negative = !text.empty() && text[0] == '-';
  std::string digits = negative ? text.substr(1) : text;
  size_t point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : digits.substr(point + 1);
  if (static_cast<int>(fraction.size()) > dscale) throw std::invalid_argument("more digits than dscale");

  // Base-10000 digits: the whole part grouped from the point leftwards, the
  // fraction from the point rightwards.
  while (whole.size() % 4 != 0) whole.insert(whole.begin(), '0');
  while (fraction.size() % 4 != 0) fraction.push_back('0');
  std::vector<int16_t> groups;
  for (size_t i = 0; i < whole.size(); i += 4) groups.push_back(static_cast<int16_t>(std::stoi(whole.substr(i, 4))));
  for (size_t i = 0; i < fraction.size(); i += 4) groups.push_back(static_cast<int16_t>(std::stoi(fraction.substr(i, 4))));
  int weight = static_cast<int>(whole.size() / 4) - 1;
  size_t first = 0;
  while (first < groups.size() && groups[first] == 0) {
    ++first;
    --weight;
  }
  size_t end = groups.size();
  while (end > first && groups[end - 1] == 0) --end;
  if (first == end) {
    weight = 0;
    negative = false;
  }

  std::vector<uint8_t> payload;
  uint16_t signScale = static_cast<uint16_t>((negative ? kNumericNegative : 0) | (dscale & 0x3FFF));
  if (layout == hb::Layout::k82) Put16(payload, static_cast<uint16_t>(weight));
  Put16(payload, signScale);
  if (layout == hb::Layout::k83) Put16(payload, static_cast<uint16_t>(weight));
  for (size_t i = first; i < end; ++i) Put16(payload, static_cast<uint16_t>(groups[i]));
  return hb::Varlena(std::move(payload));
}

hb::Value TextArray(hb::Layout layout, const std::vector<std::optional<std::string>>& elements) {
  bool hasNulls = false;
  for (const auto& e : elements) hasNulls = hasNulls || !e.has_value();
  std::vector<uint8_t> payload;
  Put32(payload, 1);  // ndim
  size_t dataOffsetAt = payload.size();
  Put32(payload, 0);
  Put32(payload, kTextOid);
  Put32(payload, static_cast<uint32_t>(elements.size()));
  Put32(payload, 1);  // lower bound
  if (hasNulls) {
    std::vector<uint8_t> bitmap((elements.size() + 7) / 8, 0);
    for (size_t i = 0; i < elements.size(); ++i) {
      if (elements[i]) bitmap[i / 8] = static_cast<uint8_t>(bitmap[i / 8] | (1u << (i % 8)));
    }
    payload.insert(payload.end(), bitmap.begin(), bitmap.end());
    PadTo(payload, 8);
    uint32_t dataOffset = static_cast<uint32_t>(payload.size() + 4);
    std::memcpy(payload.data() + dataOffsetAt, &dataOffset, 4);
  } else {
    PadTo(payload, 8);
  }
  // Elements keep the 4-byte length word in both layouts, each padded to
  // int alignment, the last one too.
  for (const auto& e : elements) {
    if (!e) continue;
    uint32_t total = static_cast<uint32_t>(e->size() + 4);
    Put32(payload, layout == hb::Layout::k83 ? total << 2 : total);
    payload.insert(payload.end(), e->begin(), e->end());
    PadTo(payload, 4);
  }
  return hb::Varlena(std::move(payload));
}

}  // namespace vesk::sampledb
