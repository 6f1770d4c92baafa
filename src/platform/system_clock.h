// The operating system's local time, behind NowLocal and its test clock.
#pragma once

#include "platform/platform.h"

namespace vesk::platform {

LocalTime SystemLocalTime();

}  // namespace vesk::platform
