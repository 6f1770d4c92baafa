// The size a server build cut out-of-line values into: every chunk of a
// value but its last holds exactly this many bytes.
#pragma once

#include <cstdint>

namespace vesk {

// The chunk size of a server of layout `version` (82 or 83) whose MAXALIGN
// is `maxAlign` (4 or 8), at 8 KiB pages.
uint32_t ServerToastChunkSize(uint8_t version, uint32_t maxAlign);

// The run's chunk size: the cluster's recorded value when there is one,
// else the one its layout and alignment give.
uint32_t RunToastChunkSize(uint8_t version);

}  // namespace vesk
