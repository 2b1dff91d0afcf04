#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>

#include "platform/tests/test_support.h"

namespace kestravuna::platform {
namespace {

using test_support::ScopedEnvironment;

long MillisecondsOfDay(const TimeOfDay& time) {
  return ((time.hour * 60L + time.minute) * 60L + time.second) * 1000L + time.millisecond;
}

long SystemMillisecondsOfDay() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() %
      (24L * 3600 * 1000));
}

TEST(ClockTest, UtcTimeOfDayIsTheSystemTimeWithMilliseconds) {
  long before = 0;
  long after = 0;
  TimeOfDay time;
  do {  // repeated in the rare case that midnight passes during the reading
    before = SystemMillisecondsOfDay();
    time = UtcTimeOfDay();
    after = SystemMillisecondsOfDay();
  } while (after < before);
  EXPECT_GE(MillisecondsOfDay(time), before);
  EXPECT_LE(MillisecondsOfDay(time), after);
  EXPECT_LT(time.millisecond, 1000);
}

#ifndef _WIN32  // TZ sets the zone on POSIX; Windows takes it from its own settings
TEST(ClockTest, LocalTimeTextShowsTheLocalTime) {
  std::string text;
  TimeOfDay utc;
  {
    const ScopedEnvironment zone("TZ", "UTC-2");  // POSIX: two hours ahead of UTC
    ::tzset();
    text = LocalTimeText();
    utc = UtcTimeOfDay();
  }
  ::tzset();
  ASSERT_TRUE(std::regex_match(text, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"))) << text;
  const long shown = std::stol(text.substr(0, 2)) * 3600 + std::stol(text.substr(3, 2)) * 60 +
                     std::stol(text.substr(6, 2));
  const long expected = (MillisecondsOfDay(utc) / 1000 + 2 * 3600) % (24 * 3600);
  const long difference = (expected - shown + 24 * 3600) % (24 * 3600);
  EXPECT_LE(difference, 1) << text;
}
#endif

}  // namespace
}  // namespace kestravuna::platform
