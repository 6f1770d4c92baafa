// Which server build wrote the database: its on-disk layout (8.2 or 8.3),
// alignment, date/time storage, TOAST chunk and segment sizes. Decided once
// per run, before any catalog is read, from what the files say about
// themselves: page headers, PG_VERSION, the cluster's control file; and
// only when those are silent or disagree, from how the catalogs decode.
#pragma once

#include <cstdint>

namespace vesk {

struct PageProbe;

// Layout versions as the run names them; 0 when the evidence is absent,
// otherwise major * 10 + minor (80, 81, 84 ... for servers we cannot read).
uint8_t VersionFileLayout(const char* text);
// 82 or 83 from the pages' layout marks, 0 without marked pages, 1 when
// most pages carry a mark of another layout.
uint8_t PageLayout(const PageProbe& probe);
// 4 or 8 when the tuple headers agree on one alignment, 0 otherwise.
uint32_t AlignmentFromHeaders(const PageProbe& probe);

// In Run().databaseDirectory: sets Run().version
// and fills Run().settings (forced values already there are kept), logs the
// evidence and tells the user. Returns 0, or VESK_UNSUPPORTED_BUILD when the
// files come from a build that cannot be read.
int32_t SettleServerBuild();

// Logs the settings the run uses, each with its source, and sends them to
// the user in one message.
void AnnounceServerBuild();

}  // namespace vesk
