#include "win/registration.h"


namespace CV::Win::Registration {
namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

HKEY HiveOf(Scope scope) { return scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

std::wstring Path(std::u16string_view key) { return L"Software\\" + Wide(key); }

// Writes and deletes keys below one hive; the first failure is kept and
// the rest still tried, so that a partial result is as complete as it can be.
class Writer {
 public:
  explicit Writer(HKEY hive) : m_hive(hive) {}

  void Write(const Registry::Value& value, const std::wstring& module) {
    const std::wstring key = Path(value.key);
    switch (value.kind) {
      case Registry::Value::Kind::Key: Set(key, nullptr, REG_NONE, nullptr, 0); break;
      case Registry::Value::Kind::Dword: {
        const DWORD number = value.number;
        Set(key, Name(value), REG_DWORD, &number, sizeof number);
        break;
      }
      case Registry::Value::Kind::String: {
        const std::wstring text = value.text == Registry::kModulePath ? module : Wide(value.text);
        Set(key, Name(value), REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        break;
      }
    }
  }
  // Deletes the key with all it holds; a missing key is no failure.
  void Delete(const std::wstring& path) {
    LSTATUS status = ::RegDeleteTreeW(m_hive, path.c_str());
    if (status == ERROR_SUCCESS) status = ::RegDeleteKeyW(m_hive, path.c_str());
    if (status != ERROR_FILE_NOT_FOUND) Keep(status);
  }
  HRESULT Result() const { return m_result; }

 private:
  static const wchar_t* Name(const Registry::Value& value) {
    thread_local std::wstring name;
    name = Wide(value.name);
    return value.name.empty() ? nullptr : name.c_str();
  }
  void Set(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    const LSTATUS created = ::RegCreateKeyExW(m_hive, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                              nullptr, &key, nullptr);
    Keep(created);
    if (created != ERROR_SUCCESS) return;
    if (type != REG_NONE) Keep(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes));
    ::RegCloseKey(key);
  }
  void Keep(LSTATUS status) {
    if (SUCCEEDED(m_result) && status != ERROR_SUCCESS) m_result = HRESULT_FROM_WIN32(status);
  }

  HKEY m_hive;
  HRESULT m_result = S_OK;
};

}  // namespace

::HRESULT Register(const Registry::Table& table, Scope scope, const std::wstring& modulePath) {
  if (modulePath.empty()) return E_UNEXPECTED;
  Writer w(HiveOf(scope));
  for (const std::u16string& key : table.ownedKeys) w.Delete(Path(key));  // written anew, without what an older version left
  for (const Registry::Value& value : table.values) w.Write(value, modulePath);
  return w.Result();
}

::HRESULT Unregister(const Registry::Table& table, Scope scope) {
  Writer w(HiveOf(scope));
  for (const std::u16string& key : table.ownedKeys) w.Delete(Path(key));
  return w.Result();
}

::HRESULT Install(const Registry::Table& table, BOOL install, LPCWSTR commandLine, const std::wstring& modulePath) {
  if (!commandLine || ::CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) return E_INVALIDARG;
  return install ? Register(table, Scope::User, modulePath) : Unregister(table, Scope::User);
}

}  // namespace CV::Win::Registration
