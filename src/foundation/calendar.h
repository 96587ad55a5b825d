// The one calendar of the system: proleptic Gregorian dates as day counts
// (H. Hinnant's method), and the epoch of OLE dates, which count days since
// 1899-12-30 with the time of day as the fraction.
#pragma once

#include <cstdint>

namespace CV {

// Days from 1899-12-30 (OLE day 0) to 1970-01-01.
inline constexpr std::int64_t kOleDaysAt1970 = 25569;

struct CivilDate {
  std::int64_t year;
  int month;  // 1-12
  int day;    // 1-31
};

// Days since 1970-01-01 of a date (negative before).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
// The date of a day count since 1970-01-01.
CivilDate CivilFromDays(std::int64_t days);
// The weekday of a day count since 1970-01-01 (0 = Sunday).
int WeekdayFromDays(std::int64_t days);

}  // namespace CV
