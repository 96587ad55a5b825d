#include "foundation/messages.h"

#include "foundation/format.h"

namespace CV {

std::u16string NormalizeLineBreaks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += u"\r\n";
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool AppendLine(std::u16string& target, std::u16string_view text) {
  if (text.empty()) return false;
  const std::u16string line = NormalizeLineBreaks(text);
  if (target.empty() || target.ends_with(u"\r\n")) {
    target += line;
  } else {
    target += Format(u"\r\n%s", line);
  }
  return true;
}

std::u16string StandardErrorMessage(const ComError& error, const ISystemMessages& messages) {
  if (auto text = messages.MessageForHResult(error.Error())) return *text;
  if (const std::uint16_t wcode = error.WCode(); wcode != 0) return Format(u"IDispatch error #%d", wcode);
  return Format(u"Unknown error 0x%0lX", error.Error());
}

std::u16string ComErrorText(std::u16string_view context, const ComError& error, const ISystemMessages& messages) {
  std::u16string text = NormalizeLineBreaks(context);
  const ErrorInfo* info = error.Info();
  if (info == nullptr || info->interfaceId.IsNull()) AppendLine(text, StandardErrorMessage(error, messages));
  if (info != nullptr && !info->description.empty()) AppendLine(text, info->description);
  return text;
}

const ISystemMessages& NoSystemMessages() {
  class None final : public ISystemMessages {
   public:
    std::optional<std::u16string> MessageForHResult(HRESULT) const override { return std::nullopt; }
  };
  static const None none;
  return none;
}

}  // namespace CV
