// Text for HTML and XML documents: the four characters that would end a
// text or a quoted attribute value written as entities.
#pragma once

#include <string>
#include <string_view>

namespace CV {

std::string MarkupEscaped(std::string_view utf8);

}  // namespace CV
