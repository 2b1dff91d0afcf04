#include <cstdio>

#include "platform/clock.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

TimeOfDay UtcTimeOfDay() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::string LocalTimeText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
  return text;
}

}  // namespace kestravuna::platform
