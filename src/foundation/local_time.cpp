#include "foundation/local_time.h"

#include <cstdint>

namespace CV {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

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

}  // namespace CV
