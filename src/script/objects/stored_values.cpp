#include "script/objects/stored_values.h"

#include <cstring>

#include "storage/datum.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/var_bytes.h"

namespace vesk {
namespace {

// The payload of the stored value, rebuilt where it must be, copied out of
// scratch memory.
bool Payload(const std::vector<uint8_t>& stored, std::vector<uint8_t>& out) {
  if (stored.empty()) return false;
  bool ok = false;
  ScratchMark();
  try {
    scalar::VarBytes bytes;
    if (scalar::BytesOf(Run().version, PointerDatum(stored.data()), bytes)) {
      out.assign(bytes.data, bytes.data + bytes.size);
      ok = true;
    }
  } catch (const scalar::ValueRejected&) {
  } catch (const ScratchException&) {
  }
  ScratchReleaseToMark();
  return ok;
}

int32_t ReadInt32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Array payload: ndim, data offset (nonzero when a null bitmap follows the
// bounds), element type, then per dimension its length and lower bound; the
// elements begin on the next 8-byte boundary of the whole value, whose 4-byte
// length word precedes the payload.
template <typename T>
bool ElementsOf(const std::vector<uint8_t>& stored, std::vector<T>& out) {
  out.clear();
  std::vector<uint8_t> payload;
  if (!Payload(stored, payload) || payload.size() < 12) return false;
  const int32_t ndim = ReadInt32(payload.data());
  const int32_t dataOffset = ReadInt32(payload.data() + 4);
  if (ndim == 0) return true;
  if (ndim != 1 || dataOffset != 0 || payload.size() < 20) return false;
  const int32_t count = ReadInt32(payload.data() + 12);
  const size_t start = ((4 + 20 + 7) & ~size_t{7}) - 4;
  if (count < 0 || payload.size() < start || (payload.size() - start) / sizeof(T) < static_cast<size_t>(count)) {
    return false;
  }
  out.resize(static_cast<size_t>(count));
  if (count > 0) std::memcpy(out.data(), payload.data() + start, out.size() * sizeof(T));
  return true;
}

}  // namespace

bool StoredText(const std::vector<uint8_t>& stored, std::string& out) {
  std::vector<uint8_t> payload;
  if (!Payload(stored, payload)) return false;
  out.assign(payload.begin(), payload.end());
  return true;
}

bool StoredInt16Vector(const std::vector<uint8_t>& stored, std::vector<int16_t>& out) {
  return ElementsOf(stored, out);
}

bool StoredOidVector(const std::vector<uint8_t>& stored, std::vector<uint32_t>& out) {
  return ElementsOf(stored, out);
}

}  // namespace vesk
