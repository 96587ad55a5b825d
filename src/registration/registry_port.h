// The registry as the registration sees it: the keys below "Software" of
// one hive, in the process's own view or, on a 64-bit Windows, the other
// bitness's view. Portable, so that a model of Windows' two views can stand
// in for it in tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace CV::Win::Registry {

enum class Hive { Machine, User };  // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER
enum class View { Own, Other };

// Win32 error codes, so that a failure keeps its cause.
using Status = std::uint32_t;
inline constexpr Status kDone = 0, kNotFound = 2;

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // The data of a string value; none when the key or the value is missing.
  virtual std::optional<std::u16string> ReadString(Hive hive, View view, std::u16string_view key,
                                                   std::u16string_view name) = 0;
  virtual bool Exists(Hive hive, View view, std::u16string_view key) = 0;
  // Writing and deleting happen in the own view. A name empty: the key's default value.
  virtual Status CreateKey(Hive hive, std::u16string_view key) = 0;
  virtual Status SetString(Hive hive, std::u16string_view key, std::u16string_view name, std::u16string_view text) = 0;
  virtual Status SetDword(Hive hive, std::u16string_view key, std::u16string_view name, std::uint32_t number) = 0;
  // The key with all it holds; a missing key is kNotFound.
  virtual Status DeleteTree(Hive hive, std::u16string_view key) = 0;
};

}  // namespace CV::Win::Registry
