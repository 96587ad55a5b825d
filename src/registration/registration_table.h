// What each of our COM servers leaves in the registry, as data: the keys
// and values (key, value name, data) below a scope's root, "Software" of
// HKEY_LOCAL_MACHINE for all users or of HKEY_CURRENT_USER for one. Both
// DLLs apply their table (registration.h) and the installer packages are
// made from the same tables, so that the two ways of installing cannot
// drift. The type library is registered by the same values, not by the
// system's call, for the same reason. Portable: no platform header, so a
// build tool can read it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/guid.h"

namespace CV::Win::Registry {

// Stands for the DLL's full path in a value.
inline constexpr char16_t kModulePath[] = u"[module]";

// The Windows the DLL is built for: its type library is registered below
// "win32" or "win64".
enum class Bitness { x86, x64 };
inline constexpr Bitness kOwnBitness = sizeof(void*) == 8 ? Bitness::x64 : Bitness::x86;

struct Value {
  enum class Kind { Key, String, Dword };
  std::u16string key;   // below the scope's "Software", e.g. u"Classes\\CLSID\\{...}"
  std::u16string name;  // empty: the key's default value
  Kind kind = Kind::Key;
  std::u16string text;  // String; kModulePath is replaced
  std::uint32_t number = 0;  // Dword
};

// One key that is ours, removed whole, with the values written below it.
struct OwnedKey {
  std::u16string key;
  std::vector<Value> values;
  // Another installation may hold the same key (the vendor's own components
  // use the same ProgIDs and interfaces): the key is another's when one of
  // these default values (of key\\subkey) is there and names something
  // else. Another's key is neither overwritten nor removed. None: nobody
  // else writes this key.
  struct Proof {
    std::u16string subkey, text;
  };
  std::vector<Proof> proofs;
  // A key both registry views of a 64-bit Windows share stays while the
  // other view still registers one of these classes of ours. None: the key
  // is this bitness's alone (the type library's win32 or win64 subkey).
  std::vector<Guid> usedBy;
};

struct Table {
  std::u16string dllName;  // "CVMailArchiveOl.dll"
  // Every key that is ours, each with its values; parents shared with
  // others (CLSID, Addins) are never removed. Keys nested in another are
  // listed after it.
  std::vector<OwnedKey> keys;
  Guid libId;  // the type library in the DLL; its keys and its interfaces' are among the keys
  std::uint16_t libMajor = 1, libMinor = 0;
  std::vector<Guid> classes;  // the classes the DLL serves
};

Table AddinTable(Bitness bitness = kOwnBitness);
Table ComponentsTable(Bitness bitness = kOwnBitness);

}  // namespace CV::Win::Registry
