// Whether a stored row version is one the server would show after its stop:
// its inserter committed and no committed transaction deleted or replaced
// it. The hint bits a reader left in t_infomask are trusted first; the
// commit log answers for the rest. Without a commit log, or for a
// transaction it does not cover, the hint bits alone decide, taking an
// unmarked inserter for committed and an unmarked deleter for committed too.
#pragma once

#include <cstdint>

namespace vesk {

class CommitLog;

// The header fields that decide.
struct RowVersion {
  uint32_t xmin = 0;
  uint32_t xmax = 0;
  uint32_t xvac = 0;  // only meaningful with a moved-by-VACUUM-FULL bit
  uint16_t infomask = 0;
};

struct Visibility {
  bool live = false;
  // The inserter committed (or is taken to have): a version that is not
  // live was then deleted or replaced, not rolled back.
  bool inserted = false;
  // The commit log was asked about a transaction it does not cover.
  bool guessed = false;
  // A hint bit says the opposite of what the commit log holds for the same
  // transaction: the log is damaged or not this cluster's.
  bool contradicted = false;
  // Hint bits of a transaction the commit log covers, so that they could be
  // compared with it.
  bool compared = false;
};

Visibility JudgeRow(const RowVersion& row, const CommitLog* log);

// t_infomask bits, the same in both layouts.
inline constexpr uint16_t kInfoXmaxExclLock = 0x0040;
inline constexpr uint16_t kInfoXmaxSharedLock = 0x0080;
inline constexpr uint16_t kInfoXmaxLockOnly = kInfoXmaxExclLock | kInfoXmaxSharedLock;
inline constexpr uint16_t kInfoXminCommitted = 0x0100;
inline constexpr uint16_t kInfoXminInvalid = 0x0200;
inline constexpr uint16_t kInfoXmaxCommitted = 0x0400;
inline constexpr uint16_t kInfoXmaxInvalid = 0x0800;
inline constexpr uint16_t kInfoXmaxIsMulti = 0x1000;  // 8.x: lockers only
inline constexpr uint16_t kInfoMovedOff = 0x4000;     // VACUUM FULL moved the row away
inline constexpr uint16_t kInfoMovedIn = 0x8000;      // VACUUM FULL moved the row here

}  // namespace vesk
