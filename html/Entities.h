// Character references (&amp; &#20013; &#x4e2d;) in HTML text and attribute values.
#pragma once

#include <string>
#include <string_view>

namespace mojian::html {

// Decodes the character references in UTF-8 text as browsers do: named ones
// (the old Latin-1 names also without their semicolon), decimal and
// hexadecimal ones (C1 controls as Windows-1252, invalid ones as U+FFFD);
// anything else stays as written.
std::string DecodeEntities(std::string_view utf8);

}  // namespace mojian::html
