#include "win/platform/win_user_environment.h"

#define SECURITY_WIN32
#include <windows.h>
#include <oleauto.h>
#include <security.h>

namespace CV::Win {

bool WinUserEnvironment::UserName(NameFormat format, std::u16string& name) {
  wchar_t buffer[100] = {};
  ULONG size = 100;  // the terminator included
  if (!::GetUserNameExW(format == NameFormat::Display ? NameDisplay : NameSamCompatible, buffer, &size)) return false;
  name.assign(buffer, buffer + size);
  return true;
}

bool WinUserEnvironment::LocalDateText(std::u16string& text) {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  DATE date = 0;
  if (!::SystemTimeToVariantTime(&now, &date)) return false;
  BSTR formatted = nullptr;
  if (FAILED(::VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &formatted))) return false;
  text.assign(formatted, formatted + ::SysStringLen(formatted));
  ::SysFreeString(formatted);
  return true;
}

}  // namespace CV::Win
