#include "platform/platform.h"
#include "platform/system_clock.h"

namespace vesk::platform {
namespace {

ClockFunction clockOverride = nullptr;

}  // namespace

void SetClockForTesting(ClockFunction clock) { clockOverride = clock; }

LocalTime NowLocal() { return clockOverride != nullptr ? clockOverride() : SystemLocalTime(); }

}  // namespace vesk::platform
