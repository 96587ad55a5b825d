// System message texts through FormatMessageW.
#include <windows.h>

#include "foundation/system_messages.h"

namespace CV {
namespace {

class WinSystemMessages final : public ISystemMessages {
 public:
  std::optional<std::u16string> MessageForHResult(HRESULT hr) const override {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer), 0,
        nullptr);
    if (length == 0 || buffer == nullptr) return std::nullopt;
    std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
    ::LocalFree(buffer);
    if (text.ends_with(u"\r\n")) text.resize(text.size() - 2);
    else if (text.ends_with(u"\n")) text.resize(text.size() - 1);
    return text;
  }
};

}  // namespace

const ISystemMessages& DefaultSystemMessages() {
  static const WinSystemMessages instance;
  return instance;
}

}  // namespace CV
