// The resources port over the resources of the module this code is linked
// into (the add-in DLL), found with FindResource; types and names are
// compared ignoring case, as FindResource does.
#include <windows.h>

#include <string>

#include "foundation/resources.h"

namespace CV {
namespace {

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// A numeric id goes to FindResource as "#id".
std::wstring ResourceName(std::u16string_view text) {
  const bool numeric = !text.empty() && text.find_first_not_of(u"0123456789") == std::u16string_view::npos;
  std::wstring name = numeric ? L"#" : L"";
  name.append(text.begin(), text.end());
  return name;
}

class WinModuleResources final : public IResources {
 public:
  std::optional<std::span<const std::uint8_t>> Find(std::u16string_view type,
                                                    std::u16string_view name) const override {
    const HMODULE module = ThisModule();
    HRSRC found = ::FindResourceW(module, ResourceName(name).c_str(), ResourceName(type).c_str());
    if (!found) return std::nullopt;
    const DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size);
  }
};

}  // namespace

const IResources& ModuleResources() {
  static const WinModuleResources resources;
  return resources;
}

}  // namespace CV
