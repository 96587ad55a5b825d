#include "foundation/local_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

// Whether the C library itself places noon on the 15th of a month of year.
bool Placed(std::int64_t year, int month) {
  std::tm t{};
  t.tm_year = static_cast<int>(year - 1900), t.tm_mon = month - 1, t.tm_mday = 15, t.tm_hour = 12, t.tm_isdst = -1;
  return std::mktime(&t) != static_cast<std::time_t>(-1);
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

// The year whose calendar stands in where the C library cannot place a time,
// and the weekdays of a day in that year; expectations from Python's datetime.
TEST(LocalTime, AYearOutsideWhatTheLibraryPlacesBorrowsTheNearestYearOfItsCalendar) {
  const struct {
    std::int64_t year, same;
    int januaryWeekday, julyWeekday;  // of the 15th, 0 = Sunday
  } cases[] = {
      {1, 1973, 1, 0},    {100, 1971, 5, 4},  {1601, 1973, 1, 0}, {1900, 1973, 1, 0}, {1950, 1978, 0, 6},
      {1969, 1975, 3, 2}, {1970, 1981, 4, 3}, {1971, 1971, 5, 4}, {2037, 2037, 4, 3}, {2038, 2027, 5, 4},
      {2040, 2012, 0, 0}, {2099, 2037, 4, 3}, {3001, 2037, 4, 3}, {4501, 2033, 6, 5}, {9999, 2027, 5, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(SameCalendarYearInRange(c.year), c.same);
    for (const auto& [month, weekday] : {std::pair{1, c.januaryWeekday}, std::pair{7, c.julyWeekday}}) {
      const auto offset = LocalOffsetOfWallClock(c.year, month, 15, 12, 0, 0);
      ASSERT_TRUE(offset.has_value()) << "month " << month;  // a mail of any year keeps its date
      EXPECT_EQ(offset->weekday, weekday) << "month " << month;
      EXPECT_LE(std::abs(offset->minutes), 14 * 60) << "month " << month;
      // The library places the borrowed year everywhere: where it places
      // the real one too, it may know that year's own rules.
      const auto borrowed = LocalOffsetOfWallClock(c.same, month, 15, 12, 0, 0);
      ASSERT_TRUE(borrowed.has_value());
      if (!Placed(c.year, month)) {
        EXPECT_EQ(offset->minutes, borrowed->minutes) << "month " << month;
      }
    }
  }
  for (const std::int64_t year : {0LL, 10000LL}) EXPECT_FALSE(LocalOffsetOfWallClock(year, 6, 1, 0, 0, 0)) << year;
  for (std::int64_t year = 1; year <= 9999; ++year) {
    const std::int64_t same = SameCalendarYearInRange(year);
    ASSERT_GE(same, 1971) << year;
    ASSERT_LE(same, 2037) << year;
  }
}

}  // namespace
}  // namespace CV
