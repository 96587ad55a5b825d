// Composing user and diagnostic texts.
#pragma once

#include <string>
#include <string_view>

#include "foundation/com_error.h"
#include "foundation/system_messages.h"

namespace CV {

// "\r\n" -> "\n", then a lone "\r" -> "\n", then every "\n" -> "\r\n".
std::u16string NormalizeLineBreaks(std::u16string_view text);

// Appends text (line breaks normalized) to target, on a new line unless target
// is empty or already ends with CR LF. False when text is empty.
bool AppendLine(std::u16string& target, std::u16string_view text);

// The context, then the system's message for the error (unless the error
// information names an interface), then the error's description. Never fails
// for a missing message or description.
std::u16string ComErrorText(std::u16string_view context, const ComError& error, const ISystemMessages& messages);

// The platform COM support's own wording for hr, used by ComErrorText.
std::u16string StandardErrorMessage(const ComError& error, const ISystemMessages& messages);

}  // namespace CV
