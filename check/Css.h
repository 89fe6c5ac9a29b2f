// What the check reads in style attributes: the declarations and the
// addresses in url(), as browsers read them (comments skipped, escapes
// decoded, strings and parentheses kept whole).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mojian::check {

struct CssDeclaration {
    std::string property;  // lower case, escapes decoded
    std::string value;     // escapes decoded, trimmed, without "!important"
};

// The declarations of a style attribute's (decoded) value, in order.
std::vector<CssDeclaration> ParseDeclarations(std::string_view css);

// The arguments of every url() in a value (or a whole style attribute),
// unquoted, escapes decoded, surrounding white space dropped.
std::vector<std::string> CssUrls(std::string_view css);

}  // namespace mojian::check
