// Port: the per-user settings store (HKEY_CURRENT_USER on Windows), with the
// registry's typed raw values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace CV {

enum class RegType : std::uint32_t { None = 0, Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4, MultiSz = 7 };

class ISettingsKey {
 public:
  virtual ~ISettingsKey() = default;
  // The type and byte size of a value; FileNotFound when it does not exist.
  virtual std::int32_t QueryValueInfo(std::u16string_view name, RegType& type, std::uint32_t& size) = 0;
  // The value's bytes exactly as stored (a string's final NUL only if it has one).
  virtual std::int32_t QueryValueData(std::u16string_view name, std::vector<std::uint8_t>& data) = 0;
  virtual std::int32_t WriteValue(std::u16string_view name, RegType type, const std::vector<std::uint8_t>& data) = 0;
};

class ISettings {
 public:
  virtual ~ISettings() = default;
  // Opens the user's key at path for reading and writing, creating it when
  // it is missing. Returns a Win32 error code.
  virtual std::int32_t OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) = 0;
};

// The value bytes of a string as REG_SZ stores it: UTF-16LE with a final NUL.
std::vector<std::uint8_t> RegistryString(std::u16string_view text);
// The other way: the text of such bytes up to its first NUL (an odd last
// byte is ignored).
std::u16string RegistryText(const std::vector<std::uint8_t>& bytes);
// The lines of a text that holds one folder path per line (CR, LF or both
// between them); empty lines are dropped.
std::vector<std::u16string> NonEmptyLines(std::u16string_view text);

}  // namespace CV
