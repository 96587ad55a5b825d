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

}  // namespace CV
