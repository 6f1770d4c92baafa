// The value routines of every type family through the output dispatch of
// both layouts, with the built-in type catalog from the engine's image.
// Bytes 0: layout (bit 0); 1-4: type OID (one not in the catalog picks a
// type by its remainder); 5-8: type modifier; the rest: the stored value,
// trimmed to what the record decoder would hand on (a fixed width, a
// length header no longer than the bytes, a terminated string) and copied
// to a buffer of exactly that size.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/static_descriptors.h"
#include "fuzz_input.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/registry/type_output.h"

namespace {

using namespace vesk;

struct Catalog {
  std::unique_ptr<pg_type_Table> table;
  std::vector<const TypeRecord*> types;
};

Catalog& CatalogOf(uint8_t version) {
  static Catalog catalogs[2];
  Catalog& c = catalogs[version == 83 ? 1 : 0];
  if (!c.table) {
    static std::string empty;
    if (empty.empty()) {
      char pattern[] = "/tmp/vesk-fuzz-types-XXXXXX";
      empty = std::string(mkdtemp(pattern)) + "/";
    }
    Run().databaseDirectory = empty;
    c.table = std::make_unique<pg_type_Table>(version);
    FillStaticColumns(c.table->reader().columns, PgTypeCatalog(version));
    c.table->ReadTypes();
    for (size_t i = 0; i < c.table->reader().RowCount(); ++i) {
      c.types.push_back(static_cast<const TypeRecord*>(c.table->reader().RowAt(i)));
    }
  }
  return c;
}

uint32_t Le32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The stored bytes the decoder would accept for a variable-length value, or
// nothing when it would refuse the header.
bool TrimVarlena(std::vector<uint8_t>& v, bool is83) {
  if (v.size() < 4) v.resize(4, 0);
  uint32_t w = Le32(v.data());
  size_t size;
  if (!is83) {
    size = w & 0x3FFFFFFFu;
    if (size < 4) return false;
  } else if (v[0] == 0x01) {
    size = v[1];
    if (size < 2) return false;
  } else if (v[0] & 1) {
    size = v[0] >> 1;
  } else {
    size = w >> 2;
    if (size < 4) return false;
  }
  if (size > v.size()) return false;
  v.resize(size);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const uint8_t version = (in.Byte() & 1) ? 83 : 82;
  const uint32_t wanted = in.U32();
  const int32_t typmod = static_cast<int32_t>(in.U32());
  std::vector<uint8_t> stored = in.Rest();
  if (stored.size() > 65536) return 0;

  Catalog& catalog = CatalogOf(version);
  Run().version = version;
  Run().types = catalog.table.get();
  const TypeRecord* type = catalog.table->LookupTypeByOid(wanted);
  if (type == nullptr) type = catalog.types[wanted % catalog.types.size()];

  Datum datum = 0;
  std::vector<uint8_t> exact;
  if (type->typbyval && type->typlen > 0 && type->typlen <= 4) {
    stored.resize(4, 0);
    uint32_t w = Le32(stored.data());
    datum = type->typlen == 4 ? w : type->typlen == 2 ? (w & 0xFFFF) : (w & 0xFF);
  } else {
    if (type->typlen > 0) {
      stored.resize(static_cast<size_t>(type->typlen), 0);
    } else if (type->typlen == -2) {
      stored.push_back(0);
      stored.resize(std::strlen(reinterpret_cast<const char*>(stored.data())) + 1);
    } else if (!TrimVarlena(stored, version == 83)) {
      return 0;
    }
    exact = stored;
    datum = PointerDatum(exact.data());
  }
  ScratchMark();
  try {
    ScratchFree(TypeOutput(version, type->oid, datum, typmod));
  } catch (const ScratchException&) {
  }
  ScratchReleaseToMark();
  return 0;
}
