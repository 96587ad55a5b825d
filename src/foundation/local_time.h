// The machine's local time of a moment, on every platform alike.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace CV {

// The calendar fields of moment in local time; false when the platform
// cannot convert it.
bool ToLocalTime(std::time_t moment, std::tm& local);

// How far local time, given by its fields, is ahead of UTC at moment, in
// minutes (negative west of Greenwich).
long UtcOffsetMinutes(const std::tm& local, std::time_t moment);

// A local wall-clock time's offset from UTC and its weekday (0 = Sunday),
// for any year from 1 to 9999. Where the C library cannot place the time (the
// Windows one knows no moment before 1970, nor after 2038 in 32-bit builds),
// the offset is that of the same day and time in the nearest year of the same
// calendar that it can place: the same weekday on 1 January, leap or not.
struct WallClockOffset {
  long minutes;
  int weekday;
};
std::optional<WallClockOffset> LocalOffsetOfWallClock(std::int64_t year, int month, int day, int hour, int minute,
                                                      int second);

// The year of the same calendar as year (the same weekday on 1 January, leap
// or not) that lies in 1971-2037, nearest to year; year itself when it lies there.
std::int64_t SameCalendarYearInRange(std::int64_t year);

}  // namespace CV
