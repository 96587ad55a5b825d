#include "foundation/local_time.h"

#include <cstdint>

#include "foundation/calendar.h"

namespace CV {

bool ToLocalTime(std::time_t moment, std::tm& local) {
#ifdef _WIN32
  return localtime_s(&local, &moment) == 0;
#else
  return localtime_r(&moment, &local) != nullptr;
#endif
}

long UtcOffsetMinutes(const std::tm& local, std::time_t moment) {
  const std::int64_t seconds = DaysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                                             static_cast<unsigned>(local.tm_mday)) * 86400 +
                               local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  return static_cast<long>((seconds - static_cast<std::int64_t>(moment)) / 60);
}

namespace {

bool IsLeapYear(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int WeekdayOfNewYear(std::int64_t year) { return WeekdayFromDays(DaysFromCivil(year, 1, 1)); }

// Every C library places the years 1971-2037 (a 32-bit time ends in 2038).
constexpr std::int64_t kFirstPlacedYear = 1971, kLastPlacedYear = 2037;

std::optional<WallClockOffset> Place(std::int64_t year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = static_cast<int>(year - 1900), t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
  const std::time_t moment = std::mktime(&t);
  if (moment == static_cast<std::time_t>(-1)) return std::nullopt;
  return WallClockOffset{UtcOffsetMinutes(t, moment), t.tm_wday};
}

}  // namespace

std::int64_t SameCalendarYearInRange(std::int64_t year) {
  if (year >= kFirstPlacedYear && year <= kLastPlacedYear) return year;
  const bool leap = IsLeapYear(year);
  const int weekday = WeekdayOfNewYear(year);
  std::int64_t best = 0;
  for (std::int64_t candidate = kFirstPlacedYear; candidate <= kLastPlacedYear; ++candidate) {
    if (IsLeapYear(candidate) != leap || WeekdayOfNewYear(candidate) != weekday) continue;
    // The nearest: from below the first one found, from above the last.
    best = candidate;
    if (year < kFirstPlacedYear) break;
  }
  return best;  // each of the 14 kinds of year occurs in 1971-2037
}

std::optional<WallClockOffset> LocalOffsetOfWallClock(std::int64_t year, int month, int day, int hour, int minute,
                                                      int second) {
  if (year < 1 || year > 9999) return std::nullopt;
  if (const auto placed = Place(year, month, day, hour, minute, second)) return placed;
  const std::int64_t same = SameCalendarYearInRange(year);
  if (same == year) return std::nullopt;
  // The same calendar gives the same weekday to the same day.
  return Place(same, month, day, hour, minute, second);
}

}  // namespace CV
