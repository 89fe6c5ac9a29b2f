// Which installed faces draw a font-family list, as Chromium chooses them:
// the families in order, each generic family mapped to the first installed
// face of its kind, the browser's default face when none is installed, and
// the faces tried for a character the chosen ones lack, a Chinese face last.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::html {

// The families a font-family value names, in order: quotes and spaces
// around each removed, generic names in lower case, empty ones dropped.
std::vector<std::u16string> ParseFamilies(std::u16string_view value);

// serif, sans-serif, monospace, cursive, fantasy, system-ui and the like.
bool IsGenericFamily(std::u16string_view family);

// The faces to try for each character of text in `families`, in order; the
// first is the primary face (the line's metrics come from it). `installed`
// tells whether the system has a face of that family name.
std::vector<std::u16string> ChooseFaces(const std::vector<std::u16string>& families,
                                        const std::function<bool(std::u16string_view)>& installed);

}  // namespace mojian::html
