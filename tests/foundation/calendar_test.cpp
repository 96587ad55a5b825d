#include "foundation/calendar.h"

#include <gtest/gtest.h>

namespace CV {
namespace {

TEST(Calendar, DatesAndDayCountsAtTheirBounds) {
  struct Case {
    std::int64_t year;
    int month, day;
    std::int64_t days;  // since 1970-01-01
    int weekday;
  };
  const Case cases[] = {
      {1970, 1, 1, 0, 4},            // the epoch, a Thursday
      {1969, 12, 31, -1, 3},         // the day before
      {1899, 12, 30, -25569, 6},     // OLE day 0, a Saturday
      {1900, 2, 28, -25509, 3},      // 1900 was no leap year:
      {1900, 3, 1, -25508, 4},       // 1 March follows 28 February
      {2000, 2, 29, 11016, 2},       // 2000 was one
      {2000, 3, 1, 11017, 3},
      {2024, 12, 31, 20088, 2},      // the end of a leap year
      {2025, 1, 1, 20089, 3},
      {1, 1, 1, -719162, 1},         // the calendar's first day, a Monday
      {0, 3, 1, -719468, 3},         // the start of the era the count is made from
      {0, 2, 29, -719469, 2},        // and the day before it
      {9999, 12, 31, 2932896, 5},    // the last day an OLE date reaches
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
    EXPECT_EQ(DaysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)), c.days);
    const CivilDate date = CivilFromDays(c.days);
    EXPECT_EQ(date.year, c.year);
    EXPECT_EQ(date.month, c.month);
    EXPECT_EQ(date.day, c.day);
    EXPECT_EQ(WeekdayFromDays(c.days), c.weekday);
  }
  EXPECT_EQ(kOleDaysAt1970, -DaysFromCivil(1899, 12, 30));
}

TEST(Calendar, EveryDayOfFourCenturiesGoesAndComesBack) {
  for (std::int64_t days = DaysFromCivil(1800, 1, 1); days <= DaysFromCivil(2200, 12, 31); ++days) {
    const CivilDate date = CivilFromDays(days);
    ASSERT_EQ(DaysFromCivil(date.year, static_cast<unsigned>(date.month), static_cast<unsigned>(date.day)), days);
    ASSERT_EQ(WeekdayFromDays(days + 1), (WeekdayFromDays(days) + 1) % 7);
  }
}

}  // namespace
}  // namespace CV
