// The machine's local time of a moment, on every platform alike.
#pragma once

#include <ctime>

namespace CV {

// The calendar fields of moment in local time; false when the platform
// cannot convert it.
bool ToLocalTime(std::time_t moment, std::tm& local);

// How far local time, given by its fields, is ahead of UTC at moment, in
// minutes (negative west of Greenwich).
long UtcOffsetMinutes(const std::tm& local, std::time_t moment);

}  // namespace CV
