// The maker's common sibling library. The engine only loads it and calls
// Initialize once per load; nothing else in it is used.
#include <stdint.h>

#include "vesk/veskdll.h"

extern "C" VESK_EXPORT int32_t VESK_CALL Initialize(int32_t code) { return code == 295 ? 0 : -1; }
