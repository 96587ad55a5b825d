// PathMatchSpecW semantics: the masks are one or more wildcard masks separated
// by ";" (leading blanks ignored); "*" matches any run of characters,
// backslashes included, "?" exactly one; letters match ignoring ASCII case;
// "*.*" matches everything.
#pragma once

#include <string_view>

namespace CV::FS {

bool PathMatchSpec(std::u16string_view path, std::u16string_view masks);

}  // namespace CV::FS
