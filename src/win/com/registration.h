// Registers one of our COM servers for all users or for the current user
// from its table (registration_table.h): the table's values, with the DLL's
// path put in (the type library's keys are among them).
#pragma once

#include <windows.h>

#include <string>

#include "registration/registration_table.h"

namespace CV::Win::Registration {

enum class Scope { Machine, User };

// Writes the table below HKLM\Software (Machine) or HKCU\Software (User)
// by the rules of registration_rules.h: another installation's keys and
// the other bitness's stay. The first failure is returned; the rest is
// still written.
::HRESULT Register(const Registry::Table& table, Scope scope, const std::wstring& modulePath);
// Removes the keys of ours the table names; shared keys the other bitness
// still uses stay.
::HRESULT Unregister(const Registry::Table& table, Scope scope);
// DllInstall: "user" (regsvr32 /n /i:user) registers or, with /u, removes
// the registration of the current user; anything else is refused.
::HRESULT Install(const Registry::Table& table, BOOL install, LPCWSTR commandLine, const std::wstring& modulePath);

}  // namespace CV::Win::Registration
