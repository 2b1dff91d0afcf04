#include "platform/clock.h"

#include <time.h>

#include <cstdio>

namespace kestravuna::platform {

TimeOfDay UtcTimeOfDay() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  ::gmtime_r(&now.tv_sec, &utc);
  return {utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000)};
}

std::string LocalTimeText() {
  const time_t now = ::time(nullptr);
  tm local{};
  ::localtime_r(&now, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace kestravuna::platform
