// The maker's common sibling library (tarncmn), looked for beside the module
// that holds the engine and initialised once per load.
#pragma once

#include <cstdint>

namespace vesk {

// Loads the sibling library and calls its Initialize(295). Returns 0, or
// VESK_NO_SIBLING_LIBRARY (logged) when it is missing or has no entry point.
int32_t LoadSiblingLibrary();
// The log line of the last failure, for a log opened after it.
const char* SiblingLibraryFailure();

}  // namespace vesk
