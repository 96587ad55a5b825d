// CV::Util::CVersionInfo: a module's file version and copyright, and the
// text the backstage page shows for them.
#pragma once

#include <cstdint>
#include <string>

namespace CV::Util {

class CVersionInfo {
 public:
  CVersionInfo(std::uint16_t major = 0, std::uint16_t minor = 0, std::uint16_t build = 0, std::uint16_t revision = 0);
  virtual ~CVersionInfo() = default;

  // major.minor.build.revision without trailing zero parts ("2.1", "3",
  // "2.0.0.7"); the major alone when all else is 0.
  std::u16string FormatVersion() const;

  std::uint32_t versionHigh;  // major << 16 | minor
  std::uint32_t versionLow;   // build << 16 | revision
  std::u16string copyright;
};

// Port: reads the add-in module's version resource (file version and the
// LegalCopyright of the German block "040704b0"). What cannot be read stays
// as it was.
class IVersionSource {
 public:
  virtual ~IVersionSource() = default;
  virtual void ReadModuleVersion(CVersionInfo& info) = 0;
};

// A source with fixed values (the simulation and tests).
class FixedVersionSource final : public IVersionSource {
 public:
  FixedVersionSource(CVersionInfo values) : m_values(std::move(values)) {}  // NOLINT
  void ReadModuleVersion(CVersionInfo& info) override {
    info.versionHigh = m_values.versionHigh;
    info.versionLow = m_values.versionLow;
    info.copyright = m_values.copyright;
  }

 private:
  CVersionInfo m_values;
};

}  // namespace CV::Util
