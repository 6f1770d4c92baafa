// What the server build and the cluster around a database decided about its
// bytes: alignment, date/time storage, TOAST chunk size, segment size,
// encoding and how row visibility is judged. Settled once per run, before the
// catalogs are read, and consulted by every decoder through Run().settings,
// so that no call has to carry them.
#pragma once

#include <cstdint>

namespace vesk {

class CommitLog;

// Where a setting came from; the log and the summary name it.
enum class SettingSource : uint8_t {
  kDefault,      // nothing said otherwise: the common 64-bit float build
  kControlFile,  // global/pg_control of the cluster
  kDetected,     // inferred from the data files themselves
  kForced,       // the caller's options
  kCatalog,      // the cluster's pg_database row of the database
};

const char* SettingSourceName(SettingSource source);

struct DatabaseSettings {
  // MAXALIGN of the server: where tuple data starts, how TOAST chunks and
  // page items are padded. 8 on 64-bit servers, 4 on 32-bit ones.
  uint32_t maxAlign = 8;
  // Alignment of 'd' columns (double, int8, timestamp): 4 on i386.
  uint32_t doubleAlign = 8;
  SettingSource alignSource = SettingSource::kDefault;

  // --enable-integer-datetimes: int64 microseconds instead of float8 seconds
  // in timestamp, timestamptz, time, timetz and interval.
  bool integerDatetimes = false;
  SettingSource datetimeSource = SettingSource::kDefault;

  // Largest TOAST chunk payload; 0 means derived from layout and alignment.
  uint32_t toastMaxChunkSize = 0;
  // Pages per relation segment file (1 GiB of 8 KiB pages by default).
  uint32_t segmentPages = 131072;

  // Server encoding number of the database (pg_wchar.h numbering); -1 when
  // unknown, which is written as no declaration at all.
  int32_t encoding = -1;
  SettingSource encodingSource = SettingSource::kDefault;
  // What every script file declares in SET client_encoding (a server's name
  // of the encoding); null declares nothing and the text goes out as stored.
  const char* clientEncoding = nullptr;
  // The scripts say UTF8: a text that is not valid UTF-8 (a SQL_ASCII
  // database's unchecked bytes) is read as LATIN1 rather than fail its row.
  bool repairUtf8 = false;

  // The cluster's commit log, when one was found; null means visibility by
  // hint bits alone. Owned by the run.
  const CommitLog* commitLog = nullptr;
};

}  // namespace vesk
