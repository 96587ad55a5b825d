#include "foundation/local_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

namespace CV {
namespace {

// The UTC fields of a moment; the C library is the oracle. Windows' converts
// no moment before 1970, so the table stays after it.
std::tm Utc(std::time_t moment) {
  std::tm fields{};
#ifdef _WIN32
  EXPECT_EQ(gmtime_s(&fields, &moment), 0) << moment;
#else
  EXPECT_NE(gmtime_r(&moment, &fields), nullptr) << moment;
#endif
  return fields;
}

// Wall-clock fields ahead of a moment by a known amount, on the days where a
// calendar goes wrong first: around the end of February, in leap and common
// years, at the turn of a year and of 32-bit time.
TEST(LocalTime, TheOffsetOfWallClockFieldsOnTheCalendarsEdges) {
  const std::time_t moments[] = {
      31536000,    // 1971-01-01 00:00
      5097599,     // 1970-02-28 23:59:59
      5097600,     // 1970-03-01
      951782400,   // 2000-02-29, a leap day of a century year
      951868800,   // 2000-03-01
      1709164800,  // 2024-02-29
      1709251200,  // 2024-03-01
      1735689599,  // 2024-12-31 23:59:59
      2147483647,  // 2038-01-19 03:14:07
  };
  for (const std::time_t moment : moments) {
    for (const long minutes : {0L, 60L, -330L, 840L}) {
      SCOPED_TRACE(std::to_string(moment) + " " + std::to_string(minutes));
      // A 32-bit time (the 32-bit Windows build) ends at 2038-01-19 03:14:07:
      // fields ahead of that are no moment there.
      const std::int64_t shifted = static_cast<std::int64_t>(moment) + minutes * 60;
      if (shifted > std::numeric_limits<std::time_t>::max()) continue;
      EXPECT_EQ(UtcOffsetMinutes(Utc(static_cast<std::time_t>(shifted)), moment), minutes);
    }
  }
}

}  // namespace
}  // namespace CV
