// Tuple header, null bitmap, OID and aligned attribute data of one record.
#include <cstring>
#include <stdexcept>

#include "heap_builder.h"

namespace vesk::heapbuilder {
namespace {

size_t AlignOf(char attalign, const ServerBuild& build) {
  switch (attalign) {
    case 'c': return 1;
    case 'i': return 4;
    case 'd': return build.doubleAlign;
    default: return 2;
  }
}

void AlignTo(std::vector<uint8_t>& data, size_t alignment) {
  while (data.size() % alignment != 0) data.push_back(0);
}

void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Stored bytes of one non-null value and whether they start unaligned.
std::vector<uint8_t> StoredForm(Layout layout, const ColumnSpec& col, const Value& v, bool* unaligned) {
  *unaligned = false;
  switch (v.kind) {
    case Value::Kind::kFixed:
      if (col.attlen <= 0 || v.bytes.size() != static_cast<size_t>(col.attlen)) {
        throw std::invalid_argument("fixed value does not match the column width");
      }
      return v.bytes;
    case Value::Kind::kVarlena: {
      std::vector<uint8_t> stored = EncodeVarlena(layout, v, col.attstorage);
      // 8.3 stores 1-byte headers and TOAST pointers without alignment.
      *unaligned = layout == Layout::k83 && (stored[0] & 0x01) != 0;
      return stored;
    }
    case Value::Kind::kCString: {
      std::vector<uint8_t> stored = v.bytes;
      stored.push_back(0);
      return stored;
    }
    case Value::Kind::kRaw:
      *unaligned = !v.alignRaw;
      return v.bytes;
    case Value::Kind::kNull:
      break;
  }
  return {};
}

struct Flags {
  bool hasNull = false;
  bool varWidth = false;
  bool external = false;
  bool compressed = false;
};

std::vector<uint8_t> EncodeData(Layout layout, std::span<const ColumnSpec> columns,
                                std::span<const Value> values, const ServerBuild& build, Flags* flags) {
  if (values.size() > columns.size()) throw std::invalid_argument("more values than columns");
  std::vector<uint8_t> data;
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    if (v.kind == Value::Kind::kNull) {
      flags->hasNull = true;
      continue;
    }
    if (columns[i].attlen < 0) flags->varWidth = true;
    if (v.kind == Value::Kind::kVarlena && v.form == VarlenaForm::kExternal) flags->external = true;
    if (v.kind == Value::Kind::kVarlena && v.form == VarlenaForm::kCompressed) flags->compressed = true;
    bool unaligned = false;
    std::vector<uint8_t> stored = StoredForm(layout, columns[i], v, &unaligned);
    if (!unaligned) AlignTo(data, AlignOf(columns[i].attalign, build));
    data.insert(data.end(), stored.begin(), stored.end());
  }
  return data;
}

uint16_t Infomask(Layout layout, const TupleSpec& t, const Flags& f) {
  uint16_t mask = t.infomask;
  if (!t.autoFlags) return mask;
  if (f.hasNull) mask |= kHasNull;
  if (f.varWidth) mask |= kHasVarWidth;
  if (f.external) mask |= kHasExternal82;
  if (layout == Layout::k82 && f.compressed) mask |= kHasCompressed82;
  if (t.hasOid) mask |= layout == Layout::k82 ? kHasOid82 : kHasOid83;
  return mask;
}

void WriteHeader(Layout layout, const TupleSpec& t, uint16_t natts, uint16_t infomask, uint8_t hoff,
                 uint8_t* h) {
  uint32_t block = t.ctidBlock < 0 ? 0 : static_cast<uint32_t>(t.ctidBlock);
  uint16_t item = t.ctidItem < 0 ? 0 : static_cast<uint16_t>(t.ctidItem);
  size_t ctid = layout == Layout::k82 ? 16 : 12;
  Put32(h + 0, t.xmin);
  if (layout == Layout::k82) {
    Put32(h + 4, t.cmin);
    Put32(h + 8, t.xmax);
    Put32(h + 12, t.cmax);
    Put16(h + 22, natts);
    Put16(h + 24, infomask);
    h[26] = hoff;
  } else {
    Put32(h + 4, t.xmax);
    Put32(h + 8, t.cmin);
    Put16(h + 18, static_cast<uint16_t>((natts & 0x07FF) | (t.infomask2Flags & 0xF800)));
    Put16(h + 20, infomask);
    h[22] = hoff;
  }
  Put16(h + ctid, static_cast<uint16_t>(block >> 16));
  Put16(h + ctid + 2, static_cast<uint16_t>(block & 0xFFFF));
  Put16(h + ctid + 4, item);
}

}  // namespace

std::vector<uint8_t> EncodeTuple(Layout layout, const TupleSpec& tuple,
                                 std::span<const ColumnSpec> columns,
                                 std::span<const Value> values, const ServerBuild& build) {
  Flags flags;
  std::vector<uint8_t> data = EncodeData(layout, columns, values, build, &flags);
  const size_t natts = tuple.natts >= 0 ? static_cast<size_t>(tuple.natts) : values.size();
  const size_t fixedHeader = layout == Layout::k82 ? 27 : 23;
  const uint16_t infomask = Infomask(layout, tuple, flags);
  const bool bitmap = (infomask & kHasNull) != 0;
  const size_t bitmapLen = bitmap ? (std::max(natts, values.size()) + 7) / 8 : 0;
  const size_t oidLen = tuple.hasOid ? 4 : 0;
  const size_t maxAlign = build.maxAlign;
  size_t hoff = (fixedHeader + bitmapLen + oidLen + maxAlign - 1) / maxAlign * maxAlign;
  if (tuple.hoff >= 0) hoff = static_cast<size_t>(tuple.hoff);
  if (hoff > 255) throw std::invalid_argument("tuple header longer than 255 bytes");

  std::vector<uint8_t> out(std::max(hoff, fixedHeader + bitmapLen) + data.size(), 0);
  WriteHeader(layout, tuple, static_cast<uint16_t>(natts), infomask, static_cast<uint8_t>(hoff), out.data());
  for (size_t i = 0; bitmap && i < values.size(); ++i) {
    if (values[i].kind != Value::Kind::kNull) out[fixedHeader + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  }
  if (tuple.hasOid && hoff >= 4) Put32(out.data() + hoff - 4, tuple.oid);
  if (!data.empty()) std::memcpy(out.data() + hoff, data.data(), data.size());
  out.resize(hoff + data.size());
  return out;
}

}  // namespace vesk::heapbuilder
