#include <cstddef>
#include <cstdint>

#include "support/logger.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

// Decoding state: both cursors are checked against their ends before every
// byte, so no stream content can move either of them outside its buffer.
struct PglzCursor {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outStart;
  uint8_t* outEnd;
};

// One back-reference tag. False when the tag is cut short, points before the
// start of the output, or would write past its end.
bool CopyReference(PglzCursor& c) {
  if (c.inEnd - c.in < 2) return false;
  uint32_t length = (c.in[0] & 0x0Fu) + 3;
  uint32_t offset = (static_cast<uint32_t>(c.in[0] & 0xF0u) << 4) | c.in[1];
  c.in += 2;
  if (length == 18) {
    if (c.in >= c.inEnd) return false;
    length += *c.in++;
  }
  // Offset 0 would copy a byte not yet written; the compressor never emits it.
  if (offset == 0 || offset > static_cast<size_t>(c.out - c.outStart)) return false;
  if (length > static_cast<size_t>(c.outEnd - c.out)) return false;
  // Byte by byte on purpose: a reference may overlap the bytes it produces.
  for (uint32_t i = 0; i < length; ++i, ++c.out) *c.out = *(c.out - offset);
  return true;
}

bool CopyLiteral(PglzCursor& c) {
  if (c.out >= c.outEnd) return false;
  *c.out++ = *c.in++;
  return true;
}

bool DecodeStream(PglzCursor& c) {
  while (c.in < c.inEnd) {
    uint8_t control = *c.in++;
    for (int item = 0; item < 8 && c.in < c.inEnd; ++item, control >>= 1) {
      bool ok = (control & 1u) ? CopyReference(c) : CopyLiteral(c);
      if (!ok) return false;
    }
  }
  return c.out == c.outEnd;
}

}  // namespace

bool pglz_decompress(const uint8_t* compressed, uint32_t storedLength, uint8_t* destination) {
  Log("pglz_decompress() >>>");
  bool ok = false;
  if (compressed && destination && storedLength >= 8) {
    uint32_t rawSize = ReadU32(compressed + 4);
    PglzCursor c{compressed + 8, compressed + storedLength, destination, destination,
                 destination + rawSize};
    ok = DecodeStream(c);
  }
  if (!ok) {
    LogFormat("compressed data is corrupt");
    LogError("ERROR while process");
  }
  return ok;
}

}  // namespace vesk
