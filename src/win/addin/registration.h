// The add-in's registration: the class and its ProgIDs, the Outlook add-in
// entry and the type library, for all users or for the current user only.
#pragma once

#include <windows.h>

namespace CV::Win::Registration {

enum class Scope { Machine, User };

::HRESULT Register(Scope scope);
// Removes what Register wrote; keys shared with others stay.
::HRESULT Unregister(Scope scope);

}  // namespace CV::Win::Registration
