#include "win/platform/win_settings.h"

#include <windows.h>

#include <string>

#include "win/platform/unique_handle.h"

namespace CV::Win {
namespace {

std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

class RegistryKey final : public ISettingsKey {
 public:
  explicit RegistryKey(UniqueHKey key) : m_key(std::move(key)) {}

  std::int32_t QueryValueInfo(std::u16string_view name, RegType& type, std::uint32_t& size) override {
    DWORD rawType = 0, rawSize = 0;
    const LSTATUS status = ::RegQueryValueExW(m_key.Get(), W(name).c_str(), nullptr, &rawType, nullptr, &rawSize);
    if (status != ERROR_SUCCESS) return status;
    type = static_cast<RegType>(rawType);
    size = rawSize;
    return 0;
  }

  std::int32_t QueryValueData(std::u16string_view name, std::vector<std::uint8_t>& data) override {
    const std::wstring wname = W(name);
    for (int attempt = 0; attempt < 3; ++attempt) {  // the value may grow between the two calls
      DWORD size = 0;
      LSTATUS status = ::RegQueryValueExW(m_key.Get(), wname.c_str(), nullptr, nullptr, nullptr, &size);
      if (status != ERROR_SUCCESS) return status;
      data.assign(size, 0);
      status = ::RegQueryValueExW(m_key.Get(), wname.c_str(), nullptr, nullptr, data.data(), &size);
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) return status;
      data.resize(size);
      return 0;
    }
    return ERROR_MORE_DATA;
  }

  std::int32_t WriteValue(std::u16string_view name, RegType type, const std::vector<std::uint8_t>& data) override {
    return ::RegSetValueExW(m_key.Get(), W(name).c_str(), 0, static_cast<DWORD>(type), data.data(),
                            static_cast<DWORD>(data.size()));
  }

 private:
  UniqueHKey m_key;
};

}  // namespace

std::int32_t RegistrySettings::OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) {
  UniqueHKey handle;
  const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, W(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          KEY_READ | KEY_WRITE, nullptr, handle.Put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  key = std::make_unique<RegistryKey>(std::move(handle));
  return 0;
}

}  // namespace CV::Win
