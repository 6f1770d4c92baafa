#include "api/datetime_storage.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/recovered_table.h"
#include "catalog/type_record.h"
#include "api/pass2.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// timestamp, timestamptz, time, timetz, interval: each stores its main
// quantity in the first 8 bytes.
constexpr uint32_t kDatetimeTypes[] = {1114, 1184, 1083, 1266, 1186};

constexpr int kRowsPerTable = 64;
constexpr int kEnoughVotes = 256;
constexpr int kMaxTables = 32;

// Years 1 to 9999 around the 2000-01-01 epoch: under 2.6e11 seconds.
constexpr double kMaxSeconds = 3e11;
constexpr int64_t kMaxMicroseconds = 300000000000000000;
// Float values are seconds; anything finer than a microsecond is not one.
constexpr double kMinSeconds = 1e-6;

bool IsDatetimeType(uint32_t oid) {
  for (uint32_t t : kDatetimeTypes) {
    if (t == oid) return true;
  }
  return false;
}

bool PlausibleSeconds(uint64_t word) {
  double d;
  std::memcpy(&d, &word, sizeof d);
  if (std::isinf(d)) return true;  // 'infinity' and '-infinity'
  const double magnitude = std::fabs(d);
  return d == 0 || (std::isnormal(d) && magnitude >= kMinSeconds && magnitude < kMaxSeconds);
}

bool PlausibleMicroseconds(uint64_t word) {
  const auto v = static_cast<int64_t>(word);
  if (v == INT64_MAX || v == INT64_MIN) return true;  // the infinities
  return v > -kMaxMicroseconds && v < kMaxMicroseconds;
}

struct Votes {
  int integer = 0;
  int floating = 0;
  int Total() const { return integer + floating; }
};

// Reads the date/time columns of a table's first rows and counts votes.
class Sampler : public pg_some_Table {
 public:
  explicit Sampler(Votes& votes) : votes_(votes) {}
  std::vector<size_t> positions;

  int ProcessRow(const RowValues& values, uint32_t) override {
    for (size_t at : positions) {
      if (at >= values.size() || values[at].isnull || values[at].datum == 0) continue;
      uint64_t word;
      std::memcpy(&word, DatumPointer(values[at].datum), sizeof word);
      const int vote = DatetimeWordVote(word);
      if (vote > 0) ++votes_.integer;
      if (vote < 0) ++votes_.floating;
    }
    return ++rows_ >= kRowsPerTable || votes_.Total() >= kEnoughVotes ? kStopped : 0;
  }

 private:
  Votes& votes_;
  int rows_ = 0;
};

uint32_t RelationOfTable(const RecoveredTable& table) {
  if (IsSystemTable(table) || table.relkind != 'r') return 0;
  const TypeRecord* type = Run().types->LookupTypeByOid(table.reltype);
  if (type == nullptr) type = Run().types->StandInRowType(table);
  return type != nullptr ? type->typrelid : 0;
}

// True when the table had date/time columns to sample.
bool SampleTable(uint32_t relid, Votes& votes) {
  Sampler sampler(votes);
  std::unique_ptr<TableReader> reader = OpenRelationById(relid, &sampler, Run().version);
  if (!reader) return false;
  for (size_t i = 0; i < reader->columns.size(); ++i) {
    const CatalogColumnDesc* c = reader->columns[i];
    if (c != nullptr && !c->attisdropped && c->attlen >= 8 && IsDatetimeType(c->atttypid)) {
      sampler.positions.push_back(i);
    }
  }
  if (sampler.positions.empty()) return false;
  reader->cacheRows = false;
  reader->ReadTable();
  return true;
}

}  // namespace

int DatetimeWordVote(uint64_t word) {
  const bool seconds = PlausibleSeconds(word);
  const bool micro = PlausibleMicroseconds(word);
  if (seconds == micro) return 0;
  return micro ? 1 : -1;
}

void SettleDatetimeStorage() {
  RecoveryRun& run = Run();
  // A control file can belong to another cluster; the stored values are
  // checked against it too, as they cost only a few pages.
  const SettingSource source = run.settings.datetimeSource;
  if (source != SettingSource::kDefault && source != SettingSource::kControlFile) return;
  if (run.classes == nullptr || run.types == nullptr || run.attributes == nullptr) return;
  Votes votes;
  int tables = 0;
  TableReader& classes = run.classes->reader();
  for (size_t i = 0; i < classes.RowCount() && tables < kMaxTables && votes.Total() < kEnoughVotes; ++i) {
    const uint32_t relid = RelationOfTable(*static_cast<const RecoveredTable*>(classes.RowAt(i)));
    if (relid != 0 && SampleTable(relid, votes)) ++tables;
  }
  LogFormat("Date/time storage: %i values of %i tables read as integer microseconds, %i as float seconds",
            votes.integer, tables, votes.floating);
  if (votes.Total() == 0) return;
  const bool integer = votes.integer * 10 >= votes.Total() * 9;
  const bool floating = votes.floating * 10 >= votes.Total() * 9;
  if (!integer && !floating) {
    Log("Date/time storage: the values disagree; the default is kept");
    return;
  }
  if (source == SettingSource::kControlFile) {
    if (integer == run.settings.integerDatetimes) return;
    LogFormat("[WARNING]: The control file says %s date/time storage, the stored values say %s; the values win",
              run.settings.integerDatetimes ? "integer" : "float", integer ? "integer" : "float");
  }
  run.settings.integerDatetimes = integer;
  run.settings.datetimeSource = SettingSource::kDetected;
}

}  // namespace vesk
