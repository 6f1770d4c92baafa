#include "catalog/sequence_row.h"

#include <cstring>
#include <memory>

#include "catalog/catalog_values.h"
#include "catalog/open_catalog.h"
#include "storage/row_handler.h"
#include "support/logger.h"

namespace vesk {
namespace {

int64_t Int8At(const AttrValue& value) {
  int64_t v = 0;
  std::memcpy(&v, DatumPointer(value.datum), sizeof v);
  return v;
}

// Takes the first live row whose values are all there.
class SequenceRowHandler : public pg_some_Table {
 public:
  int ProcessRow(const RowValues& values, uint32_t) override {
    if (found) return 0;
    for (size_t k = 1; k < 9; ++k) {
      const AttrValue* v = ValueAt(values, k);
      if (v == nullptr || (k <= 6 && v->datum == 0)) return 0;
    }
    state.lastValue = Int8At(values[1]);
    state.incrementBy = Int8At(values[2]);
    state.maxValue = Int8At(values[3]);
    state.minValue = Int8At(values[4]);
    state.cacheValue = Int8At(values[5]);
    state.isCycled = DatumBool(values[7].datum);
    state.isCalled = DatumBool(values[8].datum);
    found = true;
    return 1;
  }
  SequenceState state;
  bool found = false;
};

// What every sequence a server made satisfies.
const char* Contradiction(const SequenceState& s) {
  if (s.incrementBy == 0) return "increment is zero";
  if (s.minValue >= s.maxValue) return "minimum not below maximum";
  if (s.lastValue < s.minValue || s.lastValue > s.maxValue) return "last value outside its bounds";
  if (s.cacheValue < 1) return "cache below 1";
  return nullptr;
}

}  // namespace

bool ReadSequenceState(uint32_t relid, const char* name, uint8_t version, SequenceState& state) {
  SequenceRowHandler handler;
  std::unique_ptr<TableReader> reader =
      OpenFixedLayoutRelation(relid, StaticCatalog::kSequenceRow, &handler, version, name);
  reader->sequencePages = true;
  if (reader->ReadTable() != 0) return false;
  if (!handler.found) {
    LogValue("No readable row in sequence:", name);
    return false;
  }
  if (const char* problem = Contradiction(handler.state)) {
    LogFormat("Row of sequence %s is damaged: %s", name, problem);
    return false;
  }
  state = handler.state;
  return true;
}

}  // namespace vesk
