// Value constructors and the stored forms of variable-length values.
#include <cstring>
#include <stdexcept>

#include "heap_builder.h"

namespace vesk::heapbuilder {
namespace {

template <typename T>
std::vector<uint8_t> LittleEndian(T v) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &v, sizeof(T));  // the builder runs on little-endian hosts only
  return out;
}

Value FixedValue(std::vector<uint8_t> bytes) {
  Value v;
  v.kind = Value::Kind::kFixed;
  v.bytes = std::move(bytes);
  return v;
}

void Put32(std::vector<uint8_t>& out, uint32_t w) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

std::vector<uint8_t> EncodeExternal(Layout layout, const ExternalPointer& p) {
  std::vector<uint8_t> out;
  if (layout == Layout::k82) {
    Put32(out, 20u | 0x80000000u | (p.compressed ? 0x40000000u : 0u));
  } else {
    out.push_back(0x01);
    out.push_back(18);
  }
  Put32(out, static_cast<uint32_t>(p.rawSize));
  Put32(out, static_cast<uint32_t>(p.extSize));
  Put32(out, p.valueId);
  Put32(out, p.toastRelId);
  return out;
}

std::vector<uint8_t> EncodeCompressed(Layout layout, const Value& value) {
  std::vector<uint8_t> stream = value.streamGiven ? value.bytes : PglzCompress(value.bytes);
  uint32_t raw = value.streamGiven ? static_cast<uint32_t>(value.rawSize)
                                   : static_cast<uint32_t>(value.bytes.size());
  uint32_t total = static_cast<uint32_t>(8 + stream.size());
  if (total > 0x3FFFFFFFu) throw std::invalid_argument("compressed value too large");
  std::vector<uint8_t> out;
  Put32(out, layout == Layout::k82 ? (total | 0x40000000u) : ((total << 2) | 0x02u));
  Put32(out, raw);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

VarlenaForm Resolve(Layout layout, const Value& value, char attstorage) {
  if (value.form != VarlenaForm::kAuto) return value.form;
  if (layout == Layout::k82) return VarlenaForm::kLong;
  bool fitsShort = value.bytes.size() + 1 <= 127;
  return (fitsShort && attstorage != 'p') ? VarlenaForm::kShort : VarlenaForm::kLong;
}

}  // namespace

std::vector<ColumnSpec> ColumnsFrom(std::span<const CatalogColumnDesc> descs) {
  std::vector<ColumnSpec> out;
  out.reserve(descs.size());
  for (const CatalogColumnDesc& d : descs) out.push_back(ColumnSpec::From(d));
  return out;
}

Value Null() { return Value{}; }
Value Bool(bool v) { return FixedValue({static_cast<uint8_t>(v ? 1 : 0)}); }
Value Char(uint8_t v) { return FixedValue({v}); }
Value Int16(int16_t v) { return FixedValue(LittleEndian(v)); }
Value Int32(int32_t v) { return FixedValue(LittleEndian(v)); }
Value Oid(uint32_t v) { return FixedValue(LittleEndian(v)); }
Value Int64(int64_t v) { return FixedValue(LittleEndian(v)); }
Value Float4(float v) { return FixedValue(LittleEndian(v)); }
Value Float8(double v) { return FixedValue(LittleEndian(v)); }
Value Fixed(std::vector<uint8_t> bytes) { return FixedValue(std::move(bytes)); }

Value Name(std::string_view text) {
  std::vector<uint8_t> bytes(64, 0);
  std::memcpy(bytes.data(), text.data(), std::min<size_t>(text.size(), 63));
  return FixedValue(std::move(bytes));
}

Value Varlena(std::vector<uint8_t> payload, VarlenaForm form) {
  Value v;
  v.kind = Value::Kind::kVarlena;
  v.bytes = std::move(payload);
  v.form = form;
  return v;
}

Value Text(std::string_view text, VarlenaForm form) {
  return Varlena(std::vector<uint8_t>(text.begin(), text.end()), form);
}

Value Compressed(std::vector<uint8_t> payload) {
  return Varlena(std::move(payload), VarlenaForm::kCompressed);
}

Value CompressedStream(std::vector<uint8_t> stream, int32_t rawSize) {
  Value v = Varlena(std::move(stream), VarlenaForm::kCompressed);
  v.streamGiven = true;
  v.rawSize = rawSize;
  return v;
}

Value External(const ExternalPointer& pointer) {
  Value v = Varlena({}, VarlenaForm::kExternal);
  v.external = pointer;
  return v;
}

Value CString(std::string_view text) {
  Value v;
  v.kind = Value::Kind::kCString;
  v.bytes.assign(text.begin(), text.end());
  return v;
}

Value Raw(std::vector<uint8_t> stored, bool align) {
  Value v;
  v.kind = Value::Kind::kRaw;
  v.bytes = std::move(stored);
  v.alignRaw = align;
  return v;
}

std::vector<uint8_t> EncodeVarlena(Layout layout, const Value& value, char attstorage) {
  const size_t payload = value.bytes.size();
  std::vector<uint8_t> out;
  switch (Resolve(layout, value, attstorage)) {
    case VarlenaForm::kShort:
      if (layout == Layout::k82 || payload + 1 > 127) {
        throw std::invalid_argument("1-byte varlena header not possible here");
      }
      out.push_back(static_cast<uint8_t>(((payload + 1) << 1) | 1u));
      break;
    case VarlenaForm::kCompressed:
      return EncodeCompressed(layout, value);
    case VarlenaForm::kExternal:
      return EncodeExternal(layout, value.external);
    case VarlenaForm::kAuto:
    case VarlenaForm::kLong: {
      uint32_t total = static_cast<uint32_t>(payload + 4);
      if (total > 0x3FFFFFFFu) throw std::invalid_argument("varlena value too large");
      Put32(out, layout == Layout::k82 ? total : (total << 2));
      break;
    }
  }
  out.insert(out.end(), value.bytes.begin(), value.bytes.end());
  return out;
}

}  // namespace vesk::heapbuilder
