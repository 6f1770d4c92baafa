#include "types/scalar/var_bytes.h"

#include "types/scalar/output_guard.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk::scalar {
namespace {

bool Finish(const uint8_t* value, uint32_t size, VarBytes& out) {
  if (size < 4) RejectLength(size);
  out.data = value + 4;
  out.size = size - 4;
  return true;
}

}  // namespace

bool Bytes82(Datum d, VarBytes& out) {
  const uint8_t* stored = DatumPointer(d);
  if (!stored) return false;
  const uint8_t* value = pg_detoast_datum(stored);
  if (!value) return false;
  // A rebuilt value has both top bits clear; anything else is damage the
  // TOAST reader let through and must not be read as a length.
  if (ReadU32(value) & 0xC0000000u) RejectLength(ReadU32(value) & 0x3FFFFFFFu);
  return Finish(value, VarSize82(value), out);
}

bool Bytes83(Datum d, VarBytes& out) {
  const uint8_t* stored = DatumPointer(d);
  if (!stored) return false;
  // A 1-byte header (odd first byte; 0x01 tags an out-of-line pointer) is
  // followed by the payload itself: read it in place instead of widening a
  // copy, as nearly every short value of a row is stored.
  if ((stored[0] & 0x01u) != 0 && stored[0] != 0x01u) {
    out.data = stored + 1;
    out.size = (stored[0] >> 1) - 1u;
    return true;
  }
  const uint8_t* value = ExpandShortVarlena(stored);
  if (!value) return false;
  // Only the plain 4-byte form (low two bits 00) has a readable payload.
  if (value[0] & 0x03u) RejectLength(value[0] >> 1);
  return Finish(value, VarSize83(value), out);
}

bool BytesOf(uint8_t version, Datum d, VarBytes& out) {
  return version == 83 ? Bytes83(d, out) : Bytes82(d, out);
}

bool InlineBytes(uint8_t version, Datum d, VarBytes& out) {
  const uint8_t* stored = DatumPointer(d);
  if (!stored) return false;
  uint32_t size = 0;
  if (version == 83) {
    if ((stored[0] & 0x01u) != 0 && stored[0] != 0x01u) {
      out.data = stored + 1;
      out.size = (stored[0] >> 1) - 1u;
      return true;
    }
    if ((stored[0] & 0x03u) != 0) return false;
    size = VarSize83(stored);
  } else {
    if ((ReadU32(stored) & 0xC0000000u) != 0) return false;
    size = VarSize82(stored);
  }
  if (size < 4) return false;
  out.data = stored + 4;
  out.size = size - 4;
  return true;
}

VarBytes RequireBytes(uint8_t version, Datum d) {
  VarBytes bytes;
  if (!BytesOf(version, d, bytes)) throw ValueRejected{};
  return bytes;
}

}  // namespace vesk::scalar
