#include "foundation/version_info.h"

#include "foundation/format.h"

namespace CV::Util {

CVersionInfo::CVersionInfo(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint16_t revision)
    : versionHigh(static_cast<std::uint32_t>(major) << 16 | minor),
      versionLow(static_cast<std::uint32_t>(build) << 16 | revision) {}

std::u16string CVersionInfo::FormatVersion() const {
  const int major = static_cast<int>(versionHigh >> 16), minor = static_cast<int>(versionHigh & 0xFFFF);
  const int build = static_cast<int>(versionLow >> 16), revision = static_cast<int>(versionLow & 0xFFFF);
  if (revision != 0) return Format(u"%d.%d.%d.%d", major, minor, build, revision);
  if (build != 0) return Format(u"%d.%d.%d", major, minor, build);
  if (minor != 0) return Format(u"%d.%d", major, minor);
  return Format(u"%d", major);
}

}  // namespace CV::Util
