// The version port: the file version and German LegalCopyright of the
// module registered for a class (InprocServer32), read from its version
// resource.
#pragma once

#include "foundation/version_info.h"
#include "foundation/guid.h"

namespace CV::Win {

class WinVersionSource final : public Util::IVersionSource {
 public:
  explicit WinVersionSource(const Guid& clsid) : m_clsid(clsid) {}
  void ReadModuleVersion(Util::CVersionInfo& info) override;

  // From a file; what cannot be read stays as it was.
  static void ReadFile(const std::wstring& path, Util::CVersionInfo& info);

 private:
  Guid m_clsid;
};

}  // namespace CV::Win
