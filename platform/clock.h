// The time of day, for the password record's random seed and the splash wait.
#pragma once

#include <cstdint>
#include <string>

namespace kestravuna::platform {

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

TimeOfDay UtcTimeOfDay();
std::string LocalTimeText();  // "HH:MM:SS", one-second resolution

}  // namespace kestravuna::platform
