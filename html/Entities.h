// Character references (&amp; &#20013; &#x4e2d;) in HTML text and attribute values.
#pragma once

#include <string>
#include <string_view>

namespace mojian::html {

// Decodes the character references in UTF-8 text as browsers do: every
// name of HTML's table (the old Latin-1 names also without their
// semicolon, except in an attribute where a letter, digit or "=" follows),
// decimal and hexadecimal ones (C1 controls as Windows-1252, invalid ones
// as U+FFFD); anything else stays as written.
std::string DecodeEntities(std::string_view utf8, bool attribute = false);

}  // namespace mojian::html
