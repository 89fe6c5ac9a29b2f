// The custom-source editor's starting text: a short advertisement for the
// program, and the maker's web-site address it shares with the window's link.
#pragma once

#include <string>
#include <string_view>

namespace mojian {

// The maker's web site, opened by "访问官方网址" and linked from the editor.
inline constexpr std::string_view kMakerSiteAddress = "http://www.mojian.example/";

// Three centred paragraphs (name and links, four pictures, one full-width
// space), CR LF line ends.
std::string DefaultEditorText();

}  // namespace mojian
