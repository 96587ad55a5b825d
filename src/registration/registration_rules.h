// Applies a registration table (registration_table.h) to the registry and
// removes it again, leaving what is not ours alone: a key another
// installation holds, and a key both registry views share while the other
// bitness's registration of ours still uses it.
#pragma once

#include <string>
#include <string_view>

#include "registration/registration_table.h"
#include "registration/registry_port.h"

namespace CV::Win::Registry {

// Writes the table's keys that are ours or free, each written anew (what
// an older version left goes) unless the other view still uses it. For one
// user, a key the machine's registration holds for another installation is
// not written either: the user's would hide it. The first failure is
// returned; the rest is still written.
Status Apply(const Table& table, IRegistry& registry, Hive hive, std::u16string_view modulePath);
// Removes the table's keys that are ours and no longer used.
Status Remove(const Table& table, IRegistry& registry, Hive hive);

// Whether a key below a hive's "Software" is one key for both bitnesses on
// a 64-bit Windows (7 and later), or each view has its own.
bool SharedByBothViews(Hive hive, std::u16string_view key);

// Whether the key, in the hive's own view, holds another installation's
// registration. A key without the values that tell is an unfinished one,
// usable by nobody, and is taken.
bool HeldByAnother(const OwnedKey& key, IRegistry& registry, Hive hive);

}  // namespace CV::Win::Registry
