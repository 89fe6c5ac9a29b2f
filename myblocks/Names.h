// The names of the seller's own blocks and the file names they are kept
// under. A name is what the seller typed; the file name is derived from it
// so that Windows accepts it, and two blocks never share a file.
#pragma once

#include <string>
#include <string_view>

namespace mojian::myblocks {

// The longest name, in characters: it has to fit one line of a list.
inline constexpr std::size_t kMaxNameCharacters = 100;
// A file name's stem stays within this many UTF-16 units, leaving room in
// 120 for " (999)" and the extension.
inline constexpr std::size_t kMaxStemUnits = 100;
inline constexpr std::string_view kExtension = ".json";

// The name as kept: spaces (ASCII and full-width) trimmed from both ends.
std::string TidyName(std::string_view name);

// Why `name` (already tidied) cannot name a block, in Chinese; empty when it can.
std::string NameFault(std::string_view name);

// A form of `text` that is equal for two texts exactly when Windows takes
// them as the same file name (letters compared without case).
std::string CaseFold(std::string_view text);

// The stem of the file for `name`: forbidden characters in their full-width
// forms, control characters as "_", device names (CON, COM1, ...) prefixed
// with "_", trailing dots and spaces dropped, kept within kMaxStemUnits.
std::string FileStem(std::string_view name);

// The file name for the stem's n-th holder: n = 1 is the stem itself, then
// "stem (2)", "stem (3)", ...
std::string NumberedFileName(std::string_view stem, int n);

}  // namespace mojian::myblocks
